// The helper's reading of its command line and queue, and its naming rules,
// run against the very header the helper is built from.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "UpgraderText.h"

using namespace upgrader;

namespace {

constexpr unsigned kCapacity = 1024;

struct ArgumentCase {
  const char* name;
  const char* commandLine;
  const char* appPath;
  const char* params;
  bool setupMode;
};

void PrintTo(const ArgumentCase& c, std::ostream* os) {
  *os << c.name;
}

class ParseArgumentsTest : public ::testing::TestWithParam<ArgumentCase> {};

TEST_P(ParseArgumentsTest, SplitsPathParametersAndMode) {
  const ArgumentCase& c = GetParam();
  char path[kCapacity];
  char params[kCapacity];
  Arguments args{MakeBuffer(path, kCapacity), MakeBuffer(params, kCapacity), false};
  ASSERT_TRUE(ParseArguments(c.commandLine, args));
  EXPECT_FALSE(args.appPath.overflow);
  EXPECT_FALSE(args.params.overflow);
  EXPECT_EQ(std::string(args.appPath.data, args.appPath.length), c.appPath);
  EXPECT_EQ(std::string(args.params.data, args.params.length), c.params);
  EXPECT_EQ(std::string(path), c.appPath);  // the terminator sits where the length says
  EXPECT_EQ(args.setupMode, c.setupMode);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseArgumentsTest,
    ::testing::Values(
        ArgumentCase{"UnquotedPathWithBlank",
                     R"(C:\Temp\Upgrader4.exe C:\Program Files\App\app.exe +/afterupgrade0)",
                     R"(C:\Program Files\App\app.exe)", "/afterupgrade", false},
        ArgumentCase{"RunsOfBlanksAndTabs",
                     "C:\\Temp\\Upgrader4.exe \t C:\\Program  \t\t Files\\App\\app.exe \t "
                     "+/afterupgrade0 \t ",
                     R"(C:\Program Files\App\app.exe)", "/afterupgrade", false},
        ArgumentCase{"ControlCharactersSeparate",
                     "U.exe\x01"
                     "C:\\A\\app.exe\x1f"
                     "+/x0",
                     R"(C:\A\app.exe)", "/x", false},
        ArgumentCase{
            "QuotedKeepsItsBlanks",
            R"("C:\Temp dir\Upgrader4.exe" "C:\Program  Files\App\app.exe" +/afterupgrade0)",
            R"(C:\Program  Files\App\app.exe)", "/afterupgrade", false},
        ArgumentCase{"ParametersWithBlanks", R"(U.exe C:\A\app.exe +/afterupgrade   /silent  x0)",
                     R"(C:\A\app.exe)", "/afterupgrade /silent x", false},
        ArgumentCase{"QuotedParameters", R"(U.exe "C:\A\app.exe" "+/x  y0")", R"(C:\A\app.exe)",
                     "/x  y", false},
        ArgumentCase{"SetupDigit", R"(U.exe C:\A\app.exe +/afterupgrade1)", R"(C:\A\app.exe)",
                     "/afterupgrade", true},
        ArgumentCase{
            "QuotedPathsWithBlanksAndPlus",
            R"("C:\Users\A B\Temp\Upgrader4.exe" "C:\Tools\Notepad++\C +Kit\app.exe" +/afterupgrade0)",
            R"(C:\Tools\Notepad++\C +Kit\app.exe)", "/afterupgrade", false},
        ArgumentCase{"PlusInsideAnUnquotedPiece", R"(U.exe C:\Notepad++\app.exe +/afterupgrade0)",
                     R"(C:\Notepad++\app.exe)", "/afterupgrade", false},
        ArgumentCase{"NoPlusAtAll", R"(U.exe C:\Program Files\app.exe)",
                     R"(C:\Program Files\app.exe)", "", false},
        ArgumentCase{"OnlyTheMethodDigit", R"(U.exe C:\A\app.exe +1)", R"(C:\A\app.exe)", "", true},
        ArgumentCase{"BarePlus", R"(U.exe C:\A\app.exe +)", R"(C:\A\app.exe)", "", false}),
    [](const ::testing::TestParamInfo<ArgumentCase>& info) { return info.param.name; });

TEST(ParseArguments, NoArgumentAfterTheProgramName) {
  for (const char* line : {"", "U.exe", "\"C:\\Temp dir\\U.exe\"  \t ", "  U.exe"}) {
    char path[kCapacity];
    char params[kCapacity];
    Arguments args{MakeBuffer(path, kCapacity), MakeBuffer(params, kCapacity), true};
    EXPECT_FALSE(ParseArguments(line, args)) << line;
    EXPECT_EQ(args.appPath.length, 0u) << line;
  }
}

TEST(ParseArguments, TooLongPathIsFlaggedAndStaysInItsBuffer) {
  constexpr unsigned kSmall = 8;
  constexpr char kGuard = '#';
  char path[kSmall + 4];
  char params[kSmall + 4];
  for (char& c : path) c = kGuard;
  for (char& c : params) c = kGuard;
  Arguments args{MakeBuffer(path, kSmall), MakeBuffer(params, kSmall), false};
  ParseArguments(R"(U.exe C:\A\much-too-long.exe +/afterupgrade-too-long0)", args);
  EXPECT_TRUE(args.appPath.overflow);
  EXPECT_LT(args.appPath.length, kSmall);
  for (unsigned i = kSmall; i < sizeof(path); ++i) EXPECT_EQ(path[i], kGuard) << i;
  for (unsigned i = kSmall; i < sizeof(params); ++i) EXPECT_EQ(params[i], kGuard) << i;
}

std::vector<std::string> QueueLines(const std::string& text) {
  std::vector<std::string> lines;
  const char* p = text.data();
  const char* line = nullptr;
  unsigned length = 0;
  while (NextQueueLine(p, text.data() + text.size(), line, length)) {
    lines.emplace_back(line, length);
  }
  return lines;
}

TEST(NextQueueLine, EndsLinesOnlyAtCrLf) {
  using Lines = std::vector<std::string>;
  const struct {
    std::string text;
    Lines lines;
  } cases[] = {
      {"C:\\a.dll\r\nD:\\b c\\b.dll\r\n", {"C:\\a.dll", "D:\\b c\\b.dll"}},
      {"C:\\a.dll\r\nC:\\b.dll", {"C:\\a.dll", "C:\\b.dll"}},
      {"", {}},
      {"\r\n", {""}},
      {"a\r\n\r\nb\r\n", {"a", "", "b"}},
      {"a\rb\nc\r\n", {"a\rb\nc"}},
      {"a\r", {"a\r"}},
      {std::string("a\0b\r\n", 5), {std::string("a\0b", 3)}},
  };
  for (const auto& c : cases) EXPECT_EQ(QueueLines(c.text), c.lines) << c.text;
}

TEST(SweptNameLength, NeedsTheSuffixAndANameBeforeIt) {
  const struct {
    const char* found;
    unsigned length;
  } cases[] = {
      {"app.exe.uTMP", 7}, {"x.UTMP", 1}, {"notes.txt.utmp", 9}, {".uTMP", 0}, {"readme.txt", 0},
      {"UPGRAD~1.UTM", 0}, {"", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(SweptNameLength(c.found), c.length) << c.found;
}

TEST(ClassifySwept, ProgramRuleTakesOnlyLowerCaseExe) {
  const struct {
    const char* name;
    bool programSeen;
    bool setupMode;
    SweptRole role;
  } cases[] = {
      {"new.exe", false, false, SweptRole::kIsProgram},
      {"new.exe", true, false, SweptRole::kKeepsName},
      {"SETUP.EXE", false, false, SweptRole::kKeepsName},
      {"setup.Exe", false, true, SweptRole::kKeepsName},
      {"setup.exe", false, true, SweptRole::kIsSetupProgram},
      {"setup.exe", true, true, SweptRole::kKeepsName},
      {"readme.txt", false, false, SweptRole::kKeepsName},
      {"ex", false, false, SweptRole::kKeepsName},
      {"exe", false, false, SweptRole::kIsProgram},
  };
  for (const auto& c : cases) {
    const std::string name = c.name;
    EXPECT_EQ(
        ClassifySwept(name.c_str(), static_cast<unsigned>(name.size()), c.programSeen, c.setupMode),
        c.role)
        << c.name << " seen=" << c.programSeen << " setup=" << c.setupMode;
  }
}

TEST(KeepWaiting, OnlyWhileTheFileIsInUse) {
  EXPECT_TRUE(KeepWaiting(ERROR_SHARING_VIOLATION));
  const DWORD others[] = {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND,
                          ERROR_WRITE_PROTECT, ERROR_INVALID_NAME,   ERROR_SUCCESS};
  for (DWORD error : others) {
    EXPECT_FALSE(KeepWaiting(error)) << error;
  }
}

TEST(FolderLength, KeepsTheLastBackslash) {
  const struct {
    const char* path;
    unsigned length;
  } cases[] = {{R"(C:\Program Files\App\app.exe)", 21}, {"app.exe", 0}, {"C:\\", 3}, {"", 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(FolderLength(c.path, TextLength(c.path)), c.length) << c.path;
  }
}

TEST(BuildStartCommand, QuotesThePathSoTheParametersComeFirst) {
  char buffer[kCapacity];
  TextBuffer out = MakeBuffer(buffer, kCapacity);
  BuildStartCommand(out, R"(C:\Program Files\App\app.exe)", "/afterupgrade /silent");
  EXPECT_EQ(std::string(out.data), R"("C:\Program Files\App\app.exe" /afterupgrade /silent)");
  BuildStartCommand(out, R"(C:\A\app.exe)", "");
  EXPECT_EQ(std::string(out.data), R"("C:\A\app.exe")");
  EXPECT_FALSE(out.overflow);
}

}  // namespace
