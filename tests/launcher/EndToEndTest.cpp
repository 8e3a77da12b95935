// Deskpin.exe run for real, as a user of code page 936 runs it: it writes the
// desktop link, removes the legacy link file, opens the web client once in
// the default browser, shows no window, and ends by itself after 30 seconds.
#include <winsock2.h>

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <string>

#include "SysUtils.h"
#include "TestSupport.h"

namespace {

const wchar_t kTitle[] = L"CorvaneVarnel - \u684C\u9762\u7248";  // 桌面版

std::string WindowsPath(std::string unixPath) {
  std::replace(unixPath.begin(), unixPath.end(), '/', '\\');
  return "Z:" + unixPath;
}

std::wstring DesktopFolder() {
  wchar_t path[MAX_PATH + 1] = {};
  SHGetFolderPathW(nullptr, CSIDL_DESKTOP, nullptr, 0, path);
  return std::wstring(path) + L"\\";
}

struct RunResult {
  double seconds = 0;
  DWORD exitCode = 0;
  size_t visibleWindowsSeen = 0;
  bool ended = false;
};

// Starts the program and watches its windows until it ends (60 s at most).
RunResult RunDeskpin(const std::string& browserLog) {
  SetEnvironmentVariableA("DESKPIN_BROWSER_LOG", browserLog.c_str());
  std::string exe = WindowsPath(DESKPIN_EXE);
  std::string commandLine = "\"" + exe + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  RunResult result;
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &si, &pi))
    return result;
  for (;;) {
    result.visibleWindowsSeen += testsupport::VisibleWindowsOf(pi.dwProcessId).size();
    DWORD wait = WaitForSingleObject(pi.hProcess, 50);
    QueryPerformanceCounter(&end);
    result.seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    if (wait == WAIT_OBJECT_0) {
      result.ended = true;
      break;
    }
    if (result.seconds > 60) {
      TerminateProcess(pi.hProcess, 1);
      break;
    }
  }
  GetExitCodeProcess(pi.hProcess, &result.exitCode);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return result;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
    lines.push_back(text.substr(start, at - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// Keeps the update host's port taken, without listening, so that the
// program's checks find the host unreachable (a quiet outcome) whatever else
// runs on this machine.
class TUpdateHostBlocked {
 public:
  TUpdateHostBlocked() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    std::string host = DESKPIN_UPDATE_HOST;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(std::stoi(host.substr(host.find(':') + 1))));
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    // Past connections of an earlier test's host may linger in TIME_WAIT;
    // they are no server. A host that listens still keeps the bind from working.
    BOOL reuse = TRUE;
    setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse),
               sizeof(reuse));
    bound_ = bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  }
  ~TUpdateHostBlocked() {
    closesocket(socket_);
    WSACleanup();
  }
  bool Bound() const { return bound_; }

 private:
  SOCKET socket_ = INVALID_SOCKET;
  bool bound_ = false;
};

TEST(Deskpin, RunsItsCourseAndEndsByItself) {
  ASSERT_EQ(GetACP(), 936u) << "the test needs LANG=zh_CN.UTF-8 and the generated locale";
  TUpdateHostBlocked blocked;
  ASSERT_TRUE(blocked.Bound()) << "another program serves on the update host's port "
                               << DESKPIN_UPDATE_HOST;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  std::wstring desktop = DesktopFolder();
  std::wstring link = desktop + kTitle + L".lnk";
  std::wstring legacy = desktop + kTitle + L".url";
  std::wstring unrelated = desktop + kTitle + L" (old).url";
  DeleteFileW(link.c_str());
  for (const std::wstring& file : {legacy, unrelated}) {
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
  }
  std::string folder = testsupport::MakeTempFolder("e2e");
  std::string browserLog = folder + "browser.txt";

  RunResult run = RunDeskpin(browserLog);

  ASSERT_TRUE(run.ended) << "still running after " << run.seconds << " s";
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_GE(run.seconds, 29.0);
  EXPECT_LE(run.seconds, 40.0);
  EXPECT_EQ(run.visibleWindowsSeen, 0u) << "a window of the program became visible";

  // The legacy file is gone; a file of another name stays.
  EXPECT_FALSE(testsupport::FileExistsW(legacy));
  EXPECT_TRUE(testsupport::FileExistsW(unrelated));
  DeleteFileW(unrelated.c_str());

  // The link, named after the Chinese title, points at the program.
  ASSERT_TRUE(testsupport::FileExistsW(link));
  com_ptr<IShellLinkA> shellLink;
  com_ptr<IPersistFile> file;
  ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IShellLinkA, shellLink.put_void()));
  ASSERT_HRESULT_SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, file.put_void()));
  ASSERT_HRESULT_SUCCEEDED(file->Load(link.c_str(), STGM_READ));
  char target[MAX_PATH + 1] = {}, workingFolder[MAX_PATH + 1] = {};
  shellLink->GetPath(target, MAX_PATH, nullptr, 0);
  shellLink->GetWorkingDirectory(workingFolder, MAX_PATH);
  std::string exe = WindowsPath(DESKPIN_EXE);
  EXPECT_TRUE(SameText(target, exe)) << target;
  EXPECT_TRUE(SameText(workingFolder, ExtractFilePath(exe))) << workingFolder;

  // The browser was started once, with the web client's address.
  std::vector<std::string> starts = Lines(testsupport::ReadFile(browserLog));
  ASSERT_EQ(starts.size(), 1u);
  const std::string url = "\"http://" DESKPIN_WEB_HOST "/v2\"";
  ASSERT_GE(starts[0].size(), url.size());
  EXPECT_EQ(starts[0].substr(starts[0].size() - url.size()), url) << starts[0];

  // Started again without a legacy file: the link is rewritten, nothing else happens.
  DeleteFileW(link.c_str());
  RunResult second = RunDeskpin(browserLog);
  EXPECT_TRUE(second.ended);
  EXPECT_EQ(second.visibleWindowsSeen, 0u);
  EXPECT_TRUE(testsupport::FileExistsW(link));
  EXPECT_FALSE(testsupport::FileExistsW(legacy));
  EXPECT_EQ(Lines(testsupport::ReadFile(browserLog)).size(), 2u);

  testsupport::RemoveTree(folder);
}

}  // namespace
