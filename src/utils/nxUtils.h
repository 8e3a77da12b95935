// Utilities shared by the HTTP and update components: internet dates, file
// and wait helpers, connection detection and browser launch, folder macros,
// the string list of the update's file entries and the update information file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "SysUtils.h"

// Days since 30 December 1899; the fraction is the time of day.
using TDateTime = double;

// ---------------------------------------------------------------------------
// Internet dates (nxDates.cpp)

// A date text of an HTTP header (RFC 1123, RFC 850 or asctime layout) as local
// time. Never throws: an empty text gives 0, an undecodable one 0 shifted by
// the zone offset and the local bias.
TDateTime InternetDateToLocalTime(const AnsiString& text);
TDateTime UTCToLocalTime(TDateTime utc);
// UTC minus local time, in days, with the daylight state in force right now.
double LocalTimeZoneBias();
// A numeric zone such as +0800 in days; 0 for anything else.
double ZoneOffsetToDays(const AnsiString& text);
// The text of s before the first delim (all of s when there is none); with
// consume set, s loses that token and the delimiter.
AnsiString FetchToken(AnsiString& s, const AnsiString& delim, bool consume);
// 1-based position of a day name (SUN..SAT) or month name (JAN..DEC), 0 when
// it is none; ASCII letter case is ignored.
std::uint8_t DayNameIndex(const AnsiString& name);
std::uint8_t MonthNameIndex(const AnsiString& name);
// 0-based index of the first item equal to text (case counts), -1 when none.
int IndexInStrArray(const AnsiString& text, const std::vector<AnsiString>& items);

// Calendar helpers behind the routines above.
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result);
struct TDateTimeParts {
  int Year, Month, Day, Hour, Minute, Second, MSec;
};
// Splits a date (rounded to the millisecond); false outside years 1 to 9999.
bool DecodeDateTime(TDateTime value, TDateTimeParts& parts);
TDateTime Now();
TDateTime Date();  // today, time 0

// A whole decimal integer (optional leading blanks and sign); false for any
// other text and for values outside 32 bits.
bool TryStrToInt(const AnsiString& text, int& value);
int StrToIntDef(const AnsiString& text, int fallback);
// Blanks are the characters with codes 0 to 32.
AnsiString TrimBlanks(const AnsiString& text);
AnsiString TrimLeftBlanks(const AnsiString& text);

// ---------------------------------------------------------------------------
// Files and waits (nxFiles.cpp)

enum TnxFileAttribute : std::uint8_t {
  atrArchive,
  atrHidden,
  atrReadOnly,
  atrSystem,
  atrTemporary,
  atrOffline
};

// A set of TnxFileAttribute, one bit per member, stored as one byte.
class TnxFileAttributes {
 public:
  constexpr TnxFileAttributes() = default;
  constexpr TnxFileAttributes(std::initializer_list<TnxFileAttribute> members) {
    for (auto m : members) bits_ |= Bit(m);
  }
  static constexpr TnxFileAttributes FromByte(std::uint8_t bits) {
    TnxFileAttributes set;
    set.bits_ = bits;
    return set;
  }
  constexpr std::uint8_t ToByte() const { return bits_; }
  constexpr bool Contains(TnxFileAttribute m) const { return (bits_ & Bit(m)) != 0; }
  constexpr void Include(TnxFileAttribute m) { bits_ |= Bit(m); }
  constexpr void Exclude(TnxFileAttribute m) { bits_ &= static_cast<std::uint8_t>(~Bit(m)); }
  constexpr bool operator==(TnxFileAttributes other) const { return bits_ == other.bits_; }
  constexpr bool operator!=(TnxFileAttributes other) const { return bits_ != other.bits_; }

 private:
  static constexpr std::uint8_t Bit(TnxFileAttribute m) {
    return static_cast<std::uint8_t>(1u << static_cast<unsigned>(m));
  }
  std::uint8_t bits_ = 0;
};

// The Windows attribute word of a set (0 for the empty set).
DWORD FileAttributesToWord(TnxFileAttributes attributes);

bool IsVistaOrLater();

