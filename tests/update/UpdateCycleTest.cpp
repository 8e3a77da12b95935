// The whole update cycle, for real: Deskpin 1.0.0.1 in a program folder of the
// prefix finds 1.0.0.2 on the update host (nginx on 127.0.0.1), the robot
// answers Yes and, when the wizard has completed, OK; the helper replaces the
// three files and starts the new version with "/afterupgrade", which finds
// nothing newer and ends by itself.
//
// DESKPIN_SHOT_FOLDER (optional) receives screenshots of the dialogs; the
// other settings are those of UpdateCycleSupport.h.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "DialogRobot.h"
#include "TestSupport.h"
#include "UpdateCycleSupport.h"
#include "UpdateRobot.h"

namespace {

constexpr DWORD kFirstRunMs = 45000;   // question, downloads and OK well within 30 s
constexpr DWORD kRestartMs = 30000;    // the helper waits, moves and starts the program
constexpr DWORD kSecondRunMs = 45000;  // the restarted program ends itself after 30 s
constexpr DWORD kHelperEndMs = 10000;

using namespace updatecycle;

TEST_F(UpdateCycle, InstallsTheNewVersionAndRestartsIt) {
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  std::wstring commandLine = L"\"" + program_ + L"\"";
  ASSERT_TRUE(CreateProcessW(program_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                             nullptr, programFolder_.c_str(), &si, &pi));
  unique_handle firstRun(pi.hProcess);
  CloseHandle(pi.hThread);

  // The robot answers the question and the completed wizard.
  const std::string shots = Env("DESKPIN_SHOT_FOLDER");
  updaterobot::Options options;
  options.programFile = program_;
  options.processId = pi.dwProcessId;
  options.process = firstRun.get();
  options.timeoutMs = kFirstRunMs;
  options.onStage = [&](const updaterobot::Sighting& sighting, HWND window) {
    if (shots.empty()) return;
    SHCreateDirectoryExW(nullptr, FromUnix(shots).c_str(), nullptr);
    dialogrobot::SaveScreenshot(
        window, Narrow(FromUnix(shots + "/" + updaterobot::StageName(sighting.stage) + ".bmp")));
  };
  updaterobot::Report report;
  std::thread robot([&] { report = updaterobot::AnswerUpdate(options); });
  robot.join();
  ASSERT_TRUE(EndsByItself(firstRun.get(), kFirstRunMs)) << "1.0.0.1 did not end";
  DWORD firstExit = 0;
  GetExitCodeProcess(firstRun.get(), &firstExit);
  EXPECT_EQ(firstExit, 0u) << "1.0.0.1 failed";

  // What the user saw: the question with the update's message, the wizard
  // downloading and then completed with every file in.
  ASSERT_TRUE(report.pressedYes) << "no question was seen";
  ASSERT_TRUE(report.pressedOK) << "the wizard did not complete";
  ASSERT_GE(report.seen.size(), 2u);
  EXPECT_EQ(report.seen.front().stage, updaterobot::Stage::Question);
  const std::vector<std::wstring>& question = report.seen.front().texts;
  EXPECT_TRUE(std::any_of(question.begin(), question.end(), [](const std::wstring& text) {
    return text.find(L"the web client opens faster") != std::wstring::npos;
  })) << "the update's message is not in the question";
  EXPECT_EQ(report.seen.back().stage, updaterobot::Stage::Completed);
  EXPECT_EQ(report.seen.back().progress, (std::vector<int>{100, 100}));

  // The helper waits for 1.0.0.1 to end, moves the files and starts the
  // program again; that run finds nothing newer and ends after 30 s.
  Watched restarted = FindProcess(program_, {pi.dwProcessId}, kRestartMs);
  ASSERT_TRUE(restarted.process) << "the program was not started again";
  Watched helper = FindProcess(tempFolder_ + L"Upgrader4.exe", {}, 0);
  if (helper.process) {
    EXPECT_TRUE(EndsByItself(helper.process.get(), kHelperEndMs));
  }
  EXPECT_EQ(restarted.commandLine, L"\"" + program_ + L"\" /afterupgrade")
      << Narrow(restarted.commandLine);
  EXPECT_TRUE(EndsByItself(restarted.process.get(), kSecondRunMs)) << "1.0.0.2 did not end";

  // All three files are in place, none is left under its temporary name.
  EXPECT_TRUE(ReadAll(program_) == newProgram_) << "the program file is not 1.0.0.2";
  const std::wstring notes = notesFolder_ + L"notes.txt";
  EXPECT_EQ(ReadAll(notes), ReadAll(site_ + L"notes.txt"));
  EXPECT_EQ(ReadAll(helpFile_), ReadAll(site_ + L"help.html"));
  for (const std::wstring& file : {program_, notes, helpFile_})
    EXPECT_EQ(GetFileAttributesW(file.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY),
              0u)
        << Narrow(file);
  for (const std::wstring& folder : {programFolder_, programFolder_ + L"help\\", notesFolder_})
    EXPECT_TRUE(FilesIn(folder, L"*.uTMP").empty()) << Narrow(folder);
  EXPECT_FALSE(testsupport::FileExistsW(tempFolder_ + L"UpgraderQueue.txt"));

  // The host saw the information file, the three files, and the restarted
  // program's own look at the information file, in this order. (Other
  // programs pointed at this update host may have asked too.)
  const std::vector<std::string> requests = UpdateRequests(ReadAll(accessLog_).substr(logStart_));
  const std::vector<std::string> expected{"varnel_web.inf 200", "varnel_web.exe 200",
                                          "notes.txt 200", "help.html 200", "varnel_web.inf 200"};
  size_t matched = 0;
  for (const std::string& request : requests)
    if (matched < expected.size() && request == expected[matched]) ++matched;
  EXPECT_EQ(matched, expected.size()) << "requests seen: " << ::testing::PrintToString(requests);

  // Both runs opened the web client; the desktop link points at the program.
  std::string browser = ReadAll(browserLog_);
  EXPECT_EQ(std::count(browser.begin(), browser.end(), '\n'), 2) << browser;
  EXPECT_EQ(_wcsicmp(LinkTarget(link_).c_str(), program_.c_str()), 0) << Narrow(LinkTarget(link_));
}

}  // namespace
