// The program's own folder and path, the folder macros of update destinations
// and the special folders behind them.
#include "nxUtils.h"

namespace {

constexpr char kShellFoldersKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
// Where Windows keeps per-user copies of programs that wrote into protected folders.
constexpr char kVirtualStore[] = "\\appdata\\local\\virtualstore";
constexpr char kProgramFiles[] = "Program Files";
constexpr std::size_t kDriveRootLength = 3;  // "C:\"
constexpr DWORD kFolderBufferSize = MAX_PATH;
// The temporary path may come back with two characters more than asked for.
constexpr DWORD kTempBufferSize = MAX_PATH + 2;

enum TFolderMacro : std::uint8_t {
  fmCurrent,
  fmDesktop,
  fmMyDocuments,
  fmMyPictures,
  fmAppData,
  fmProgramFiles,
  fmWindows,
  fmSystem,
  fmTemp,
  fmHelp,
  fmMedia,
  fmCursors,
  fmNone
};

// Shell Folders value names of the macros fmDesktop to fmAppData.
const char* const kShellFolderValues[] = {"Desktop", "Personal", "My Pictures", "AppData"};

AnsiString AsciiLower(AnsiString s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

AnsiString WithBackslash(const AnsiString& path) {
  return !path.empty() && path.back() == '\\' ? path : path + '\\';
}

AnsiString FolderPart(const AnsiString& path) {
  const std::size_t found = path.find_last_of("\\:");
  return found == AnsiString::npos ? AnsiString() : path.substr(0, found + 1);
}

bool IsExistingFile(const AnsiString& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

AnsiString ModuleFileName() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length < buffer.size()) return AnsiString(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

AnsiString ProcessFolder() {
  const DWORD needed = GetCurrentDirectoryA(0, nullptr);
  std::vector<char> buffer(needed + 1);
  const DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
  return AnsiString(buffer.data(), length < buffer.size() ? length : 0);
}

const TnxProgramPaths& ProgramPaths() {
  static const TnxProgramPaths paths =
      ResolveProgramPaths(ModuleFileName(), ProcessFolder(), IsVistaOrLater());
  return paths;
}

// Fixed as the program starts, before anything can change the current folder.
[[maybe_unused]] const bool kProgramPathsFixed = (ProgramPaths(), true);

// Replaces every occurrence of macro, letter case ignored.
AnsiString ReplaceMacro(const AnsiString& text, const AnsiString& macro, const AnsiString& folder) {
  const AnsiString lower = AsciiLower(text);
  AnsiString result;
  std::size_t from = 0;
  for (std::size_t found = lower.find(macro); found != AnsiString::npos;
       found = lower.find(macro, from)) {
    result.append(text, from, found - from).append(folder);
    from = found + macro.size();
  }
  return result.append(text, from, AnsiString::npos);
}

}  // namespace

const char* const FolderMacros[kFolderMacroCount] = {
    "%current%", "%desktop%", "%mydocuments%", "%mypictures%", "%appdata%", "%programfiles%",
    "%windows%", "%system%",  "%temp%",        "%help%",       "%media%",   "%cursors%"};

TnxProgramPaths ResolveProgramPaths(const AnsiString& modulePath, const AnsiString& processFolder,
                                    bool vistaOrLater) {
  TnxProgramPaths paths{modulePath, FolderPart(modulePath)};
  if (!vistaOrLater || AsciiLower(paths.CurrentFolder).find(kVirtualStore) == AnsiString::npos)
    return paths;
  TnxProgramPaths corrected;
  corrected.CurrentFolder = WithBackslash(processFolder);
  corrected.ExeFileName =
      corrected.CurrentFolder + modulePath.substr(FolderPart(modulePath).size());
  // Started from elsewhere than its folder: the store copy is all we know of.
  return IsExistingFile(corrected.ExeFileName) ? corrected : paths;
}

const AnsiString& CurrentFolder() {
  return ProgramPaths().CurrentFolder;
}
const AnsiString& ExeFileName() {
  return ProgramPaths().ExeFileName;
}

AnsiString ResolveFolderMacro(std::uint8_t index) {
  if (index == fmNone) return AnsiString();
  if (index >= fmDesktop && index <= fmAppData) {
    AnsiString folder;
    ReadRegString(HKEY_CURRENT_USER, kShellFoldersKey, kShellFolderValues[index - fmDesktop],
                  folder);
    return WithBackslash(folder);
  }
  AnsiString folder = GetWindowsFolder();
  switch (index) {
    case fmProgramFiles:
      folder = folder.substr(0, kDriveRootLength) + kProgramFiles;
      break;
    case fmWindows:
      break;
    case fmSystem:
      folder = GetSystemFolder();
      break;
    case fmTemp:
      folder = GetTempFolder();
      break;
    case fmHelp:
      folder += "HELP";
      break;
    case fmMedia:
      folder += "MEDIA";
      break;
    case fmCursors:
      folder += "CURSORS";
      break;
    default:
      folder = CurrentFolder();
      break;
  }
  return WithBackslash(folder);
}

AnsiString ExpandFolderMacros(const AnsiString& path, bool makeAbsolute) {
  AnsiString result = path;
  for (int i = 0; i < kFolderMacroCount; ++i) {
    // A folder is looked up only when its macro occurs.
    if (AsciiLower(result).find(FolderMacros[i]) == AnsiString::npos) continue;
    result =
        ReplaceMacro(result, FolderMacros[i], ResolveFolderMacro(static_cast<std::uint8_t>(i)));
  }
  constexpr std::size_t kShortestRelative = 3;
  if (makeAbsolute && result.size() >= kShortestRelative && result[1] != ':')
    result = CurrentFolder() + result;
  return result;
}

AnsiString GetTempFolder() {
  char buffer[kTempBufferSize] = {};
  GetTempPathA(kFolderBufferSize, buffer);
  const AnsiString folder = WithBackslash(buffer);
  return IsExistingFolder(folder) ? folder : FolderPart(ModuleFileName());
}

AnsiString GetWindowsFolder() {
  char buffer[kFolderBufferSize + 1] = {};
  GetWindowsDirectoryA(buffer, kFolderBufferSize);
  return WithBackslash(buffer);
}

AnsiString GetSystemFolder() {
  char buffer[kFolderBufferSize + 1] = {};
  GetSystemDirectoryA(buffer, kFolderBufferSize);
  return WithBackslash(buffer);
}

bool IsExistingFolder(const AnsiString& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void ForceFolders(const AnsiString& fileName) {
  const AnsiString folder = FolderPart(fileName);
  // Existing folders and the drive root simply fail to be created.
  for (std::size_t i = 0; i < folder.size(); ++i)
    if (folder[i] == '\\') CreateDirectoryA(folder.substr(0, i + 1).c_str(), nullptr);
}

AnsiString ExtractURLFileName(const AnsiString& url) {
  AnsiString path = url;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path.substr(FolderPart(path).size());
}
