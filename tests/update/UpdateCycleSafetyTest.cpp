// The whole update cycle where a careless update would install a damaged
// file: a partial download left by an earlier, interrupted update, and two
// copies of the program updating the same folder at once.
//
// DESKPIN_FAULT_STATE is the fault server's state folder (pathfaults.py); the
// other settings are those of UpdateCycleSupport.h.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "UpdateCycleSupport.h"
#include "UpdateRobot.h"

namespace {

using namespace updatecycle;

constexpr DWORD kRunMs = 45000;      // each run ends itself after 30 s
constexpr DWORD kRestartMs = 30000;  // the helper waits, moves and starts the program
constexpr DWORD kHelperEndMs = 10000;
constexpr DWORD kSecondCopyDelayMs = 1000;
constexpr DWORD kNoOtherRestartMs = 3000;
constexpr size_t kCutSent = 100000;  // of the 300000 bytes the fault server announces

class UpdateCycleSafety : public UpdateCycle {
 protected:
  void SetUp() override {
    UpdateCycle::SetUp();
    if (HasFatalFailure()) return;
    infoFile_ = site_ + L"varnel_web.inf";
    announced_ = ReadAll(infoFile_);
    ASSERT_FALSE(announced_.empty());
  }

  void TearDown() override {
    if (!announced_.empty()) WriteAll(infoFile_, announced_);
    UpdateCycle::TearDown();
  }

  // The host's announcement with other files: its version, date, message and
  // method stay; the first URL is the program.
  bool Announce(const std::vector<std::string>& urls) {
    std::string text;
    for (size_t start = 0, end; (end = announced_.find("\r\n", start)) != std::string::npos;
         start = end + 2) {
      const std::string line = announced_.substr(start, end - start);
      if (line.rfind("#url", 0) != 0) text += line + "\r\n";
    }
    for (size_t i = 0; i < urls.size(); ++i)
      text += "#url" + (i ? std::to_string(i + 1) : std::string()) + "=" + urls[i] + "\r\n";
    return WriteAll(infoFile_, text);
  }

  // The address of the new program on the host, as first announced.
  std::string ProgramURL() const {
    const size_t at = announced_.find("#url=");
    if (at == std::string::npos) return {};
    return announced_.substr(at + 5, announced_.find("\r\n", at) - at - 5);
  }

  // Answers the update's dialogs of one copy until it is done with them.
  updaterobot::Report Answer(const Started& copy) {
    updaterobot::Options options;
    options.programFile = program_;
    options.processId = copy.id;
    options.process = copy.process.get();
    options.timeoutMs = kRunMs;
    return updaterobot::AnswerUpdate(options);
  }

  // After the run that applied the update: the restarted program, which is
  // waited for, and the helper.
  void ExpectRestartedOnce(const std::vector<DWORD>& earlierRuns) {
    Watched restarted = FindProcess(program_, earlierRuns, kRestartMs);
    ASSERT_TRUE(restarted.process) << "the program was not started again";
    Watched helper = FindProcess(tempFolder_ + L"Upgrader4.exe", {}, 0);
    if (helper.process) {
      EXPECT_TRUE(EndsByItself(helper.process.get(), kHelperEndMs));
    }
    EXPECT_EQ(restarted.commandLine, L"\"" + program_ + L"\" /afterupgrade")
        << Narrow(restarted.commandLine);
    std::vector<DWORD> known = earlierRuns;
    known.push_back(restarted.id);
    Watched another = FindProcess(program_, known, kNoOtherRestartMs);
    EXPECT_FALSE(another.process) << "started again twice: " << Narrow(another.commandLine);
    if (another.process) EndsByItself(another.process.get(), kRunMs);
    EXPECT_TRUE(EndsByItself(restarted.process.get(), kRunMs)) << "1.0.0.2 did not end";
  }

