// The update component's outcomes, for real: information and update files
// on nginx, faults from the fault server, the dialogs answered on screen by a
// robot, and what ends up on disk.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "Application.h"
#include "HttpTestSupport.h"
#include "TestSupport.h"
#include "UpdateTestSupport.h"
#include "nxNovex.h"
#include "nxNovexMessages.h"
#include "nxNovexWizard.h"

using namespace updatetest;
using httptest::Servers;

namespace {

constexpr char kOwnClass[] = "TDeskpinControl";
constexpr DWORD kGuardMs = 30000;  // hang guard only; the cases take a second or two
constexpr char kOldVersion[] = "1.0.0.1";
constexpr char kNewVersion[] = "1.0.0.2";

// Message numbers of the texts the robot looks for.
constexpr unsigned kMsgCaption = 0, kMsgPassword = 11, kMsgYes = 14, kMsgOK = 16, kMsgCancel = 17,
                   kMsgNext = 18, kMsgLater = 19, kMsgError = 21, kMsgAbortQuestion = 27,
                   kMsgConnLost = 30;

// Sizes of the files each case's site serves.
constexpr size_t kSizeA = 1000, kSizeC = 3000, kSizeApp = 2000, kSizeSecret = 2048;
constexpr size_t kCutSize = 300000, kCutSent = 100000, kSlowSize = 400000;

std::string WindowsPath(std::string unixPath) {
  for (char& c : unixPath)
    if (c == '/') c = '\\';
  return "Z:" + unixPath;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::int64_t SizeOf(const std::string& path) {
  return Exists(path) ? GetFileSize64(path) : -1;
}

// The private temporary folder of this run: the helper and its queue land
// there, apart from whatever else runs in the prefix.
class PrivateTemp : public ::testing::Environment {
 public:
  void SetUp() override {
    Application().Initialize();
    folder_ = testsupport::MakeTempFolder("novex-outcomes");
    SetEnvironmentVariableA("TMP", folder_.c_str());
    SetEnvironmentVariableA("TEMP", folder_.c_str());
  }
  void TearDown() override { testsupport::RemoveTree(folder_); }

 private:
  std::string folder_;
};
const auto* const g_privateTemp = ::testing::AddGlobalTestEnvironment(new PrivateTemp);

enum TAnswer {
  QuestionYes,
  QuestionLater,
  LostFileYes,
  LostFileNo,
  PasswordGiven,
  PasswordCancelled,
  ConnLostOK,
  WizardCloseDuringSecondFile,
  AbortYes,
  AbortNo,
  WizardOK,
};

class Update : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    site_ = "update" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
    siteFolder_ = Servers().www + site_ + "\\";
    CreateDirectoryA(siteFolder_.c_str(), nullptr);
    testsupport::WriteFile(siteFolder_ + "a.bin", httptest::Pattern(kSizeA));
    testsupport::WriteFile(siteFolder_ + "c.bin", httptest::Pattern(kSizeC));
    testsupport::WriteFile(siteFolder_ + "app1.bin", httptest::Pattern(kSizeApp));
    dest_ = testsupport::MakeTempFolder("dest");
    RemoveProgramTempFiles();

    novex_ = std::make_unique<TnxNovex>(nullptr);
    log_ = std::make_unique<TEventLog>(*novex_);
    robot_ = std::make_unique<TRobot>();
    novex_->VersionControl = byNumber;
    novex_->VersionNumber = kOldVersion;
    novex_->InfoFileURL = SiteURL("update.inf");
    novex_->Wizard()->Enabled = false;
    DeleteFileA(QueueFile().c_str());
  }

  void TearDown() override {
    robot_.reset();
    novex_.reset();
    RemoveProgramTempFiles();
    testsupport::RemoveTree(dest_);
    testsupport::RemoveTree(siteFolder_);
  }

  static std::string QueueFile() { return GetTempFolder() + kQueueFileName; }

