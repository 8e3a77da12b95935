// The update component's stored settings: what a component made in code
// starts with and writes, and the launcher's form text read and written back.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "Application.h"
#include "FormText.h"
#include "TestSupport.h"
#include "nxNovex.h"

namespace {

std::string WindowsPath(std::string unixPath) {
  for (char& c : unixPath)
    if (c == '/') c = '\\';
  return "Z:" + unixPath;
}

std::string Today() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char text[16];
  wsprintfA(text, "%02d/%02d/%04d", now.wMonth, now.wDay, now.wYear);
  return text;
}

const TFormObject* Child(const TFormObject& form, const std::string& name) {
  for (const TFormObject& child : form.children)
    if (child.name == name) return &child;
  return nullptr;
}

TEST(Settings, ComponentMadeInCodeStartsWithItsDefaults) {
  const std::string before = Today();
  TnxNovex novex(nullptr);
  const std::string after = Today();  // the test may run across midnight

  EXPECT_EQ(novex.InfoFileURL, "http://");
  EXPECT_EQ(novex.RestartParams(), "/afterupgrade");
  EXPECT_FALSE(novex.AutoCheck());
  EXPECT_EQ(novex.AutoCheckDelay, 10000);
  EXPECT_TRUE(novex.VersionDate == before || novex.VersionDate == after) << novex.VersionDate;
  EXPECT_TRUE(novex.VersionDateAutoSet());
  EXPECT_EQ(novex.VersionNumber, "");
  EXPECT_EQ(novex.VersionControl, byDate);
  EXPECT_EQ(novex.MiscFilesUpgrade, mfuAlwaysDownload);
  EXPECT_EQ(novex.ShowMessages.Bits(), 75u);  // ask, connection lost, lost file, password
  EXPECT_EQ(novex.CacheOptions.Bits(), kDefaultCacheOptions.Bits());
  EXPECT_TRUE(novex.Wizard()->Enabled);
  EXPECT_TRUE(novex.Wizard()->StayOnTop);
  EXPECT_FALSE(novex.Wizard()->HideFileLocation);
  EXPECT_EQ(novex.Wizard()->Language(), wlAuto);
  EXPECT_EQ(novex.InfoFile()->UpgradeMethod, umSelfUpgrade);
  EXPECT_EQ(novex.InfoFile()->Files.size(), 0u);
  EXPECT_NE(novex.TimerWindow(), nullptr);
}

// InfoFileURL, VersionDate and VersionDateAutoSet are always written; the
// restart parameters only when they are not the default; credentials never.
TEST(Settings, ComponentMadeInCodeWritesTheAlwaysStoredValues) {
  TnxNovex novex(nullptr);
  novex.SetName("nxNovex");
  novex.HTTPUsername = "user";
  novex.HTTPPassword = "secret";
  const std::string text = FormatFormText(WriteComponent(&novex));

  EXPECT_NE(text.find("InfoFileURL = \"http://\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("VersionDate = \"" + novex.VersionDate + "\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("VersionDateAutoSet = True\n"), std::string::npos) << text;
  for (const char* absent : {"RestartParams", "HTTPUsername", "HTTPPassword", "AutoCheck"})
    EXPECT_EQ(text.find(absent), std::string::npos) << absent << " in\n" << text;
}

TEST(Settings, EmptyRestartParamsBecomeOneBlankAndAreStored) {
  TnxNovex novex(nullptr);
  novex.SetName("nxNovex");
  novex.SetRestartParams("");
  EXPECT_EQ(novex.RestartParams(), " ");

  const std::string text = FormatFormText(WriteComponent(&novex));
  EXPECT_NE(text.find("RestartParams = \" \"\n"), std::string::npos) << text;
  TnxNovex read(nullptr);
  ReadComponent(&read, ParseFormText(text));
  EXPECT_EQ(read.RestartParams(), " ");

  novex.SetRestartParams("/silent");
  EXPECT_EQ(novex.RestartParams(), "/silent");
  novex.SetRestartParams("/afterupgrade");
  EXPECT_EQ(FormatFormText(WriteComponent(&novex)).find("RestartParams"), std::string::npos);
}

// The launcher's update settings as its form resource holds them, read into
// a component of their own (the whole form would start checking at once).
TEST(Settings, LauncherFormTextRoundTrips) {
  ASSERT_EQ(GetACP(), 936u) << "the form text holds Chinese: run with LANG=zh_CN.UTF-8";
  const std::string formText = testsupport::ReadFile(WindowsPath(LAUNCHER_FORM));
  ASSERT_FALSE(formText.empty()) << LAUNCHER_FORM;
  const TFormObject form = ParseFormText(formText);
  const TFormObject* stored = Child(form, "nxNovex");
  ASSERT_NE(stored, nullptr);

  TnxNovex novex(nullptr);
  ReadComponent(&novex, *stored);

  const std::string host = DESKPIN_UPDATE_HOST;
  EXPECT_TRUE(novex.AutoCheck());
  EXPECT_EQ(novex.AutoCheckDelay, 1000);
  EXPECT_EQ(novex.InfoFileURL, "http://" + host + "/client/update/deskpin/varnel_web.inf");
  ASSERT_EQ(novex.InfoFile()->Files.size(), 1u);
  EXPECT_EQ(novex.InfoFile()->Files[0], "http://" + host + "/client/update/deskpin/varnel_web.exe");
  EXPECT_EQ(novex.InfoFile()->UpgradeMsg,
            Utf8ToAnsi("v1.0.0.1\r\n\r\n1.\xE5\x88\x9D\xE5\xA7\x8B\xE7\x89\x88\xE6\x9C\xAC"));
  EXPECT_EQ(novex.VersionControl, byNumber);
  EXPECT_EQ(novex.VersionDate, "02/12/2015");  // as stored, not today
  EXPECT_TRUE(novex.VersionDateAutoSet());
  EXPECT_EQ(novex.VersionNumber, "1.0.0.1");
  EXPECT_EQ(novex.RestartParams(), "/afterupgrade");
  EXPECT_EQ(novex.ShowMessages.Bits(), 75u);

  // Written back, the same text in the same order.
  TFormObject written = WriteComponent(&novex);
  written.name = stored->name;
  EXPECT_EQ(FormatFormText(written), FormatFormText(*stored));
}

}  // namespace
