// Taking a registered command line apart into the program and its parameters.
#include "nxUtils.h"

namespace {

constexpr char kQuote = '"';
// A quoted %1 loses its two quotes.
constexpr int kParamQuotesRemoved = 2;

struct TDelimiterRule {
  const char* delimiter;
  std::uint8_t keep;
};
// Tried in this order until one of them yields parameters.
constexpr TDelimiterRule kParamDelimiters[] = {
    {" -", kdRight}, {" /", kdRight}, {" \\", kdRight}, {",", kdNone}, {" %", kdRight},
};

// The text from the last "." of a name, unless a "\" or ":" follows it.
AnsiString ExtensionOf(const AnsiString& name) {
  const std::size_t found = name.find_last_of(".\\:");
  return found == AnsiString::npos || name[found] != '.' ? AnsiString() : name.substr(found);
}

std::size_t LastPathDelimiter(const AnsiString& name) {
  return name.find_last_of("\\:");
}

AnsiString AsciiUpper(AnsiString s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

void DeleteQuotes(AnsiString& s, int count) {
  for (int i = 0; i < count; ++i) {
    const std::size_t found = s.find(kQuote);
    if (found == AnsiString::npos) return;
    s.erase(found, 1);
  }
}

// rundll32 runs a DLL: the program is rundll32 itself and the DLL a parameter.
void SplitLauncherLine(const AnsiString& fullLine, AnsiString& commandLine, AnsiString& params) {
  const std::size_t delimiter = LastPathDelimiter(fullLine);
  const AnsiString folder =
      delimiter == AnsiString::npos ? AnsiString() : fullLine.substr(0, delimiter + 1);
  const AnsiString name = fullLine.substr(folder.size());
  const std::size_t space = name.find(' ');
  params = space == AnsiString::npos ? AnsiString() : name.substr(space + 1);
  commandLine = folder + name.substr(0, space);
}

}  // namespace

void SplitAtDelimiter(const AnsiString& delim, const AnsiString& s, AnsiString& left,
                      AnsiString& right, bool notFoundGoesRight, std::uint8_t keep) {
  const AnsiString text = s;  // s may be left or right itself
  const std::size_t found = delim.empty() ? AnsiString::npos : text.find(delim);
  if (found == AnsiString::npos) {
    left = notFoundGoesRight ? AnsiString() : text;
    right = notFoundGoesRight ? text : AnsiString();
    return;
  }
  left = text.substr(0, found);
  right = text.substr(found + delim.size());
  if (keep & kdLeft) left += delim;
  if (keep & kdRight) right = delim + right;
}

void SplitCommandLine(AnsiString& commandLine, AnsiString& params) {
  commandLine = TrimBlanks(commandLine);
  if (commandLine.empty()) return;

  const std::size_t open = commandLine.find(kQuote);
  if (open != AnsiString::npos) {
    commandLine.erase(open, 1);
    const std::size_t close = commandLine.find(kQuote, open);
    if (close != AnsiString::npos) {
      commandLine.erase(close, 1);
      if (open == 0) {
        // "program" params: the character after the closing quote is dropped.
        params = close + 1 < commandLine.size() ? commandLine.substr(close + 1) : AnsiString();
        commandLine.erase(close);
        params = TrimBlanks(params);
        DeleteQuotes(params, kParamQuotesRemoved);
      } else {
        // program "param": the character before the opening quote is dropped.
        params = commandLine.substr(open);
        commandLine.erase(open - 1);
      }
      commandLine = TrimBlanks(commandLine);
      params = TrimBlanks(params);
      return;
    }
    // A lone quote stays deleted; the line counts as unquoted.
  }

  params.clear();
  const AnsiString fullLine = commandLine;
  for (const auto& rule : kParamDelimiters) {
    if (!params.empty()) break;
    AnsiString left;
    AnsiString right;
    SplitAtDelimiter(rule.delimiter, commandLine, left, right, false, rule.keep);
    // A split inside the program's path (C:\my -dir\app.exe) is no split.
    if (!ExtensionOf(commandLine).empty() && ExtensionOf(left).empty()) continue;
    commandLine = left;
    params = right;
  }
  if (AsciiUpper(ExtensionOf(commandLine)) == ".DLL" &&
      AsciiUpper(commandLine).find("RUNDLL") != AnsiString::npos)
    SplitLauncherLine(fullLine, commandLine, params);
  commandLine = TrimBlanks(commandLine);
  params = TrimBlanks(params);
}
