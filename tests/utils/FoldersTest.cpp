// Folder macros, special folders and the registry reads behind them, with
// Shell Folders values written into the prefix's registry for the test.
#include <gtest/gtest.h>

#include "Fixtures.h"
#include "nxUtils.h"

namespace {

constexpr char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::string Windows() {
  char buffer[MAX_PATH + 1] = {};
  GetWindowsDirectoryA(buffer, MAX_PATH);
  return std::string(buffer) + "\\";
}

std::string System() {
  char buffer[MAX_PATH + 1] = {};
  GetSystemDirectoryA(buffer, MAX_PATH);
  return std::string(buffer) + "\\";
}

std::string Temp() {
  char buffer[MAX_PATH + 1] = {};
  GetTempPathA(MAX_PATH, buffer);
  std::string path = buffer;
  return path.back() == '\\' ? path : path + "\\";
}

class FolderMacroTest : public testing::Test {
 protected:
  void SetUp() override {
    desktop_.SetString("C:\\nxtest\\Desk");  // no trailing backslash: one is added
    documents_.SetString("C:\\nxtest\\Docs\\");
    pictures_.SetString("C:\\nxtest\\Pics");
    appData_.SetString("C:\\nxtest\\App Data");
  }
  SavedRegistryValue desktop_{HKEY_CURRENT_USER, kShellFolders, "Desktop"};
  SavedRegistryValue documents_{HKEY_CURRENT_USER, kShellFolders, "Personal"};
  SavedRegistryValue pictures_{HKEY_CURRENT_USER, kShellFolders, "My Pictures"};
  SavedRegistryValue appData_{HKEY_CURRENT_USER, kShellFolders, "AppData"};
};

TEST_F(FolderMacroTest, EveryMacroResolvesToItsFolder) {
  const std::string expected[] = {
      testsupport::ExeFolder(),
      "C:\\nxtest\\Desk\\",
      "C:\\nxtest\\Docs\\",
      "C:\\nxtest\\Pics\\",
      "C:\\nxtest\\App Data\\",
      Windows().substr(0, 3) + "Program Files\\",
      Windows(),
      System(),
      Temp(),
      Windows() + "HELP\\",
      Windows() + "MEDIA\\",
      Windows() + "CURSORS\\",
  };
  for (int i = 0; i < kFolderMacroCount; ++i) {
    EXPECT_EQ(ResolveFolderMacro(static_cast<std::uint8_t>(i)), expected[i]) << FolderMacros[i];
    EXPECT_EQ(ExpandFolderMacros(FolderMacros[i], false), expected[i]) << FolderMacros[i];
  }
  EXPECT_EQ(ResolveFolderMacro(12), "");
  EXPECT_EQ(ResolveFolderMacro(13), testsupport::ExeFolder());
  EXPECT_EQ(ResolveFolderMacro(255), testsupport::ExeFolder());
}

TEST_F(FolderMacroTest, AnUnreadableShellFolderIsABackslash) {
  desktop_.Remove();
  pictures_.Set(REG_SZ, std::string(1500, 'x') + '\0');  // longer than the buffer
  EXPECT_EQ(ResolveFolderMacro(1), "\\");
  EXPECT_EQ(ResolveFolderMacro(3), "\\");
}

TEST_F(FolderMacroTest, ATempFolderThatDoesNotExistIsTheProgramFolder) {
  SavedEnvironment tmp("TMP", "C:\\nxtest-no-such-folder");
  SavedEnvironment temp("TEMP", "C:\\nxtest-no-such-folder");
  EXPECT_EQ(GetTempFolder(), testsupport::ExeFolder());
  EXPECT_EQ(ExpandFolderMacros("%temp%x.tmp", false), testsupport::ExeFolder() + "x.tmp");
}

struct ExpandCase {
  const char* path;
  bool makeAbsolute;
  std::string expected;
};

class Expand : public FolderMacroTest, public testing::WithParamInterface<ExpandCase> {};

TEST_P(Expand, ReplacesMacrosAndAnchorsRelativePaths) {
  EXPECT_EQ(ExpandFolderMacros(GetParam().path, GetParam().makeAbsolute), GetParam().expected)
      << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, Expand,
    testing::Values(ExpandCase{"%WINDOWS%system32", false, Windows() + "system32"},
                    ExpandCase{"%Windows%\\system32", true, Windows() + "\\system32"},
                    ExpandCase{"%desktop%a;%DESKTOP%b;%Desktop%c", false,
                               "C:\\nxtest\\Desk\\a;C:\\nxtest\\Desk\\b;C:\\nxtest\\Desk\\c"},
                    ExpandCase{"%appdata%%mypictures%x", false,
                               "C:\\nxtest\\App Data\\C:\\nxtest\\Pics\\x"},
                    ExpandCase{"%programfiles%Web\\web.exe", true,
                               Windows().substr(0, 3) + "Program Files\\Web\\web.exe"},
                    ExpandCase{"%current%app.exe", true, testsupport::ExeFolder() + "app.exe"},
                    ExpandCase{"app.exe", true, testsupport::ExeFolder() + "app.exe"},
                    ExpandCase{"app.exe", false, "app.exe"},
                    ExpandCase{"C:\\x\\app.exe", true, "C:\\x\\app.exe"},
                    ExpandCase{"\\x\\app.exe", true, testsupport::ExeFolder() + "\\x\\app.exe"},
                    ExpandCase{"\\\\server\\share\\app.exe", true,
                               testsupport::ExeFolder() + "\\\\server\\share\\app.exe"},
                    ExpandCase{"ab", true, "ab"}, ExpandCase{"a", true, "a"},
                    ExpandCase{"", true, ""}, ExpandCase{"%unknown%x", false, "%unknown%x"},
                    ExpandCase{"%temp", false, "%temp"},
                    ExpandCase{"%system%drivers\\etc", true, System() + "drivers\\etc"}));

TEST(ProgramPaths, AreThoseOfTheRunningProgram) {
  EXPECT_EQ(CurrentFolder(), testsupport::ExeFolder());
  EXPECT_EQ(ExtractFilePath(ExeFileName()), testsupport::ExeFolder());
  EXPECT_EQ(GetFileSize64(ExeFileName()) > 0, true);
}

class VirtualStore : public testing::Test {
 protected:
  void SetUp() override {
    store_ = folder_.Path() + "AppData\\Local\\VirtualStore\\Program Files\\App\\";
    real_ = folder_.Path() + "Real\\";
    ForceFolders(store_ + "x");
    ForceFolders(real_ + "x");
    testsupport::WriteFile(store_ + "app.exe", "copy");
  }
  TempFolder folder_;
  std::string store_;
  std::string real_;
};

TEST_F(VirtualStore, AProgramInTheStoreBelongsToTheProcessFolder) {
  testsupport::WriteFile(real_ + "app.exe", "program");
  const std::string withoutBackslash = real_.substr(0, real_.size() - 1);
  for (const std::string& processFolder : {real_, withoutBackslash}) {
    const TnxProgramPaths paths = ResolveProgramPaths(store_ + "app.exe", processFolder, true);
    EXPECT_EQ(paths.CurrentFolder, real_);
    EXPECT_EQ(paths.ExeFileName, real_ + "app.exe");
  }
}

TEST_F(VirtualStore, IsKeptWhereTheProcessFolderHasNoSuchProgram) {
  const TnxProgramPaths paths = ResolveProgramPaths(store_ + "app.exe", real_, true);
  EXPECT_EQ(paths.CurrentFolder, store_);
  EXPECT_EQ(paths.ExeFileName, store_ + "app.exe");
}

TEST_F(VirtualStore, OnlyCountsOnVistaAndOnlyForTheStore) {
  testsupport::WriteFile(real_ + "app.exe", "program");
  TnxProgramPaths paths = ResolveProgramPaths(store_ + "app.exe", real_, false);
  EXPECT_EQ(paths.CurrentFolder, store_);
  const std::string other = folder_.Path() + "Other\\app.exe";
  paths = ResolveProgramPaths(other, real_, true);
  EXPECT_EQ(paths.CurrentFolder, folder_.Path() + "Other\\");
  EXPECT_EQ(paths.ExeFileName, other);
  // Letter case does not matter for the store's name.
  const std::string upper = folder_.Path() + "APPDATA\\LOCAL\\VIRTUALSTORE\\app.exe";
  paths = ResolveProgramPaths(upper, real_, true);
  EXPECT_EQ(paths.CurrentFolder, real_);
}

TEST(Folders, ForceFoldersCreatesEveryMissingFolder) {
  TempFolder folder;
  const std::string file = folder.Path() + "a\\b\\c\\file.txt";
  ForceFolders(file);
  EXPECT_TRUE(IsExistingFolder(folder.Path() + "a\\b\\c"));
  EXPECT_FALSE(IsExistingFolder(file));
  EXPECT_EQ(GetFileAttributesA(file.c_str()), INVALID_FILE_ATTRIBUTES);
  ForceFolders(file);  // all there already: nothing changes, nothing fails
  EXPECT_TRUE(IsExistingFolder(folder.Path() + "a\\b\\c\\"));
  ForceFolders(folder.Path() + "d\\");
  EXPECT_TRUE(IsExistingFolder(folder.Path() + "d"));
}

TEST(Folders, ForceFoldersWithoutBackslashCreatesNothing) {
  TempFolder folder;
  char previous[MAX_PATH + 1] = {};
  GetCurrentDirectoryA(MAX_PATH, previous);
  SetCurrentDirectoryA(folder.Path().c_str());
  ForceFolders("sub/file.txt");
  ForceFolders("file.txt");
  SetCurrentDirectoryA(previous);
  EXPECT_FALSE(IsExistingFolder(folder.Path() + "sub"));
  EXPECT_FALSE(IsExistingFolder(folder.Path() + "file.txt"));
}

TEST(Folders, SpecialFoldersEndInOneBackslash) {
  for (const AnsiString& folder : {GetWindowsFolder(), GetSystemFolder(), GetTempFolder()}) {
    ASSERT_GE(folder.size(), 2u);
    EXPECT_EQ(folder.back(), '\\');
    EXPECT_NE(folder[folder.size() - 2], '\\');
    EXPECT_TRUE(IsExistingFolder(folder)) << folder;
  }
  EXPECT_EQ(GetWindowsFolder(), Windows());
  EXPECT_EQ(GetSystemFolder(), System());
  EXPECT_FALSE(IsExistingFolder(ExeFileName()));
  EXPECT_FALSE(IsExistingFolder("C:\\nxtest-no-such-folder"));
}

TEST(Text, ExtractURLFileName) {
  const std::pair<const char*, const char*> cases[] = {
      {"http://host/client/update/app.exe", "app.exe"},
      {"http://host", "host"},
      {"http://host/", ""},
      {"http://host/get/file.php?id=3", "file.php?id=3"},
      {"http://host/a\\b.exe", "b.exe"},
      {"C:file.exe", "file.exe"},
      {"plain", "plain"},
      {"", ""},
  };
  for (const auto& [url, name] : cases) EXPECT_EQ(ExtractURLFileName(url), name) << url;
}

TEST(Text, LastPosAndStripLeadingChar) {
  struct Case {
    const char* sub;
    const char* s;
    int pos;
  };
  const Case cases[] = {{"ab", "abxab", 4}, {"ab", "abx", 1},   {"AB", "abab", 0}, {"", "abc", 0},
                        {"a", "", 0},       {"abc", "ab", 0},   {"aa", "aaa", 2},  {"c", "abc", 3},
                        {"abc", "abc", 1},  {"\\", "a\\b\\", 4}};
  for (const Case& c : cases) EXPECT_EQ(LastPos(c.sub, c.s), c.pos) << c.sub << " in " << c.s;

  EXPECT_EQ(StripLeadingChar("\\\\\\Software\\x", '\\'), "Software\\x");
  EXPECT_EQ(StripLeadingChar("Software", '\\'), "Software");
  EXPECT_EQ(StripLeadingChar("\\\\", '\\'), "");
  EXPECT_EQ(StripLeadingChar("", '\\'), "");
  EXPECT_EQ(StripLeadingChar("aab", 'a'), "b");
}

class Registry : public testing::Test {
 protected:
  RegistryFixture fixture_{HKEY_CURRENT_USER, "Software\\nxUtilsTest"};
};

TEST_F(Registry, ReadRegStringReportsWhetherTheKeyOpened) {
  fixture_.SetString("", "Name", "Value");
  fixture_.SetString("", "Empty", "");
  fixture_.SetString("", "Long", std::string(1500, 'x'));
  fixture_.SetDword("", "Number", 0x00636261);  // "abc" in little-endian bytes
  struct Case {
    const char* key;
    const char* name;
    bool opened;
    const char* value;
  };
  const Case cases[] = {
      {"Software\\nxUtilsTest", "Name", true, "Value"},
      {"\\\\Software\\nxUtilsTest", "Name", true, "Value"},  // leading backslashes
      {"Software\\nxUtilsTest", "Missing", true, ""},
      {"Software\\nxUtilsTest", "Empty", true, ""},
      {"Software\\nxUtilsTest", "Long", true, ""},
      {"Software\\nxUtilsTest", "Number", true, "abc"},
      {"Software\\nxUtilsTest\\Missing", "Name", false, ""},
  };
  for (const Case& c : cases) {
    AnsiString value = "stale";
    EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, c.key, c.name, value), c.opened) << c.name;
    EXPECT_EQ(value, c.value) << c.name;
  }
}