  // Downloads without destination land in the test program's folder.
  static void RemoveProgramTempFiles() {
    const std::string folder = testsupport::ExeFolder();
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*.uTMP").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
      SetFileAttributesA((folder + found.cFileName).c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA((folder + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }

  std::string SiteURL(const std::string& name) const {
    return Servers().NginxURL("/" + site_ + "/" + name);
  }

  // {site} the case's folder on nginx, {nginx} nginx's root, {fault} the
  // fault server, {dest} a temporary destination folder, {prog} the program's,
  // {exe} the file name of the program.
  std::string Expand(std::string text) const {
    text = Replaced(text, "{site}", Servers().NginxURL("/" + site_));
    text = Replaced(text, "{nginx}", Servers().NginxURL(""));
    text = Replaced(text, "{fault}", Servers().FaultURL(""));
    text = Replaced(text, "{dest}", dest_);
    text = Replaced(text, "{exe}", ExtractFileName(ExeFileName()));
    return Replaced(text, "{prog}", testsupport::ExeFolder());
  }

  // The information file: "#url", then "#url2", "#url3" ... for the entries.
  void Publish(const std::string& version, const std::vector<std::string>& entries,
               const std::string& more = "") {
    std::string text = "#version=" + version + "\r\n";
    for (size_t i = 0; i < entries.size(); ++i)
      text +=
          "#url" + (i ? std::to_string(i + 1) : std::string()) + "=" + Expand(entries[i]) + "\r\n";
    text += "#message={What is new}\r\n" + more;
    testsupport::WriteFile(siteFolder_ + "update.inf", text);
  }

  void Answer(TAnswer answer) {
    const std::string caption = LoadMsg(kMsgCaption);
    switch (answer) {
      case QuestionYes:
      case QuestionLater: {
        const std::string button = LoadMsg(answer == QuestionYes ? kMsgYes : kMsgLater);
        robot_->Then({"question", [=] { return FindOwnWindow(kOwnClass, caption, button); },
                      [=](HWND w) { ClickButton(w, button); }});
        break;
      }
      case LostFileYes:
      case LostFileNo:
        robot_->Then({"lost file box", [] { return FindLostBox(); },
                      [=](HWND w) { PressBoxButton(w, answer == LostFileYes ? IDYES : IDNO); }});
        break;
      case PasswordGiven:
      case PasswordCancelled: {
        const std::string ok = LoadMsg(kMsgOK), cancel = LoadMsg(kMsgCancel);
        robot_->Then({"password dialog",
                      [=] { return FindOwnWindow(kOwnClass, LoadMsg(kMsgPassword), ok); },
                      [=](HWND w) {
                        if (answer == PasswordCancelled) return ClickButton(w, cancel);
                        TypeCredentials(w, "test", "secret");
                        ClickButton(w, ok);
                      }});
        break;
      }
      case ConnLostOK:
        robot_->Then({"connection lost box",
                      [=] { return FindMessageBox(caption, LoadMsg(kMsgConnLost)); },
                      [](HWND w) { PressBoxButton(w, IDOK); }});
        break;
      case WizardCloseDuringSecondFile: {
        const std::string next = LoadMsg(kMsgNext);
        robot_->Then({"wizard while the second file comes in",
                      [=]() -> HWND {
                        if (log_->Count("Done") < 1 || log_->Count("Start") < 2) return nullptr;
                        return FindOwnWindow(kOwnClass, caption, next);
                      },
                      [](HWND w) { PostMessageA(w, WM_SYSCOMMAND, SC_CLOSE, 0); }});
        break;
      }
      case AbortYes:
      case AbortNo:
        robot_->Then(
            {"abort question",
             [] { return FindMessageBox(Application().Title(), LoadMsg(kMsgAbortQuestion)); },
             [=](HWND w) { PressBoxButton(w, answer == AbortYes ? IDYES : IDNO); }});
        break;
      case WizardOK: {
        const std::string ok = LoadMsg(kMsgOK);
        robot_->Then({"completed wizard", [=] { return FindOwnWindow(kOwnClass, caption, ok); },
                      [=](HWND w) { ClickButton(w, ok); }});
        break;
      }
    }
  }

  // Any message box whose caption starts with the error word: the lost-file box.
  static HWND FindLostBox() {
    const std::string error = LoadMsg(kMsgError) + " #";
    for (const std::string& caption : VisibleWindowCaptions())
      if (caption.rfind(error, 0) == 0)
        if (HWND box = FindMessageBox(caption, "")) return box;
    return nullptr;
  }

  static void TypeCredentials(HWND dialog, const std::string& user, const std::string& password) {
    for (HWND edit : ChildWindows(dialog)) {
      char name[16] = {};
      GetClassNameA(edit, name, sizeof(name));
      if (lstrcmpiA(name, "Edit") != 0) continue;
      const bool secret = GetWindowLongA(edit, GWL_STYLE) & ES_PASSWORD;
      SendMessageA(edit, WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>((secret ? password : user).c_str()));
    }
  }

  // Starts a check and pumps until an outcome that ends the case arrives and
  // the component is idle again.
  bool RunCheck() {
    novex_->CheckUpdate(false);
    const bool ended = PumpUntil(
        [&] {
          for (const char* end : {"End", "Aborted", "Later", "NoUpdate", "NoInfo", "ConnLost"})
            if (log_->Has(end)) return !novex_->Transferring() && !novex_->Busy();
          return false;
        },
        kGuardMs);
    PumpUntil([] { return false; }, 300);  // nothing may follow the outcome
    return ended;
  }

  std::string site_, siteFolder_, dest_;
  std::unique_ptr<TnxNovex> novex_;
  std::unique_ptr<TEventLog> log_;
  std::unique_ptr<TRobot> robot_;
};

// ---- outcomes of the check itself: nothing is downloaded

struct CheckCase {
  const char* name;
  const char* version;
  std::vector<std::string> entries;  // empty and unpublished: see published
  bool published;
  bool handlerDeclines;
  std::vector<TAnswer> answers;
  const char* events;
  bool questionShown;
};

void PrintTo(const CheckCase& c, std::ostream* os) {
  *os << c.name;
}

class CheckOutcome : public Update, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(CheckOutcome, EndsAsExpectedAndDownloadsNothing) {
  const CheckCase& c = GetParam();
  if (c.published) Publish(c.version, c.entries);
  log_->clearCanUpgrade = c.handlerDeclines;
  for (TAnswer a : c.answers) Answer(a);

  ASSERT_TRUE(RunCheck()) << "events so far: " << log_->Joined();

  EXPECT_EQ(log_->Joined(), c.events);
  EXPECT_TRUE(robot_->Done()) << "not answered: " << robot_->Pending();
  std::vector<std::string> expectedWindows;
  if (c.questionShown) expectedWindows.push_back(LoadMsg(kMsgCaption));
  EXPECT_EQ(robot_->seenWindows, expectedWindows);
  EXPECT_FALSE(Exists(dest_ + "a.bin.uTMP"));
  EXPECT_EQ(log_->progressReports, 0);
}

const CheckCase kCheckCases[] = {
    {"NoNewerVersion",
     kOldVersion,
     {"{site}/a.bin={dest}a.bin"},
     true,
     false,
     {},
     "NoUpdate",
     false},
    {"NewerVersionWithoutFiles", kNewVersion, {}, true, false, {}, "NoUpdate", false},
    {"AnsweredLater",
     kNewVersion,
     {"{site}/a.bin={dest}a.bin"},
     true,
     false,
     {QuestionLater},
     "Begin,Later",
     true},
    {"BeginUpgradeHandlerDeclines",
     kNewVersion,
     {"{site}/a.bin={dest}a.bin"},
     true,
     true,
     {},
     "Begin,Later",
     false},
    // No box by default: message 25 is not among the default messages.
    {"MissingInformationFile", kNewVersion, {}, false, false, {}, "NoInfo", false},
};
INSTANTIATE_TEST_SUITE_P(Update, CheckOutcome, ::testing::ValuesIn(kCheckCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Update, RedirectOpensTheWholeEntryInTheBrowser) {
  const std::string page = "http://127.0.0.1:18730/whatsnew.html=x";
  const std::string browserLog = dest_ + "browser.txt";
  SetEnvironmentVariableA("DESKPIN_BROWSER_LOG", browserLog.c_str());
  Publish(kNewVersion, {page}, "#method=2\r\n");
  Answer(QuestionYes);
  novex_->CheckUpdate(false);

  ASSERT_TRUE(PumpUntil([&] { return !testsupport::ReadFile(browserLog).empty(); }, kGuardMs))
      << "no browser started; events: " << log_->Joined();
  PumpUntil([] { return false; }, 500);

  EXPECT_NE(testsupport::ReadFile(browserLog).find(page), std::string::npos)
      << testsupport::ReadFile(browserLog);
  EXPECT_EQ(log_->Joined(), "Begin");
  EXPECT_EQ(log_->beginMethod, umRedirectToURL);
  EXPECT_FALSE(novex_->Transferring());
}

// ---- downloads

struct DownloadCase {
  const char* name;
  std::vector<std::string> entries;
  std::vector<TAnswer> answers;
  const char* events;
  std::vector<std::pair<std::string, std::int64_t>> files;  // path and size; -1: absent
  bool wizard;
  bool onlyIfSizeDifferent;
  std::vector<std::pair<std::string, std::int64_t>> before;  // files made first; -1: a folder
};

void PrintTo(const DownloadCase& c, std::ostream* os) {
  *os << c.name;
}

class Download : public Update, public ::testing::WithParamInterface<DownloadCase> {};

TEST_P(Download, EndsAsExpectedWithTheseFilesOnDisk) {
  const DownloadCase& c = GetParam();
  for (const auto& [path, size] : c.before) {
    if (size < 0)
      CreateDirectoryA(Expand(path).c_str(), nullptr);
    else
      testsupport::WriteFile(Expand(path), std::string(static_cast<size_t>(size), 'x'));
  }
  Publish(kNewVersion, c.entries);
  novex_->Wizard()->Enabled = c.wizard;
  if (c.onlyIfSizeDifferent) novex_->MiscFilesUpgrade = mfuOnlyIfSizeDifferent;
  for (TAnswer a : c.answers) Answer(a);

  ASSERT_TRUE(RunCheck()) << "events so far: " << log_->Joined()
                          << "; not answered: " << robot_->Pending();

  EXPECT_EQ(log_->Joined(), c.events);
  EXPECT_TRUE(robot_->Done()) << "not answered: " << robot_->Pending();
  for (const auto& [path, size] : c.files) EXPECT_EQ(SizeOf(Expand(path)), size) << Expand(path);
  // What was downloaded is what the server has.
  if (SizeOf(dest_ + "c.bin.uTMP") == std::int64_t(kSizeC)) {
    EXPECT_EQ(testsupport::ReadFile(dest_ + "c.bin.uTMP"), httptest::Pattern(kSizeC));
  }
  // All files handled: the overall figure reached 100 % (33 + 67 for three).
  if (log_->Has("End")) {
    EXPECT_EQ(log_->lastTotalPercent, 100);
  }
  // The restart was declined or never reached: nothing was handed to the helper.
  EXPECT_FALSE(Exists(QueueFile()));
  EXPECT_EQ(log_->closeCalls, 0);
  EXPECT_EQ(nxNovexWizardForm, nullptr);
}

const DownloadCase kDownloadCases[] = {
    {"SecondOfThreeMissingSkipped",
     {"{site}/app1.bin", "{site}/missing.bin={dest}b.bin", "{site}/c.bin={dest}c.bin"},
     {QuestionYes, LostFileYes},
     "Begin,Start,Done,Start,Lost:404,Start,Done,End",
     {{"{prog}app1.bin.uTMP", kSizeApp}, {"{dest}b.bin.uTMP", -1}, {"{dest}c.bin.uTMP", kSizeC}},
     false,
     false,
     {}},
    // No aborts: the program folder's downloads are deleted, the others stay.
    {"SecondOfThreeMissingAborts",
     {"{site}/app1.bin", "{site}/missing.bin={dest}b.bin", "{site}/c.bin={dest}c.bin"},
     {QuestionYes, LostFileNo},
     "Begin,Start,Done,Start,Lost:404,Aborted",
     {{"{prog}app1.bin.uTMP", -1}, {"{dest}b.bin.uTMP", -1}, {"{dest}c.bin.uTMP", -1}},
     false,
     false,
     {}},
    {"PasswordGiven",
     {"{nginx}/protected/secret.bin={dest}secret.bin"},
     {QuestionYes, PasswordGiven},
     "Begin,Password,Start,Done,End",
     {{"{dest}secret.bin.uTMP", kSizeSecret}},
     false,
     false,
     {}},
    // On the fault server: WinInet keeps the credentials given to nginx for
    // the rest of the process, and would not ask again.
    {"PasswordCancelled",
     {"{fault}/auth/user-nobody/pass-knows/secret.bin={dest}secret.bin",
      "{site}/c.bin={dest}c.bin"},
     {QuestionYes, PasswordCancelled},
     "Begin,Password,Aborted",
     {{"{dest}secret.bin.uTMP", -1}, {"{dest}c.bin.uTMP", -1}},
     false,
     false,
     {}},
    // The partial file stays for a later try; this is no abort.
    {"ConnectionLostMidFile",
     {"{fault}/cut/size-300000/send-100000/cut.bin={dest}cut.bin", "{site}/c.bin={dest}c.bin"},
     {QuestionYes, ConnLostOK},
     "Begin,Start,ConnLost",
     {{"{dest}cut.bin.uTMP", kCutSent}, {"{dest}c.bin.uTMP", -1}},
     false,
     false,
     {}},
    {"SameSizeSkipped",
     {"{site}/a.bin={dest}same.bin", "{site}/c.bin={dest}diff.bin"},
     {QuestionYes},
     "Begin,Start:skip,Start,Done,End",
     {{"{dest}same.bin.uTMP", -1}, {"{dest}diff.bin.uTMP", kSizeC}},
     false,
     true,
     {{"{dest}same.bin", kSizeA}, {"{dest}diff.bin", 5}}},
    // The program's own file is what an update is for: never skipped.
    {"SameSizeProgramFileDownloaded",
     {"{site}/a.bin={dest}{exe}", "{site}/c.bin={dest}diff.bin"},
     {QuestionYes},
     "Begin,Start,Done,Start,Done,End",
     {{"{dest}{exe}.uTMP", kSizeA}, {"{dest}diff.bin.uTMP", kSizeC}},
     false,
     true,
     {{"{dest}{exe}", kSizeA}, {"{dest}diff.bin", 5}}},
    {"SameSizeSingleEntryDownloaded",
     {"{site}/a.bin={dest}same.bin"},
     {QuestionYes},
     "Begin,Start,Done,End",
     {{"{dest}same.bin.uTMP", kSizeA}},
     false,
     true,
     {{"{dest}same.bin", kSizeA}}},
    // A target that cannot be created (a folder of that name is in the way)
    // is a file that cannot be had.
    {"TargetCannotBeCreatedSkipped",
     {"{site}/a.bin={dest}locked.bin", "{site}/c.bin={dest}c.bin"},
     {QuestionYes, LostFileYes},
     "Begin,Start,Lost:200,Start,Done,End",
     {{"{dest}c.bin.uTMP", kSizeC}},
     false,
     false,
     {{"{dest}locked.bin.uTMP", -1}}},
    {"TargetCannotBeCreatedAborts",
     {"{site}/app1.bin", "{site}/a.bin={dest}locked.bin", "{site}/c.bin={dest}c.bin"},
     {QuestionYes, LostFileNo},
     "Begin,Start,Done,Start,Lost:200,Aborted",
     {{"{prog}app1.bin.uTMP", -1}, {"{dest}c.bin.uTMP", -1}},
     false,
     false,
     {{"{dest}locked.bin.uTMP", -1}}},
    {"WizardClosedAndAborted",
     {"{site}/app1.bin", "{fault}/slow/size-400000/chunk-4000/ms-30/slow.bin={dest}slow.bin"},
     {QuestionYes, WizardCloseDuringSecondFile, AbortYes},
     "Begin,Start,Done,Start,Aborted",
     {{"{prog}app1.bin.uTMP", -1}},
     true,
     false,
     {}},
    {"WizardCloseDeclinedGoesOn",
     {"{site}/app1.bin", "{fault}/slow/size-400000/chunk-4000/ms-30/slow.bin={dest}slow.bin"},
     {QuestionYes, WizardCloseDuringSecondFile, AbortNo, WizardOK},
     "Begin,Start,Done,Start,Done,End",
     {{"{prog}app1.bin.uTMP", kSizeApp}, {"{dest}slow.bin.uTMP", kSlowSize}},
     true,
     false,
     {}},
};
INSTANTIATE_TEST_SUITE_P(Update, Download, ::testing::ValuesIn(kDownloadCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- applying, with the recording program standing in for the helper

TEST_F(Update, AppliedUpdateWritesHelperAndQueueAndStartsTheHelper) {
  const std::string helperLog = dest_ + "helper.txt";
  SetEnvironmentVariableA("DESKPIN_BROWSER_LOG", helperLog.c_str());
  Publish(kNewVersion, {"{site}/app1.bin", "{site}/c.bin={dest}sub\\c.bin"});
  log_->restartAtEnd = true;
  Answer(QuestionYes);
  novex_->CheckUpdate(false);

  ASSERT_TRUE(PumpUntil([&] { return log_->closeCalls > 0; }, kGuardMs)) << log_->Joined();
  EXPECT_EQ(log_->Joined(), "Begin,Start,Done,Start,Done,End");
  EXPECT_EQ(log_->closeCalls, 1);
  EXPECT_TRUE(novex_->IsDownloadsComplete());
  EXPECT_EQ(SizeOf(dest_ + "sub\\c.bin.uTMP"), std::int64_t(kSizeC));
  EXPECT_EQ(SizeOf(testsupport::ExeFolder() + "app1.bin.uTMP"), std::int64_t(kSizeApp));

  // The queue names the downloads with a destination, as absolute paths.
  EXPECT_EQ(testsupport::ReadFile(QueueFile()), dest_ + "sub\\c.bin\r\n");
  EXPECT_EQ(ExtractFilePath(HelperPath()), GetTempFolder());
  EXPECT_EQ(testsupport::ReadFile(HelperPath()),
            testsupport::ReadFile(WindowsPath(HELPER_STAND_IN)));

  // The helper is told the program (quoted) and the restart parameters.
  ASSERT_TRUE(PumpUntil([&] { return !testsupport::ReadFile(helperLog).empty(); }, kGuardMs));
  const std::string started = testsupport::ReadFile(helperLog);
  EXPECT_NE(started.find("\"" + ExeFileName() + "\" +/afterupgrade0\r\n"), std::string::npos)
      << started;
}

// ---- the waiting check

TEST_F(Update, WaitingCheckReturnsThisChecksAnswerWithoutAnyWindow) {
  Publish(kNewVersion, {"{site}/a.bin={dest}a.bin"});
  EXPECT_TRUE(novex_->CheckUpdate(true));
  EXPECT_EQ(log_->Joined(), "Begin");

  // Nothing newer now: the True of the check before is not returned again.
  Publish(kOldVersion, {"{site}/a.bin={dest}a.bin"});
  EXPECT_FALSE(novex_->CheckUpdate(true));
  EXPECT_EQ(log_->Joined(), "Begin,NoUpdate");

  // A missing file and an unreachable host end the wait as well.
  DeleteFileA((siteFolder_ + "update.inf").c_str());
  EXPECT_FALSE(novex_->CheckUpdate(true));
  novex_->InfoFileURL = "http://127.0.0.1:1/update.inf";
  EXPECT_FALSE(novex_->CheckUpdate(true));
  EXPECT_EQ(log_->Joined(), "Begin,NoUpdate,NoInfo,Unreachable");

  PumpUntil([] { return false; }, 300);
  EXPECT_TRUE(robot_->seenWindows.empty()) << robot_->seenWindows.front();
  EXPECT_FALSE(Exists(dest_ + "a.bin.uTMP"));
}

// ---- the automatic check

TEST_F(Update, UnreachableHostIsRetriedQuietlyByTheAutomaticCheck) {
  ASSERT_TRUE(IsNetworkConnected()) << "the automatic check waits for a network connection";
  constexpr int kDelayMs = 400;
  novex_->InfoFileURL = "http://127.0.0.1:1/update.inf";
  // The delay first: the timer takes the delay in force when AutoCheck is set.
  novex_->AutoCheckDelay = kDelayMs;
  const DWORD armed = GetTickCount();
  novex_->SetAutoCheck(true);

  ASSERT_TRUE(PumpUntil([&] { return log_->Count("Unreachable") >= 3; }, kGuardMs))
      << log_->Joined();
  const std::vector<DWORD>& ticks = log_->unreachableTicks;
  EXPECT_GE(ticks[0] - armed, DWORD(kDelayMs) - 50);
  for (size_t i = 1; i < ticks.size(); ++i)
    EXPECT_GE(ticks[i] - ticks[i - 1], DWORD(kDelayMs) - 50);
  EXPECT_TRUE(robot_->seenWindows.empty()) << robot_->seenWindows.front();
}

TEST_F(Update, UnreachableHostOfACheckByHandIsNotRetried) {
  novex_->InfoFileURL = "http://127.0.0.1:1/update.inf";
  novex_->AutoCheckDelay = 300;
  novex_->CheckUpdate(false);
  PumpUntil([] { return false; }, 2000);
  EXPECT_EQ(log_->Joined(), "Unreachable");
  EXPECT_TRUE(robot_->seenWindows.empty()) << robot_->seenWindows.front();
}

}  // namespace

// ---- the application told to end (the launcher's 30 seconds) while the
// update waits for the user. Each runs alone in its program: once told to
// end, the application stays ended.

class Termination : public Update {
 protected:
  // The next robot step, instead of answering, tells the application to end.
  TStep EndTheApplicationWhen(std::string what, std::function<HWND()> find) {
    return {std::move(what), std::move(find), [](HWND) { Application().Terminate(); }};
  }
};

TEST_F(Termination, WhileTheQuestionIsOpenNothingIsDownloaded) {
  Publish(kNewVersion, {"{site}/a.bin={dest}a.bin"});
  const std::string caption = LoadMsg(kMsgCaption), yes = LoadMsg(kMsgYes);
  robot_->Then(
      EndTheApplicationWhen("question", [=] { return FindOwnWindow(kOwnClass, caption, yes); }));

  ASSERT_TRUE(RunCheck()) << log_->Joined();
  EXPECT_EQ(log_->Joined(), "Begin,Later");
  EXPECT_TRUE(robot_->Done()) << robot_->Pending();
  EXPECT_FALSE(Exists(dest_ + "a.bin.uTMP"));
}

TEST_F(Termination, WhileTheCompletedWizardWaitsTheUpdateIsApplied) {
  Publish(kNewVersion, {"{site}/a.bin={dest}a.bin"});
  novex_->Wizard()->Enabled = true;
  log_->restartAtEnd = true;
  Answer(QuestionYes);
  const std::string caption = LoadMsg(kMsgCaption), ok = LoadMsg(kMsgOK);
  robot_->Then(EndTheApplicationWhen("completed wizard",
                                     [=] { return FindOwnWindow(kOwnClass, caption, ok); }));
  novex_->CheckUpdate(false);

  ASSERT_TRUE(PumpUntil([&] { return log_->closeCalls > 0; }, kGuardMs)) << log_->Joined();
  EXPECT_EQ(log_->Joined(), "Begin,Start,Done,End");
  EXPECT_FALSE(novex_->IsAborted());
  EXPECT_EQ(SizeOf(dest_ + "a.bin.uTMP"), std::int64_t(kSizeA));
  EXPECT_EQ(testsupport::ReadFile(QueueFile()), dest_ + "a.bin\r\n");
}

TEST_F(Termination, WhileThePasswordIsAskedTheUpdateIsAborted) {
  Publish(kNewVersion, {"{nginx}/protected/secret.bin={dest}secret.bin"});
  Answer(QuestionYes);
  const std::string ok = LoadMsg(kMsgOK);
  robot_->Then(EndTheApplicationWhen(
      "password dialog", [=] { return FindOwnWindow(kOwnClass, LoadMsg(kMsgPassword), ok); }));

  ASSERT_TRUE(RunCheck()) << log_->Joined();
  EXPECT_EQ(log_->Joined(), "Begin,Password,Aborted");
  EXPECT_FALSE(Exists(dest_ + "secret.bin.uTMP"));
}
