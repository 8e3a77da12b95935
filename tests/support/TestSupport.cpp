#include "TestSupport.h"

#include <shellapi.h>

namespace testsupport {

std::string MakeTempFolder(const std::string& prefix) {
  char temp[MAX_PATH + 1] = {};
  GetTempPathA(MAX_PATH, temp);
  for (unsigned n = GetTickCount();; ++n) {
    std::string folder = std::string(temp) + prefix + std::to_string(n) + "\\";
    if (CreateDirectoryA(folder.c_str(), nullptr)) return folder;
  }
}

void RemoveTree(const std::string& folder) {
  std::string from = folder;
  if (!from.empty() && from.back() == '\\') from.pop_back();
  from.push_back('\0');  // a double NUL ends the list
  SHFILEOPSTRUCTA op{};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
  SHFileOperationA(&op);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

std::string ReadFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string bytes(GetFileSize(file, nullptr), '\0');
  DWORD read = 0;
  ::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  bytes.resize(read);
  CloseHandle(file);
  return bytes;
}

bool FileExistsW(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ExeFolder() {
  char path[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  return folder.substr(0, folder.rfind('\\') + 1);
}

namespace {
struct WindowSearch {
  DWORD processId;
  std::vector<HWND> found;
};
BOOL CALLBACK CollectVisible(HWND hwnd, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == search->processId && IsWindowVisible(hwnd)) search->found.push_back(hwnd);
  return TRUE;
}
}  // namespace

std::vector<HWND> VisibleWindowsOf(DWORD processId) {
  WindowSearch search{processId, {}};
  EnumWindows(CollectVisible, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace testsupport
