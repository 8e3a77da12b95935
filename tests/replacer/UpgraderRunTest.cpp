// The replacement helper run for real under Wine, written out from the
// resource this test carries, in folders of the prefix.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "RunFixture.h"

using namespace replacer_test;

namespace {

constexpr char kAboutCaption[] = "Upgrader v4.0";
constexpr char kAboutFirstLine[] = "Self-upgrading mechanism for Novex component.";
constexpr char kRestartParams[] = "/afterupgrade";
constexpr DWORD kBoxTimeoutMs = 20000;

std::vector<std::string> Starts(const std::vector<LogLine>& lines) {
  std::vector<std::string> tags;
  for (const LogLine& l : lines) {
    if (l.kind == "start") tags.push_back(l.tag);
  }
  return tags;
}

const LogLine* FindLine(const std::vector<LogLine>& lines, const std::string& kind,
                        const std::string& tag) {
  for (const LogLine& l : lines) {
    if (l.kind == kind && l.tag == tag) return &l;
  }
  return nullptr;
}

std::string Content(const std::string& path) {
  std::string bytes;
  return ReadAll(path, bytes) ? bytes : "<missing>";
}

TEST(UpgraderResource, CarriesTheBuiltHelperByteForByte) {
  std::string built;
  ASSERT_TRUE(ReadAll(DESKPIN_UPGRADER_EXE, built)) << DESKPIN_UPGRADER_EXE;
  const std::string carried = HelperImage();
  ASSERT_GT(carried.size(), 2u);
  EXPECT_EQ(carried.substr(0, 2), "MZ");
  EXPECT_TRUE(carried == built) << "carried " << carried.size() << " bytes, built " << built.size();
}

struct PathCase {
  const char* name;
  const char* appFolder;
  const char* tempFolder;
  bool quoted;
};

void PrintTo(const PathCase& c, std::ostream* os) {
  *os << c.name;
}

class UpgraderPaths : public RunFixture, public ::testing::WithParamInterface<PathCase> {};

// The whole course: the helper waits for the running program, moves the
// queued downloads (outside the program's folder and in a subfolder) and the
// swept ones, and starts the new program with the restart parameters.
TEST_P(UpgraderPaths, WaitsMovesAndRestarts) {
  const PathCase& c = GetParam();
  UseTempFolder(c.tempFolder);
  const std::string app = Dir(c.appFolder);
  const std::string sub = Dir(std::string(c.appFolder) + "\\sub");
  const std::string outside = Dir("Shared Data");
  const std::string appExe = app + "app.exe";
  const std::string newApp = StandIn("new", 0);
  Put(appExe, StandIn("old", kProgramHoldMs));
  Put(appExe + ".uTMP", newApp, kTempAttributes);
  Put(app + "readme.txt", "old readme", FILE_ATTRIBUTE_READONLY);
  Put(app + "readme.txt.uTMP", "new readme", kTempAttributes);
  Put(app + "tool.exe.uTMP", "tool", kTempAttributes);
  Put(sub + "lib.dll.uTMP", "lib", kTempAttributes);
  Put(outside + "data.bin", "old data");
  Put(outside + "data.bin.uTMP", "new data", kTempAttributes);
  // A line whose download is missing is passed over; the lines after it count.
  WriteQueue({outside + "missing.bin", outside + "data.bin", sub + "lib.dll"});
  SetProbe(outside + "data.bin.uTMP");

  const Process running = Start(appExe, Quote(appExe));
  ASSERT_TRUE(WaitForStart("old"));
  const std::string args = (c.quoted ? Quote(appExe) : appExe) + " +/afterupgrade0";
  const HelperResult run = RunHelper(args, c.quoted);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  ASSERT_TRUE(WaitForStart("new"));

  const std::vector<LogLine> log = Log();
  EXPECT_EQ(Starts(log), (std::vector<std::string>{"old", "new"}));
  const LogLine* oldEnd = FindLine(log, "end", "old");
  ASSERT_NE(oldEnd, nullptr);
  EXPECT_EQ(oldEnd->value, "1") << "a queued file was moved while the program still ran";
  const LogLine* restart = FindLine(log, "start", "new");
  ASSERT_NE(restart, nullptr);
  EXPECT_EQ(SplitCommandLine(restart->commandLine),
            (std::vector<std::string>{appExe, kRestartParams}))
      << restart->commandLine;

  const struct {
    std::string path;
    std::string content;
  } placed[] = {
      {appExe, newApp},         {app + "readme.txt", "new readme"}, {app + "tool.exe", "tool"},
      {sub + "lib.dll", "lib"}, {outside + "data.bin", "new data"},
  };
  for (const auto& p : placed) {
    EXPECT_TRUE(Content(p.path) == p.content) << p.path;
    EXPECT_EQ(Attributes(p.path), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE)) << p.path;
    EXPECT_FALSE(Exists(p.path + ".uTMP")) << p.path;
  }
  EXPECT_FALSE(Exists(outside + "missing.bin"));
  EXPECT_FALSE(Exists(QueuePath()));
  EXPECT_TRUE(Exists(HelperPath())) << "the helper must leave its own file alone";
}

