// The update's string table as the program carries it: every language has
// all messages, with the placeholders of the English texts in the same order,
// in characters its own ANSI code page can show.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "nxNovexMessages.h"

namespace {

// The English and Simplified Chinese tables, character for character.
const wchar_t* const kEnglish[kMessageCount] = {
    L"Application update wizard",
    L"Downloading files...",
    L"Upgrade completed!",
    L"Current file",
    L"All files",
    L"Downloading file from",
    L"File size: %.1f Kb",
    L"Transfer rate: %.1f Kb/s",
    L"Estimated time left: %d:%.2d:%.2d",
    L"Downloading %d of %d",
    L"The update of %s has been successfully completed.\n\nPress the OK button to restart program.",
    L"Enter password",
    L"User Name",
    L"Password",
    L"&Yes",
    L"&No",
    L"&OK",
    L"&Cancel",
    L"&Next >",
    L"&Later",
    L"Warning",
    L"Error",
    L"Preparing. . .",
    L"A newer version of %s was released.\n%s\nDo you want to update your version with the latest "
    L"one?",
    L"Newer version not found. You actually are\nusing most recent version of this program.",
    L"File which contains upgrade information was not found on developer's site.",
    L"Host %s unreachable.\n\nPlease check your Internet connection and\ntry to upgrade this "
    L"software again later.",
    L"The update is not completed.\nWould you like to abort upgrading?",
    L"File %s not found or inaccessible.\n\nTry to skip this file and continue upgrade?",
    L"Access to remote file \"%s\" is password protected.\n\nPlease enter your username and "
    L"password (received after registration) to continue software upgrade.",
    L"Connection with remote server lost.\n\nPlease restore connection and try to\nupgrade this "
    L"software again later.",
};
const wchar_t* const kChineseSimplified[kMessageCount] = {
    L"软件升级精灵",
    L"文档下载中",
    L"升级完成！",
    L"当前的文档",
    L"全部的文档",
    L"文档下载源",
    L"文档大小:%.1f Kb",
    L"传输速率:%.1f Kb/s",
    L"估计剩余时间: %d:%.2d:%.2d",
    L"当前正在下载:%d of %d",
    L"%s 已经升级完成，\n\n请按[确定]键重新启动程序",
    L"请输入密码",
    L"帐号",
    L"密码",
    L"[&Y]是",
    L"[&N]否",
    L"[&O]确定",
    L"[&C]取消",
    L"[&N]下一个>",
    L"[&L]稍等一下",
    L"警告",
    L"错误",
    L"准备中",
    L"%s已经有新版本推出，\n%s\n您要升级到新版本吗？",
    L"没有发现新的版本，您目前已经是最新版本。",
    L"在服务器中无法找到升级的相关信息。",
    L"无法与服务器%s连接。\n\n请检查您的internet设定之后再进行升级操作。",
    L"升级操作尚未完成，\n您确定要放弃升级吗？",
    L"文档%s找不到或者发生错误，\n\n您要忽略这个文档并且继续升级操作吗？",
    L"远端的文档\"%s\"被密码保护，\n\n请输入您的帐号及密码[注册用户]来继续进行升级操作。",
    L"与远端服务器的连接中断，\n\n请重新连接后再进行升级操作。",
};

struct LanguageFacts {
  TnxNovexLanguage language;
  const char* name;
  UINT codePage;  // the ANSI code page of a Windows in this language
};

const LanguageFacts kLanguages[] = {
    {wlEnglish, "English", 1252},
    {wlRussian, "Russian", 1251},
    {wlGerman, "German", 1252},
    {wlFrench, "French", 1252},
    {wlSpanish, "Spanish", 1252},
    {wlPortuguese, "Portuguese", 1252},
    {wlPortugueseBrazilian, "PortugueseBrazilian", 1252},
    {wlItalian, "Italian", 1252},
    {wlDutch, "Dutch", 1252},
    {wlDanish, "Danish", 1252},
    {wlSwedish, "Swedish", 1252},
    {wlFinnish, "Finnish", 1252},
    {wlEstonian, "Estonian", 1257},
    {wlUkrainian, "Ukrainian", 1251},
    {wlPolish, "Polish", 1250},
    {wlCzech, "Czech", 1250},
    {wlHungarian, "Hungarian", 1250},
    {wlRomanian, "Romanian", 1250},
    {wlCatalan, "Catalan", 1252},
    {wlBasque, "Basque", 1252},
    {wlAfrikaans, "Afrikaans", 1252},
    {wlChineseTraditional, "ChineseTraditional", 950},
    {wlChineseSimplified, "ChineseSimplified", 936},
    {wlIndonesian, "Indonesian", 1252},
    {wlMalay, "Malay", 1252},
    {wlIcelandic, "Icelandic", 1252},
    {wlTurkish, "Turkish", 1254},
    {wlNorwegian, "Norwegian", 1252},
    {wlSlovak, "Slovak", 1250},
};

void PrintTo(const LanguageFacts& facts, std::ostream* out) {
  *out << facts.name;
}

constexpr unsigned kFirstButtonCaption = 14;  // "&Yes" ... "&Later"
constexpr unsigned kLastButtonCaption = 19;

// Button captions that appear together in one dialog and so need
// different accelerators: Yes/Later, OK/Cancel, Next/Cancel.
const std::pair<unsigned, unsigned> kButtonsSharingADialog[] = {{14, 19}, {16, 17}, {17, 18}};

std::wstring LoadWide(UINT id) {
  const wchar_t* text = nullptr;
  const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 ? std::wstring(text, length) : std::wstring();
}

bool HasString(UINT id) {
  const wchar_t* text = nullptr;
  return LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0) > 0;
}

