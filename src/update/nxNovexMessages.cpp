// Choosing the message language, loading the messages and showing them.
#include "nxNovexMessages.h"

#include <iterator>

#include "Application.h"

namespace {

// Primary language ids in the order of the languages, wlEnglish first. The
// first match wins; Portuguese and Chinese are told apart by sublanguage.
constexpr WORD kPrimaryLanguages[kLanguageCount] = {
    LANG_ENGLISH,    LANG_RUSSIAN,    LANG_GERMAN,    LANG_FRENCH,     LANG_SPANISH,
    LANG_PORTUGUESE, LANG_PORTUGUESE, LANG_ITALIAN,   LANG_DUTCH,      LANG_DANISH,
    LANG_SWEDISH,    LANG_FINNISH,    LANG_ESTONIAN,  LANG_UKRAINIAN,  LANG_POLISH,
    LANG_CZECH,      LANG_HUNGARIAN,  LANG_ROMANIAN,  LANG_CATALAN,    LANG_BASQUE,
    LANG_AFRIKAANS,  LANG_CHINESE,    LANG_CHINESE,   LANG_INDONESIAN, LANG_MALAY,
    LANG_ICELANDIC,  LANG_TURKISH,    LANG_NORWEGIAN, LANG_SLOVAK};
static_assert(std::size(kPrimaryLanguages) == kLanguageCount);

}  // namespace

WORD MsgBase = kFirstMessageId;

namespace {
// The language follows the system from the start, before any component of a
// form sets it.
[[maybe_unused]] const TnxNovexLanguage kLanguageAtStart = DetectLanguage();
}  // namespace

WORD MsgBaseOf(TnxNovexLanguage language) {
  if (language == wlAuto || language > kLanguageCount) language = wlEnglish;
  return static_cast<WORD>(kFirstMessageId + kMessageBlockSize * (language - 1));
}

TnxNovexLanguage LanguageForLangId(LANGID id) {
  const WORD primary = PRIMARYLANGID(id);
  const WORD sub = SUBLANGID(id);
  if (primary == LANG_PORTUGUESE)
    return sub == SUBLANG_PORTUGUESE_BRAZILIAN ? wlPortugueseBrazilian : wlPortuguese;
  if (primary == LANG_CHINESE)
    return sub == SUBLANG_CHINESE_SIMPLIFIED ? wlChineseSimplified : wlChineseTraditional;
  for (int i = 0; i < kLanguageCount; ++i) {
    if (kPrimaryLanguages[i] == primary) return static_cast<TnxNovexLanguage>(i + 1);
  }
  return wlEnglish;
}

TnxNovexLanguage DetectLanguage() {
  const TnxNovexLanguage language = LanguageForLangId(GetSystemDefaultLangID());
  MsgBase = MsgBaseOf(language);
  return language;
}

void AssignLanguage(TnxNovexLanguage& stored, TnxNovexLanguage value) {
  // Even when MsgBase was changed by another component since: the same value
  // is no change of this setting.
  if (value == stored) return;
  stored = value;
  if (value != wlAuto)
    MsgBase = MsgBaseOf(value);
  else
    DetectLanguage();
}

AnsiString LoadResString(UINT id) {
  // With a zero buffer size LoadStringW hands out the resource's own text,
  // which is not terminated: its length is the result.
  const wchar_t* text = nullptr;
  const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || !text) return AnsiString();
  return FromWide(std::wstring(text, static_cast<size_t>(length)));
}

AnsiString LoadMsg(unsigned k) {
  return LoadResString(static_cast<WORD>(MsgBase + k));
}

AnsiString FmtLoadMsg(unsigned k, std::initializer_list<TVarRec> args) {
  return Format(LoadMsg(k), args);
}

void MsgBox(const AnsiString& text, UINT flags) {
  Application().MessageBox(text, LoadMsg(0), flags);
}

void MsgBoxById(std::uint8_t k, UINT flags) {
  MsgBox(LoadMsg(k), flags);
}
