// Stands in for the default browser in tests: appends the command line it was
// started with to the file named by DESKPIN_BROWSER_LOG (or browser-log.txt
// next to itself), one line per start, and ends.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The log's name is read wide: the log may sit in a folder with Chinese in
  // its name, and Wine's ANSI variant cuts such a value short under code page 936.
  wchar_t path[MAX_PATH + 16] = {};
  DWORD n = GetEnvironmentVariableW(L"DESKPIN_BROWSER_LOG", path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) {
    n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    wchar_t* slash = path;
    for (wchar_t* p = path; *p; ++p)
      if (*p == L'\\') slash = p + 1;
    lstrcpyW(slash, L"browser-log.txt");
  }
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  const char* line = GetCommandLineA();
  DWORD written = 0;
  WriteFile(file, line, lstrlenA(line), &written, nullptr);
  WriteFile(file, "\r\n", 2, &written, nullptr);
  CloseHandle(file);
  return 0;
}