UINT MessageId(TnxNovexLanguage language, unsigned k) {
  return kFirstMessageId + kMessageBlockSize * (language - 1) + k;
}

// The format specifiers of a text, in order ("%%" is no specifier).
std::vector<std::wstring> Placeholders(const std::wstring& text) {
  std::vector<std::wstring> found;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'%') continue;
    if (i + 1 < text.size() && text[i + 1] == L'%') {
      ++i;
      continue;
    }
    size_t end = i + 1;
    while (end < text.size() && (iswdigit(text[end]) || text[end] == L'.' || text[end] == L'-'))
      ++end;
    found.push_back(text.substr(i, end + 1 - i));
    i = end;
  }
  return found;
}

// The character after the single "&" of a caption, upper-cased; 0 when the
// caption has no accelerator or more than one.
wchar_t Accelerator(const std::wstring& caption) {
  wchar_t found = 0;
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != L'&') continue;
    if (caption[i + 1] == L'&') {
      ++i;
      continue;
    }
    if (found || iswspace(caption[i + 1])) return 0;
    found = static_cast<wchar_t>(reinterpret_cast<UINT_PTR>(
        CharUpperW(reinterpret_cast<LPWSTR>(static_cast<UINT_PTR>(caption[i + 1])))));
  }
  return found;
}

class MessageTable : public ::testing::TestWithParam<LanguageFacts> {};

TEST_P(MessageTable, HasEveryMessageWithTheEnglishPlaceholders) {
  const LanguageFacts& facts = GetParam();
  for (unsigned k = 0; k < kMessageCount; ++k) {
    SCOPED_TRACE("message " + std::to_string(k));
    const std::wstring text = LoadWide(MessageId(facts.language, k));
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(Placeholders(text), Placeholders(kEnglish[k]));
  }
}

TEST_P(MessageTable, HoldsNothingAfterItsLastMessage) {
  for (unsigned k = kMessageCount; k < kMessageBlockSize; ++k)
    EXPECT_FALSE(HasString(MessageId(GetParam().language, k))) << "id offset " << k;
}

