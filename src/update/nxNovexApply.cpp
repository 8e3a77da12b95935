// Applying the update: the replacement helper and its queue are written to
// the temporary folder, the helper is started, and the program ends so that
// its files can be replaced.
#include "nxNovex.h"

#include <shellapi.h>

#include "Application.h"

namespace {
AnsiString Quoted(const AnsiString& path) {
  return "\"" + path + "\"";
}
}  // namespace

void TnxNovex::RestartApplication(const AnsiString& Params) {
  if (!downloadsComplete_) DeleteTempFiles();
  AnsiString params = Params;
  if (params.empty()) params = restartParams_ + static_cast<char>('0' + upgradeMethod_);
  ApplyUpdate(params);
}

void TnxNovex::ApplyUpdate(const AnsiString& Params) {
  // A helper still running from an earlier update keeps its file: used as it is.
  unique_handle helper(CreateFileA(HelperPath().c_str(), GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_TEMPORARY, nullptr));
  if (helper) {
    TMemoryStream image;
    ResourceToStream(GetModuleHandleA(nullptr), kHelperResource, kHelperResource, &image);
    DWORD written = 0;
    WriteFile(helper.get(), image.Memory(), static_cast<DWORD>(image.Size()), &written, nullptr);
    helper.reset();
  }
  files_.SaveValuesToFile(GetTempFolder() + kQueueFileName);

  // Both paths quoted, so that blanks and "+" in them reach the helper intact.
  // Started through the shell, which asks for the administrator rights the
  // helper's manifest requires, where a plain process start would be refused.
  AnsiString arguments = Quoted(ExeFileName()) + " +" + Params;
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_FLAG_NO_UI;
  info.lpVerb = "open";
  info.lpFile = HelperPath().c_str();
  info.lpParameters = arguments.c_str();
  info.nShow = SW_SHOWNORMAL;
  ShellExecuteExA(&info);

  if (OnDoOwnCloseAppMethod)
    OnDoOwnCloseAppMethod(this);
  else
    CloseApplication();
}
