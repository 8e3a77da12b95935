// The file replacement helper. The update writes it into the temporary
// folder, starts it and ends; the helper waits until the program's file is
// free, moves the downloaded ".uTMP" files onto their destinations and starts
// the program again. It links no C runtime and imports only kernel32 and
// user32, so it stays a few kilobytes and depends on nothing it replaces.
#include <windows.h>

#include "UpgraderText.h"

using namespace upgrader;

namespace {

constexpr char kQueueFileName[] = "UpgraderQueue.txt";
constexpr char kSweepPattern[] = "*.uTMP";
constexpr char kAboutCaption[] = "Upgrader v4.0";
constexpr char kAboutText[] =
    "Self-upgrading mechanism for Novex component.\r\n"
    "Part of Deskpin: the program starts it to install its updates; started by hand it has "
    "nothing to do.";
constexpr DWORD kPollSleepMs = 1;
constexpr unsigned kTextCapacity = 32768;  // the longest command line Windows takes

// Static storage: the helper has no heap-managing runtime, and big buffers on
// the stack would need the runtime's stack probes.
char g_appPath[kTextCapacity];
char g_params[kTextCapacity];
char g_savedAppPath[kTextCapacity];
char g_appFileName[kTextCapacity];
char g_queuePath[kTextCapacity];
char g_source[kTextCapacity];
char g_target[kTextCapacity];
char g_command[kTextCapacity];
char g_pattern[kTextCapacity];

struct QueueText {
  char* data;
  DWORD length;
};

void DispatchWaitingMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// Waits, at low priority and without blocking the thread's messages, until
// the program that runs from path has ended and its file can be written.
void WaitUntilReleased(const char* path) {
  const HANDLE thread = GetCurrentThread();
  const int oldPriority = GetThreadPriority(thread);
  SetThreadPriority(thread, THREAD_PRIORITY_LOWEST);
  for (;;) {
    Sleep(kPollSleepMs);
    DispatchWaitingMessages();
    const HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      break;
    }
    if (!KeepWaiting(GetLastError())) break;
  }
  SetThreadPriority(thread, oldPriority);
}

// Finds a file (not a folder) by path; its reported name goes to foundName
// when given.
bool FindPlainFile(const char* path, TextBuffer* foundName) {
  WIN32_FIND_DATAA data;
  const HANDLE search = FindFirstFileA(path, &data);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  if (foundName) {
    Clear(*foundName);
    Append(*foundName, data.cFileName);
  }
  return true;
}

// The queue file in one read; empty when it is missing or unreadable.
QueueText ReadQueue(const char* path) {
  QueueText text{nullptr, 0};
  const HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return text;
  DWORD high = 0;
  const DWORD size = GetFileSize(file, &high);
  if (size != INVALID_FILE_SIZE && high == 0 && size > 0) {
    char* data = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size));
    DWORD read = 0;
    if (data && ReadFile(file, data, size, &read, nullptr)) {
      text.data = data;
      text.length = read;
    }
  }
  CloseHandle(file);
  return text;
}

bool MakeQueuePath(TextBuffer& out) {
  char temp[MAX_PATH + 1];
  const DWORD n = GetTempPathA(sizeof(temp), temp);
  if (n == 0 || n >= sizeof(temp)) return false;
  Clear(out);
  AppendChars(out, temp, n);
  if (temp[n - 1] != '\\') AppendChar(out, '\\');
  Append(out, kQueueFileName);
  return !out.overflow;
}

// Moves every queued download (line + ".uTMP") onto its line's path.
void MoveQueuedFiles(const QueueText& queue) {
  TextBuffer source = MakeBuffer(g_source, kTextCapacity);
  TextBuffer target = MakeBuffer(g_target, kTextCapacity);
  const char* p = queue.data;
  const char* line = nullptr;
  unsigned length = 0;
  while (NextQueueLine(p, queue.data + queue.length, line, length)) {
    if (length == 0) continue;
    Clear(target);
    AppendChars(target, line, length);
    Clear(source);
    AppendChars(source, line, length);
    Append(source, kTempSuffix);
    if (target.overflow || source.overflow) continue;
    // The archive attribute alone drops the hidden and temporary marks that
    // the download gave the copy.
    if (MoveFileExA(source.data, target.data, MOVEFILE_REPLACE_EXISTING)) {
      SetFileAttributesA(target.data, FILE_ATTRIBUTE_ARCHIVE);
    }
  }
}

struct SweepState {
  TextBuffer& appPath;
  TextBuffer& savedAppPath;
  const char* appFileName;
  unsigned folderLength;
  bool setupMode;
  bool programSeen;
  bool setupTaken;
};

