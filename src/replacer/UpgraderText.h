// The pure text work of the replacement helper: reading its command line and
// its queue, naming the files of the folder sweep, and building the start
// command. The helper links no C runtime, so this header uses nothing but
// plain loops over caller-owned buffers; the tests compile the same code.
#pragma once

#include <windows.h>

namespace upgrader {

constexpr char kTempSuffix[] = ".uTMP";
constexpr unsigned kTempSuffixLength = sizeof(kTempSuffix) - 1;
constexpr char kParamsMark = '+';
constexpr char kSetupDigit = '1';
constexpr char kProgramExtension[] = "exe";
constexpr unsigned kProgramExtensionLength = sizeof(kProgramExtension) - 1;

// A NUL-terminated text in a buffer of fixed capacity. A text that does not
// fit is marked as overflowing and never written past its buffer: the helper
// must not act on a path that was cut short.
struct TextBuffer {
  char* data;
  unsigned capacity;  // bytes, the terminating NUL included
  unsigned length;
  bool overflow;
};

inline TextBuffer MakeBuffer(char* data, unsigned capacity) {
  TextBuffer b{data, capacity, 0, false};
  if (capacity > 0) data[0] = '\0';
  return b;
}

inline void Clear(TextBuffer& b) {
  b.length = 0;
  b.overflow = false;
  if (b.capacity > 0) b.data[0] = '\0';
}

inline void Truncate(TextBuffer& b, unsigned length) {
  if (length < b.length) {
    b.length = length;
    b.data[length] = '\0';
  }
}

inline void AppendChars(TextBuffer& b, const char* s, unsigned n) {
  if (b.overflow) return;
  if (b.capacity == 0 || n > b.capacity - 1 - b.length) {
    b.overflow = true;
    return;
  }
  for (unsigned i = 0; i < n; ++i) b.data[b.length + i] = s[i];
  b.length += n;
  b.data[b.length] = '\0';
}

inline void AppendChar(TextBuffer& b, char c) {
  AppendChars(b, &c, 1);
}

inline unsigned TextLength(const char* s) {
  unsigned n = 0;
  while (s[n] != '\0') ++n;
  return n;
}

inline void Append(TextBuffer& b, const char* s) {
  AppendChars(b, s, TextLength(s));
}

inline bool SameText(const char* a, const char* b) {
  unsigned i = 0;
  for (; a[i] != '\0' && a[i] == b[i]; ++i) {
  }
  return a[i] == b[i];
}

// Arguments are separated by any character with a code from 1 to 32.
inline bool IsSeparator(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32;
}

// Appends the next argument at p to out and moves p past it. A double quote
// opens a section, closed by the next one, in which separators belong to the
// argument; the quotes are dropped. False when only separators remain.
inline bool NextArgument(const char*& p, TextBuffer& out) {
  while (IsSeparator(*p)) ++p;
  if (*p == '\0') return false;
  bool quoted = false;
  for (; *p != '\0'; ++p) {
    if (*p == '"') {
      quoted = !quoted;
    } else if (!quoted && IsSeparator(*p)) {
      break;
    } else {
      AppendChar(out, *p);
    }
  }
  return true;
}

struct Arguments {
  TextBuffer appPath;
  TextBuffer params;
  bool setupMode;
};

// Reads a whole command line, program name first. The arguments before the
// first one that begins with "+" are the application's path, joined with
// single blanks (an unquoted path with blanks arrives in pieces). From that
// argument to the end come the restart parameters, joined the same way,
// without the "+" and without the final method digit. Setup mode is a last
// argument ending in "1". False when there is no argument at all.
inline bool ParseArguments(const char* commandLine, Arguments& out) {
  Clear(out.appPath);
  Clear(out.params);
  out.setupMode = false;

  const char* p = commandLine;
  TextBuffer& path = out.appPath;
  if (!NextArgument(p, path)) return false;  // the program name
  Clear(path);

  bool any = false;
  bool inParams = false;
  char lastChar = '\0';
  for (;;) {
    TextBuffer& target = inParams ? out.params : path;
    const unsigned before = target.length;
    if (before > 0) AppendChar(target, ' ');
    const unsigned start = target.length;
    if (!NextArgument(p, target)) {
      Truncate(target, before);
      break;
    }
    any = true;
    if (target.length > start) lastChar = target.data[target.length - 1];
    if (!inParams && target.length > start && target.data[start] == kParamsMark) {
      AppendChars(out.params, target.data + start + 1, target.length - start - 1);
      Truncate(path, before);
      inParams = true;
    }
    if (target.overflow) break;
  }
  if (!any) return false;

  out.setupMode = lastChar == kSetupDigit;
  if (inParams && out.params.length > 0) Truncate(out.params, out.params.length - 1);
  return true;
}

// Length of path's folder, its last backslash included; 0 without one.
inline unsigned FolderLength(const char* path, unsigned length) {
  for (unsigned i = length; i > 0; --i) {
    if (path[i - 1] == '\\') return i;
  }
  return 0;
}

// Steps through a queue text: a line ends at CR LF, the last one at the end
// of the text, so a final CR LF gives no extra empty line.
inline bool NextQueueLine(const char*& p, const char* end, const char*& line, unsigned& length) {
  if (p >= end) return false;
  line = p;
  while (p < end && !(p[0] == '\r' && p + 1 < end && p[1] == '\n')) ++p;
  length = static_cast<unsigned>(p - line);
  if (p < end) p += 2;
  return true;
}

// The sweep's found name: length of the target name without ".uTMP", or 0
// when the name does not end in it (the search also matches short names)
// or nothing would be left of it.
inline unsigned SweptNameLength(const char* found) {
  const unsigned n = TextLength(found);
  if (n <= kTempSuffixLength) return 0;
  for (unsigned i = 0; i < kTempSuffixLength; ++i) {
    char c = found[n - kTempSuffixLength + i];
    char s = kTempSuffix[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (s >= 'A' && s <= 'Z') s = static_cast<char>(s - 'A' + 'a');
    if (c != s) return 0;
  }
  return n - kTempSuffixLength;
}

enum class SweptRole {
  kKeepsName,      // lands under its own name
  kIsProgram,      // replaces the application's program file
  kIsSetupProgram  // the setup program to run before the application
};

// The program rule: until a program file has been dealt with, the first swept
// name that ends in lower-case "exe" (compared byte for byte, so SETUP.EXE
// is not one) is the program, or in setup mode the setup program.
inline SweptRole ClassifySwept(const char* name, unsigned length, bool programSeen,
                               bool setupMode) {
  if (programSeen || length < kProgramExtensionLength) return SweptRole::kKeepsName;
  for (unsigned i = 0; i < kProgramExtensionLength; ++i) {
    if (name[length - kProgramExtensionLength + i] != kProgramExtension[i]) {
      return SweptRole::kKeepsName;
    }
  }
  return setupMode ? SweptRole::kIsSetupProgram : SweptRole::kIsProgram;
}

// The wait is for a program that still runs from its file: only a sharing
// violation means that. Any other failure (read-only file, no rights, a
// folder) would never go away, so waiting longer would hang the helper.
inline bool KeepWaiting(DWORD openError) {
  return openError == ERROR_SHARING_VIOLATION;
}

// The command that starts a program: its path in double quotes, so that a
// path with blanks stays one argument, then the parameters.
inline void BuildStartCommand(TextBuffer& out, const char* path, const char* params) {
  Clear(out);
  AppendChar(out, '"');
  Append(out, path);
  AppendChar(out, '"');
  if (*params != '\0') {
    AppendChar(out, ' ');
    Append(out, params);
  }
}

}  // namespace upgrader
