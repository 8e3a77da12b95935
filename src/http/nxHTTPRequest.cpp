// The request routine: runs on the worker thread once per transfer, from
// splitting the URL to the last byte of the body, and leaves its outcome in the
// transfer's result fields. Every CheckAbort may end the worker for good.
#include <algorithm>
#include <cstring>

#include "nxHTTPTransfer.h"
#include "nxHTTPWriter.h"

namespace {

constexpr int kStatusOK = 200;
constexpr int kStatusPartial = 206;
constexpr int kStatusUnauthorized = 401;
constexpr int kStatusProxyAuth = 407;
constexpr int kStatusRangeNotSatisfiable = 416;
constexpr int kStatusNotFound = 404;
constexpr DWORD kQueryBufferSize = 4096;
constexpr char kFormContentType[] = "Content-Type: application/x-www-form-urlencoded";
// A memory transfer reserves at most this much ahead of the bytes; past it the
// stream grows as they arrive, so an announced length alone cannot exhaust
// the address space.
constexpr std::size_t kPresizeLimit = 64u << 20;

bool IsOK(int status) {
  return status == kStatusOK || status == kStatusPartial;
}

DWORD AccessTypeFlag(TnxHTTPAccessType type) {
  switch (type) {
    case atDirect:
      return INTERNET_OPEN_TYPE_DIRECT;
    case atUseProxy:
      return INTERNET_OPEN_TYPE_PROXY;
    default:
      return INTERNET_OPEN_TYPE_PRECONFIG;
  }
}

void SetNumberOption(HINTERNET handle, DWORD option, DWORD value) {
  InternetSetOptionA(handle, option, &value, sizeof(value));
}

void SetTextOption(HINTERNET handle, DWORD option, const AnsiString& text) {
  InternetSetOptionA(handle, option, const_cast<char*>(text.c_str()),
                     static_cast<DWORD>(text.size()));
}

const char* OrNull(const AnsiString& s) {
  return s.empty() ? nullptr : s.c_str();
}

class TRequest {
 public:
  explicit TRequest(TnxTransfer& t) : t_(t) {}
  void Run();

 private:
  bool QueryHeader(DWORD level, AnsiString& value);
  bool AddRequestHeaders(bool useRange);
  int ProbeFullLength();
  void ApplyOptions();
  void ReadResponseHeaders();
  // False when the transfer is to start again from its first byte.
  bool ReceiveBody();
  void OpenLocalFile();
  void Restart();
  void SetStatus(int status) {
    std::lock_guard<std::mutex> guard(t_.lock);
    t_.statusCode = status;
  }

