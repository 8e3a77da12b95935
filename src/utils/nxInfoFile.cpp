// Reading the update information file and comparing versions and dates.
#include "nxUtils.h"

namespace {

constexpr char kVersionKey[] = "#version";
constexpr char kDateKey[] = "#date";
constexpr char kUrlKey[] = "#url";
constexpr char kFirstNumberedUrlKey[] = "#url0";
constexpr int kVersionParts = 4;
// Version parts that are no whole number; decided byte-wise instead.
constexpr int kNoNumber = -1;

AnsiString AsciiLower(AnsiString s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

int Sign(int value) {
  return (value > 0) - (value < 0);
}

}  // namespace

AnsiString ReadInfoKey(const AnsiString& text, const AnsiString& key, bool braced,
                       const AnsiString& fallback) {
  AnsiString pattern = AsciiLower(key) + "=";
  if (braced) pattern += "{";
  AnsiString value;
  const std::size_t found = AsciiLower(text).find(pattern);
  if (found != AnsiString::npos) {
    const std::size_t start = found + pattern.size();
    std::size_t end = start;
    if (braced) {
      end = text.find('}', start);
      if (end == AnsiString::npos) end = text.size();
    } else {
      while (end < text.size() && static_cast<unsigned char>(text[end]) >= ' ') ++end;
    }
    value = text.substr(start, end - start);
  }
  return value.empty() ? fallback : value;
}

void ReadFileEntries(const AnsiString& text, TnxStringList& files) {
  files.Clear();
  for (const char* key : {kUrlKey, kFirstNumberedUrlKey}) {
    const AnsiString entry = ReadInfoKey(text, key, false);
    if (!entry.empty()) files.Add(entry);
  }
  // Numbering goes on from the entries found so far, up to the first gap.
  int number = files.Count() + 1;
  for (AnsiString entry = ReadInfoKey(text, kUrlKey + IntToStr(number), false); !entry.empty();
       entry = ReadInfoKey(text, kUrlKey + IntToStr(++number), false))
    files.Add(entry);
}

std::vector<AnsiString> SplitVersion(const AnsiString& s) {
  std::vector<AnsiString> parts;
  AnsiString rest = s + ".";
  for (int i = 0; i < kVersionParts; ++i) {
    const std::size_t dot = rest.find('.');
    if (dot == AnsiString::npos) {
      parts.push_back("0");
      continue;
    }
    parts.push_back(rest.substr(0, dot));
    rest.erase(0, dot + 1);
  }
  return parts;
}

int CompareVersions(const AnsiString& a, const AnsiString& b) {
  const std::vector<AnsiString> partsA = SplitVersion(a);
  const std::vector<AnsiString> partsB = SplitVersion(b);
  for (int i = 0; i < kVersionParts; ++i) {
    const int numberA = StrToIntDef(partsA[i], kNoNumber);
    const int numberB = StrToIntDef(partsB[i], kNoNumber);
    if (numberA == kNoNumber || numberB == kNoNumber) return Sign(a.compare(b));
    if (numberA != numberB) return numberA > numberB ? 1 : -1;
  }
  return 0;
}

TDateTime StrToVersionDate(const AnsiString& s) {
  const std::size_t first = s.find('/');
  const std::size_t second = first == AnsiString::npos ? first : s.find('/', first + 1);
  int month = 0;
  int day = 0;
  int year = 0;
  TDateTime result = 0;
  if (second != AnsiString::npos && TryStrToInt(s.substr(0, first), month) &&
      TryStrToInt(s.substr(first + 1, second - first - 1), day) &&
      TryStrToInt(s.substr(second + 1), year) && TryEncodeDate(year, month, day, result))
    return result;
  return Date();
}

bool IsNewerVersion(const AnsiString& infoText, TnxNovexVersionControl versionControl,
                    const AnsiString& versionNumber, const AnsiString& versionDate) {
  if (versionControl == byNumber)
    return CompareVersions(ReadInfoKey(infoText, kVersionKey, false), versionNumber) > 0;
  return StrToVersionDate(versionDate) < StrToVersionDate(ReadInfoKey(infoText, kDateKey, false));
}
