// The whole update cycle, for real: Deskpin 1.0.0.1 in a program folder of the
// prefix finds 1.0.0.2 on the update host (nginx on 127.0.0.1), the robot
// answers Yes and, when the wizard has completed, OK; the helper replaces the
// three files and starts the new version with "/afterupgrade", which finds
// nothing newer and ends by itself.
//
// DESKPIN_CYCLE_FOLDER names the program folder under Program Files (UTF-8),
// DESKPIN_HOST_STATE is the update host's state folder, DESKPIN_SHOT_FOLDER
// (optional) receives screenshots of the dialogs.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "DialogRobot.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "UpdateRobot.h"

namespace {

constexpr DWORD kFirstRunMs = 45000;   // question, downloads and OK well within 30 s
constexpr DWORD kRestartMs = 30000;    // the helper waits, moves and starts the program
constexpr DWORD kSecondRunMs = 45000;  // the restarted program ends itself after 30 s
constexpr DWORD kHelperEndMs = 10000;
// "CorvaneVarnel - 桌面版" in code page 936: the program's title, and its link's name.
constexpr char kTitleAnsi936[] = "CorvaneVarnel - \xD7\xC0\xC3\xE6\xB0\xE6";
const char kUpdateBase[] = "/client/update/deskpin/";

std::wstring Widen(const std::string& text, UINT codePage = CP_UTF8) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()),
                                  wide.data(), static_cast<int>(wide.size())));
  return wide;
}

std::string Narrow(const std::wstring& text) {
  std::string narrow(text.size() * 4, '\0');
  narrow.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                    narrow.data(), static_cast<int>(narrow.size()), nullptr,
                                    nullptr));
  return narrow;
}

std::string Env(const char* name) {
  const char* value = getenv(name);
  return value ? value : "";
}

std::wstring FromUnix(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return L"Z:" + Widen(path);
}

std::wstring KnownFolder(int csidl) {
  wchar_t path[MAX_PATH + 1] = {};
  SHGetFolderPathW(nullptr, csidl, nullptr, 0, path);
  return std::wstring(path) + L"\\";
}

std::string ReadAll(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string bytes(GetFileSize(file, nullptr), '\0');
  DWORD read = 0;
  ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  bytes.resize(read);
  CloseHandle(file);
  return bytes;
}

std::vector<std::wstring> FilesIn(const std::wstring& folder, const wchar_t* pattern) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

void RemoveFolder(const std::wstring& folder) {
  std::wstring from = folder;
  if (!from.empty() && from.back() == L'\\') from.pop_back();
  from.push_back(L'\0');
  SHFILEOPSTRUCTW op{};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
  SHFileOperationW(&op);
}

// A process of the cycle that this test did not start itself: found by its
// program file, watched through a handle, ended only if it overstays.
struct Watched {
  DWORD id = 0;
  unique_handle process;
  std::wstring commandLine;
};

std::wstring ImageOf(HANDLE process) {
  wchar_t path[MAX_PATH * 2] = {};
  DWORD size = MAX_PATH * 2;
  return QueryFullProcessImageNameW(process, 0, path, &size) ? std::wstring(path, size)
                                                             : std::wstring();
}

// The command line out of the process's own parameter block.
std::wstring CommandLineOf(HANDLE process) {
  PROCESS_BASIC_INFORMATION basic{};
  if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof(basic), nullptr) !=
      0)
    return {};
  PEB peb{};
  RTL_USER_PROCESS_PARAMETERS parameters{};
  if (!ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof(peb), nullptr) ||
      !ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof(parameters), nullptr))
    return {};
  std::wstring text(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
  ReadProcessMemory(process, parameters.CommandLine.Buffer, text.data(),
                    parameters.CommandLine.Length, nullptr);
  return text;
}

// Waits (at most timeoutMs; 0: looks once) for a process running image,
// other than skipId.
Watched FindProcess(const std::wstring& image, DWORD skipId, DWORD timeoutMs) {
  for (DWORD start = GetTickCount();; Sleep(100)) {
    unique_handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
      if (entry.th32ProcessID == skipId) continue;
      unique_handle process(
          OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE | PROCESS_TERMINATE,
                      FALSE, entry.th32ProcessID));
      if (!process || _wcsicmp(ImageOf(process.get()).c_str(), image.c_str()) != 0) continue;
      Watched found;
      found.id = entry.th32ProcessID;
      found.commandLine = CommandLineOf(process.get());
      found.process = std::move(process);
      return found;
    }
    if (GetTickCount() - start >= timeoutMs) return {};
  }
}

// True when the process ended by itself within timeoutMs; otherwise it is
// ended here, so that nothing of this test outlives it.
bool EndsByItself(HANDLE process, DWORD timeoutMs) {
  if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0) return true;
  TerminateProcess(process, 1);
  WaitForSingleObject(process, 5000);
  return false;
}