TEST_P(MessageTable, ButtonCaptionsHaveOneAcceleratorEach) {
  const TnxNovexLanguage language = GetParam().language;
  for (unsigned k = kFirstButtonCaption; k <= kLastButtonCaption; ++k)
    EXPECT_NE(Accelerator(LoadWide(MessageId(language, k))), 0) << "message " << k;
  for (const auto& [a, b] : kButtonsSharingADialog) {
    EXPECT_NE(Accelerator(LoadWide(MessageId(language, a))),
              Accelerator(LoadWide(MessageId(language, b))))
        << "messages " << a << " and " << b;
  }
}

TEST_P(MessageTable, FitsTheAnsiCodePageOfItsLanguage) {
  const LanguageFacts& facts = GetParam();
  ASSERT_TRUE(IsValidCodePage(facts.codePage));
  for (unsigned k = 0; k < kMessageCount; ++k) {
    const std::wstring text = LoadWide(MessageId(facts.language, k));
    char buffer[1024];
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(facts.codePage, WC_NO_BEST_FIT_CHARS, text.c_str(),
                                      static_cast<int>(text.size()), buffer, sizeof buffer, nullptr,
                                      &usedDefault);
    EXPECT_GT(n, 0) << "message " << k;
    EXPECT_FALSE(usedDefault) << "message " << k << " has a character outside code page "
                              << facts.codePage;
  }
}

INSTANTIATE_TEST_SUITE_P(AllLanguages, MessageTable, ::testing::ValuesIn(kLanguages),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MessageTexts, EnglishAndSimplifiedChineseAreExact) {
  for (unsigned k = 0; k < kMessageCount; ++k) {
    EXPECT_EQ(LoadWide(MessageId(wlEnglish, k)), kEnglish[k]) << "message " << k;
    EXPECT_EQ(LoadWide(MessageId(wlChineseSimplified, k)), kChineseSimplified[k])
        << "message " << k;
  }
}

TEST(MessageTexts, QuotedExamplesAreExact) {
  EXPECT_EQ(LoadWide(MessageId(wlRussian, 0)), L"Мастер обновления приложений");
  EXPECT_EQ(LoadWide(MessageId(wlGerman, 0)), L"Upgrade Anwendungsassistent");
  EXPECT_EQ(LoadWide(MessageId(wlRussian, 27)),
            L"Обновление программы не завершено.\nЖелаете прервать обновление?");
  EXPECT_EQ(LoadWide(41000), kEnglish[0]);
  EXPECT_EQ(LoadWide(42400 + 30), LoadWide(MessageId(wlSlovak, 30)));
}

TEST(MessageTexts, FixedStrings) {
  EXPECT_EQ(LoadWide(kAppTitlePlaceholderId), L"<AppTitle>");
  EXPECT_EQ(LoadWide(kProductNameId), L"Novex");
  EXPECT_FALSE(LoadWide(kDevEnvironmentNameId).empty());
}

const LPCWSTR kStringResource = MAKEINTRESOURCEW(6);  // RT_STRING

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found) {
  reinterpret_cast<std::vector<LANGID>*>(found)->push_back(language);
  return TRUE;
}

// Windows keeps strings in blocks of 16; every block of the table must be
// stored under English (United States) only, so that loading finds it
// whatever the user's language.
TEST(MessageTexts, StoredUnderUnitedStatesEnglishOnly) {
  HMODULE module = GetModuleHandleW(nullptr);
  const UINT firstBlock = kAppTitlePlaceholderId / 16 + 1;
  const UINT lastBlock = MessageId(wlSlovak, kMessageCount - 1) / 16 + 1;
  for (UINT block = firstBlock; block <= lastBlock; ++block) {
    std::vector<LANGID> languages;
    EnumResourceLanguagesW(module, kStringResource, MAKEINTRESOURCEW(block), CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    if (languages.empty()) continue;  // a block in a gap between languages
    EXPECT_EQ(languages, std::vector<LANGID>{MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)})
        << "block " << block;
  }
}

}  // namespace