// Zero-fills a record and stores its size in its first 32-bit field, the form
// of the Windows structures that begin with their own size.
template <typename T>
void InitSizedRecord(T& record, std::uint32_t size) {
  static_assert(sizeof(T) >= sizeof(std::uint32_t), "record too small for its size field");
  std::memset(&record, 0, size);
  std::memcpy(&record, &size, sizeof(size));
}

// Done * 100 / Total rounded (halves to even), as its low 8 bits; 0 when Total
// is 0 or the arithmetic overflows.
std::uint8_t PercentOf(long double total, long double done);

// The value of a time argument of SetFileTimes that leaves that time alone.
constexpr TDateTime kKeepFileTime = -1;

// Writes local times with DOS resolution (2 s, years 1980 to 2107); a time
// outside that range or kKeepFileTime leaves the file's time as it was.
bool SetFileTimes(const AnsiString& fileName, TDateTime creationTime, TDateTime lastWriteTime,
                  TDateTime lastAccessTime);
// The size in bytes, -1 when the file cannot be opened.
std::int64_t GetFileSize64(const AnsiString& fileName);
bool SetFileAttributesFromSet(const AnsiString& fileName, TnxFileAttributes attributes);

// Waits on the main thread until SignalEvent(event) is called, one wait of
// timeoutMs passes (0 or INFINITE: no limit) or, with stopOnTerminate, the
// application terminates; messages are processed meanwhile. event holds the
// wait's handle while it runs and INVALID_HANDLE_VALUE afterwards.
void WaitForEvent(HANDLE& event, DWORD timeoutMs, bool stopOnTerminate);
// Ends a running WaitForEvent on event; does nothing when none runs.
void SignalEvent(HANDLE& event);

// ---------------------------------------------------------------------------
// Connection and browser (nxConnection.cpp)

// The dial-up state when the registry keeps one, else HasNonLoopbackAddress.
bool IsNetworkConnected();
// True when the host name resolves and the last of its addresses is not 127.0.0.1.
bool HasNonLoopbackAddress();
// Opens url ("http://" put in front when it has no scheme) in the program
// registered for .html files, or else through the shell.
void OpenURL(const AnsiString& url, bool useAssociatedBrowser);
// The program part of the open command registered for extension (with its
// dot); empty when none can be read.
void GetAssociatedProgram(const AnsiString& extension, AnsiString& programPath);
// Splits a registered command line into the program and its parameters, both
// trimmed. An empty line leaves params alone.
void SplitCommandLine(AnsiString& commandLine, AnsiString& params);

// Where SplitAtDelimiter keeps the delimiter; the flags combine.
enum TnxKeepDelimiter : std::uint8_t { kdNone = 0, kdLeft = 1, kdRight = 2 };
void SplitAtDelimiter(const AnsiString& delim, const AnsiString& s, AnsiString& left,
                      AnsiString& right, bool notFoundGoesRight, std::uint8_t keep);

// ---------------------------------------------------------------------------
// Folder macros, special folders and the registry (nxFolders.cpp, nxRegistry.cpp)

// The program's folder (one trailing backslash) and executable path, fixed
// when the program starts.
const AnsiString& CurrentFolder();
const AnsiString& ExeFileName();

// Folder and path of a program started from modulePath. A copy run from the
// per-user virtual store belongs to the process's current folder; when no
// such file exists there, the module's own location stands.
struct TnxProgramPaths {
  AnsiString ExeFileName;
  AnsiString CurrentFolder;
};
TnxProgramPaths ResolveProgramPaths(const AnsiString& modulePath, const AnsiString& processFolder,
                                    bool vistaOrLater);

constexpr int kFolderMacroCount = 12;
extern const char* const FolderMacros[kFolderMacroCount];

// The folder of macro index (0 to 11) with one trailing backslash; 12 gives "".
AnsiString ResolveFolderMacro(std::uint8_t index);
// Replaces every folder macro (any letter case); with makeAbsolute, a result
// of 3 or more characters without a drive gets CurrentFolder in front.
AnsiString ExpandFolderMacros(const AnsiString& path, bool makeAbsolute);
AnsiString GetTempFolder();
AnsiString GetWindowsFolder();
AnsiString GetSystemFolder();
bool IsExistingFolder(const AnsiString& path);
// Creates every missing folder on the way to the folder part of fileName.
void ForceFolders(const AnsiString& fileName);
// The last path element of a URL ("" when it ends in "/").
AnsiString ExtractURLFileName(const AnsiString& url);