// Puts one downloaded file of the application folder in place.
void PutInPlace(const char* found, SweepState& s) {
  const unsigned nameLength = SweptNameLength(found);
  if (nameLength == 0) return;
  TextBuffer source = MakeBuffer(g_source, kTextCapacity);
  TextBuffer target = MakeBuffer(g_target, kTextCapacity);
  AppendChars(source, s.appPath.data, s.folderLength);
  Append(source, found);
  AppendChars(target, s.appPath.data, s.folderLength);

  const SweptRole role = ClassifySwept(found, nameLength, s.programSeen, s.setupMode);
  if (role == SweptRole::kIsProgram) {
    Append(target, s.appFileName);  // whatever name it was downloaded under
  } else {
    AppendChars(target, found, nameLength);
  }
  if (role != SweptRole::kKeepsName) s.programSeen = true;
  if (source.overflow || target.overflow || target.length == s.folderLength) return;

  if (role == SweptRole::kIsSetupProgram) {
    Clear(s.savedAppPath);
    Append(s.savedAppPath, s.appPath.data);
    Clear(s.appPath);
    Append(s.appPath, target.data);
    s.setupTaken = !s.appPath.overflow && !s.savedAppPath.overflow;
  }
  // A read-only or hidden old file must lose those attributes to be deleted.
  SetFileAttributesA(target.data, FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(target.data);
  MoveFileA(source.data, target.data);
  // The setup program is hidden while it lives in the application folder.
  const DWORD attributes = role == SweptRole::kIsSetupProgram
                               ? FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE
                               : FILE_ATTRIBUTE_ARCHIVE;
  SetFileAttributesA(target.data, attributes);
}

void SweepFolder(SweepState& s) {
  TextBuffer pattern = MakeBuffer(g_pattern, kTextCapacity);
  AppendChars(pattern, s.appPath.data, s.folderLength);
  Append(pattern, kSweepPattern);
  if (pattern.overflow) return;
  WIN32_FIND_DATAA data;
  const HANDLE search = FindFirstFileA(pattern.data, &data);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) PutInPlace(data.cFileName, s);
  } while (FindNextFileA(search, &data));
  FindClose(search);
}

void Start(const char* path, const char* params) {
  TextBuffer command = MakeBuffer(g_command, kTextCapacity);
  BuildStartCommand(command, path, params);
  if (!command.overflow) WinExec(command.data, SW_SHOWNORMAL);
}

void Run() {
  Arguments args{MakeBuffer(g_appPath, kTextCapacity), MakeBuffer(g_params, kTextCapacity), false};
  if (!ParseArguments(GetCommandLineA(), args)) {
    MessageBoxA(nullptr, kAboutText, kAboutCaption, MB_OK | MB_ICONINFORMATION);
    return;
  }
  // A path cut short would name some other file.
  if (args.appPath.overflow || args.params.overflow) return;

  TextBuffer queuePath = MakeBuffer(g_queuePath, kTextCapacity);
  const bool haveQueuePath = MakeQueuePath(queuePath);
  const QueueText queue = haveQueuePath ? ReadQueue(queuePath.data) : QueueText{nullptr, 0};

  TextBuffer& appPath = args.appPath;
  const unsigned folderLength = FolderLength(appPath.data, appPath.length);
  TextBuffer appFileName = MakeBuffer(g_appFileName, kTextCapacity);
  if (appPath.length > 0) {
    if (FindPlainFile(appPath.data, &appFileName)) {
      WaitUntilReleased(appPath.data);
    } else {
      Append(appFileName, appPath.data + folderLength);
    }
  }

  TextBuffer ownReplacement = MakeBuffer(g_source, kTextCapacity);
  Append(ownReplacement, appPath.data);
  Append(ownReplacement, kTempSuffix);
  const bool programSeen =
      appPath.length > 0 && !ownReplacement.overflow && FindPlainFile(ownReplacement.data, nullptr);

  if (queue.length > 0) MoveQueuedFiles(queue);

  TextBuffer savedAppPath = MakeBuffer(g_savedAppPath, kTextCapacity);
  SweepState sweep{appPath,     savedAppPath, appFileName.data, folderLength, args.setupMode,
                   programSeen, false};
  // Without a folder the search would run in whatever folder we were started in.
  if (folderLength > 0) SweepFolder(sweep);

  if (appPath.length > 0) Start(appPath.data, args.params.data);
  if (haveQueuePath) DeleteFileA(queuePath.data);

  // Setup mode runs the setup program first; the application comes after it.
  // With no setup program taken, appPath is the application itself: it has
  // been started above and its file is never deleted.
  if (sweep.setupTaken) {
    WaitUntilReleased(appPath.data);
    DeleteFileA(appPath.data);
    Start(savedAppPath.data, args.params.data);
  }
}

}  // namespace

extern "C" void WINAPI Entry() {
  Run();
  ExitProcess(0);
}
