// File helpers of the update engine and the HTTP component: Windows version,
// sized records, percentages, file times, sizes and attributes.
#include <cmath>

#include "nxUtils.h"

namespace {

constexpr DWORD kVistaMajorVersion = 6;
constexpr int kFirstDosYear = 1980;
constexpr int kLastDosYear = 2107;
// Beyond this a rounded percentage no longer fits a 64-bit integer.
constexpr long double kLargestRoundable = 9.2e18L;
constexpr unsigned kLowByte = 0xFF;

struct TAttributeMapping {
  TnxFileAttribute member;
  DWORD windowsValue;
};
constexpr TAttributeMapping kAttributeMappings[] = {
    {atrArchive, FILE_ATTRIBUTE_ARCHIVE},     {atrHidden, FILE_ATTRIBUTE_HIDDEN},
    {atrReadOnly, FILE_ATTRIBUTE_READONLY},   {atrSystem, FILE_ATTRIBUTE_SYSTEM},
    {atrTemporary, FILE_ATTRIBUTE_TEMPORARY}, {atrOffline, FILE_ATTRIBUTE_OFFLINE},
};

// A local time in DOS resolution as a UTC file time; false when the time
// cannot be written that way.
bool LocalTimeToFileTime(TDateTime value, FILETIME& result) {
  TDateTimeParts parts;
  if (!DecodeDateTime(value, parts) || parts.Year < kFirstDosYear || parts.Year > kLastDosYear)
    return false;
  const auto dosDate =
      static_cast<WORD>(((parts.Year - kFirstDosYear) << 9) | (parts.Month << 5) | parts.Day);
  const auto dosTime =
      static_cast<WORD>((parts.Hour << 11) | (parts.Minute << 5) | (parts.Second / 2));
  FILETIME local;
  return DosDateTimeToFileTime(dosDate, dosTime, &local) &&
         LocalFileTimeToFileTime(&local, &result);
}

}  // namespace

DWORD FileAttributesToWord(TnxFileAttributes attributes) {
  DWORD word = 0;
  for (const auto& mapping : kAttributeMappings)
    if (attributes.Contains(mapping.member)) word |= mapping.windowsValue;
  return word;
}

bool IsVistaOrLater() {
  OSVERSIONINFOA version;
  InitSizedRecord(version, sizeof(version));
  GetVersionExA(&version);
  return version.dwMajorVersion >= kVistaMajorVersion;
}

std::uint8_t PercentOf(long double total, long double done) {
  if (total == 0) return 0;
  const long double percent = done * 100 / total;
  if (!std::isfinite(percent)) return 0;
  // The default rounding mode takes halves to the even neighbour.
  const long double rounded = std::nearbyint(percent);
  if (std::fabs(rounded) > kLargestRoundable) return 0;
  return static_cast<std::uint8_t>(
      static_cast<unsigned long long>(static_cast<long long>(rounded)) & kLowByte);
}

bool SetFileTimes(const AnsiString& fileName, TDateTime creationTime, TDateTime lastWriteTime,
                  TDateTime lastAccessTime) {
  unique_handle file(CreateFileA(fileName.c_str(), GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  FILETIME creation = {};
  FILETIME lastAccess = {};
  FILETIME lastWrite = {};
  const bool read = GetFileTime(file.get(), &creation, &lastAccess, &lastWrite) != FALSE;
  // A time that is kept goes back as it was read, or as null (unchanged) when
  // it could not be read.
  auto pick = [read](TDateTime value, FILETIME& time) -> const FILETIME* {
    if (value != kKeepFileTime && LocalTimeToFileTime(value, time)) return &time;
    return read ? &time : nullptr;
  };
  const FILETIME* newCreation = pick(creationTime, creation);
  const FILETIME* newAccess = pick(lastAccessTime, lastAccess);
  const FILETIME* newWrite = pick(lastWriteTime, lastWrite);
  return SetFileTime(file.get(), newCreation, newAccess, newWrite) != FALSE;
}

std::int64_t GetFileSize64(const AnsiString& fileName) {
  unique_handle file(CreateFileA(fileName.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return -1;
  DWORD high = 0;
  const DWORD low = GetFileSize(file.get(), &high);
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
}

bool SetFileAttributesFromSet(const AnsiString& fileName, TnxFileAttributes attributes) {
  return SetFileAttributesA(fileName.c_str(), FileAttributesToWord(attributes)) != FALSE;
}
