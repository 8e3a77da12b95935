// The update's texts: 31 messages in 29 languages, kept as string resources of
// the program. One process-wide number, MsgBase, picks the language.
#pragma once

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>

#include "SysUtils.h"

// Ordinal = language number v of the string table (wlAuto: detect it).
enum TnxNovexLanguage : std::uint8_t {
  wlAuto,
  wlEnglish,
  wlRussian,
  wlGerman,
  wlFrench,
  wlSpanish,
  wlPortuguese,
  wlPortugueseBrazilian,
  wlItalian,
  wlDutch,
  wlDanish,
  wlSwedish,
  wlFinnish,
  wlEstonian,
  wlUkrainian,
  wlPolish,
  wlCzech,
  wlHungarian,
  wlRomanian,
  wlCatalan,
  wlBasque,
  wlAfrikaans,
  wlChineseTraditional,
  wlChineseSimplified,
  wlIndonesian,
  wlMalay,
  wlIcelandic,
  wlTurkish,
  wlNorwegian,
  wlSlovak
};
constexpr int kLanguageCount = wlSlovak;  // languages with texts, wlEnglish .. wlSlovak

// Message k of language v is the string resource
// kFirstMessageId + kMessageBlockSize * (v - 1) + k.
constexpr WORD kFirstMessageId = 41000;
constexpr WORD kMessageBlockSize = 50;
constexpr unsigned kMessageCount = 31;

// Strings at fixed ids, the same for every language.
constexpr UINT kAppTitlePlaceholderId = 40997;  // "<AppTitle>"
constexpr UINT kDevEnvironmentNameId = 40998;   // a title containing it is never shown
constexpr UINT kProductNameId = 40999;          // "Novex"

// Id of message 0 of the current language. Set by the detection when the
// program starts and by the Language setting of an update component.
extern WORD MsgBase;

// Id of message 0 of a language (wlAuto has none: English is returned).
WORD MsgBaseOf(TnxNovexLanguage language);

// The message language for a Windows language id; English when the
// language has no texts of its own.
TnxNovexLanguage LanguageForLangId(LANGID id);

// Chooses the language from the system's default language, sets MsgBase and
// returns the language (never wlAuto).
TnxNovexLanguage DetectLanguage();

// What the Language setter of the update settings does: stored is the value
// the settings object holds. Assigning the value it already holds does
// nothing; otherwise the new value is stored and selected for the whole
// process, wlAuto by running the detection.
void AssignLanguage(TnxNovexLanguage& stored, TnxNovexLanguage value);

// A string resource of the program in the ANSI code page; empty when there
// is none.
AnsiString LoadResString(UINT id);

// Message k of the current language, loaded afresh on every call.
AnsiString LoadMsg(unsigned k);

// One argument of Format: an integer, a floating-point number or a string.
class TVarRec {
 public:
  TVarRec(int v) : value_(static_cast<long long>(v)) {}
  TVarRec(unsigned v) : value_(static_cast<long long>(v)) {}
  TVarRec(long v) : value_(static_cast<long long>(v)) {}
  TVarRec(unsigned long v) : value_(static_cast<long long>(v)) {}
  TVarRec(long long v) : value_(v) {}
  TVarRec(double v) : value_(v) {}
  TVarRec(const char* v) : value_(AnsiString(v)) {}
  TVarRec(const AnsiString& v) : value_(v) {}

  const std::variant<long long, double, AnsiString>& Value() const { return value_; }

 private:
  std::variant<long long, double, AnsiString> value_;
};

// A format text that does not fit its arguments.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// Formats like printf for the specifiers the messages use: %d %u %x (integers),
// %f %e %g (floating point), %s (strings), with optional "-", width and
// precision, and %% for a percent sign. A specifier without a fitting
// argument raises EConvertError; arguments left over are ignored.
AnsiString Format(const AnsiString& format, std::initializer_list<TVarRec> args);

// Message k of the current language formatted with args.
AnsiString FmtLoadMsg(unsigned k, std::initializer_list<TVarRec> args);

// Shows text in the application's message box with the caption LoadMsg(0).
void MsgBox(const AnsiString& text, UINT flags);
void MsgBoxById(std::uint8_t k, UINT flags);
