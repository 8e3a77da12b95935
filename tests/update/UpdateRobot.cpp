#include "UpdateRobot.h"

#include <commctrl.h>

#include <algorithm>

namespace updaterobot {
namespace {

// Our framework's window class for forms and its own controls, and the
// system's for message boxes.
constexpr wchar_t kFormClass[] = L"TDeskpinControl";
constexpr wchar_t kBoxClass[] = L"#32770";
// Message k of language v is string kFirstMessageId + kBlockSize * (v - 1) + k.
constexpr UINT kFirstMessageId = 41000;
constexpr UINT kBlockSize = 50;
constexpr int kLanguageCount = 29;
constexpr UINT kMsgCaption = 0;  // "Application update wizard"
constexpr UINT kMsgYes = 14;     // "&Yes"
constexpr UINT kMsgOK = 16;      // "&OK"
constexpr DWORD kPollMs = 100;
constexpr UINT kSendTimeoutMs = 2000;

struct Texts {
  std::wstring caption, yes, ok;
  std::vector<std::wstring> messages;  // all of the language's, by number
};

std::wstring LoadString(HMODULE module, UINT id) {
  const wchar_t* text = nullptr;
  const int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 ? std::wstring(text, length) : std::wstring();
}

// The dialogs' texts in every language of the program.
std::vector<Texts> LoadTexts(const std::wstring& programFile) {
  std::vector<Texts> all;
  HMODULE module = LoadLibraryExW(programFile.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return all;
  for (int v = 1; v <= kLanguageCount; ++v) {
    const UINT base = kFirstMessageId + kBlockSize * (v - 1);
    Texts texts;
    for (UINT k = 0; k < kBlockSize; ++k) texts.messages.push_back(LoadString(module, base + k));
    texts.caption = texts.messages[kMsgCaption];
    texts.yes = texts.messages[kMsgYes];
    texts.ok = texts.messages[kMsgOK];
    all.push_back(std::move(texts));
  }
  FreeLibrary(module);
  return all;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::wstring TextOf(HWND window) {
  wchar_t text[1024] = {};
  DWORD_PTR length = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                      kSendTimeoutMs, &length);
  return std::wstring(text, length);
}

struct Search {
  DWORD processId;
  const std::vector<Texts>* texts;
  HWND window = nullptr;  // the question or the wizard
  HWND box = nullptr;     // a message box over it, which goes first
  const Texts* language = nullptr;
  const Texts* boxLanguage = nullptr;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if ((search->processId && pid != search->processId) || !IsWindowVisible(window)) return TRUE;
  const std::wstring kind = ClassOf(window);
  const bool isBox = kind == kBoxClass;
  if ((isBox ? search->box : search->window) || (!isBox && kind != kFormClass)) return TRUE;
  const std::wstring caption = TextOf(window);
  for (const Texts& texts : *search->texts) {
    if (!texts.caption.empty() && caption == texts.caption) {
      (isBox ? search->box : search->window) = window;
      (isBox ? search->boxLanguage : search->language) = &texts;
      break;
    }
  }
  return TRUE;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM data) {
  reinterpret_cast<std::vector<HWND>*>(data)->push_back(child);
  return TRUE;
}

std::vector<HWND> ChildrenOf(HWND window) {
  std::vector<HWND> children;
  EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

struct Look {
  Sighting sighting;
  bool ours = false;   // the question or the wizard
  HWND yes = nullptr;  // the question's Yes
  HWND ok = nullptr;   // the completed wizard's OK, once enabled
};

Look LookAt(HWND window, const Texts& language) {
  Look look;
  look.sighting.caption = TextOf(window);
  bool isWizard = false;
  for (HWND child : ChildrenOf(window)) {
    const std::wstring kind = ClassOf(child);
    if (_wcsicmp(kind.c_str(), PROGRESS_CLASSW) == 0) {
      isWizard = true;
      DWORD_PTR position = 0;
      SendMessageTimeoutW(child, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &position);
      look.sighting.progress.push_back(static_cast<int>(position));
      continue;
    }
    const std::wstring text = TextOf(child);
    look.sighting.texts.push_back(text);
    if (_wcsicmp(kind.c_str(), L"Button") != 0) continue;
    if (text == language.yes) look.yes = child;
    if (text == language.ok && IsWindowEnabled(child)) look.ok = child;
  }
  // The wizard has progress bars; the question has a Yes and none.
  look.ours = isWizard || look.yes;
  if (isWizard)
    look.sighting.stage = look.ok ? Stage::Completed : Stage::Downloading;
  else
    look.sighting.stage = Stage::Question;
  return look;
}

void Press(HWND button) {
  PostMessageW(button, BM_CLICK, 0, 0);
}

// A message box's texts, and which message it shows; nullptr for a box that
// asks (Yes or No), which is not the robot's to answer.
HWND LookAtBox(HWND box, const Texts& language, Sighting& sighting) {
  if (GetDlgItem(box, IDYES) || GetDlgItem(box, IDNO)) return nullptr;
  sighting.stage = Stage::Message;
  sighting.caption = TextOf(box);
  for (HWND child : ChildrenOf(box)) {
    const std::wstring text = TextOf(child);
    if (text.empty()) continue;
    sighting.texts.push_back(text);
    for (size_t k = 1; k < language.messages.size() && sighting.message < 0; ++k)
      if (!language.messages[k].empty() && text == language.messages[k])
        sighting.message = static_cast<int>(k);
  }
  return GetDlgItem(box, IDOK);
}

}  // namespace

const char* StageName(Stage stage) {
  switch (stage) {
    case Stage::Question:
      return "question";
    case Stage::Downloading:
      return "downloading";
    case Stage::Completed:
      return "completed";
    case Stage::Message:
      return "message";
  }
  return "";
}

Report AnswerUpdate(const Options& options) {
  Report report;
  const std::vector<Texts> texts = LoadTexts(options.programFile);
  if (texts.empty()) return report;
  bool reported[3] = {};
  HWND lastBox = nullptr;
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < options.timeoutMs) {
    if (options.process && WaitForSingleObject(options.process, 0) == WAIT_OBJECT_0) break;
    Search search{options.processId, &texts};
    EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
    if (search.box) {
      Sighting sighting;
      HWND ok = LookAtBox(search.box, *search.boxLanguage, sighting);
      if (ok && search.box != lastBox) {
        lastBox = search.box;
        ++report.messagesClosed;
        report.seen.push_back(sighting);
        if (options.onStage) options.onStage(sighting, search.box);
      }
      if (ok) Press(ok);
    } else if (search.window) {
      Look look = LookAt(search.window, *search.language);
      const Stage stage = look.sighting.stage;
      const bool known = look.ours;
      if (known && !reported[static_cast<int>(stage)]) {
        reported[static_cast<int>(stage)] = true;
        report.seen.push_back(look.sighting);
        if (options.onStage) options.onStage(look.sighting, search.window);
      }
      if (stage == Stage::Downloading && look.sighting.progress.size() == 2)
        report.highestProgressWhileDownloading =
            std::max(report.highestProgressWhileDownloading, look.sighting.progress[1]);
      if (known && stage == Stage::Question && !report.pressedYes) {
        Press(look.yes);
        report.pressedYes = true;
      } else if (stage == Stage::Completed && known) {
        Press(look.ok);
        report.pressedOK = true;
        break;
      }
    }
    Sleep(kPollMs);
  }
  return report;
}

}  // namespace updaterobot
