// The update information file: keys, file entries, version and date
// comparisons, and the entry list that later writes the replacement queue.
#include <gtest/gtest.h>

#include "Fixtures.h"
#include "nxUtils.h"

namespace {

struct KeyCase {
  const char* name;
  AnsiString text;
  const char* key;
  bool braced;
  AnsiString expected;
};

void PrintTo(const KeyCase& c, std::ostream* out) {
  *out << c.name;
}

class InfoKey : public testing::TestWithParam<KeyCase> {};

TEST_P(InfoKey, ReadsTheValueOfTheKey) {
  const KeyCase& c = GetParam();
  EXPECT_EQ(ReadInfoKey(c.text, c.key, c.braced), c.expected);
}

const AnsiString kInfoFile =
    "#version=1.0.0.2\r\n"
    "#url=http://127.0.0.1/client/varnel_web.exe\r\n"
    "#message={What is new:\r\n1. faster start}\r\n"
    "#method=0\r\n";

INSTANTIATE_TEST_SUITE_P(
    Keys, InfoKey,
    testing::Values(
        KeyCase{"Version", kInfoFile, "#version", false, "1.0.0.2"},
        KeyCase{"Url", kInfoFile, "#url", false, "http://127.0.0.1/client/varnel_web.exe"},
        KeyCase{"Message", kInfoFile, "#message", true, "What is new:\r\n1. faster start"},
        KeyCase{"Method", kInfoFile, "#method", false, "0"},
        KeyCase{"KeyInUpperCase", "#VERSION=1.0.0.3\r\n", "#version", false, "1.0.0.3"},
        KeyCase{"AskedInMixedCase", "#version=1.0.0.3\r\n", "#VerSion", false, "1.0.0.3"},
        KeyCase{"ValueKeepsItsCase", "#URL=HTTP://Host/App.EXE\r\n", "#url", false,
                "HTTP://Host/App.EXE"},
        KeyCase{"LastLineWithoutBreak", "#url=a\r\n#version=1.0.0.2", "#version", false, "1.0.0.2"},
        KeyCase{"OneCharacterAtTheEnd", "#method=1", "#method", false, "1"},
        KeyCase{"BracedRunsToTheEnd", "#message={open", "#message", true, "open"},
        KeyCase{"EndsAtTab", "#version=1.2\tcomment\r\n", "#version", false, "1.2"},
        KeyCase{"EndsAtLineFeed", "#version=1.2\nnext", "#version", false, "1.2"},
        KeyCase{"KeepsBlanksInside", "#message={ a  b }", "#message", true, " a  b "},
        KeyCase{"FirstOccurrenceWins", "#method=2\r\n#method=1\r\n", "#method", false, "2"},
        KeyCase{"Missing", kInfoFile, "#date", false, ""},
        KeyCase{"EmptyValue", "#version=\r\n#url=x\r\n", "#version", false, ""},
        KeyCase{"BlankBeforeEqualsIsNoKey", "#version =1.0\r\n", "#version", false, ""},
        KeyCase{"BracedWithoutBraceIsMissing", "#message=plain text\r\n", "#message", true, ""},
        KeyCase{"PlainReadOfBracedKey", "#message={x}\r\n", "#message", false, "{x}"},
        KeyCase{"EmptyBraces", "#message={}\r\n", "#message", true, ""},
        KeyCase{"EmptyText", "", "#version", false, ""}),
    [](const testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.name); });

TEST(InfoKey, AnEmptyValueGivesTheFallback) {
  EXPECT_EQ(ReadInfoKey("#version=\r\n", "#version", false, "none"), "none");
  EXPECT_EQ(ReadInfoKey("", "#version", false, "none"), "none");
  EXPECT_EQ(ReadInfoKey("#version=1\r\n", "#version", false, "none"), "1");
}

struct EntriesCase {
  const char* name;
  AnsiString text;
  std::vector<AnsiString> entries;
};

void PrintTo(const EntriesCase& c, std::ostream* out) {
  *out << c.name;
}

class FileEntries : public testing::TestWithParam<EntriesCase> {};

