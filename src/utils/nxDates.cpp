// Dates of HTTP headers and the calendar arithmetic of TDateTime.
#include <algorithm>
#include <cmath>

#include "nxUtils.h"

namespace {

constexpr double kMinutesPerDay = 24 * 60;
constexpr long long kMSecsPerDay = 24LL * 60 * 60 * 1000;
// Day number (counted from 1 January of year 1 as day 1) of 30 December 1899.
constexpr long long kDateDelta = 693594;
constexpr int kDaysPer400Years = 146097;
constexpr int kDaysPer100Years = 36524;
constexpr int kDaysPer4Years = 1461;
constexpr int kDaysPerYear = 365;
constexpr int kMaxYear = 9999;

// A year read as 1900 means "not found where expected": the asctime layout
// puts the year after the time.
constexpr std::uint16_t kYearFallback = 1900;
constexpr std::uint16_t kCenturyPivot = 80;
constexpr std::uint16_t kTwoDigitYears = 100;
// A numeric zone such as +0800 has this many characters.
constexpr std::size_t kZoneLength = 5;

const std::vector<AnsiString> kDayNames = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
const std::vector<AnsiString> kMonthNames = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                             "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

bool IsLeapYear(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

AnsiString AsciiUpper(AnsiString s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// Everything of one date text up to its zone. False on an impossible date or
// time; s is then left where the parse stopped.
bool ParseDateAndTime(AnsiString& s, TDateTime& result) {
  if (DayNameIndex(s.substr(0, 3)) != 0) {
    FetchToken(s, " ", true);  // "Sun," and "Sunday," alike
    s = TrimLeftBlanks(s);
  }

  const std::size_t dash = s.find('-');
  const std::size_t space = s.find(' ');
  // A dash separates the fields only when it comes before the first space and
  // is not the first character (a negative zone or a signed day does not count).
  const bool dashed =
      dash != AnsiString::npos && dash >= 1 && space != AnsiString::npos && dash < space;
  const AnsiString delim = dashed ? "-" : " ";

  std::uint16_t day = 0;
  std::uint16_t month = 0;
  auto readDay = [&] {
    day = static_cast<std::uint16_t>(StrToIntDef(FetchToken(s, delim, true), 1));
    s = TrimLeftBlanks(s);
  };
  auto readMonth = [&] {
    month = MonthNameIndex(FetchToken(s, delim, true));
    s = TrimLeftBlanks(s);
  };
  if (MonthNameIndex(FetchToken(s, delim, false)) != 0) {
    readMonth();
    readDay();
  } else {
    readDay();
    readMonth();
  }

  const AnsiString yearField = FetchToken(s, " ", true);
  auto year = static_cast<std::uint16_t>(StrToIntDef(yearField, kYearFallback));
  if (year == kYearFallback) {
    year = static_cast<std::uint16_t>(StrToIntDef(s, kYearFallback));
    s = yearField;
  }
  if (year < kCenturyPivot)
    year += 2000;
  else if (year < kTwoDigitYears)
    year += 1900;

  if (!TryEncodeDate(year, month, day, result)) return false;

  if (s.find(':') != AnsiString::npos) {
    AnsiString time = FetchToken(s, " ", true);
    const int hour = StrToIntDef(FetchToken(time, ":", true), 0);
    const int minute = StrToIntDef(FetchToken(time, ":", true), 0);
    const int second = StrToIntDef(FetchToken(time, " ", true), 0);
    TDateTime fraction = 0;
    if (!TryEncodeTime(hour, minute, second, 0, fraction)) return false;
    result += fraction;
  }
  s = TrimLeftBlanks(s);
  return true;
}

}  // namespace

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
  if (year < 1 || year > kMaxYear || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month))
    return false;
  long long days = day;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  const long long y = year - 1;
  result = static_cast<TDateTime>(y * 365 + y / 4 - y / 100 + y / 400 + days - kDateDelta);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 ||
      msec > 999)
    return false;
  const long long ms = ((hour * 60LL + minute) * 60 + second) * 1000 + msec;
  result = static_cast<TDateTime>(ms) / kMSecsPerDay;
  return true;
}