// The requests of nginx's access log that name a file of the update.
std::vector<std::string> UpdateRequests(const std::string& log) {
  std::vector<std::string> requests;
  size_t start = 0;
  for (size_t end; (end = log.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = log.substr(start, end - start);
    const size_t at = line.find(std::string("GET ") + kUpdateBase);
    if (at == std::string::npos) continue;
    const size_t name = at + 4 + strlen(kUpdateBase);
    const size_t blank = line.find(' ', name);
    const size_t status = line.find("\" ", blank);
    requests.push_back(line.substr(name, blank - name) + " " + line.substr(status + 2, 3));
  }
  return requests;
}

std::wstring LinkTarget(const std::wstring& link) {
  com_ptr<IShellLinkW> shellLink;
  com_ptr<IPersistFile> file;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              shellLink.put_void())) ||
      FAILED(shellLink->QueryInterface(IID_IPersistFile, file.put_void())) ||
      FAILED(file->Load(link.c_str(), STGM_READ)))
    return {};
  wchar_t target[MAX_PATH + 1] = {};
  shellLink->GetPath(target, MAX_PATH, nullptr, 0);
  return target;
}

class UpdateCycle : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::string folderName = Env("DESKPIN_CYCLE_FOLDER");
    ASSERT_FALSE(folderName.empty()) << "DESKPIN_CYCLE_FOLDER names the program folder";
    ASSERT_FALSE(Env("DESKPIN_HOST_STATE").empty()) << "DESKPIN_HOST_STATE: the update host";
    programFolder_ = KnownFolder(CSIDL_PROGRAM_FILES) + Widen(folderName) + L"\\";
    program_ = programFolder_ + L"Deskpin.exe";
    helpFile_ = programFolder_ + L"help\\varnel.html";
    notesFolder_ = KnownFolder(CSIDL_APPDATA) + L"Corvane\\Deskpin\\";
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    // A temporary folder with a blank, as under a profile path with one.
    tempFolder_ = std::wstring(temp) + L"update cycle " + Widen(folderName) + L"\\";
    link_ = KnownFolder(CSIDL_DESKTOPDIRECTORY) + Widen(kTitleAnsi936, CP_ACP) + L".lnk";
    site_ = FromUnix(Env("DESKPIN_HOST_STATE") + "/www/client/update/deskpin/");
    accessLog_ = FromUnix(Env("DESKPIN_HOST_STATE") + "/logs/access.log");

    for (const std::wstring& folder : {programFolder_, notesFolder_, tempFolder_})
      RemoveFolder(folder);
    DeleteFileW(link_.c_str());
    ASSERT_EQ(SHCreateDirectoryExW(nullptr, programFolder_.c_str(), nullptr), ERROR_SUCCESS);
    ASSERT_EQ(SHCreateDirectoryExW(nullptr, tempFolder_.c_str(), nullptr), ERROR_SUCCESS);
    ASSERT_TRUE(CopyFileW(FromUnix(DESKPIN_EXE).c_str(), program_.c_str(), FALSE));
    oldProgram_ = ReadAll(program_);
    newProgram_ = ReadAll(FromUnix(DESKPIN_UPDATE_EXE));
    ASSERT_FALSE(newProgram_.empty());
    ASSERT_NE(oldProgram_, newProgram_);
    ASSERT_EQ(ReadAll(site_ + L"varnel_web.exe"), newProgram_) << "the host serves 1.0.0.2";

    // The program, the helper and the restarted program inherit these.
    SetEnvironmentVariableW(L"TMP", tempFolder_.c_str());
    SetEnvironmentVariableW(L"TEMP", tempFolder_.c_str());
    browserLog_ = tempFolder_ + L"..\\update cycle browser " + Widen(folderName) + L".txt";
    DeleteFileW(browserLog_.c_str());
    SetEnvironmentVariableW(L"DESKPIN_BROWSER_LOG", browserLog_.c_str());
    logStart_ = ReadAll(accessLog_).size();
  }

  void TearDown() override {
    for (const std::wstring& folder : {programFolder_, notesFolder_, tempFolder_})
      RemoveFolder(folder);
    DeleteFileW(browserLog_.c_str());
  }

  std::wstring programFolder_, program_, helpFile_, notesFolder_, tempFolder_, link_, site_,
      accessLog_, browserLog_;
  std::string oldProgram_, newProgram_;
  size_t logStart_ = 0;
};

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
  Watched restarted = FindProcess(program_, pi.dwProcessId, kRestartMs);
  ASSERT_TRUE(restarted.process) << "the program was not started again";
  Watched helper = FindProcess(tempFolder_ + L"Upgrader4.exe", 0, 0);
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