  TnxTransfer& t_;
  AnsiString scheme_, host_, path_, user_, password_, extra_;
  WORD port_ = 0;
  bool isFile_ = false;
  DWORD bufferSize_ = 0;
};

void TRequest::Run() {
  SetStatus(-1);
  t_.SetContentType(AnsiString());
  bufferSize_ = static_cast<DWORD>(std::max(t_.bufferSize, kMinBufferSize));
  t_.startTick = GetTickCount();
  t_.continueDownload = true;

  SplitURL(t_.url, scheme_, host_, path_, user_, password_, extra_, port_);
  extra_ = EscapeExtraInfo(extra_);
  if (user_.empty()) user_ = t_.httpUsername;
  if (password_.empty()) password_ = t_.httpPassword;
  isFile_ = scheme_ == "file";
  CheckAbort(t_);

  if (isFile_) {
    do {
      OpenLocalFile();
    } while (!ReceiveBody());  // a restart reads from byte 0, so this ends
    return;
  }

  AnsiString proxyName;
  if (t_.proxy.AccessType == atUseProxy)
    proxyName = t_.proxy.ProxyServer + ":" + IntToStr(t_.proxy.ProxyPort);
  t_.session.reset(
      InternetOpenA(t_.userAgent.c_str(), AccessTypeFlag(t_.proxy.AccessType), OrNull(proxyName),
                    t_.proxy.AccessType == atUseProxy ? OrNull(t_.proxy.ProxyBypass) : nullptr,
                    t_.offline ? INTERNET_FLAG_OFFLINE : 0));
  t_.success = static_cast<bool>(t_.session);
  if (!t_.success) return;
  InternetSetStatusCallback(t_.session.get(), &HTTPStatusCallback);

  for (;;) {  // connection loop; a restart comes back here with ResumeStart 0
    CheckAbort(t_);
    t_.connection.reset(InternetConnectA(t_.session.get(), host_.c_str(), port_, OrNull(user_),
                                         OrNull(password_), INTERNET_SERVICE_HTTP, 0,
                                         reinterpret_cast<DWORD_PTR>(&t_)));
    t_.success = static_cast<bool>(t_.connection);
    if (!t_.success) return;

    CheckAbort(t_);
    const bool post = t_.verb == hvPost || (t_.verb == hvAuto && !t_.formData.empty());
    const char* acceptTypes[] = {t_.acceptTypes.c_str(), nullptr};
    // The request carries the transfer as its context too: with none, the
    // library reports nothing of it, redirects included.
    t_.request.reset(HttpOpenRequestA(t_.connection.get(), post ? "POST" : "GET",
                                      (path_ + extra_).c_str(), nullptr, OrNull(t_.referrer),
                                      acceptTypes,
                                      RequestFlags(scheme_, t_.cacheOptions, t_.internetOptions),
                                      reinterpret_cast<DWORD_PTR>(&t_)));
    t_.success = static_cast<bool>(t_.request);
    if (!t_.success) return;

    CheckAbort(t_);
    ApplyOptions();
    if (t_.onRequestOpened) t_.onRequestOpened(t_.owner, t_.request.get());
    if (!AddRequestHeaders(true)) return;

    bool restart = false;
    do {  // send loop: repeated while an authentication handler asks to
      CheckAbort(t_);
      t_.tryAgain = false;
      BOOL sent = post ? HttpSendRequestA(t_.request.get(), kFormContentType,
                                          static_cast<DWORD>(std::strlen(kFormContentType)),
                                          const_cast<char*>(t_.formData.data()),
                                          static_cast<DWORD>(t_.formData.size()))
                       : HttpSendRequestA(t_.request.get(), nullptr, 0, nullptr, 0);
      t_.success = sent != FALSE;
      if (!t_.success) {
        t_.data.reset();
        return;
      }
      CheckAbort(t_);
      AnsiString value;
      t_.success = QueryHeader(HTTP_QUERY_STATUS_CODE, value);
      if (t_.success) SetStatus(StrToIntDef(value, 0));

      if (t_.statusCode == kStatusRangeNotSatisfiable && t_.resumeStart != 0) {
        if (ProbeFullLength() == static_cast<int>(t_.resumeStart)) return;  // complete already
        Restart();
        restart = true;
        break;
      }
      if (t_.statusCode == kStatusUnauthorized && t_.hasLoginHandler) {
        AnsiString realm;
        t_.success = QueryHeader(HTTP_QUERY_WWW_AUTHENTICATE, realm);
        if (t_.success) {
          std::size_t quote = realm.find("=\"");
          if (quote != AnsiString::npos && realm.size() >= quote + 3)
            realm = realm.substr(quote + 2, realm.size() - quote - 3);
        } else {
          realm.clear();
        }
        t_.SetContentType(realm);
        SynchronizeFor(t_, [this, &realm] {
          TnxCustomHTTP* owner = t_.owner;
          owner->OnLoginRequest(owner, realm, t_.tryAgain);
          t_.httpUsername = owner->HTTPUsername;
          t_.httpPassword = owner->HTTPPassword;
        });
        SetTextOption(t_.request.get(), INTERNET_OPTION_USERNAME, t_.httpUsername);
        SetTextOption(t_.request.get(), INTERNET_OPTION_PASSWORD, t_.httpPassword);
      }
      if (t_.statusCode == kStatusProxyAuth && t_.hasProxyHandler) {
        SynchronizeFor(t_, [this] {
          TnxCustomHTTP* owner = t_.owner;
          owner->OnProxyAuthenticationRequest(owner, owner->Proxy()->ProxyUsername,
                                              owner->Proxy()->ProxyPassword, t_.tryAgain);
          t_.proxy.ProxyUsername = owner->Proxy()->ProxyUsername;
          t_.proxy.ProxyPassword = owner->Proxy()->ProxyPassword;
        });
        SetTextOption(t_.request.get(), INTERNET_OPTION_PROXY_USERNAME, t_.proxy.ProxyUsername);
        SetTextOption(t_.request.get(), INTERNET_OPTION_PROXY_PASSWORD, t_.proxy.ProxyPassword);
      }
    } while (t_.tryAgain);
    if (restart) continue;

    t_.data.reset();
    CheckAbort(t_);
    ReadResponseHeaders();
    if (!t_.continueDownload) return;
    if (ReceiveBody()) return;
  }
}

// Closes the request and the connection (the session stays) and starts over
// from the first byte: at most once, since ResumeStart is 0 afterwards.
void TRequest::Restart() {
  SetStatus(-1);
  t_.resumeStart = 0;
  t_.data.reset();
  t_.writingToFile = false;
  t_.request.reset();
  t_.connection.reset();
}

bool TRequest::QueryHeader(DWORD level, AnsiString& value) {
  char buffer[kQueryBufferSize];
  DWORD length = kQueryBufferSize;
  DWORD index = 0;
  if (!HttpQueryInfoA(t_.request.get(), level, buffer, &length, &index)) return false;
  buffer[kQueryBufferSize - 1] = '\0';
  value = buffer;
  return true;
}

bool TRequest::AddRequestHeaders(bool useRange) {
  AnsiString text;
  for (const AnsiString& line : t_.extraHeaders) text += line + "\r\n";
  DWORD start = 0, end = 0;
  bool withRange = true;
  if (!useRange) {
    start = 0;  // the whole file, to learn its length
  } else if (t_.resumeStart != 0 || t_.resumeEnd != 0) {
    start = t_.resumeStart;
    end = t_.resumeEnd;
  } else if (t_.range.StartRange != 0 || t_.range.EndRange != 0) {
    start = t_.range.StartRange;
    end = t_.range.EndRange;
  } else {
    withRange = false;
  }
  if (withRange)
    text += "RANGE: bytes=" + IntToStr(start) + "-" + (end ? IntToStr(end) : AnsiString()) + "\r\n";
  if (text.empty()) return true;
  DWORD mode =
      t_.statusCode == kStatusRangeNotSatisfiable ? HTTP_ADDREQ_FLAG_REPLACE : HTTP_ADDREQ_FLAG_ADD;
  return HttpAddRequestHeadersA(t_.request.get(), text.c_str(), static_cast<DWORD>(text.size()),
                                mode) != FALSE;
}

int TRequest::ProbeFullLength() {
  AddRequestHeaders(false);
  CheckAbort(t_);
  int result = 0;
  AnsiString value;
  if (HttpSendRequestA(t_.request.get(), nullptr, 0, nullptr, 0) &&
      QueryHeader(HTTP_QUERY_STATUS_CODE, value)) {
    SetStatus(StrToIntDef(value, 0));
    if (IsOK(t_.statusCode) && QueryHeader(HTTP_QUERY_CONTENT_LENGTH, value))
      result = StrToIntDef(value, 0);
  }
  CheckAbort(t_);
  return result;
}

void TRequest::ApplyOptions() {
  HINTERNET request = t_.request.get();
  if (t_.timeouts.ConnectTimeout)
    SetNumberOption(request, INTERNET_OPTION_CONNECT_TIMEOUT, t_.timeouts.ConnectTimeout);
  if (t_.timeouts.ReceiveTimeout)
    SetNumberOption(request, INTERNET_OPTION_RECEIVE_TIMEOUT, t_.timeouts.ReceiveTimeout);
  if (t_.timeouts.SendTimeout)
    SetNumberOption(request, INTERNET_OPTION_SEND_TIMEOUT, t_.timeouts.SendTimeout);
  if (t_.internetOptions.Contains(ioIgnoreUnknownCertificateAuthority))
    SetNumberOption(request, INTERNET_OPTION_SECURITY_FLAGS, SECURITY_FLAG_IGNORE_UNKNOWN_CA);
  if (t_.proxy.AccessType != atDirect && !t_.proxy.ProxyUsername.empty() &&
      !t_.proxy.ProxyPassword.empty()) {
    SetTextOption(request, INTERNET_OPTION_PROXY_USERNAME, t_.proxy.ProxyUsername);
    SetTextOption(request, INTERNET_OPTION_PROXY_PASSWORD, t_.proxy.ProxyPassword);
  }
  if (t_.goOnline) {
    DWORD state = 0, size = sizeof(state);
    if (InternetQueryOptionA(nullptr, INTERNET_OPTION_CONNECTED_STATE, &state, &size) &&
        (state & INTERNET_STATE_DISCONNECTED_BY_USER))
      InternetGoOnline(const_cast<char*>(t_.url.c_str()), GetDesktopWindow(), 0);
  }
}

void TRequest::ReadResponseHeaders() {
  AnsiString value;
  if (QueryHeader(HTTP_QUERY_CONTENT_TYPE, value)) t_.SetContentType(value);
  AnsiString length;
  t_.success = QueryHeader(HTTP_QUERY_CONTENT_LENGTH, length);
  t_.contentLength = t_.success ? StrToIntDef(length, 0) : 0;
  if (!QueryHeader(HTTP_QUERY_CONTENT_RANGE, value)) t_.resumeStart = 0;
  if (!t_.hasHeadersHandler) return;

  auto header = [this](DWORD level) {
    AnsiString text;
    return QueryHeader(level, text) ? text : AnsiString();
  };
  AnsiString raw = header(HTTP_QUERY_RAW_HEADERS_CRLF),
             language = header(HTTP_QUERY_CONTENT_LANGUAGE),
             encoding = header(HTTP_QUERY_CONTENT_ENCODING), location = header(HTTP_QUERY_LOCATION),
             etag = header(HTTP_QUERY_ETAG);
  TDateTime date = InternetDateToLocalTime(header(HTTP_QUERY_DATE));
  TDateTime modified = InternetDateToLocalTime(header(HTTP_QUERY_LAST_MODIFIED));
  TDateTime expires = InternetDateToLocalTime(header(HTTP_QUERY_EXPIRES));
  {
    std::lock_guard<std::mutex> guard(t_.lock);
    t_.rawHeaders = raw;
    t_.contentLanguage = language;
    t_.contentEncoding = encoding;
    t_.location = location;
    t_.etag = etag;
    t_.serverDate = date;
    t_.lastModified = modified;
    t_.expires = expires;
  }
  SynchronizeFor(t_, [this] {
    TnxCustomHTTP* owner = t_.owner;
    owner->OnResponseHeaders(
        owner, t_.statusCode, t_.rawHeaders, t_.ContentTypeText(), t_.contentLanguage,
        t_.contentEncoding, t_.contentLength + static_cast<int>(t_.resumeStart), t_.location,
        t_.serverDate, t_.lastModified, t_.expires, t_.etag, t_.continueDownload);
  });
}

void TRequest::OpenLocalFile() {
  t_.localFile.reset(CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  // An opened file counts as a response that announced its length.
  t_.success = static_cast<bool>(t_.localFile);
  if (!t_.success) {
    SetStatus(kStatusNotFound);
    t_.contentLength = 0;
    return;
  }
  SetStatus(kStatusOK);
  LARGE_INTEGER size{};
  GetFileSizeEx(t_.localFile.get(), &size);
  DWORD start = t_.resumeStart ? t_.resumeStart : t_.range.StartRange;
  LARGE_INTEGER distance{};
  distance.QuadPart = start;
  if (start) SetFilePointerEx(t_.localFile.get(), distance, nullptr, FILE_BEGIN);
  // What is left to read from the start position, as a server answering a
  // range would announce it.
  long long left = std::max<long long>(0, size.QuadPart - start);
  t_.contentLength = static_cast<int>(static_cast<DWORD>(left));
}

bool TRequest::ReceiveBody() {
  CheckAbort(t_);
  if (IsOK(t_.statusCode) && !t_.targetFileName.empty()) {
    try {
      auto file = std::make_unique<TnxFileStream>(t_.targetFileName, t_.resumeStart == 0, true);
      if (t_.resumeStart != 0) {
        // Past the end of the file the position could be set but not reached.
        if (file->Size() < t_.resumeStart ||
            file->Seek(t_.resumeStart, soBeginning) != static_cast<std::int64_t>(t_.resumeStart))
          SetStatus(-1);
      } else if (t_.incompleteAttributes != TnxFileAttributes{atrArchive}) {
        SetFileAttributesFromSet(t_.targetFileName, t_.incompleteAttributes);
      }
      t_.data = std::move(file);
      t_.writingToFile = true;
    } catch (const EFCreateError&) {
      if (t_.success) {
        t_.data.reset();
        return true;
      }
    }
  }
  if (!t_.data) {
    auto memory = std::make_unique<TMemoryStream>();
    if (t_.success && t_.contentLength > 0) {
      memory->SetSize(std::min(static_cast<std::size_t>(t_.contentLength), kPresizeLimit));
      memory->SetPosition(0);
    }
    t_.data = std::move(memory);
  }
  if (t_.statusCode == -1) {
    Restart();
    return false;
  }

  bool verify = t_.resumeStart != 0 && t_.writingToFile;
  bool writeFailed = false;
  t_.bytesTransferred = 0;
  std::vector<std::uint8_t> scratch;
  // Bytes past an announced length are not part of the body, however a
  // server or the library's buffering delivers them.
  const bool announced = t_.success && t_.contentLength > 0;
  // A memory stream sized ahead only up to the limit is grown to the announced
  // length at once when the bytes really go past the limit: one copy instead of
  // a chain of growing ones.
  auto* memory = dynamic_cast<TMemoryStream*>(t_.data.get());
  bool grownToAnnounced =
      !memory || !announced || static_cast<std::size_t>(t_.contentLength) <= kPresizeLimit;
  // The blocks are stored on a thread of their own while the next ones
  // arrive; the main thread settles the writes before it touches the stream.
  TBlockWriter writer(*t_.data, bufferSize_);
  auto useWriter = [this](TBlockWriter* w) {
    std::lock_guard<std::mutex> guard(t_.lock);
    t_.writer = w;
  };
  useWriter(&writer);
  scope_exit unused([&useWriter] { useWriter(nullptr); });
  auto drain = [&writer, &writeFailed] {
    if (!writer.Drain()) writeFailed = true;
  };
  for (;;) {
    CheckAbort(t_);
    DWORD ask = bufferSize_;
    if (announced) {
      auto left = static_cast<DWORD>(t_.contentLength - t_.bytesTransferred);
      if (left == 0) break;
      ask = std::min(ask, left);
    }
    std::uint8_t* block = writer.NextBlock();
    DWORD count = 0;
    BOOL ok = isFile_ ? ReadFile(t_.localFile.get(), block, ask, &count, nullptr)
                      : InternetReadFile(t_.request.get(), block, ask, &count);
    if (!ok || count == 0) break;
    t_.bytesTransferred += static_cast<int>(count);
    DWORD skip = 0;
    if (verify) {
      // Nothing was queued yet: the stream is the worker's alone.
      verify = false;
      // The bytes that are in the file already must be the same; only as many
      // as were read on both sides are compared.
      scratch.resize(count);
      long inFile = t_.data->Read(scratch.data(), static_cast<long>(count));
      skip = static_cast<DWORD>(std::max(0L, inFile));
      if (std::memcmp(scratch.data(), block, skip) != 0) {
        Restart();
        return false;
      }
      if (skip == count) continue;
    }
    if (!grownToAnnounced && static_cast<std::size_t>(t_.bytesTransferred) > kPresizeLimit) {
      grownToAnnounced = true;
      drain();
      try {
        memory->SetSize(static_cast<std::size_t>(t_.contentLength));
      } catch (const EOutOfMemory&) {
        // it grows block by block as far as memory allows
      }
    }
    long wanted = static_cast<long>(count - skip);
    if (!writer.Queue(skip, wanted)) {
      writeFailed = true;  // a full disk must not pass for a complete file
      break;
    }
    if (t_.hasProgressHandler) ProgressStep(t_);
  }
  drain();

  t_.success = IsOK(t_.statusCode) && !writeFailed;
  if (t_.success && t_.contentLength != 0 && t_.data)
    t_.success = t_.contentLength == t_.bytesTransferred;
  if (memory) {
    if (t_.contentLength > memory->Size()) {
      try {
        memory->SetSize(static_cast<std::size_t>(t_.contentLength));
      } catch (const EOutOfMemory&) {
        // the bytes received stay; the announced length cannot be had
      }
    }
  } else if (t_.success && t_.writingToFile) {
    // A resumed file that was longer than what the server now sends must not
    // keep its old tail.
    SetEndOfFile(static_cast<THandleStream*>(t_.data.get())->Handle());
  }
  return true;
}

}  // namespace

DWORD RequestFlags(const AnsiString& scheme, TnxCacheOptions cache, TnxInternetOptions options) {
  struct TFlag {
    bool on;
    DWORD flag;
  };
  const bool secure = scheme == "https";
  const TFlag flags[] = {
      {secure, INTERNET_FLAG_SECURE},
      {!secure && cache.Contains(coCreateTempFilesIfCantCache), INTERNET_FLAG_NEED_FILE},
      {cache.Contains(coAlwaysReload), INTERNET_FLAG_RELOAD},
      {cache.Contains(coReloadIfNoExpireInformation), INTERNET_FLAG_HYPERLINK},
      {cache.Contains(coReloadUpdatedObjects), INTERNET_FLAG_RESYNCHRONIZE},
      {cache.Contains(coPragmaNoCache), INTERNET_FLAG_PRAGMA_NOCACHE},
      {cache.Contains(coNoCacheWrite), INTERNET_FLAG_NO_CACHE_WRITE},
      {cache.Contains(coUseCacheIfNetFail), INTERNET_FLAG_CACHE_IF_NET_FAIL},
      {options.Contains(ioIgnoreCertificateInvalid), INTERNET_FLAG_IGNORE_CERT_CN_INVALID},
      {options.Contains(ioIgnoreCertificateDateInvalid), INTERNET_FLAG_IGNORE_CERT_DATE_INVALID},
      {options.Contains(ioIgnoreRedirectToHTTP), INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP},
      {options.Contains(ioIgnoreRedirectToHTTPS), INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS},
      {options.Contains(ioKeepConnection), INTERNET_FLAG_KEEP_CONNECTION},
      {options.Contains(ioNoAuthentication), INTERNET_FLAG_NO_AUTH},
      {options.Contains(ioNoAutoRedirect), INTERNET_FLAG_NO_AUTO_REDIRECT},
      {options.Contains(ioNoCookies), INTERNET_FLAG_NO_COOKIES},
  };
  DWORD sum = 0;
  for (const TFlag& f : flags)
    if (f.on) sum |= f.flag;
  return sum;
}

void RunRequest(TnxTransfer& t) {
  TRequest(t).Run();
}