INSTANTIATE_TEST_SUITE_P(
    Folders, UpgraderPaths,
    ::testing::Values(PathCase{"Plain", "App", "Temp", true},
                      PathCase{"Blanks", "Program Files\\My  App", "Local Settings\\Temp", true},
                      PathCase{"Plus", "Tools\\Notepad++\\C +Kit", "Temp", true},
                      PathCase{"UnquotedWithBlank", "Program Files\\App", "Temp", false}),
    [](const ::testing::TestParamInfo<PathCase>& info) { return info.param.name; });

using UpgraderRun = RunFixture;

// Without the program's own replacement the first swept lower-case "exe"
// becomes the program; SETUP.EXE never does. A missing queue only skips the
// queue step.
TEST_F(UpgraderRun, ProgramRuleRenamesTheDownloadedProgram) {
  const std::string app = Dir("App");
  const std::string appExe = app + "app.exe";
  const std::string renamed = StandIn("renamed", 0);
  Put(appExe, StandIn("old", 0));
  Put(app + "SETUP.EXE.uTMP", "upper-case setup", kTempAttributes);
  Put(app + "launcher2.exe.uTMP", renamed, kTempAttributes);
  Put(app + "notes.txt.uTMP", "notes", kTempAttributes);

  const HelperResult run = RunHelper(Quote(appExe) + " +/afterupgrade0");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  ASSERT_TRUE(WaitForStart("renamed"));

  EXPECT_TRUE(Content(appExe) == renamed);
  EXPECT_FALSE(Exists(app + "launcher2.exe"));
  EXPECT_FALSE(Exists(app + "launcher2.exe.uTMP"));
  EXPECT_EQ(Content(app + "SETUP.EXE"), "upper-case setup");
  EXPECT_EQ(Content(app + "notes.txt"), "notes");
  const std::vector<LogLine> log = Log();
  const LogLine* restart = FindLine(log, "start", "renamed");
  ASSERT_NE(restart, nullptr);
  EXPECT_EQ(SplitCommandLine(restart->commandLine),
            (std::vector<std::string>{appExe, kRestartParams}));
}

// Setup mode runs the downloaded setup program, hidden in the program's
// folder, with the parameters; waits until it has ended; deletes it; then
// starts the program.
TEST_F(UpgraderRun, SetupModeRunsSetupThenTheProgram) {
  const std::string app = Dir("Program Files\\App");
  const std::string appExe = app + "app.exe";
  const std::string appImage = StandIn("app", 0);
  Put(appExe, appImage);
  Put(app + "setup.exe.uTMP", StandIn("setup", kProgramHoldMs), kTempAttributes);

  const HelperResult run = RunHelper(Quote(appExe) + " +/afterupgrade /silent1");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  ASSERT_TRUE(WaitForStart("app"));

  const std::vector<LogLine> log = Log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].kind + " " + log[0].tag, "start setup");
  EXPECT_EQ(log[1].kind + " " + log[1].tag, "end setup");
  EXPECT_EQ(log[2].kind + " " + log[2].tag, "start app");
  EXPECT_EQ(SplitCommandLine(log[0].commandLine),
            (std::vector<std::string>{app + "setup.exe", "/afterupgrade", "/silent"}));
  EXPECT_EQ(std::stoul(log[0].value, nullptr, 16),
            static_cast<unsigned long>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(SplitCommandLine(log[2].commandLine),
            (std::vector<std::string>{appExe, "/afterupgrade", "/silent"}));
  EXPECT_FALSE(Exists(app + "setup.exe"));
  EXPECT_TRUE(Content(appExe) == appImage);
}

