// The desktop link routines of the main form.
#include <shlobj.h>

#include "Application.h"
#include "ufrmMain.h"

namespace {

constexpr size_t kShellPathChars = MAX_PATH + 1;

// The file-system path of a special folder, or empty when it has none.
AnsiString SpecialFolderPath(int folderId) {
  LPITEMIDLIST items = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, folderId, &items)) || !items) return {};
  scope_exit freeItems([&] { CoTaskMemFree(items); });  // the shell's allocator
  char path[kShellPathChars] = {};
  if (!SHGetPathFromIDListA(items, path)) return {};
  return path;
}

}  // namespace

bool CreateShellLink(const AnsiString& TargetPath, AnsiString LinkName, const AnsiString& Folder,
                     int FolderId) {
  if (!FileExists(TargetPath)) return false;
  if (LinkName.empty()) LinkName = ChangeFileExt(ExtractFileName(TargetPath), "");

  com_ptr<IUnknown> object;
  OleCheck(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                            IID_IUnknown, object.put_void()));
  com_ptr<IShellLinkA> link;
  if (FAILED(object->QueryInterface(IID_IShellLinkA, link.put_void()))) throw EIntfCastError();
  link->SetPath(TargetPath.c_str());
  link->SetWorkingDirectory(ExtractFilePath(TargetPath).c_str());

  if (Folder.empty() && FolderId == -1) FolderId = CSIDL_DESKTOP;
  AnsiString linkFile;
  if (FolderId >= 0) {
    AnsiString path = SpecialFolderPath(FolderId);
    if (path.empty()) return false;
    linkFile = path + "\\" + LinkName + ".lnk";
  } else {
    AnsiString folder = Folder;
    if (!folder.empty() && folder.back() == '\\') folder.pop_back();
    if (!DirectoryExists(folder)) return false;
    linkFile = folder + "\\" + LinkName + ".lnk";
  }

  // A link next to its own target would only clutter the program's folder.
  if (ExtractFilePath(TargetPath) == ExtractFilePath(linkFile)) return false;

  com_ptr<IPersistFile> file;
  if (FAILED(object->QueryInterface(IID_IPersistFile, file.put_void()))) throw EIntfCastError();
  return file->Save(ToWide(linkFile).c_str(), FALSE) == S_OK;
}

AnsiString GetDesktopFolder() {
  AnsiString path = SpecialFolderPath(CSIDL_DESKTOP);
  if (path.empty()) return {};
  return IncludeTrailingBackslash(path);
}

void DeleteFileIfExists(const AnsiString& FileName) {
  if (FileExists(FileName)) DeleteFileA(FileName.c_str());
}
