// Whether the machine is connected, and opening a web page in the browser.
#include <winsock2.h>

#include <shellapi.h>

#include "nxUtils.h"

namespace {

constexpr char kRemoteAccessKey[] = "System\\CurrentControlSet\\Services\\RemoteAccess";
constexpr char kRemoteConnectionValue[] = "Remote Connection";
constexpr BYTE kDialUpConnected = 1;
constexpr WORD kWinsockVersion = MAKEWORD(1, 1);
constexpr int kHostNameSize = 64;
constexpr char kLoopbackAddress[] = "127.0.0.1";
constexpr char kSchemeMark[] = "://";
constexpr char kDefaultScheme[] = "http://";
constexpr char kWebPageExtension[] = ".html";
constexpr char kOpenVerb[] = "open";
constexpr DWORD kMaxKeyNameLength = 256;

using unique_hkey = unique_any<HKEY, &::RegCloseKey>;

// A default value that is there but no string: the association is unreadable.
struct ERegistryTypeError {};

bool OpenClassesKey(const AnsiString& path, unique_hkey& key) {
  HKEY opened = HKEY_CLASSES_ROOT;
  if (!OpenRegKey(opened, path, false, KEY_READ)) return false;
  key.reset(opened);
  return true;
}

// The default value of a key; empty when it has none. Throws
// ERegistryTypeError for a value of another type.
AnsiString ReadDefaultString(HKEY key) {
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (RegQueryValueExA(key, nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || size == 0)
    return AnsiString();
  if (type != REG_SZ && type != REG_EXPAND_SZ) throw ERegistryTypeError();
  std::vector<char> buffer(size + 1);
  if (RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                       &size) != ERROR_SUCCESS)
    return AnsiString();
  return AnsiString(buffer.data(), strnlen(buffer.data(), size));
}

// The default value of HKCR\path, when that key opens.
bool ReadCommand(const AnsiString& path, AnsiString& command) {
  unique_hkey key;
  if (!OpenClassesKey(path, key)) return false;
  command = ReadDefaultString(key.get());
  return true;
}

std::vector<AnsiString> SubKeyNames(HKEY key) {
  std::vector<AnsiString> names;
  char name[kMaxKeyNameLength];
  for (DWORD i = 0;; ++i) {
    DWORD length = kMaxKeyNameLength;
    if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    names.emplace_back(name, length);
  }
  return names;
}

AnsiString AsciiLower(AnsiString s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// The address as one command-line argument: blanks and quotes would end it
// and let the rest reach the browser as options of its own.
AnsiString EscapeForCommandLine(const AnsiString& url) {
  static const char kHex[] = "0123456789ABCDEF";
  AnsiString result;
  for (char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= ' ' || c == '"') {
      result += '%';
      result += kHex[byte >> 4];
      result += kHex[byte & 0xF];
    } else {
      result += c;
    }
  }
  return result;
}

}  // namespace

bool HasNonLoopbackAddress() {
  WSADATA data;
  const bool started = WSAStartup(kWinsockVersion, &data) == 0;
  scope_exit cleanup([started] {
    if (started) WSACleanup();
  });
  char hostName[kHostNameSize] = {};
  gethostname(hostName, kHostNameSize - 1);
  const hostent* host = gethostbyname(hostName);
  if (!host) return false;
  AnsiString last;
  // Only the last address of the list counts.
  for (char** address = host->h_addr_list; address && *address; ++address) {
    in_addr value;
    std::memcpy(&value, *address, sizeof(value));
    const char* text = inet_ntoa(value);
    last = text ? text : "";
  }
  return !last.empty() && last != kLoopbackAddress;
}

bool IsNetworkConnected() {
  HKEY key = HKEY_LOCAL_MACHINE;
  if (!OpenRegKey(key, kRemoteAccessKey, false, KEY_READ)) return HasNonLoopbackAddress();
  unique_hkey owner(key);
  BYTE state[4] = {};
  DWORD size = sizeof(state);
  if (RegQueryValueExA(key, kRemoteConnectionValue, nullptr, nullptr, state, &size) !=
      ERROR_SUCCESS)
    return HasNonLoopbackAddress();
  return state[0] == kDialUpConnected;
}

void GetAssociatedProgram(const AnsiString& extension, AnsiString& programPath) {
  programPath.clear();
  if (extension.empty() || extension == ".") return;
  try {
    AnsiString progId;
    if (!ReadCommand(extension, progId) || progId.empty()) return;
    unique_hkey progIdKey;
    if (!OpenClassesKey("\\" + progId, progIdKey)) return;
    const AnsiString shell = "\\" + progId + "\\shell\\";
    if (!ReadCommand(shell + kOpenVerb + "\\command", programPath)) {
      unique_hkey shellKey;
      if (OpenClassesKey(shell, shellKey)) {
        const std::vector<AnsiString> verbs = SubKeyNames(shellKey.get());
        try {
          AnsiString verb;
          for (const auto& name : verbs) {
            if (AsciiLower(name).find(kOpenVerb) == AnsiString::npos) continue;
            verb = name;
            break;
          }
          if (!verb.empty()) {
            ReadCommand(shell + verb + "\\command", programPath);
          } else {
            for (const auto& name : verbs) {
              if (!programPath.empty()) break;
              ReadCommand(shell + name + "\\command", programPath);
            }
          }
        } catch (const ERegistryTypeError&) {
          // An unreadable verb ends the search; what was found stands.
        }
      }
    }
    AnsiString params;
    SplitCommandLine(programPath, params);
  } catch (const ERegistryTypeError&) {
    // Unreadable association: the shell will open the address by itself.
  }
}

void OpenURL(const AnsiString& url, bool useAssociatedBrowser) {
  const AnsiString address =
      EscapeForCommandLine(url.find(kSchemeMark) == AnsiString::npos ? kDefaultScheme + url : url);
  if (useAssociatedBrowser) {
    AnsiString program;
    GetAssociatedProgram(kWebPageExtension, program);
    if (!program.empty()) {
      ShellExecuteA(GetDesktopWindow(), kOpenVerb, program.c_str(), address.c_str(), nullptr,
                    SW_SHOWNORMAL);
      return;
    }
  }
  ShellExecuteA(GetDesktopWindow(), kOpenVerb, address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
