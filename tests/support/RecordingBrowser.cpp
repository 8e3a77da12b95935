// Stands in for the default browser in tests: appends the command line it was
// started with to the file named by DESKPIN_BROWSER_LOG (or browser-log.txt
// next to itself), one line per start, and ends.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char path[MAX_PATH + 16] = {};
  DWORD n = GetEnvironmentVariableA("DESKPIN_BROWSER_LOG", path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) {
    n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    char* slash = path;
    for (char* p = path; *p; ++p)
      if (*p == '\\') slash = p + 1;
    lstrcpyA(slash, "browser-log.txt");
  }
  HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  const char* line = GetCommandLineA();
  DWORD written = 0;
  WriteFile(file, line, lstrlenA(line), &written, nullptr);
  WriteFile(file, "\r\n", 2, &written, nullptr);
  CloseHandle(file);
  return 0;
}
