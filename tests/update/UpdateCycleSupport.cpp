#include "UpdateCycleSupport.h"

#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>

namespace updatecycle {
namespace {

// "CorvaneVarnel - 桌面版" in code page 936: the program's title, and its link's name.
constexpr char kTitleAnsi936[] = "CorvaneVarnel - \xD7\xC0\xC3\xE6\xB0\xE6";
const char kUpdateBase[] = "/client/update/deskpin/";

std::wstring KnownFolder(int csidl) {
  wchar_t path[MAX_PATH + 1] = {};
  SHGetFolderPathW(nullptr, csidl, nullptr, 0, path);
  return std::wstring(path) + L"\\";
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

}  // namespace

std::wstring Widen(const std::string& text, UINT codePage) {
  return ToWide(text, codePage);
}

std::string Narrow(const std::wstring& text) {
  return FromWide(text, CP_UTF8);
}

std::string Env(const char* name) {
  // Read wide: getenv gives the ANSI code page's bytes, and under code page
  // 936 a Chinese folder name would not come through as UTF-8.
  const std::wstring wideName = Widen(name);
  DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (size == 0) return "";
  std::wstring value(size, L'\0');
  value.resize(GetEnvironmentVariableW(wideName.c_str(), value.data(), size));
  return Narrow(value);
}

std::wstring FromUnix(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return L"Z:" + Widen(path);
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

bool WriteAll(const std::wstring& path, const std::string& bytes) {
  unique_handle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
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

Watched FindProcess(const std::wstring& image, const std::vector<DWORD>& skipIds, DWORD timeoutMs) {
  for (DWORD start = GetTickCount();; Sleep(100)) {
    unique_handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
      if (std::find(skipIds.begin(), skipIds.end(), entry.th32ProcessID) != skipIds.end()) continue;
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

bool EndsByItself(HANDLE process, DWORD timeoutMs) {
  if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0) return true;
  TerminateProcess(process, 1);
  WaitForSingleObject(process, 5000);
  return false;
}

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

void UpdateCycle::SetUp() {
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

void UpdateCycle::TearDown() {
  for (const std::wstring& folder : {programFolder_, notesFolder_, tempFolder_})
    RemoveFolder(folder);
  DeleteFileW(browserLog_.c_str());
}

Started UpdateCycle::StartProgram() {
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  std::wstring commandLine = L"\"" + program_ + L"\"";
  Started started;
  if (!CreateProcessW(program_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      programFolder_.c_str(), &si, &pi))
    return started;
  CloseHandle(pi.hThread);
  started.id = pi.dwProcessId;
  started.process.reset(pi.hProcess);
  return started;
}

}  // namespace updatecycle
