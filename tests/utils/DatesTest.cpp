// Internet dates under the machine's time zone. The same program runs once in
// UTC and once in UTC+8; DESKPIN_TEST_BIAS_MINUTES tells it which (UTC minus
// local time, as Windows reports it).
#include <gtest/gtest.h>

#include <cstdlib>

#include "nxUtils.h"

namespace {

constexpr double kSecondInDays = 1.0 / 86400;
constexpr double kTolerance = kSecondInDays / 100;

// Days since 30 December 1899 by a civil-calendar formula of its own, so the
// expectations do not come from the code under test.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

double Serial(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  static const long long kEpoch = DaysFromCivil(1899, 12, 30);
  return static_cast<double>(DaysFromCivil(y, mo, d) - kEpoch) + (h * 3600 + mi * 60 + s) / 86400.0;
}

double ExpectedBiasDays() {
  const char* minutes = std::getenv("DESKPIN_TEST_BIAS_MINUTES");
  return minutes ? std::atoi(minutes) / 1440.0 : 0;
}

TEST(LocalTimeZoneBias, FollowsTheZoneOfTheProcess) {
  EXPECT_NEAR(LocalTimeZoneBias(), ExpectedBiasDays(), kTolerance);
  EXPECT_NEAR(UTCToLocalTime(Serial(2005, 11, 6, 10)), Serial(2005, 11, 6, 10) - ExpectedBiasDays(),
              kTolerance);
}

struct DateCase {
  const char* text;
  double utc;  // the moment in UTC the text names
};

void PrintTo(const DateCase& c, std::ostream* out) {
  *out << '"' << c.text << '"';
}

class InternetDate : public testing::TestWithParam<DateCase> {};

TEST_P(InternetDate, GivesTheMomentInLocalTime) {
  const DateCase& c = GetParam();
  EXPECT_NEAR(InternetDateToLocalTime(c.text), c.utc - ExpectedBiasDays(), kTolerance) << c.text;
}

// An undecodable text keeps the zone offset and the bias applied to 0.
const double kUndecodable = 0;

INSTANTIATE_TEST_SUITE_P(
    Layouts, InternetDate,
    testing::Values(DateCase{"Sun, 06 Nov 1994 08:49:37 GMT", Serial(1994, 11, 6, 8, 49, 37)},
                    DateCase{"Sunday, 06-Nov-94 08:49:37 GMT", Serial(1994, 11, 6, 8, 49, 37)},
                    DateCase{"Sun Nov  6 08:49:37 1994", Serial(1994, 11, 6, 8, 49, 37)},
                    DateCase{"06 Nov 1994 08:49:37 +0200", Serial(1994, 11, 6, 6, 49, 37)},
                    DateCase{"Nov 6 1994", Serial(1994, 11, 6)},
                    DateCase{"06 Nov 2005", Serial(2005, 11, 6)},
                    DateCase{"06-Nov-05 10:00", Serial(2005, 11, 6, 10)},
                    DateCase{"  Sun, 06 Nov 1994 08:49:37 GMT \r\n",
                             Serial(1994, 11, 6, 8, 49, 37)},
                    DateCase{"sun, 06 nov 1994 08:49:37 gmt", Serial(1994, 11, 6, 8, 49, 37)}));

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, InternetDate,
    testing::Values(
        // Zones: numeric ones shift the time, names and short offsets do not.
        DateCase{"Sun, 06 Nov 1994 08:49:37 -0500", Serial(1994, 11, 6, 13, 49, 37)},
        DateCase{"06 Nov 1994 08:49:37 -0530", Serial(1994, 11, 6, 14, 19, 37)},
        DateCase{"06 Nov 1994 08:49:37 +08", Serial(1994, 11, 6, 8, 49, 37)},
        DateCase{"06 Nov 1994 08:49:37 EST", Serial(1994, 11, 6, 8, 49, 37)},
        DateCase{"06 Nov 1994 08:49:37 +08:00", Serial(1994, 11, 6, 8, 49, 37)},
        // Two-digit years pivot at 80; three digits are taken as written.
        DateCase{"06 Nov 79", Serial(2079, 11, 6)}, DateCase{"06 Nov 80", Serial(1980, 11, 6)},
        DateCase{"06 Nov 99", Serial(1999, 11, 6)}, DateCase{"06 Nov 00", Serial(2000, 11, 6)},
        DateCase{"06 Nov 100", Serial(100, 11, 6)},
        // asctime with a zone name: the year never becomes a number.
        DateCase{"Sun Nov  6 08:49:37 1994 GMT", Serial(1900, 11, 6, 8, 49, 37)},
        // Times: seconds may be missing; a fraction is no whole number.
        DateCase{"06 Nov 1994 08:49", Serial(1994, 11, 6, 8, 49)},
        DateCase{"06 Nov 1994 08:49:37.5", Serial(1994, 11, 6, 8, 49)},
        DateCase{"06 Nov 1994 23:59:59", Serial(1994, 11, 6, 23, 59, 59)},
        // A day that is no number is day 1; a leap day exists in leap years only.
        DateCase{"xx Nov 1994", Serial(1994, 11, 1)}, DateCase{"29 Feb 2000", Serial(2000, 2, 29)},
        // A day name without its comma.
        DateCase{"Mon 07 Nov 1994", Serial(1994, 11, 7)},
        // Without any space the dash is no separator, and nothing is read.
        DateCase{"06-Nov-1994", kUndecodable},
        // Undecodable: impossible dates and times, unknown month names.
        DateCase{"06 November 1994", kUndecodable}, DateCase{"29 Feb 1900", kUndecodable},
        DateCase{"31 Apr 2005", kUndecodable}, DateCase{"06 Nov 1994 24:00:00", kUndecodable},
        DateCase{"06 Nov 1994 08:60", kUndecodable}, DateCase{"-06 Nov 1994", kUndecodable},
        DateCase{"garbage", kUndecodable}, DateCase{"06 Nov 10000", kUndecodable},
        DateCase{"06 Nov -5", kUndecodable},
        // A bad time leaves the zone after it in place: its offset still applies.
        DateCase{"06 Nov 1994 25:00 +0200", -2.0 / 24}));

