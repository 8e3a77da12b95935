// Small text routines the other parts of nxUtils build on. Pure: strings in,
// values out.
#include <climits>

#include "nxUtils.h"

namespace {

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

}  // namespace

bool TryStrToInt(const AnsiString& text, int& value) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  long long magnitude = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return false;
    magnitude = magnitude * 10 + (c - '0');
    // One past INT_MAX is still needed for INT_MIN.
    if (magnitude > static_cast<long long>(INT_MAX) + 1) return false;
  }
  const long long signedValue = negative ? -magnitude : magnitude;
  if (signedValue > INT_MAX) return false;
  value = static_cast<int>(signedValue);
  return true;
}

int StrToIntDef(const AnsiString& text, int fallback) {
  int value = 0;
  return TryStrToInt(text, value) ? value : fallback;
}

AnsiString TrimLeftBlanks(const AnsiString& text) {
  std::size_t first = 0;
  while (first < text.size() && IsBlank(text[first])) ++first;
  return text.substr(first);
}

AnsiString TrimBlanks(const AnsiString& text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

int LastPos(const AnsiString& sub, const AnsiString& s) {
  if (sub.empty() || s.empty() || sub.size() > s.size()) return 0;
  const std::size_t found = s.rfind(sub);
  return found == AnsiString::npos ? 0 : static_cast<int>(found) + 1;
}

AnsiString StripLeadingChar(const AnsiString& s, char ch) {
  std::size_t first = 0;
  while (first < s.size() && s[first] == ch) ++first;
  return s.substr(first);
}