TEST_P(FileEntries, AreGatheredInKeyOrder) {
  TnxStringList files;
  files.Add("left over");
  ReadFileEntries(GetParam().text, files);
  EXPECT_EQ(files.Items(), GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, FileEntries,
    testing::Values(
        EntriesCase{"UrlThenNumberedFromTwo", "#url=a\r\n#url1=b\r\n#url2=c\r\n", {"a", "c"}},
        EntriesCase{"NumberedOnly", "#url1=b\r\n#url2=c\r\n", {"b", "c"}},
        EntriesCase{"UrlUrl0AndThree", "#url=a\r\n#url0=b\r\n#url3=c\r\n", {"a", "b", "c"}},
        EntriesCase{"GapEndsTheList", "#url1=a\r\n#url3=c\r\n", {"a"}},
        EntriesCase{"KeysInAnyOrder", "#url3=c\r\n#url1=a\r\n#url2=b\r\n", {"a", "b", "c"}},
        EntriesCase{"TenAndMore",
                    "#url1=1\r\n#url2=2\r\n#url3=3\r\n#url4=4\r\n#url5=5\r\n#url6=6\r\n#url7=7\r\n"
                    "#url8=8\r\n#url9=9\r\n#url10=10\r\n#url11=11",
                    {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"}},
        EntriesCase{"None", "#version=1.0\r\n", {}},
        EntriesCase{"RepeatedEntryOnce", "#url=a\r\n#url0=A\r\n#url2=b\r\n", {"a", "b"}},
        EntriesCase{"EntryWithDestination",
                    "#url=http://h/app.exe=%windows%\\app.exe\r\n",
                    {"http://h/app.exe=%windows%\\app.exe"}}),
    [](const testing::TestParamInfo<EntriesCase>& info) { return std::string(info.param.name); });

TEST(FileEntries, TheFirstEqualsSignSeparatesUrlAndDestination) {
  TnxStringList files;
  ReadFileEntries("#url=http://h/get?id=5\r\n#url0=http://h/a.exe=sub\\a=b.exe\r\n", files);
  ASSERT_EQ(files.Count(), 2);
  EXPECT_EQ(files.ItemName(0), "http://h/get?id");
  EXPECT_EQ(files.ItemValue(0), "5");
  EXPECT_EQ(files.ItemName(1), "http://h/a.exe");
  EXPECT_EQ(files.ItemValue(1), "sub\\a=b.exe");
}

TEST(SplitVersion, GivesFourParts) {
  using Parts = std::vector<AnsiString>;
  EXPECT_EQ(SplitVersion("1.2"), (Parts{"1", "2", "0", "0"}));
  EXPECT_EQ(SplitVersion(""), (Parts{"", "0", "0", "0"}));
  EXPECT_EQ(SplitVersion("1.0.0.1.9"), (Parts{"1", "0", "0", "1"}));
  EXPECT_EQ(SplitVersion("1..3"), (Parts{"1", "", "3", "0"}));
  EXPECT_EQ(SplitVersion("2.0 beta"), (Parts{"2", "0 beta", "0", "0"}));
}

struct VersionCase {
  const char* announced;
  const char* own;
  int expected;
};

class Versions : public testing::TestWithParam<VersionCase> {};

TEST_P(Versions, CompareAsTheUpdateDecides) {
  const VersionCase& c = GetParam();
  EXPECT_EQ(CompareVersions(c.announced, c.own), c.expected) << c.announced << " vs " << c.own;
  EXPECT_EQ(CompareVersions(c.own, c.announced), -c.expected) << c.own << " vs " << c.announced;
  const AnsiString info = AnsiString("#version=") + c.announced + "\r\n";
  EXPECT_EQ(IsNewerVersion(info, byNumber, c.own, "01/01/2000"), c.expected > 0);
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, Versions,
    testing::Values(VersionCase{"1.0.0.10", "1.0.0.1", 1}, VersionCase{"1.0.0.1", "1.0.0.10", -1},
                    VersionCase{"1.2", "1.2.0.0", 0}, VersionCase{"1.0.0.1.9", "1.0.0.1", 0},
                    VersionCase{"2.0 beta", "1.0.0.1", 1}, VersionCase{"1.0.0.1b", "1.0.0.1", 1},
                    VersionCase{"1.0.0.x", "1.0.0.2", 1}, VersionCase{"1.0.0", "1.0.0.1", -1},
                    VersionCase{"", "1.0.0.1", -1}, VersionCase{"", "", 0},
                    VersionCase{"10.0", "9.9.9.9", 1}, VersionCase{"1.-1", "1.0", -1},
                    VersionCase{"1.0.0.2", "1.0.0.2", 0}));

TEST(Versions, AFileWithoutFinalLineBreakKeepsItsWholeVersion) {
  // The last line keeps every character: 1.0.0.2 is newer than 1.0.0.1.
  EXPECT_TRUE(IsNewerVersion("#url=x\r\n#version=1.0.0.2", byNumber, "1.0.0.1", ""));
  EXPECT_FALSE(IsNewerVersion("#url=x\r\n#version=1.0.0.1", byNumber, "1.0.0.1", ""));
}

double Today() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  TDateTime today = 0;
  TryEncodeDate(now.wYear, now.wMonth, now.wDay, today);
  return today;
}

TEST(VersionDate, ReadsMonthDayYear) {
  TDateTime expected = 0;
  ASSERT_TRUE(TryEncodeDate(2015, 2, 12, expected));
  EXPECT_EQ(StrToVersionDate("02/12/2015"), expected);
  ASSERT_TRUE(TryEncodeDate(15, 2, 12, expected));
  EXPECT_EQ(StrToVersionDate("2/12/15"), expected);
  for (const char* bad : {"13/02/2015", "02/30/2015", "02-12-2015", "02/12", "", "a/b/c",
                          "02/12/2015/1", "02/12/2015 "})
    EXPECT_EQ(StrToVersionDate(bad), Today()) << bad;
}

struct DateCompareCase {
  const char* info;
  const char* versionDate;
  bool newer;
};

class DateCompare : public testing::TestWithParam<DateCompareCase> {};

TEST_P(DateCompare, IsNewerOnlyForALaterDate) {
  const DateCompareCase& c = GetParam();
  EXPECT_EQ(IsNewerVersion(c.info, byDate, "9.9.9.9", c.versionDate), c.newer) << c.info;
}

INSTANTIATE_TEST_SUITE_P(
    Dates, DateCompare,
    testing::Values(DateCompareCase{"#date=02/12/2015\r\n", "02/12/2015", false},
                    DateCompareCase{"#date=02/13/2015\r\n", "02/12/2015", true},
                    DateCompareCase{"#date=02/11/2015\r\n", "02/12/2015", false},
                    DateCompareCase{"#DATE=01/01/2016\r\n", "12/31/2015", true},
                    // Unreadable or missing dates count as today.
                    DateCompareCase{"#date=13/02/2015\r\n", "02/12/2015", true},
                    DateCompareCase{"#version=1\r\n", "02/12/2015", true},
                    DateCompareCase{"#version=1\r\n", "12/31/9999", false},
                    DateCompareCase{"#date=01/01/2000\r\n", "garbage", false},
                    // The number is not looked at when dates decide.
                    DateCompareCase{"#date=01/01/2000\r\n#version=99\r\n", "02/12/2015", false}));

TEST(StringList, NameAndValueOfAnEntry) {
  TnxStringList list;
  list.Add("a=b=c");
  list.Add("abc");
  list.Add("=v");
  list.Add("n=");
  EXPECT_EQ(list.SeparatorPos(0), 2);
  EXPECT_EQ(list.ItemName(0), "a");
  EXPECT_EQ(list.ItemValue(0), "b=c");
  EXPECT_EQ(list.SeparatorPos(1), 0);
  EXPECT_EQ(list.ItemName(1), "abc");
  EXPECT_EQ(list.ItemValue(1), "");
  EXPECT_EQ(list.ItemName(2), "");
  EXPECT_EQ(list.ItemValue(2), "v");
  EXPECT_EQ(list.ItemName(3), "n");
  EXPECT_EQ(list.ItemValue(3), "");

  list.SetItemValue(0, "x");
  EXPECT_EQ(list[0], "a=x");
  list.SetItemValue(1, "x");
  EXPECT_EQ(list[1], "abc");

  list.SeparatorFromEnd = true;
  list.SetItemValue(0, "b=c");
  EXPECT_EQ(list.SeparatorPos(0), 4);
  EXPECT_EQ(list.ItemName(0), "a=b");
  EXPECT_EQ(list.ItemValue(0), "c");

  list.Separator = "::";
  list.Add("k::v::w");
  EXPECT_EQ(list.ItemName(4), "k::v");
  EXPECT_EQ(list.ItemValue(4), "w");
}

TEST(StringList, DropsEveryRepeatedEntryAndKeepsTheOrder) {
  TnxStringList list;
  const std::vector<AnsiString> input = {"d", "b", "a", "c", "B", "e", "a", "D", "f", "C", "g"};
  std::vector<int> indexes;
  for (const auto& s : input) indexes.push_back(list.Add(s));
  EXPECT_EQ(list.Items(), (std::vector<AnsiString>{"d", "b", "a", "c", "e", "f", "g"}));
  // A dropped entry reports where its earlier copy stands.
  EXPECT_EQ(indexes, (std::vector<int>{0, 1, 2, 3, 1, 4, 2, 0, 5, 3, 6}));
}

TEST(StringList, DuplicatesSettingDecides) {
  TnxStringList list;
  list.Duplicates = dupAccept;
  list.Add("x");
  EXPECT_EQ(list.Add("X"), 1);
  EXPECT_EQ(list.Count(), 2);
  list.Duplicates = dupError;
  EXPECT_THROW(list.Add("x"), Exception);
  EXPECT_EQ(list.Count(), 2);
}

TEST(StringList, MaxCountKeepsTheNewestEntries) {
  TnxStringList list;
  list.MaxCount = 2;
  list.Add("a");
  list.Add("b");
  EXPECT_EQ(list.Add("c"), 1);
  EXPECT_EQ(list.Items(), (std::vector<AnsiString>{"b", "c"}));
  list.MaxCount = 0;
  EXPECT_EQ(list.Add("d"), -1);
  EXPECT_EQ(list.Count(), 2);
}

TEST(StringList, DeleteFirstRaisesNoChangeNotifications) {
  TnxStringList list;
  list.Add("a");
  list.Add("b");
  int changes = 0;
  list.OnChange = [&](TnxStringList&) { ++changes; };
  list.OnChanging = [&](TnxStringList&) { ++changes; };
  list.DeleteFirst();
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(list.Items(), (std::vector<AnsiString>{"b"}));
  list.Add("c");  // notifications are back afterwards
  EXPECT_EQ(changes, 2);
  TnxStringList empty;
  empty.DeleteFirst();
  EXPECT_EQ(empty.Count(), 0);
}

class SaveValues : public testing::Test {
 protected:
  static std::string ReadAll(const AnsiString& path) { return testsupport::ReadFile(path); }
  TempFolder folder_;
};

TEST_F(SaveValues, WritesOnlyValuesEachWithCrLf) {
  TnxStringList list;
  for (const char* entry : {"C:\\app.exe=C:\\app.exe.uTMP", "no value", "skip=", "a=b=c"})
    list.Add(entry);
  const AnsiString path = folder_.Path() + "queue.txt";
  list.SaveValuesToFile(path);
  EXPECT_EQ(ReadAll(path), "C:\\app.exe.uTMP\r\nb=c\r\n");

  TnxStringList shorter;
  shorter.Add("x=1");
  shorter.SaveValuesToFile(path);  // replaces, not appends
  EXPECT_EQ(ReadAll(path), "1\r\n");
}

TEST_F(SaveValues, LeavesAnOlderFileAloneWithoutValues) {
  const AnsiString path = folder_.Path() + "queue.txt";
  testsupport::WriteFile(path, "older");
  TnxStringList list;
  list.Add("a=");
  list.Add("b");
  list.SaveValuesToFile(path);
  EXPECT_EQ(ReadAll(path), "older");
  const AnsiString missing = folder_.Path() + "none.txt";
  list.SaveValuesToFile(missing);
  EXPECT_EQ(GetFileAttributesA(missing.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
