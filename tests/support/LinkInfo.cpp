// Prints the target and working folder of a shell link, in UTF-8, for the
// demo command: LinkInfo.exe PATH.lnk
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>

namespace {
void Print(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(), n, nullptr, nullptr);
  utf8.resize(utf8.size() - 1);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()), &written,
            nullptr);
}
}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc < 2) {
    Print(L"usage: LinkInfo PATH.lnk\n");
    return 2;
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IShellLinkW* link = nullptr;
  IPersistFile* file = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))) ||
      FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) ||
      FAILED(file->Load(argv[1], STGM_READ))) {
    Print(L"cannot read the link\n");
    return 1;
  }
  wchar_t target[MAX_PATH + 1] = {}, folder[MAX_PATH + 1] = {};
  link->GetPath(target, MAX_PATH, nullptr, 0);
  link->GetWorkingDirectory(folder, MAX_PATH);
  Print(std::wstring(L"target: ") + target + L"\nworking folder: " + folder + L"\n");
  file->Release();
  link->Release();
  return 0;
}