// Setup mode whose sweep takes no setup program (the program's own
// replacement came along): the program is replaced, stays visible, is started
// once and is never deleted.
TEST_F(UpgraderRun, SetupModeWithoutSetupProgramKeepsTheProgram) {
  const std::string app = Dir("App");
  const std::string appExe = app + "app.exe";
  const std::string newApp = StandIn("new", 0);
  Put(appExe, StandIn("old", 0));
  Put(appExe + ".uTMP", newApp, kTempAttributes);
  Put(app + "other.exe.uTMP", "other", kTempAttributes);

  const HelperResult run = RunHelper(Quote(appExe) + " +/afterupgrade1");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  ASSERT_TRUE(WaitForStart("new"));
  Sleep(kProgramHoldMs);  // time for a second start to show up, if there were one

  EXPECT_EQ(Starts(Log()), std::vector<std::string>{"new"});
  EXPECT_TRUE(Content(appExe) == newApp);
  EXPECT_EQ(Attributes(appExe), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(Content(app + "other.exe"), "other");
}

// A read-only program file is still replaced (its attributes are cleared
// first), and the helper does not wait for it.
TEST_F(UpgraderRun, ReadOnlyProgramFileIsReplaced) {
  const std::string app = Dir("App");
  const std::string appExe = app + "app.exe";
  const std::string newApp = StandIn("new", 0);
  Put(appExe, StandIn("old", 0), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  Put(appExe + ".uTMP", newApp, kTempAttributes);

  const HelperResult run = RunHelper(Quote(appExe) + " +/afterupgrade0");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  ASSERT_TRUE(WaitForStart("new"));
  EXPECT_TRUE(Content(appExe) == newApp);
  EXPECT_EQ(Attributes(appExe), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
}

// The wait is for a program that still runs. A program file that can never
// be opened for writing although nothing runs from it ends the wait instead of
// hanging the helper, and the queue is still worked off.
class UpgraderWait : public RunFixture {
 protected:
  void ExpectWaitEnds(const std::string& appPath) {
    HANDLE probe = CreateFileA(appPath.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD probeError = GetLastError();
    if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
    ASSERT_EQ(probe, INVALID_HANDLE_VALUE) << appPath << " can be written";
    ASSERT_NE(probeError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    const std::string data = Dir("Data");
    Put(data + "queued.bin.uTMP", "queued", kTempAttributes);
    WriteQueue({data + "queued.bin"});

    const HelperResult run = RunHelper(Quote(appPath) + " +/afterupgrade0");
    ASSERT_TRUE(run.finished) << "the helper still waits for " << appPath;
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(Content(data + "queued.bin"), "queued");
    EXPECT_FALSE(Exists(QueuePath()));
  }
};

// A wildcard finds the program's file, but no file by that name can be opened.
TEST_F(UpgraderWait, EndsOnAnInvalidName) {
  const std::string app = Dir("App");
  Put(app + "app.exe", "old");
  ExpectWaitEnds(app + "app.ex?");
  EXPECT_EQ(Content(app + "app.exe"), "old");
}

// A file without write rights: Wine runs as root here and ignores the
// read-only attribute, but the kernel's own read-only files refuse even root.
TEST_F(UpgraderWait, EndsOnMissingRights) {
  const std::string noRights = "Z:\\sys\\kernel\\uevent_seqnum";
  if (!Exists(noRights)) GTEST_SKIP() << noRights << " does not exist here";
  ExpectWaitEnds(noRights);
}

struct BoxText {
  DWORD process;
  HWND box;
  std::vector<std::string> texts;
};

BOOL CALLBACK CollectStaticText(HWND child, LPARAM param) {
  auto* found = reinterpret_cast<BoxText*>(param);
  char className[64] = {};
  GetClassNameA(child, className, sizeof(className));
  char text[1024] = {};
  GetWindowTextA(child, text, sizeof(text));
  if (lstrcmpiA(className, "Static") == 0 && text[0] != '\0') found->texts.push_back(text);
  return TRUE;
}

BOOL CALLBACK FindBox(HWND window, LPARAM param) {
  auto* found = reinterpret_cast<BoxText*>(param);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  char caption[64] = {};
  GetWindowTextA(window, caption, sizeof(caption));
  if (process == found->process && lstrcmpA(caption, kAboutCaption) == 0) {
    found->box = window;
    return FALSE;
  }
  return TRUE;
}

// Started by hand: only the information box, and the helper ends when the
// box is closed; a queue lying in the temporary folder is left alone.
TEST_F(UpgraderRun, WithoutArgumentsShowsOnlyTheInformationBox) {
  const std::string app = Dir("App");
  Put(app + "app.exe.uTMP", "download");
  WriteQueue({app + "app.exe"});
  const Process helper = StartHelper("");
  ASSERT_NE(helper.handle(), nullptr);

  BoxText found{helper.id(), nullptr, {}};
  ASSERT_TRUE(WaitUntil(
      [&] {
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&found));
        return found.box != nullptr;
      },
      kBoxTimeoutMs));
  EnumChildWindows(found.box, CollectStaticText, reinterpret_cast<LPARAM>(&found));
  ASSERT_EQ(found.texts.size(), 1u);
  const std::string& text = found.texts[0];
  const size_t lineEnd = text.find("\r\n");
  ASSERT_NE(lineEnd, std::string::npos) << text;
  EXPECT_EQ(text.substr(0, lineEnd), kAboutFirstLine);
  EXPECT_FALSE(text.substr(lineEnd + 2).empty());
  EXPECT_EQ(text.find('\n', lineEnd + 2), std::string::npos) << "more than two lines";
  EXPECT_FALSE(helper.WaitFor(0)) << "the helper must wait for the box";

  PostMessageA(found.box, WM_CLOSE, 0, 0);
  ASSERT_TRUE(helper.WaitFor(kBoxTimeoutMs));
  EXPECT_EQ(helper.ExitCode(), 0u);
  EXPECT_TRUE(Exists(QueuePath()));
  EXPECT_TRUE(Exists(app + "app.exe.uTMP"));
  EXPECT_FALSE(Exists(app + "app.exe"));
}

}  // namespace