// key: the parent on entry, the opened key on success. With canCreate the key
// is created when missing (full access).
bool OpenRegKey(HKEY& key, const AnsiString& subKey, bool canCreate, REGSAM access);
bool ReadRegValue(HKEY key, const AnsiString& valueName, DWORD& valueType, DWORD& bufferSize,
                  void* buffer);
// value: the string read, empty when missing. False only when the key does not open.
bool ReadRegString(HKEY root, const AnsiString& keyPath, const AnsiString& valueName,
                   AnsiString& value);

// 1-based position of the last sub in s; 0 when none or either is empty.
int LastPos(const AnsiString& sub, const AnsiString& s);
AnsiString StripLeadingChar(const AnsiString& s, char ch);

// ---------------------------------------------------------------------------
// String list of name=value entries (nxStringList.cpp)

enum TDuplicates : std::uint8_t { dupIgnore, dupAccept, dupError };

class TnxStringList {
 public:
  AnsiString Separator = "=";
  bool SeparatorFromEnd = false;
  int MaxCount = 2147483647;
  TDuplicates Duplicates = dupIgnore;
  std::function<void(TnxStringList&)> OnChanging;
  std::function<void(TnxStringList&)> OnChange;

  // Appends s unless an equal entry (ASCII case ignored) exists and
  // Duplicates is dupIgnore; drops the first entry when the list is full.
  // The index of the entry.
  int Add(const AnsiString& s);
  void Delete(int index);
  // Removes entry 0 without change notifications.
  void DeleteFirst();
  void Clear();
  int Count() const { return static_cast<int>(items_.size()); }
  const AnsiString& operator[](int index) const { return items_.at(index); }
  const std::vector<AnsiString>& Items() const { return items_; }

  // 1-based position of Separator in entry index, 0 when it has none.
  int SeparatorPos(int index) const;
  AnsiString ItemName(int index) const;
  AnsiString ItemValue(int index) const;
  void SetItemValue(int index, const AnsiString& value);
  // Writes each non-empty value followed by CR LF; without any value the file
  // is neither created nor changed.
  void SaveValuesToFile(const AnsiString& fileName) const;

 private:
  void Changing();
  void Changed();
  std::vector<AnsiString> items_;
};

// ---------------------------------------------------------------------------
// Update information file and version comparison (nxInfoFile.cpp)

enum TnxNovexVersionControl : std::uint8_t { byDate, byNumber };

// The value of key in an information text: a plain value runs to the first
// control character, a braced one (key={...}) to the first "}"; either stops
// at the end of the text. fallback when the value is empty.
AnsiString ReadInfoKey(const AnsiString& text, const AnsiString& key, bool braced,
                       const AnsiString& fallback = AnsiString());
// Clears files and adds the file entries: #url, #url0, then #url<n+1>, ...
void ReadFileEntries(const AnsiString& text, TnxStringList& files);
bool IsNewerVersion(const AnsiString& infoText, TnxNovexVersionControl versionControl,
                    const AnsiString& versionNumber, const AnsiString& versionDate);
// 1, 0 or -1 as a is newer than, equal to or older than b.
int CompareVersions(const AnsiString& a, const AnsiString& b);
std::vector<AnsiString> SplitVersion(const AnsiString& s);
// month/day/year; today for anything else.
TDateTime StrToVersionDate(const AnsiString& s);

// ---------------------------------------------------------------------------
// Resources and ending the program (nxResources.cpp)

class TStream;
// Copies a resource of the module instance into stream; false when there is
// no stream, no such resource, an empty one, or the write fails.
bool ResourceToStream(HINSTANCE instance, const AnsiString& name, const AnsiString& resType,
                      TStream* stream);
// Closes the main form and tells the application to end, whatever the form says.
void CloseApplication();