TEST_F(Registry, AStringWithoutTerminatorIsReadToItsSize) {
  SavedRegistryValue raw(HKEY_CURRENT_USER, "Software\\nxUtilsTest", "Raw");
  raw.Set(REG_SZ, "abcdef");  // stored without the NUL
  AnsiString value;
  EXPECT_TRUE(ReadRegString(HKEY_CURRENT_USER, "Software\\nxUtilsTest", "Raw", value));
  EXPECT_EQ(value, "abcdef");
}

TEST_F(Registry, OpenRegKeyCreatesOnlyWhenAsked) {
  HKEY key = HKEY_CURRENT_USER;
  EXPECT_FALSE(OpenRegKey(key, "Software\\nxUtilsTest\\New", false, KEY_READ));
  EXPECT_EQ(key, HKEY_CURRENT_USER);  // unchanged on failure
  ASSERT_TRUE(OpenRegKey(key, "\\Software\\nxUtilsTest\\New", true, KEY_READ));
  EXPECT_NE(key, HKEY_CURRENT_USER);
  // Created keys are opened with full access, whatever was asked for.
  EXPECT_EQ(RegSetValueExA(key, "Written", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2),
            ERROR_SUCCESS);
  RegCloseKey(key);
  key = HKEY_CURRENT_USER;
  ASSERT_TRUE(OpenRegKey(key, "Software\\nxUtilsTest\\New", false, KEY_READ));
  char buffer[16] = {};
  DWORD type = REG_SZ;
  DWORD size = sizeof(buffer);
  EXPECT_TRUE(ReadRegValue(key, "Written", type, size, buffer));
  EXPECT_STREQ(buffer, "x");
  size = sizeof(buffer);
  EXPECT_FALSE(ReadRegValue(key, "Missing", type, size, buffer));
  RegCloseKey(key);
}

}  // namespace
