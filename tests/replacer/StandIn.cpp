// Stands in for the application in the helper's tests. Each copy carries a
// trailer "#STANDIN tag=<tag> hold=<ms>" after its image, so the log tells
// which copy ran. It appends to the file named by DESKPIN_STANDIN_LOG:
//   start <TAB> tag <TAB> own attributes (hex) <TAB> command line
// and, for a copy that holds (keeps running from its file for a while):
//   end <TAB> tag <TAB> 1 or 0, whether DESKPIN_STANDIN_PROBE still exists
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr DWORD kTrailerBytes = 256;
constexpr char kTrailerMark[] = "#STANDIN tag=";

struct Identity {
  std::string tag = "untagged";
  DWORD holdMs = 0;
};

Identity ReadIdentity(const char* path) {
  Identity id;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return id;
  const DWORD size = GetFileSize(file, nullptr);
  const DWORD start = size > kTrailerBytes ? size - kTrailerBytes : 0;
  SetFilePointer(file, static_cast<LONG>(start), nullptr, FILE_BEGIN);
  std::string tail(size - start, '\0');
  DWORD read = 0;
  ReadFile(file, tail.data(), static_cast<DWORD>(tail.size()), &read, nullptr);
  CloseHandle(file);
  tail.resize(read);
  const size_t mark = tail.rfind(kTrailerMark);
  if (mark == std::string::npos) return id;
  const size_t tagStart = mark + sizeof(kTrailerMark) - 1;
  const size_t tagEnd = tail.find(' ', tagStart);
  if (tagEnd == std::string::npos) return id;
  id.tag = tail.substr(tagStart, tagEnd - tagStart);
  const size_t hold = tail.find("hold=", tagEnd);
  if (hold != std::string::npos) id.holdMs = std::strtoul(tail.c_str() + hold + 5, nullptr, 10);
  return id;
}

void AppendLine(const std::string& line) {
  char path[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableA("DESKPIN_STANDIN_LOG", path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const Identity id = ReadIdentity(self);
  char attributes[16];
  std::snprintf(attributes, sizeof(attributes), "%lx",
                static_cast<unsigned long>(GetFileAttributesA(self)));
  AppendLine("start\t" + id.tag + "\t" + attributes + "\t" + GetCommandLineA());
  if (id.holdMs > 0) {
    Sleep(id.holdMs);
    char probe[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableA("DESKPIN_STANDIN_PROBE", probe, MAX_PATH);
    const bool exists =
        n > 0 && n < MAX_PATH && GetFileAttributesA(probe) != INVALID_FILE_ATTRIBUTES;
    AppendLine("end\t" + id.tag + "\t" + (exists ? "1" : "0"));
  }
  return 0;
}
