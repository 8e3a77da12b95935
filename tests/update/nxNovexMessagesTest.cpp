// The message routines against the program's real string table: language
// choice, loading into the ANSI code page, formatting and the message box.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "Application.h"
#include "nxNovexMessages.h"

namespace {

// Puts MsgBase back after each test: it is process-wide.
class Messages : public ::testing::Test {
 protected:
  void TearDown() override { MsgBase = saved_; }
  TnxNovexLanguage SystemLanguage() const { return LanguageForLangId(GetSystemDefaultLangID()); }

 private:
  WORD saved_ = MsgBase;
};

struct DetectionCase {
  LANGID systemLanguage;
  TnxNovexLanguage expected;
  WORD expectedBase;
};

const DetectionCase kDetectionCases[] = {
    {0x0416, wlPortugueseBrazilian, 41300},  // Portuguese (Brazil)
    {0x0816, wlPortuguese, 41250},           // Portuguese (Portugal)
    {0x0016, wlPortuguese, 41250},           // Portuguese, no sublanguage
    {0x0804, wlChineseSimplified, 42100},    // Chinese (PRC)
    {0x0404, wlChineseTraditional, 42050},   // Chinese (Taiwan)
    {0x0C04, wlChineseTraditional, 42050},   // Chinese (Hong Kong)
    {0x1004, wlChineseTraditional, 42050},   // Chinese (Singapore)
    {0x1404, wlChineseTraditional, 42050},   // Chinese (Macao)
    {0x0414, wlNorwegian, 42350},            // Norwegian (Bokmal)
    {0x0814, wlNorwegian, 42350},            // Norwegian (Nynorsk)
    {0x0411, wlEnglish, 41000},              // Japanese: no texts of its own
    {0x081A, wlEnglish, 41000},              // Serbian (Latin)
    {0x0C1A, wlEnglish, 41000},              // Serbian (Cyrillic)
    {0x0000, wlEnglish, 41000},              // neutral
    {0x0409, wlEnglish, 41000},
    {0x0809, wlEnglish, 41000},  // English (United Kingdom)
    {0x0419, wlRussian, 41050},
    {0x0407, wlGerman, 41100},
    {0x0C07, wlGerman, 41100},  // German (Austria)
    {0x0C0C, wlFrench, 41150},  // French (Canada)
    {0x0C0A, wlSpanish, 41200},
    {0x0410, wlItalian, 41350},
    {0x0813, wlDutch, 41400},  // Dutch (Belgium)
    {0x0406, wlDanish, 41450},
    {0x041D, wlSwedish, 41500},
    {0x040B, wlFinnish, 41550},
    {0x0425, wlEstonian, 41600},
    {0x0422, wlUkrainian, 41650},
    {0x0415, wlPolish, 41700},
    {0x0405, wlCzech, 41750},
    {0x040E, wlHungarian, 41800},
    {0x0418, wlRomanian, 41850},
    {0x0403, wlCatalan, 41900},
    {0x042D, wlBasque, 41950},
    {0x0436, wlAfrikaans, 42000},
    {0x0421, wlIndonesian, 42150},
    {0x043E, wlMalay, 42200},
    {0x040F, wlIcelandic, 42250},
    {0x041F, wlTurkish, 42300},
    {0x041B, wlSlovak, 42400},
};

TEST_F(Messages, LanguageFollowsTheSystemLanguageId) {
  for (const DetectionCase& c : kDetectionCases) {
    SCOPED_TRACE(testing::Message() << "language id 0x" << std::hex << c.systemLanguage);
    const TnxNovexLanguage language = LanguageForLangId(c.systemLanguage);
    EXPECT_EQ(language, c.expected);
    EXPECT_EQ(MsgBaseOf(language), c.expectedBase);
  }
}

TEST_F(Messages, DetectLanguageReadsTheSystemAndSetsMsgBase) {
  MsgBase = 0;
  const TnxNovexLanguage language = DetectLanguage();
  EXPECT_NE(language, wlAuto);
  EXPECT_EQ(language, SystemLanguage());
  EXPECT_EQ(MsgBase, MsgBaseOf(language));
}

TEST_F(Messages, LanguageSettingSelectsAtOnce) {
  TnxNovexLanguage setting = wlAuto;
  AssignLanguage(setting, wlGerman);
  EXPECT_EQ(setting, wlGerman);
  EXPECT_EQ(MsgBase, 41100);
  EXPECT_EQ(LoadMsg(0), "Upgrade Anwendungsassistent");
}

TEST_F(Messages, LanguageSettingBackToAutoRunsTheDetection) {
  ASSERT_NE(SystemLanguage(), wlSlovak);
  TnxNovexLanguage setting = wlAuto;
  AssignLanguage(setting, wlSlovak);
  ASSERT_EQ(MsgBase, 42400);
  AssignLanguage(setting, wlAuto);
  EXPECT_EQ(setting, wlAuto);
  EXPECT_EQ(MsgBase, MsgBaseOf(SystemLanguage()));
}

TEST_F(Messages, LanguageSettingWithItsOwnValueChangesNothing) {
  TnxNovexLanguage first = wlAuto, second = wlAuto;
  AssignLanguage(first, wlGerman);
  AssignLanguage(second, wlFrench);
  AssignLanguage(first, wlGerman);  // already German: French stays
  EXPECT_EQ(MsgBase, 41150);

  TnxNovexLanguage untouched = wlAuto;
  MsgBase = 42400;
  AssignLanguage(untouched, wlAuto);  // no detection either
  EXPECT_EQ(MsgBase, 42400);
}

TEST_F(Messages, TextsFollowTheLanguageAssignedLast) {
  TnxNovexLanguage first = wlAuto, second = wlAuto;
  AssignLanguage(first, wlGerman);
  AssignLanguage(second, wlFrench);
  EXPECT_EQ(MsgBase, 41150);
  AssignLanguage(first, wlRussian);
  EXPECT_EQ(MsgBase, 41050);
  AssignLanguage(second, wlEnglish);
  EXPECT_EQ(LoadMsg(0), "Application update wizard");
}

TEST_F(Messages, LoadMsgLoadsAgainOnEveryCall) {
  MsgBase = MsgBaseOf(wlEnglish);
  EXPECT_EQ(LoadMsg(19), "&Later");
  MsgBase = MsgBaseOf(wlDutch);
  EXPECT_EQ(LoadMsg(19), "&Later");  // the same word in Dutch
  EXPECT_EQ(LoadMsg(17), "&Annuleren");
  MsgBase = MsgBaseOf(wlEnglish);
  EXPECT_EQ(LoadMsg(17), "&Cancel");
}

TEST_F(Messages, MissingStringsAreEmpty) {
  MsgBase = MsgBaseOf(wlEnglish);
  EXPECT_EQ(LoadMsg(kMessageCount), "");
  EXPECT_EQ(LoadMsg(kMessageBlockSize - 1), "");
  MsgBase = MsgBaseOf(wlSlovak);
  EXPECT_EQ(LoadMsg(kMessageCount), "");
  EXPECT_EQ(LoadResString(1), "");
  EXPECT_EQ(LoadResString(kAppTitlePlaceholderId), "<AppTitle>");
}

TEST_F(Messages, LoadMsgConvertsToTheAnsiCodePage) {
  if (GetACP() != 1252) GTEST_SKIP() << "needs a Western code page, have " << GetACP();
  MsgBase = MsgBaseOf(wlGerman);
  EXPECT_EQ(LoadMsg(19), "&Sp\xE4ter");
  // Cyrillic has no place in code page 1252: the replacement character.
  MsgBase = MsgBaseOf(wlRussian);
  EXPECT_EQ(LoadMsg(21), "??????");
}

// Every language formats with the arguments the program passes.
TEST_F(Messages, EveryLanguageFormatsWithTheProgramsArguments) {
  for (int v = wlEnglish; v <= wlSlovak; ++v) {
    SCOPED_TRACE("language " + std::to_string(v));
    MsgBase = MsgBaseOf(static_cast<TnxNovexLanguage>(v));
    EXPECT_NO_THROW({
      FmtLoadMsg(6, {1536 / 1024.0});
      FmtLoadMsg(7, {12.5});
      FmtLoadMsg(8, {1, 2, 3});
      FmtLoadMsg(9, {1, 4});
      FmtLoadMsg(10, {"App"});
      FmtLoadMsg(23, {"App", ""});
      FmtLoadMsg(26, {"http://host"});
      FmtLoadMsg(28, {"file.zip"});
      FmtLoadMsg(29, {"file.zip"});
    });
    const AnsiString time = FmtLoadMsg(8, {1, 2, 3});
    EXPECT_NE(time.find("1:02:03"), AnsiString::npos) << time;
  }
}

TEST_F(Messages, FmtLoadMsgInEnglish) {
  MsgBase = MsgBaseOf(wlEnglish);
  EXPECT_EQ(FmtLoadMsg(6, {1536 / 1024.0}), "File size: 1.5 Kb");
  EXPECT_EQ(FmtLoadMsg(7, {0.04}), "Transfer rate: 0.0 Kb/s");
  EXPECT_EQ(FmtLoadMsg(8, {27, 5, 9}), "Estimated time left: 27:05:09");
  EXPECT_EQ(FmtLoadMsg(9, {2, 7}), "Downloading 2 of 7");
  EXPECT_EQ(FmtLoadMsg(26, {"http://updates.example"}),
            "Host http://updates.example unreachable.\n\nPlease check your Internet connection "
            "and\ntry to upgrade this software again later.");
  EXPECT_EQ(FmtLoadMsg(29, {"setup.exe"}),
            "Access to remote file \"setup.exe\" is password protected.\n\nPlease enter your "
            "username and password (received after registration) to continue software "
            "upgrade.");
  // An empty update message leaves two line feeds in a row.
  EXPECT_EQ(FmtLoadMsg(23, {"Deskpin", ""}),
            "A newer version of Deskpin was released.\n\nDo you want to update your version "
            "with the latest one?");
}

struct FormatCase {
  const char* format;
  std::vector<TVarRec> args;
  const char* expected;
};

AnsiString FormatWith(const char* format, const std::vector<TVarRec>& args) {
  switch (args.size()) {
    case 0:
      return Format(format, {});
    case 1:
      return Format(format, {args[0]});
    case 2:
      return Format(format, {args[0], args[1]});
    default:
      return Format(format, {args[0], args[1], args[2]});
  }
}

TEST(FormatTest, FollowsPrintfForTheMessagesSpecifiers) {
  const FormatCase cases[] = {
      {"%d", {5}, "5"},
      {"%d", {-42}, "-42"},
      {"%.2d", {7}, "07"},
      {"%.2d", {123}, "123"},
      {"%.2d", {0}, "00"},
      {"%d:%.2d:%.2d", {1, 2, 3}, "1:02:03"},
      {"%u", {42u}, "42"},
      {"%D", {3}, "3"},
      {"%.1f", {1.26}, "1.3"},
      {"%.1f", {0.0}, "0.0"},
      {"%.1f", {123456.75}, "123456.8"},
      {"%f", {2.5}, "2.50"},
      {"%s", {"abc"}, "abc"},
      {"[%s]", {""}, "[]"},
      {"%5s|%-5s|", {"ab", "cd"}, "   ab|cd   |"},
      {"%4d|%-4d|", {7, 7}, "   7|7   |"},
      {"%.2s", {"abcdef"}, "ab"},
      {"100%%", {}, "100%"},
      {"%s of %s", {"\xD7\xC0", "\xE4"}, "\xD7\xC0 of \xE4"},  // ANSI bytes pass unchanged
      {"no specifiers", {1, 2}, "no specifiers"},              // arguments left over
  };
  for (const FormatCase& c : cases) EXPECT_EQ(FormatWith(c.format, c.args), c.expected) << c.format;
}

TEST(FormatTest, RaisesOnSpecifiersThatDoNotFit) {
  const FormatCase cases[] = {
      {"%d", {}, nullptr},             // no argument left
      {"%d and %d", {1}, nullptr},     // too few
      {"%d", {"x"}, nullptr},          // string for an integer
      {"%d", {1.5}, nullptr},          // floating point for an integer
      {"%s", {5}, nullptr},            // integer for a string
      {"%.1f", {5}, nullptr},          // integer for floating point
      {"%q", {1}, nullptr},            // unknown specifier
      {"abc %", {1}, nullptr},         // cut off
      {"%.99999d", {1}, nullptr},      // absurd precision
      {"%99999999s", {"a"}, nullptr},  // absurd width
  };
  for (const FormatCase& c : cases)
    EXPECT_THROW(FormatWith(c.format, c.args), EConvertError) << c.format;
}

// The message box: what it shows, found among the thread's windows while it
// is open, then closed with its OK button.
struct SeenBox {
  std::string caption, text;
  HWND owner = nullptr;
  int ticks = 0;
};
SeenBox g_seen;

BOOL CALLBACK CollectStaticText(HWND child, LPARAM) {
  char cls[32] = {}, text[1024] = {};
  GetClassNameA(child, cls, sizeof cls);
  if (lstrcmpiA(cls, "Static") == 0 && GetWindowTextA(child, text, sizeof text) > 0)
    g_seen.text = text;
  return TRUE;
}

BOOL CALLBACK CloseMessageBox(HWND window, LPARAM) {
  char cls[32] = {};
  GetClassNameA(window, cls, sizeof cls);
  if (strcmp(cls, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
  char caption[256] = {};
  GetWindowTextA(window, caption, sizeof caption);
  g_seen.caption = caption;
  g_seen.owner = GetWindow(window, GW_OWNER);
  EnumChildWindows(window, CollectStaticText, 0);
  PostMessageA(window, WM_COMMAND, IDOK, 0);
  return FALSE;
}

void CALLBACK WatchForBox(HWND, UINT, UINT_PTR, DWORD) {
  ++g_seen.ticks;
  EnumThreadWindows(GetCurrentThreadId(), CloseMessageBox, 0);
}

SeenBox ShowAndClose(void (*show)()) {
  g_seen = SeenBox();
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, WatchForBox);
  show();
  KillTimer(nullptr, timer);
  return g_seen;
}

TEST_F(Messages, MsgBoxShowsTheTextUnderTheWizardCaption) {
  Application().Initialize();
  MsgBase = MsgBaseOf(wlEnglish);
  const SeenBox box = ShowAndClose([] { MsgBox("Something\nhappened", MB_ICONERROR); });
  EXPECT_EQ(box.caption, "Application update wizard");
  EXPECT_EQ(box.text, "Something\nhappened");
  EXPECT_EQ(box.owner, Application().Handle());
}

TEST_F(Messages, MsgBoxByIdShowsTheMessageOfTheCurrentLanguage) {
  Application().Initialize();
  MsgBase = MsgBaseOf(wlGerman);
  const SeenBox box = ShowAndClose([] { MsgBoxById(24, MB_ICONINFORMATION); });
  EXPECT_EQ(box.caption, "Upgrade Anwendungsassistent");
  EXPECT_EQ(box.text, LoadMsg(24));
  EXPECT_NE(box.text.find("Keine neuere Version"), std::string::npos);
}

}  // namespace
