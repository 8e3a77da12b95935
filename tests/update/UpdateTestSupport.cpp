#include "UpdateTestSupport.h"

#include <algorithm>

#include "Application.h"
#include "DialogRobot.h"

namespace updatetest {

namespace {

constexpr UINT kRobotTickMs = 50;
// A step not met by then is given up: the open dialogs are closed, so that a
// failing case ends with its failure instead of hanging in a modal loop.
constexpr DWORD kGiveUpMs = 20000;
constexpr char kMessageBoxClass[] = "#32770";
constexpr int kMessageBoxTextId = 0xFFFF;

TRobot* g_robot = nullptr;  // the one robot whose timer runs

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof(name));
  return name;
}

BOOL CALLBACK AddWindow(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

std::vector<HWND> ThreadWindows() {
  std::vector<HWND> windows;
  EnumThreadWindows(GetCurrentThreadId(), AddWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

HWND ChildButton(HWND window, const std::string& text) {
  for (HWND child : ChildWindows(window))
    if (dialogrobot::WindowText(child) == text) return child;
  return nullptr;
}

}  // namespace

std::vector<HWND> ChildWindows(HWND window) {
  std::vector<HWND> children;
  EnumChildWindows(window, AddWindow, reinterpret_cast<LPARAM>(&children));
  return children;
}

TEventLog::TEventLog(TnxNovex& novex) {
  auto note = [this](const char* name) {
    return [this, name](TObject*) { events.push_back(name); };
  };
  novex.OnBeginUpgrade = [this](TObject*, const AnsiString& message, TqdUpgradeMethod method,
                                TnxStringList*, bool& canUpgrade) {
    events.push_back("Begin");
    beginMessage = message;
    beginMethod = method;
    if (clearCanUpgrade) canUpgrade = false;
  };
  novex.OnLaterUpgrade = note("Later");
  novex.OnNoUpdateAvailable = note("NoUpdate");
  novex.OnNoInfoFile = note("NoInfo");
  novex.OnConnLost = note("ConnLost");
  novex.OnAborted = note("Aborted");
  novex.OnHostUnreachable = [this](TObject*, const AnsiString&, const AnsiString&) {
    events.push_back("Unreachable");
    unreachableTicks.push_back(GetTickCount());
  };
  novex.OnPasswordRequest = [this](TObject*, const AnsiString&, bool&) {
    events.push_back("Password");
  };
  novex.OnFileStart = [this](TObject*, const AnsiString&, int, TDateTime, bool& go) {
    events.push_back(go ? "Start" : "Start:skip");
  };
  novex.OnProgress = [this](TObject*, const AnsiString&, int, int, int, int, std::uint8_t,
                            std::uint8_t total, float) {
    ++progressReports;
    lastTotalPercent = total;
  };
  novex.OnFileDone = [this](TObject*, const AnsiString& file) {
    events.push_back("Done");
    doneFiles.push_back(file);
  };
  novex.OnLostFile = [this](TObject*, const AnsiString&, int code, bool&) {
    events.push_back("Lost:" + std::to_string(code));
  };
  novex.OnEndUpgrade = [this](TObject*, bool& restart) {
    events.push_back("End");
    restart = restartAtEnd;
  };
  novex.OnDoOwnCloseAppMethod = [this](TObject*) { ++closeCalls; };
}

std::string TEventLog::Joined() const {
  std::string joined;
  for (const std::string& e : events) joined += (joined.empty() ? "" : ",") + e;
  return joined;
}

bool TEventLog::Has(const std::string& name) const {
  return Count(name) > 0;
}

int TEventLog::Count(const std::string& name) const {
  return static_cast<int>(std::count(events.begin(), events.end(), name));
}

TRobot::TRobot() {
  g_robot = this;
  timer_ = SetTimer(nullptr, 0, kRobotTickMs, Tick);
}

TRobot::~TRobot() {
  KillTimer(nullptr, timer_);
  g_robot = nullptr;
}

void TRobot::Then(TStep step) {
  if (next_ >= steps_.size()) stepSince_ = GetTickCount();
  steps_.push_back(std::move(step));
}

void TRobot::GiveUp() {
  gaveUp_ = true;
  stepSince_ = GetTickCount();
  for (HWND window : ThreadWindows()) {
    if (!IsWindowVisible(window)) continue;
    if (ClassOf(window) == kMessageBoxClass) {
      for (int id : {IDNO, IDCANCEL, IDOK})
        if (GetDlgItem(window, id)) return PressBoxButton(window, id);
    }
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  }
}

void CALLBACK TRobot::Tick(HWND, UINT, UINT_PTR, DWORD) {
  if (g_robot) g_robot->Run();
}

void TRobot::Run() {
  // An action may open a modal loop of its own in which this timer fires again.
  for (const std::string& caption : VisibleWindowCaptions())
    if (std::find(seenWindows.begin(), seenWindows.end(), caption) == seenWindows.end())
      seenWindows.push_back(caption);
  if (running_ || Done()) return;
  HWND window = steps_[next_].find();
  if (!window || !IsWindowVisible(window)) {
    if (GetTickCount() - stepSince_ > kGiveUpMs) GiveUp();
    return;
  }
  running_ = true;
  TStep step = steps_[next_++];
  stepSince_ = GetTickCount();
  if (ClassOf(window) == kMessageBoxClass) seenTexts.push_back(MessageBoxText(window));
  step.act(window);
  running_ = false;
}

HWND FindOwnWindow(const std::string& className, const std::string& caption,
                   const std::string& buttonText) {
  for (HWND window : ThreadWindows()) {
    if (!IsWindowVisible(window) || ClassOf(window) != className ||
        dialogrobot::WindowText(window) != caption)
      continue;
    if (buttonText.empty() || ChildButton(window, buttonText)) return window;
  }
  return nullptr;
}

HWND FindMessageBox(const std::string& caption, const std::string& part) {
  for (HWND window : ThreadWindows())
    if (IsWindowVisible(window) && ClassOf(window) == kMessageBoxClass &&
        dialogrobot::WindowText(window) == caption &&
        MessageBoxText(window).find(part) != std::string::npos)
      return window;
  return nullptr;
}

std::string MessageBoxText(HWND box) {
  return dialogrobot::WindowText(GetDlgItem(box, kMessageBoxTextId));
}

void PressBoxButton(HWND box, int id) {
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
}

void ClickButton(HWND window, const std::string& buttonText) {
  if (HWND button = ChildButton(window, buttonText)) PostMessageA(button, BM_CLICK, 0, 0);
}

std::vector<std::string> VisibleWindowCaptions() {
  std::vector<std::string> captions;
  for (HWND window : ThreadWindows())
    if (IsWindowVisible(window)) captions.push_back(dialogrobot::WindowText(window));
  return captions;
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs, std::vector<std::string>* seen) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (seen)
      for (const std::string& caption : VisibleWindowCaptions())
        if (std::find(seen->begin(), seen->end(), caption) == seen->end()) seen->push_back(caption);
    if (done()) return true;
    if (GetTickCount() - start > timeoutMs) return false;
    Application().ProcessMessages();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

}  // namespace updatetest
