// Connection detection and opening web pages, against the registry of the
// Wine prefix and the recording browser registered there for http addresses.
#include <gtest/gtest.h>

#include <utility>

#include <cstdlib>
#include <memory>

#include "Fixtures.h"
#include "nxUtils.h"

namespace {

struct CommandLineCase {
  const char* line;
  const char* program;
  const char* params;
};

class CommandLine : public testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLine, SplitsIntoProgramAndParameters) {
  AnsiString line = GetParam().line;
  AnsiString params = "before";
  SplitCommandLine(line, params);
  EXPECT_EQ(line, GetParam().program) << GetParam().line;
  EXPECT_EQ(params, GetParam().params) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CommandLine,
    testing::Values(CommandLineCase{"\"C:\\Program Files\\Web\\web.exe\" -nohome",
                                    "C:\\Program Files\\Web\\web.exe", "-nohome"},
                    CommandLineCase{"\"C:\\Program Files\\Web\\web.exe\" \"%1\"",
                                    "C:\\Program Files\\Web\\web.exe", "%1"},
                    CommandLineCase{"C:\\Web\\web.exe \"%1\"", "C:\\Web\\web.exe", "%1"},
                    CommandLineCase{"C:\\Web\\web.exe -url %1", "C:\\Web\\web.exe", "-url %1"},
                    CommandLineCase{"C:\\Web\\web.exe %1", "C:\\Web\\web.exe", "%1"},
                    CommandLineCase{"C:\\WINDOWS\\rundll32.exe url.dll,FileProtocolHandler %1",
                                    "C:\\WINDOWS\\rundll32.exe", "url.dll,FileProtocolHandler %1"},
                    CommandLineCase{"  \"C:\\Web\\web.exe\"  ", "C:\\Web\\web.exe", ""},
                    CommandLineCase{"C:\\Web\\web.exe /new %1", "C:\\Web\\web.exe", "/new %1"},
                    CommandLineCase{"C:\\Web\\web.exe \\\\server\\page", "C:\\Web\\web.exe",
                                    "\\\\server\\page"},
                    CommandLineCase{"C:\\Web\\web.exe", "C:\\Web\\web.exe", ""},
                    // A split inside the program's folder name is undone.
                    CommandLineCase{"C:\\my -dir\\app.exe", "C:\\my -dir\\app.exe", ""},
                    CommandLineCase{"C:\\my -dir\\app.exe %1", "C:\\my -dir\\app.exe", "%1"},
                    // A lone quote is dropped and the line split as unquoted.
                    CommandLineCase{"C:\\Web\\web.exe -url \"%1", "C:\\Web\\web.exe", "-url %1"},
                    CommandLineCase{"\"C:\\Web\\web.exe %1", "C:\\Web\\web.exe", "%1"},
                    // Quoted arguments after quoted parameters keep their other quotes.
                    CommandLineCase{"\"C:\\W\\w.exe\" \"%1\" \"x\"", "C:\\W\\w.exe", "%1 \"x\""},
                    CommandLineCase{"rundll32.exe shell32.dll,Control_RunDLL", "rundll32.exe",
                                    "shell32.dll,Control_RunDLL"},
                    CommandLineCase{"C:\\Tools\\app.exe a,b", "C:\\Tools\\app.exe a", "b"}));

TEST(CommandLine, AnEmptyLineLeavesTheParametersAlone) {
  AnsiString line = " \t ";
  AnsiString params = "kept";
  SplitCommandLine(line, params);
  EXPECT_EQ(line, "");
  EXPECT_EQ(params, "kept");
}