  std::wstring infoFile_;
  std::string announced_;
};

// A first update loses its connection in its second file, whose partial
// download stays; a later update lists only the program. The partial file
// must not be installed with it.
TEST_F(UpdateCycleSafety, APartialFileOfAnEarlierUpdateIsNeverInstalled) {
  std::string faultPort = ReadAll(FromUnix(Env("DESKPIN_FAULT_STATE") + "/port"));
  faultPort.erase(faultPort.find_last_not_of("\r\n ") + 1);
  ASSERT_FALSE(faultPort.empty()) << "DESKPIN_FAULT_STATE: the fault server's state folder";
  const std::wstring data = programFolder_ + L"varnel.dat";
  const std::string oldData = "Deskpin 1.0.0.1 data: whole, and to be kept.\r\n";
  ASSERT_TRUE(WriteAll(data, oldData));

  ASSERT_TRUE(Announce(
      {ProgramURL(), "http://127.0.0.1:" + faultPort + "/cut/size-300000/send-100000/varnel.dat"}));
  Started first = StartProgram();
  ASSERT_TRUE(first.process);
  updaterobot::Report report = Answer(first);
  ASSERT_TRUE(EndsByItself(first.process.get(), kRunMs)) << "the first run did not end";
  EXPECT_TRUE(report.pressedYes) << "no question was seen";
  EXPECT_FALSE(report.pressedOK) << "a cut download completed the wizard";
  ASSERT_EQ(report.messagesClosed, 1);
  const auto box = std::find_if(report.seen.begin(), report.seen.end(), [](const auto& seen) {
    return seen.stage == updaterobot::Stage::Message;
  });
  ASSERT_NE(box, report.seen.end());
  EXPECT_EQ(box->message, 30) << Narrow(box->texts.empty() ? L"" : box->texts.back());
  EXPECT_EQ(ReadAll(data + L".uTMP").size(), kCutSent) << "the partial file did not stay";
  EXPECT_TRUE(ReadAll(data) == oldData) << "the data file changed";
  EXPECT_TRUE(ReadAll(program_) == oldProgram_);

  ASSERT_TRUE(Announce({ProgramURL()}));
  Started second = StartProgram();
  ASSERT_TRUE(second.process);
  report = Answer(second);
  ASSERT_TRUE(EndsByItself(second.process.get(), kRunMs)) << "the second run did not end";
  ASSERT_TRUE(report.pressedYes && report.pressedOK) << "the second update did not complete";
  EXPECT_EQ(report.messagesClosed, 0);
  ExpectRestartedOnce({first.id, second.id});

  EXPECT_TRUE(ReadAll(program_) == newProgram_) << "the program file is not 1.0.0.2";
  EXPECT_TRUE(ReadAll(data) == oldData)
      << "the first update's partial file was installed: " << ReadAll(data).size() << " bytes";
  EXPECT_TRUE(FilesIn(programFolder_, L"*.uTMP").empty());
}

// Two copies started a second apart: one asks and updates, the other goes on
// as if nothing were available; the files are replaced once and whole.
TEST_F(UpdateCycleSafety, TwoCopiesUpdateOnce) {
  Started copies[2];
  copies[0] = StartProgram();
  ASSERT_TRUE(copies[0].process);
  Sleep(kSecondCopyDelayMs);
  copies[1] = StartProgram();
  if (!copies[1].process) EndsByItself(copies[0].process.get(), kRunMs);
  ASSERT_TRUE(copies[1].process);

  updaterobot::Report reports[2];
  std::thread robots[2];
  for (int i = 0; i < 2; ++i) robots[i] = std::thread([&, i] { reports[i] = Answer(copies[i]); });
  for (std::thread& robot : robots) robot.join();
  for (const Started& copy : copies)
    EXPECT_TRUE(EndsByItself(copy.process.get(), kRunMs)) << "copy " << copy.id << " did not end";

  int questions = 0;
  for (const updaterobot::Report& report : reports)
    questions += static_cast<int>(
        std::count_if(report.seen.begin(), report.seen.end(),
                      [](const auto& seen) { return seen.stage == updaterobot::Stage::Question; }));
  ASSERT_EQ(questions, 1);
  const int asked = reports[0].pressedYes ? 0 : 1;
  EXPECT_TRUE(reports[asked].pressedOK) << "the wizard did not complete";
  EXPECT_TRUE(reports[1 - asked].seen.empty()) << "the other copy showed an update dialog";
  ExpectRestartedOnce({copies[0].id, copies[1].id});

  EXPECT_TRUE(ReadAll(program_) == newProgram_) << "the program file is not 1.0.0.2";
  EXPECT_EQ(ReadAll(notesFolder_ + L"notes.txt"), ReadAll(site_ + L"notes.txt"));
  EXPECT_EQ(ReadAll(helpFile_), ReadAll(site_ + L"help.html"));
  for (const std::wstring& folder : {programFolder_, programFolder_ + L"help\\", notesFolder_})
    EXPECT_TRUE(FilesIn(folder, L"*.uTMP").empty()) << Narrow(folder);

  // Each file was fetched once; both copies and the restarted program looked
  // at the information file.
  const std::vector<std::string> requests = UpdateRequests(ReadAll(accessLog_).substr(logStart_));
  const auto count = [&](const std::string& request) {
    return std::count(requests.begin(), requests.end(), request);
  };
  EXPECT_EQ(count("varnel_web.exe 200"), 1) << ::testing::PrintToString(requests);
  EXPECT_EQ(count("notes.txt 200"), 1);
  EXPECT_EQ(count("help.html 200"), 1);
  EXPECT_GE(count("varnel_web.inf 200"), 3);
  // The other copy did everything else as usual: all three runs opened the
  // web client.
  const std::string browser = ReadAll(browserLog_);
  EXPECT_EQ(std::count(browser.begin(), browser.end(), '\n'), 3) << browser;
}

}  // namespace
