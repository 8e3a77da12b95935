// A folder of the Wine prefix for one run of the replacement helper: the
// helper written out from the resource this test carries, a temporary folder
// of its own for the queue, and stand-in programs that log their starts.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace replacer_test {

constexpr DWORD kHelperTimeoutMs = 60000;
constexpr DWORD kLogTimeoutMs = 20000;
constexpr DWORD kProgramHoldMs = 1500;
constexpr DWORD kTempAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY;

// One line of the stand-ins' log.
struct LogLine {
  std::string kind;  // "start" or "end"
  std::string tag;
  std::string value;  // own attributes (hex) for "start", probe result for "end"
  std::string commandLine;
};

struct HelperResult {
  bool finished;
  DWORD exitCode;
};

// A process this test started, ended on destruction only if it still runs.
class Process {
 public:
  Process() = default;
  explicit Process(const PROCESS_INFORMATION& pi) : process_(pi.hProcess) {
    CloseHandle(pi.hThread);
  }
  Process(Process&& other) noexcept : process_(other.process_) { other.process_ = nullptr; }
  Process& operator=(Process&&) = delete;
  ~Process();
  HANDLE handle() const { return process_; }
  DWORD id() const { return GetProcessId(process_); }
  bool WaitFor(DWORD ms) const;
  DWORD ExitCode() const;

 private:
  HANDLE process_ = nullptr;
};

std::string Quote(const std::string& s);
bool ReadAll(const std::string& path, std::string& bytes);
bool WriteAll(const std::string& path, const std::string& bytes, DWORD attributes);
bool Exists(const std::string& path);
DWORD Attributes(const std::string& path);
std::vector<std::string> SplitCommandLine(const std::string& commandLine);
// The helper as this program carries it.
std::string HelperImage();
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs);

class RunFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A folder under this test's root, created with its parents; ends in "\".
  std::string Dir(const std::string& relative);
  void Put(const std::string& path, const std::string& bytes,
           DWORD attributes = FILE_ATTRIBUTE_NORMAL);
  // A copy of the stand-in program carrying its tag and hold time.
  std::string StandIn(const std::string& tag, DWORD holdMs);
  // The helper's temporary folder (where the queue lives), under the root.
  void UseTempFolder(const std::string& relative);
  std::string QueuePath() const { return temp_ + "UpgraderQueue.txt"; }
  std::string HelperPath() const { return temp_ + "Upgrader4.exe"; }
  void WriteQueue(const std::vector<std::string>& lines);
  void SetProbe(const std::string& path);

  Process Start(const std::string& exe, const std::string& commandLine);
  // Writes the helper into the temporary folder and starts it the way the
  // update does, with the arguments after the helper's own path.
  Process StartHelper(const std::string& arguments, bool quoteHelperPath = true);
  HelperResult RunHelper(const std::string& arguments, bool quoteHelperPath = true);

  std::vector<LogLine> Log() const;
  bool WaitForLog(const std::function<bool(const std::vector<LogLine>&)>& done);
  bool WaitForStart(const std::string& tag);

  std::string root_;
  std::string temp_;
  std::string log_;

 private:
  struct SavedVariable {
    std::string name;
    std::string value;
    bool present;
  };
  void SetVariable(const std::string& name, const std::string& value);
  std::vector<SavedVariable> saved_;
};

}  // namespace replacer_test