TEST(SplitAtDelimiter, KeepsTheDelimiterWhereAsked) {
  struct Case {
    const char* delim;
    const char* s;
    bool notFoundGoesRight;
    std::uint8_t keep;
    const char* left;
    const char* right;
  };
  const Case cases[] = {
      {" -", "a -b -c", false, kdNone, "a", "b -c"},
      {" -", "a -b", false, kdLeft, "a -", "b"},
      {" -", "a -b", false, kdRight, "a", " -b"},
      {" -", "a -b", false, kdLeft | kdRight, "a -", " -b"},
      {",", "abc", false, kdRight, "abc", ""},
      {",", "abc", true, kdRight, "", "abc"},
      {",", ",", false, kdNone, "", ""},
      {"", "abc", false, kdNone, "abc", ""},
  };
  for (const Case& c : cases) {
    AnsiString left = "x";
    AnsiString right = "y";
    SplitAtDelimiter(c.delim, c.s, left, right, c.notFoundGoesRight, c.keep);
    EXPECT_EQ(left, c.left) << c.s << " at '" << c.delim << "'";
    EXPECT_EQ(right, c.right) << c.s << " at '" << c.delim << "'";
  }
}

constexpr char kRemoteAccessKey[] = "System\\CurrentControlSet\\Services\\RemoteAccess";

class NetworkConnected : public testing::Test {
 protected:
  void SetUp() override {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRemoteAccessKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
      RegCloseKey(key);
      GTEST_SKIP() << "the prefix has a RemoteAccess key of its own";
    }
    // Created only now: the key is removed again with the fixture.
    remoteAccess_ = std::make_unique<RegistryFixture>(HKEY_LOCAL_MACHINE, kRemoteAccessKey);
  }
  std::unique_ptr<RegistryFixture> remoteAccess_;
};

TEST_F(NetworkConnected, TheDialUpStateDecidesWhereItIsKept) {
  struct Case {
    DWORD type;
    std::string bytes;
    bool connected;
  };
  const Case cases[] = {
      {REG_BINARY, std::string("\x01\0\0\0", 4), true},
      {REG_BINARY, std::string("\x02\0\0\0", 4), false},
      {REG_BINARY, std::string("\0\0\0\0", 4), false},
      {REG_BINARY, std::string("\x01", 1), true},
      {REG_DWORD, std::string("\x01\x01\0\0", 4), true},
      {REG_DWORD, std::string("\0\x01\0\0", 4), false},
  };
  for (const Case& c : cases) {
    SavedRegistryValue value(HKEY_LOCAL_MACHINE, kRemoteAccessKey, "Remote Connection");
    value.Set(c.type, c.bytes);
    EXPECT_EQ(IsNetworkConnected(), c.connected) << "first byte " << int(c.bytes[0]);
  }
}

TEST_F(NetworkConnected, WithoutADialUpStateTheAddressDecides) {
  const bool hasAddress = HasNonLoopbackAddress();
  EXPECT_EQ(IsNetworkConnected(), hasAddress) << "no key";
  remoteAccess_->CreateKey("");
  EXPECT_EQ(IsNetworkConnected(), hasAddress) << "key without value";
  // A value longer than four bytes cannot be read into them.
  remoteAccess_->SetBinary("", "Remote Connection", std::string("\x01\0\0\0\0\0\0\0", 8));
  EXPECT_EQ(IsNetworkConnected(), hasAddress) << "value too long";
}

TEST(HostAddress, IsStableAndNeedsNoSocketsOfTheCaller) {
  const bool first = HasNonLoopbackAddress();
  EXPECT_EQ(HasNonLoopbackAddress(), first);
}

// Association fixtures: extension -> ProgID -> shell\<verb>\command.
class Association : public testing::Test {
 protected:
  std::vector<std::unique_ptr<RegistryFixture>> keys_;
  RegistryFixture& Key(const std::string& path) {
    keys_.push_back(std::make_unique<RegistryFixture>(HKEY_CLASSES_ROOT, path));
    return *keys_.back();
  }
  static AnsiString Program(const AnsiString& extension) {
    AnsiString program = "stale";
    GetAssociatedProgram(extension, program);
    return program;
  }
};

