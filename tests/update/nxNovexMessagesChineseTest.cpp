// The messages on a Chinese (PRC) system: code page 936 and system language
// 0x0804, as Wine gives them for LANG=zh_CN.UTF-8.
#include <gtest/gtest.h>
#include <windows.h>

#include "nxNovexMessages.h"

namespace {

// Runs first, before any test changes MsgBase.
TEST(ChineseSystem, MessagesAreSimplifiedChineseFromTheStart) {
  ASSERT_EQ(GetACP(), 936u) << "the test needs LANG=zh_CN.UTF-8 and the generated locale";
  EXPECT_EQ(GetSystemDefaultLangID(), 0x0804);
  EXPECT_EQ(MsgBase, 42100);
}

TEST(ChineseSystem, LoadMsgGivesCodePage936Bytes) {
  MsgBase = MsgBaseOf(wlChineseSimplified);
  // "软件升级精灵"
  EXPECT_EQ(LoadMsg(0), "\xC8\xED\xBC\xFE\xC9\xFD\xBC\xB6\xBE\xAB\xC1\xE9");
}

TEST(ChineseSystem, QuestionCarriesAChineseTitle) {
  MsgBase = MsgBaseOf(wlChineseSimplified);
  const AnsiString title = "CorvaneVarnel - \xD7\xC0\xC3\xE6\xB0\xE6";  // "... - 桌面版"
  // "%s已经有新版本推出，\n%s\n您要升级到新版本吗？"
  EXPECT_EQ(FmtLoadMsg(23, {title, ""}),
            title +
                "\xD2\xD1\xBE\xAD\xD3\xD0\xD0\xC2\xB0\xE6\xB1\xBE\xCD\xC6\xB3\xF6\xA3\xAC\n\n"
                "\xC4\xFA\xD2\xAA\xC9\xFD\xBC\xB6\xB5\xBD\xD0\xC2\xB0\xE6\xB1\xBE\xC2\xF0\xA3\xBF");
}

TEST(ChineseSystem, AutoLanguageDetectsSimplifiedChinese) {
  MsgBase = MsgBaseOf(wlEnglish);
  TnxNovexLanguage setting = wlGerman;
  AssignLanguage(setting, wlAuto);
  EXPECT_EQ(MsgBase, 42100);
}

}  // namespace