bool DecodeDateTime(TDateTime value, TDateTimeParts& parts) {
  if (!std::isfinite(value)) return false;
  const double scaled = std::nearbyint(value * kMSecsPerDay);
  if (std::fabs(scaled) > 1e16) return false;
  const auto totalMs = static_cast<long long>(scaled);
  // A negative TDateTime counts its date towards zero and its time forwards.
  long long dayNumber = totalMs / kMSecsPerDay + kDateDelta;
  long long ms = (totalMs < 0 ? -totalMs : totalMs) % kMSecsPerDay;
  if (dayNumber <= 0) return false;

  long long t = dayNumber - 1;
  int year = 1;
  year += static_cast<int>(t / kDaysPer400Years) * 400;
  t %= kDaysPer400Years;
  long long centuries = t / kDaysPer100Years;
  t %= kDaysPer100Years;
  if (centuries == 4) {
    --centuries;
    t += kDaysPer100Years;
  }
  year += static_cast<int>(centuries) * 100;
  year += static_cast<int>(t / kDaysPer4Years) * 4;
  t %= kDaysPer4Years;
  long long years = t / kDaysPerYear;
  t %= kDaysPerYear;
  if (years == 4) {
    --years;
    t += kDaysPerYear;
  }
  year += static_cast<int>(years);
  if (year > kMaxYear) return false;

  int month = 1;
  while (t >= DaysInMonth(year, month)) t -= DaysInMonth(year, month++);

  parts.Year = year;
  parts.Month = month;
  parts.Day = static_cast<int>(t) + 1;
  parts.Hour = static_cast<int>(ms / 3600000);
  ms %= 3600000;
  parts.Minute = static_cast<int>(ms / 60000);
  ms %= 60000;
  parts.Second = static_cast<int>(ms / 1000);
  parts.MSec = static_cast<int>(ms % 1000);
  return true;
}

TDateTime Now() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  TDateTime date = 0;
  TDateTime time = 0;
  TryEncodeDate(st.wYear, st.wMonth, st.wDay, date);
  TryEncodeTime(st.wHour, st.wMinute, st.wSecond, st.wMilliseconds, time);
  return date + time;
}

TDateTime Date() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  TDateTime date = 0;
  TryEncodeDate(st.wYear, st.wMonth, st.wDay, date);
  return date;
}

AnsiString FetchToken(AnsiString& s, const AnsiString& delim, bool consume) {
  const std::size_t found = delim.empty() ? AnsiString::npos : s.find(delim);
  if (found == AnsiString::npos) {
    AnsiString token = s;
    if (consume) s.clear();
    return token;
  }
  AnsiString token = s.substr(0, found);
  if (consume) s.erase(0, found + delim.size());
  return token;
}

int IndexInStrArray(const AnsiString& text, const std::vector<AnsiString>& items) {
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i] == text) return static_cast<int>(i);
  return -1;
}

std::uint8_t DayNameIndex(const AnsiString& name) {
  return static_cast<std::uint8_t>(IndexInStrArray(AsciiUpper(name), kDayNames) + 1);
}

std::uint8_t MonthNameIndex(const AnsiString& name) {
  return static_cast<std::uint8_t>(IndexInStrArray(AsciiUpper(name), kMonthNames) + 1);
}

double LocalTimeZoneBias() {
  TIME_ZONE_INFORMATION zone = {};
  const DWORD state = GetTimeZoneInformation(&zone);
  const LONG extra = state == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : zone.StandardBias;
  return (zone.Bias + extra) / kMinutesPerDay;
}

TDateTime UTCToLocalTime(TDateTime utc) {
  return utc - LocalTimeZoneBias();
}

double ZoneOffsetToDays(const AnsiString& text) {
  const AnsiString zone = TrimBlanks(text.substr(0, kZoneLength));
  if (zone.empty() || (zone[0] != '+' && zone[0] != '-')) return 0;
  int hours = 0;
  int minutes = 0;
  TDateTime offset = 0;
  if (!TryStrToInt(zone.substr(std::min<std::size_t>(3, zone.size()), 2), minutes) ||
      !TryStrToInt(zone.substr(1, 2), hours) || !TryEncodeTime(hours, minutes, 0, 0, offset))
    return 0;
  return zone[0] == '-' ? -offset : offset;
}

TDateTime InternetDateToLocalTime(const AnsiString& text) {
  AnsiString s = TrimBlanks(text);
  if (s.empty()) return 0;
  TDateTime result = 0;
  if (!ParseDateAndTime(s, result)) result = 0;
  const double offset = s.size() >= kZoneLength ? ZoneOffsetToDays(s) : 0;
  return UTCToLocalTime(result - offset);
}