TEST_F(Association, ReadsTheProgramOfTheOpenVerb) {
  Key(".nxtest-open").SetString("", "", "NxTest.Open");
  auto& progId = Key("NxTest.Open");
  progId.SetString("shell\\open\\command", "", "\"C:\\Program Files\\Web\\web.exe\" \"%1\"");
  progId.SetString("shell\\edit\\command", "", "C:\\edit.exe %1");
  EXPECT_EQ(Program(".nxtest-open"), "C:\\Program Files\\Web\\web.exe");
  EXPECT_EQ(Program(".NXTEST-OPEN"), "C:\\Program Files\\Web\\web.exe");
}

TEST_F(Association, FallsBackToOtherVerbs) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, const char*>> verbs;  // verb, command (null: none)
    const char* program;
  };
  const Case cases[] = {
      {"VerbContainingOpen",
       {{"Print", "C:\\print.exe %1"}, {"OpenNew", "C:\\new.exe -n %1"}},
       "C:\\new.exe"},
      {"Reopen", {{"reopen", "C:\\re.exe %1"}, {"Edit", "C:\\edit.exe"}}, "C:\\re.exe"},
      {"FirstVerbWithACommand",
       {{"Edit", nullptr}, {"Print", "C:\\print.exe /p"}},
       "C:\\print.exe"},
      // An open-like verb without command ends the search empty-handed.
      {"OpenVerbWithoutCommand", {{"OpenLater", nullptr}, {"Print", "C:\\print.exe"}}, ""},
      {"NoVerbs", {}, ""},
      {"RundllLauncher",
       {{"open", "C:\\WINDOWS\\rundll32.exe url.dll,FileProtocolHandler %1"}},
       "C:\\WINDOWS\\rundll32.exe"},
  };
  for (const Case& c : cases) {
    const std::string progId = std::string("NxTest.") + c.name;
    Key(".nxtest-verbs").SetString("", "", progId);
    auto& key = Key(progId);
    key.CreateKey("shell");
    for (const auto& [verb, command] : c.verbs) {
      if (command)
        key.SetString(std::string("shell\\") + verb + "\\command", "", command);
      else
        key.CreateKey(std::string("shell\\") + verb);
    }
    EXPECT_EQ(Program(".nxtest-verbs"), c.program) << c.name;
    keys_.clear();
  }
}

TEST_F(Association, UnreadableAssociationsGiveNoProgram) {
  Key(".nxtest-dword").SetDword("", "", 1);
  Key(".nxtest-noprogid").SetString("", "", "NxTest.Missing");
  Key(".nxtest-empty").SetString("", "", "");
  Key(".nxtest-badcommand").SetString("", "", "NxTest.BadCommand");
  Key("NxTest.BadCommand").SetDword("shell\\open\\command", "", 7);
  Key(".nxtest-noshell").SetString("", "", "NxTest.NoShell");
  Key("NxTest.NoShell").SetString("", "", "A program without verbs");
  for (const char* extension :
       {".nxtest-dword", ".nxtest-noprogid", ".nxtest-empty", ".nxtest-badcommand",
        ".nxtest-noshell", ".nxtest-unknown", ".", ""})
    EXPECT_EQ(Program(extension), "") << extension;
}

TEST_F(Association, ExpandableStringsAreReadAsWritten) {
  Key(".nxtest-expand").SetString("", "", "NxTest.Expand");
  auto& progId = Key("NxTest.Expand");
  SavedRegistryValue command(HKEY_CLASSES_ROOT, "NxTest.Expand\\shell\\open\\command", "");
  command.Set(REG_EXPAND_SZ, std::string("%ProgramFiles%\\Web\\web.exe %1") + '\0');
  EXPECT_EQ(Program(".nxtest-expand"), "%ProgramFiles%\\Web\\web.exe");
  (void)progId;
}

