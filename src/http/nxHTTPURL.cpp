// Splitting and escaping URLs, and the status callback of the Internet library.
#include <cstring>

#include "nxHTTPTransfer.h"

namespace {

// Buffer sizes of the URL parts, the terminating zero included.
constexpr DWORD kSchemeSize = 33;
constexpr DWORD kHostSize = 257;
constexpr DWORD kUserSize = 129;
constexpr DWORD kPasswordSize = 129;
constexpr DWORD kPathSize = 2049;
constexpr DWORD kExtraSize = 2049;
constexpr DWORD kUrlComponentsSize = 60;

// Bit n stands for the character 0x20 + n: space # % * + < >.
constexpr std::uint32_t kEscapedPunctuation = 0x50000C29;

constexpr DWORD kStatusRedirect = 110;

struct TStatusText {
  DWORD status;
  const char* text;
};
constexpr TStatusText kStatusTexts[] = {
    {10, "Resolving name"},     {11, "Name resolved"},          {20, "Connecting to server"},
    {21, "Connected"},          {30, "Sending Request"},        {31, "Request sent"},
    {40, "Receiving response"}, {41, "Response received"},      {42, "CTL Response received"},
    {43, "Prefetch"},           {50, "Closing connection"},     {51, "Connection closed"},
    {60, "Handle created"},     {70, "Handle closing"},         {100, "Request complete"},
    {110, "Redirect"},          {120, "Intermediate response"}, {200, "State change"},
};

}  // namespace

bool SplitURL(const AnsiString& url, AnsiString& scheme, AnsiString& host, AnsiString& path,
              AnsiString& userName, AnsiString& password, AnsiString& extraInfo, WORD& port) {
  AnsiString full = url.find("://") == AnsiString::npos ? "http://" + url : url;
  std::vector<char> schemeBuf(kSchemeSize), hostBuf(kHostSize), userBuf(kUserSize),
      passwordBuf(kPasswordSize), pathBuf(kPathSize), extraBuf(kExtraSize);
  URL_COMPONENTSA parts;
  InitSizedRecord(parts, kUrlComponentsSize);
  parts.lpszScheme = schemeBuf.data();
  parts.dwSchemeLength = kSchemeSize;
  parts.lpszHostName = hostBuf.data();
  parts.dwHostNameLength = kHostSize;
  parts.lpszUserName = userBuf.data();
  parts.dwUserNameLength = kUserSize;
  parts.lpszPassword = passwordBuf.data();
  parts.dwPasswordLength = kPasswordSize;
  parts.lpszUrlPath = pathBuf.data();
  parts.dwUrlPathLength = kPathSize;
  parts.lpszExtraInfo = extraBuf.data();
  parts.dwExtraInfoLength = kExtraSize;
  if (!InternetCrackUrlA(full.c_str(), static_cast<DWORD>(full.size()), ICU_ESCAPE, &parts))
    return false;
  scheme = schemeBuf.data();
  host = hostBuf.data();
  path = pathBuf.data();
  userName = userBuf.data();
  password = passwordBuf.data();
  extraInfo = extraBuf.data();
  port = parts.nPort;
  return true;
}

AnsiString EscapeExtraInfo(const AnsiString& s) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  AnsiString result;
  result.reserve(s.size());
  for (char ch : s) {
    auto b = static_cast<std::uint8_t>(ch);
    bool escape =
        b < 0x20 || b >= 0x80 || (b < 0x40 && ((kEscapedPunctuation >> (b - 0x20)) & 1u) != 0);
    if (escape) {
      result += '%';
      result += kHex[b >> 4];
      result += kHex[b & 0xF];
    } else {
      result += ch;
    }
  }
  return result;
}

AnsiString URLHostOf(const AnsiString& url) {
  AnsiString scheme, host, path, user, password, extra;
  WORD port = 0;
  return SplitURL(url, scheme, host, path, user, password, extra, port) ? host : AnsiString();
}

AnsiString URLPathFileName(const AnsiString& url) {
  AnsiString scheme, host, path, user, password, extra;
  WORD port = 0;
  if (!SplitURL(url, scheme, host, path, user, password, extra, port)) return AnsiString();
  for (char& ch : path)
    if (ch == '/') ch = '\\';
  std::size_t cut = path.find_last_of("\\:");
  return cut == AnsiString::npos ? path : path.substr(cut + 1);
}

const char* StatusText(DWORD status) {
  for (const TStatusText& entry : kStatusTexts)
    if (entry.status == status) return entry.text;
  return "Unknown status";
}

void CALLBACK HTTPStatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, void* info,
                                 DWORD infoLength) {
  auto* t = reinterpret_cast<TnxTransfer*>(context);
  if (!t) return;
  // Windows called us: nothing may unwind through its frames.
  try {
    {
      std::lock_guard<std::mutex> guard(t->lock);
      if (t->letGo) return;
    }
    if (t->onConnectionStatus)
      t->onConnectionStatus(t->owner, static_cast<int>(status), StatusText(status));
    if (status == kStatusRedirect && info && infoLength > 0 && t->onRedirect) {
      AnsiString newURL(static_cast<const char*>(info), infoLength - 1);
      // Some implementations count the terminating zero, others do not.
      newURL.resize(std::strlen(newURL.c_str()));
      t->onRedirect(t->owner, newURL);
    }
  } catch (...) {
  }
}