TEST(InternetDate, EmptyOrBlankTextIsExactlyZeroInEveryZone) {
  for (const char* text : {"", " ", "\t\r\n  "}) EXPECT_EQ(InternetDateToLocalTime(text), 0.0);
}

struct ZoneCase {
  const char* text;
  double days;
};

class ZoneOffset : public testing::TestWithParam<ZoneCase> {};

TEST_P(ZoneOffset, IsTheSignedNumericZone) {
  EXPECT_NEAR(ZoneOffsetToDays(GetParam().text), GetParam().days, kTolerance) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Zones, ZoneOffset,
                         testing::Values(ZoneCase{"+0800", 8.0 / 24}, ZoneCase{"-0530", -5.5 / 24},
                                         ZoneCase{"+0000", 0},
                                         ZoneCase{"+2359", 23.0 / 24 + 59.0 / 1440},
                                         ZoneCase{"+0800 trailing", 8.0 / 24},
                                         ZoneCase{"+08:00", 0}, ZoneCase{"GMT+0800", 0},
                                         ZoneCase{"+2400", 0}, ZoneCase{"+0860", 0},
                                         ZoneCase{"+08", 0}, ZoneCase{"+", 0}, ZoneCase{"", 0},
                                         ZoneCase{"0800", 0}, ZoneCase{"+-800", 0}));

struct TokenCase {
  const char* s;
  const char* delim;
  bool consume;
  const char* token;
  const char* rest;
};

class Token : public testing::TestWithParam<TokenCase> {};

TEST_P(Token, SplitsAtTheFirstDelimiter) {
  const TokenCase& c = GetParam();
  AnsiString s = c.s;
  EXPECT_EQ(FetchToken(s, c.delim, c.consume), c.token);
  EXPECT_EQ(s, c.rest);
}

INSTANTIATE_TEST_SUITE_P(Tokens, Token,
                         testing::Values(TokenCase{"06 Nov 1994", " ", true, "06", "Nov 1994"},
                                         TokenCase{"06 Nov 1994", " ", false, "06", "06 Nov 1994"},
                                         TokenCase{"06  Nov", " ", true, "06", " Nov"},
                                         TokenCase{"a--b--c", "--", true, "a", "b--c"},
                                         TokenCase{"1994", " ", true, "1994", ""},
                                         TokenCase{"1994", " ", false, "1994", "1994"},
                                         TokenCase{" lead", " ", true, "", "lead"},
                                         TokenCase{"", ":", true, "", ""}));

TEST(NameIndex, MatchesWholeThreeLetterNamesInAnyCase) {
  struct Case {
    const char* name;
    int day;
    int month;
  };
  const Case cases[] = {{"Sun", 1, 0},      {"sat", 7, 0},  {"WED", 4, 0},  {"Sunday", 0, 0},
                        {"Nov", 0, 11},     {"nov", 0, 11}, {"NOV", 0, 11}, {"jan", 0, 1},
                        {"November", 0, 0}, {"", 0, 0},     {"Dec ", 0, 0}, {"Mar", 0, 3}};
  for (const Case& c : cases) {
    EXPECT_EQ(DayNameIndex(c.name), c.day) << c.name;
    EXPECT_EQ(MonthNameIndex(c.name), c.month) << c.name;
  }
}

TEST(NameIndex, IndexInStrArrayIsExactAndFindsTheFirst) {
  const std::vector<AnsiString> items = {"a", "b", "b", "C"};
  EXPECT_EQ(IndexInStrArray("b", items), 1);
  EXPECT_EQ(IndexInStrArray("C", items), 3);
  EXPECT_EQ(IndexInStrArray("c", items), -1);
  EXPECT_EQ(IndexInStrArray("", items), -1);
  EXPECT_EQ(IndexInStrArray("a", {}), -1);
}

TEST(Calendar, DecodeReversesEncodeAcrossTheYears) {
  for (int year : {1, 100, 1601, 1899, 1900, 1980, 2000, 2024, 2107, 9999}) {
    for (int month : {1, 2, 12}) {
      TDateTime date = 0;
      TDateTime time = 0;
      ASSERT_TRUE(TryEncodeDate(year, month, 28, date));
      ASSERT_TRUE(TryEncodeTime(13, 14, 15, 500, time));
      EXPECT_NEAR(date, Serial(year, month, 28), kTolerance);
      TDateTimeParts parts;
      ASSERT_TRUE(DecodeDateTime(date + (date < 0 ? -time : time), parts)) << year;
      EXPECT_EQ(parts.Year, year);
      EXPECT_EQ(parts.Month, month);
      EXPECT_EQ(parts.Day, 28);
      EXPECT_EQ(parts.Hour, 13);
      EXPECT_EQ(parts.Minute, 14);
      EXPECT_EQ(parts.Second, 15);
      EXPECT_EQ(parts.MSec, 500);
    }
  }
}

}  // namespace
