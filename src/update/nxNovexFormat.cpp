// Format: the printf conventions of the messages, with arguments whose types
// are checked against the specifiers.
#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>

#include "nxNovexMessages.h"

namespace {

// Widths and precisions beyond this are typing errors in a format text.
constexpr int kMaxFieldSize = 1024;

[[noreturn]] void Invalid(const AnsiString& format) {
  throw EConvertError("Format '" + format + "' invalid or incompatible with argument");
}

// Reads the digits at pos, if any; -1 when there are none.
int ReadNumber(const AnsiString& format, size_t& pos) {
  if (pos >= format.size() || !std::isdigit(static_cast<unsigned char>(format[pos]))) return -1;
  int value = 0;
  while (pos < format.size() && std::isdigit(static_cast<unsigned char>(format[pos]))) {
    value = value * 10 + (format[pos++] - '0');
    if (value > kMaxFieldSize) Invalid(format);
  }
  return value;
}

AnsiString Printf(const char* spec, ...) {
  char buffer[2 * kMaxFieldSize + 400];  // room for any double in %f as well
  va_list args;
  va_start(args, spec);
  const int n = std::vsnprintf(buffer, sizeof buffer, spec, args);
  va_end(args);
  return n < 0 ? AnsiString() : AnsiString(buffer, std::min<size_t>(n, sizeof buffer - 1));
}

AnsiString Pad(AnsiString text, int width, bool left) {
  if (width > 0 && text.size() < static_cast<size_t>(width)) {
    const AnsiString fill(width - text.size(), ' ');
    text = left ? text + fill : fill + text;
  }
  return text;
}

}  // namespace

AnsiString Format(const AnsiString& format, std::initializer_list<TVarRec> args) {
  AnsiString out;
  auto next = args.begin();
  size_t pos = 0;
  while (pos < format.size()) {
    const char c = format[pos++];
    if (c != '%') {
      out += c;
      continue;
    }
    if (pos < format.size() && format[pos] == '%') {
      out += '%';
      ++pos;
      continue;
    }
    const bool left = pos < format.size() && format[pos] == '-';
    if (left) ++pos;
    const int width = ReadNumber(format, pos);
    int precision = -1;
    if (pos < format.size() && format[pos] == '.') {
      ++pos;
      precision = std::max(ReadNumber(format, pos), 0);
    }
    if (pos >= format.size() || next == args.end()) Invalid(format);
    const char type = static_cast<char>(std::tolower(static_cast<unsigned char>(format[pos++])));
    const auto& value = (next++)->Value();

    AnsiString field;
    switch (type) {
      case 'd':
      case 'u': {
        const long long* v = std::get_if<long long>(&value);
        if (!v) Invalid(format);
        const char* spec = type == 'd' ? "%.*lld" : "%.*llu";
        field = Printf(spec, precision < 0 ? 1 : precision, *v);
        break;
      }
      case 'f': {
        const double* v = std::get_if<double>(&value);
        if (!v) Invalid(format);
        field = Printf("%.*f", precision < 0 ? 2 : precision, *v);
        break;
      }
      case 's': {
        const AnsiString* v = std::get_if<AnsiString>(&value);
        if (!v) Invalid(format);
        field = precision < 0 ? *v : v->substr(0, precision);
        break;
      }
      default:
        Invalid(format);
    }
    out += Pad(std::move(field), width, left);
  }
  return out;
}