// The browser tests run the recording browser: once as the http handler the
// prefix registers, once copied as the program of a test .html association.
class Browser : public Association {
 protected:
  void SetUp() override {
    const char* recorder = std::getenv("DESKPIN_RECORDING_BROWSER");
    ASSERT_NE(recorder, nullptr) << "DESKPIN_RECORDING_BROWSER is not set";
    std::string windowsPath = std::string("Z:") + recorder;
    for (char& c : windowsPath)
      if (c == '/') c = '\\';
    associated_ = folder_.Path() + "AssocBrowser.exe";
    ASSERT_TRUE(CopyFileA(windowsPath.c_str(), associated_.c_str(), FALSE)) << windowsPath;
    log_ = folder_.Path() + "browser.log";
    logVariable_ = std::make_unique<SavedEnvironment>("DESKPIN_BROWSER_LOG", log_);
    html_ = std::make_unique<SavedRegistryValue>(HKEY_CLASSES_ROOT, ".html", "");
  }
  void TearDown() override {
    html_.reset();
    logVariable_.reset();
  }

  void AssociateHtml(bool withCommand) {
    html_->SetString("NxTest.Html");
    auto& progId = Key("NxTest.Html");
    if (withCommand)
      progId.SetString("shell\\open\\command", "", "\"" + associated_ + "\" \"%1\"");
    else
      progId.CreateKey("shell");
  }

  // The command lines the browsers were started with, waiting for count of them.
  std::vector<std::string> Starts(std::size_t count) {
    std::vector<std::string> lines;
    for (int i = 0; i < 100 && lines.size() < count; ++i) {
      Sleep(100);
      lines.clear();
      std::string text = testsupport::ReadFile(log_);
      for (std::size_t end; (end = text.find("\r\n")) != std::string::npos;) {
        lines.push_back(text.substr(0, end));
        text.erase(0, end + 2);
      }
    }
    return lines;
  }

  static bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
  }

  TempFolder folder_;
  std::string associated_;
  std::string log_;
  std::unique_ptr<SavedEnvironment> logVariable_;
  std::unique_ptr<SavedRegistryValue> html_;
};

TEST_F(Browser, WithoutAssociationTheShellOpensTheAddress) {
  AssociateHtml(true);  // must not be looked at
  OpenURL("http://127.0.0.1:9/v2?a=1", false);
  const auto starts = Starts(1);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_NE(starts[0].find("RecordingBrowser.exe"), std::string::npos) << starts[0];
  EXPECT_TRUE(EndsWith(starts[0], "\"http://127.0.0.1:9/v2?a=1\"")) << starts[0];
}

TEST_F(Browser, TheHtmlProgramGetsTheAddressAsParameter) {
  AssociateHtml(true);
  OpenURL("127.0.0.1:9/page", true);
  OpenURL("custom-scheme://x/y", true);
  auto starts = Starts(2);
  ASSERT_EQ(starts.size(), 2u);
  for (const auto& line : starts)
    EXPECT_NE(line.find("AssocBrowser.exe"), std::string::npos) << line;
  // Two processes of their own: either may write its line first.
  if (!EndsWith(starts[0], " http://127.0.0.1:9/page")) std::swap(starts[0], starts[1]);
  EXPECT_TRUE(EndsWith(starts[0], " http://127.0.0.1:9/page")) << starts[0];
  EXPECT_TRUE(EndsWith(starts[1], " custom-scheme://x/y")) << starts[1];
}

TEST_F(Browser, BlanksAndQuotesCannotAddBrowserOptions) {
  AssociateHtml(true);
  OpenURL("http://127.0.0.1:9/a b\"--c", true);
  const auto starts = Starts(1);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_TRUE(EndsWith(starts[0], " http://127.0.0.1:9/a%20b%22--c")) << starts[0];
}

TEST_F(Browser, AnUnusableHtmlAssociationFallsBackToTheShell) {
  AssociateHtml(false);
  OpenURL("127.0.0.1:9/v2", true);
  const auto starts = Starts(1);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_NE(starts[0].find("RecordingBrowser.exe"), std::string::npos) << starts[0];
  EXPECT_TRUE(EndsWith(starts[0], "\"http://127.0.0.1:9/v2\"")) << starts[0];
}

}  // namespace
