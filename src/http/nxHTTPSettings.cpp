// Settings sub-objects, the download file stream, the stored credentials and
// the component's construction.
#include <typeinfo>

#include "nxHTTPTransfer.h"
#include "nxHTTPWriter.h"

namespace {

// The framework's assignment fails for a source of another class.
void CheckAssignSource(const TPersistent* source, const TPersistent& target) {
  if (source && &source->ClassInfo() != &target.ClassInfo())
    throw Exception("Cannot assign a " + source->ClassName() + " to a " + target.ClassName());
}

constexpr std::size_t kMaxLoginInfo = 255;  // the record's length is one byte

}  // namespace

// --- TnxHTTPProxy

const TClassInfo& TnxHTTPProxy::StaticClass() {
  using P = Props<TnxHTTPProxy>;
  auto usesProxy = [](const TnxHTTPProxy& p, const AnsiString& value) {
    return p.AccessType == atUseProxy && !value.empty();
  };
  static const TClassInfo info{
      "TnxHTTPProxy",
      &TPersistent::StaticClass(),
      {P::EnumField("AccessType", &TnxHTTPProxy::AccessType,
                    {"atPreconfig", "atDirect", "atUseProxy"}, atPreconfig),
       P::IntField("ProxyPort", &TnxHTTPProxy::ProxyPort, kDefaultProxyPort),
       P::StoredWhen(P::StrField("ProxyServer", &TnxHTTPProxy::ProxyServer),
                     [usesProxy](const TnxHTTPProxy& p) { return usesProxy(p, p.ProxyServer); }),
       [usesProxy] {
         auto prop = P::StoredWhen(
             P::StrField("ProxyBypass", &TnxHTTPProxy::ProxyBypass),
             [usesProxy](const TnxHTTPProxy& p) { return usesProxy(p, p.ProxyBypass); });
         prop.defaultValue = TValue(std::string(kDefaultProxyBypass));
         return prop;
       }(),
       P::StrField("ProxyUsername", &TnxHTTPProxy::ProxyUsername),
       P::StrField("ProxyPassword", &TnxHTTPProxy::ProxyPassword)},
      {},
      {}};
  return info;
}

void TnxHTTPProxy::Assign(const TPersistent* source) {
  CheckAssignSource(source, *this);
  TPersistent::Assign(source);
}

// --- TnxHTTPRange and TnxHTTPTimeouts

const TClassInfo& TnxHTTPRange::StaticClass() {
  using P = Props<TnxHTTPRange>;
  static const TClassInfo info{
      "TnxHTTPRange",
      &TPersistent::StaticClass(),
      {P::Int(
           "StartRange", [](const TnxHTTPRange& r) { return static_cast<long long>(r.StartRange); },
           [](TnxHTTPRange& r, int v) { r.StartRange = static_cast<DWORD>(v); }, 0),
       P::Int(
           "EndRange", [](const TnxHTTPRange& r) { return static_cast<long long>(r.EndRange); },
           [](TnxHTTPRange& r, int v) { r.EndRange = static_cast<DWORD>(v); }, 0)},
      {},
      {}};
  return info;
}

void TnxHTTPRange::Assign(const TPersistent* source) {
  CheckAssignSource(source, *this);
  TPersistent::Assign(source);
}

const TClassInfo& TnxHTTPTimeouts::StaticClass() {
  using P = Props<TnxHTTPTimeouts>;
  auto prop = [](const char* name, DWORD TnxHTTPTimeouts::*field) {
    return P::Int(
        name, [field](const TnxHTTPTimeouts& t) { return static_cast<long long>(t.*field); },
        [field](TnxHTTPTimeouts& t, int v) { t.*field = static_cast<DWORD>(v); }, 0);
  };
  static const TClassInfo info{"TnxHTTPTimeouts",
                               &TPersistent::StaticClass(),
                               {prop("ConnectTimeout", &TnxHTTPTimeouts::ConnectTimeout),
                                prop("ReceiveTimeout", &TnxHTTPTimeouts::ReceiveTimeout),
                                prop("SendTimeout", &TnxHTTPTimeouts::SendTimeout)},
                               {},
                               {}};
  return info;
}

void TnxHTTPTimeouts::Assign(const TPersistent* source) {
  CheckAssignSource(source, *this);
  TPersistent::Assign(source);
}

// --- TnxOutputFileAttributes

const TClassInfo& TnxOutputFileAttributes::StaticClass() {
  using P = Props<TnxOutputFileAttributes>;
  static const std::vector<const char*> names{"atrArchive", "atrHidden",    "atrReadOnly",
                                              "atrSystem",  "atrTemporary", "atrOffline"};
  static const TClassInfo info{
      "TnxOutputFileAttributes",
      &TPersistent::StaticClass(),
      {P::Set(
           "Complete", [](const TnxOutputFileAttributes& a) { return a.Complete().ToByte(); },
           [](TnxOutputFileAttributes& a, unsigned v) {
             a.SetComplete(TnxFileAttributes::FromByte(static_cast<std::uint8_t>(v)));
           },
           names, kDefaultCompleteAttributes.ToByte()),
       P::Set(
           "Incomplete", [](const TnxOutputFileAttributes& a) { return a.Incomplete().ToByte(); },
           [](TnxOutputFileAttributes& a, unsigned v) {
             a.SetIncomplete(TnxFileAttributes::FromByte(static_cast<std::uint8_t>(v)));
           },
           names, kDefaultIncompleteAttributes.ToByte())},
      {},
      {}};
  return info;
}

void TnxOutputFileAttributes::Assign(const TPersistent* source) {
  CheckAssignSource(source, *this);
  TPersistent::Assign(source);
}

void TnxOutputFileAttributes::SetComplete(TnxFileAttributes value) {
  if (value == complete_) return;
  complete_ = value;
  Changed();
}

void TnxOutputFileAttributes::SetIncomplete(TnxFileAttributes value) {
  if (value == incomplete_) return;
  incomplete_ = value;
  Changed();
}

// --- TnxFileStream

TnxFileStream::TnxFileStream(const AnsiString& fileName, bool rewrite, bool clearProtection)
    : THandleStream(INVALID_HANDLE_VALUE) {
  constexpr DWORD kProtection = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
  DWORD oldAttributes = INVALID_FILE_ATTRIBUTES;
  if (clearProtection) {
    oldAttributes = GetFileAttributesA(fileName.c_str());
    // A file that is not there reads as all attributes, protection included.
    if (oldAttributes & kProtection) SetFileAttributesA(fileName.c_str(), FILE_ATTRIBUTE_ARCHIVE);
  }
  handle_ = CreateFileA(fileName.c_str(), GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        rewrite ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle_ == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    char full[MAX_PATH];
    DWORD n = GetFullPathNameA(fileName.c_str(), MAX_PATH, full, nullptr);
    AnsiString expanded = n > 0 && n < MAX_PATH ? AnsiString(full, n) : fileName;
    throw EFCreateError("Cannot create file \"" + expanded + "\". " + SysErrorMessage(error));
  }
  if (clearProtection && oldAttributes != INVALID_FILE_ATTRIBUTES)
    SetFileAttributesA(fileName.c_str(), oldAttributes);
}

TnxFileStream::~TnxFileStream() {
  if (handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr) CloseHandle(handle_);
}

// --- TnxLoginComponent

TBytes TnxLoginComponent::EncodeLoginInfo(const AnsiString& user, const AnsiString& password) {
  if (user.empty() && password.empty()) return {};
  std::size_t n = 1 + user.size() + password.size();
  if (n > kMaxLoginInfo)
    throw Exception("Cannot store the login: user name and password together are " +
                    IntToStr(static_cast<long long>(n - 1)) + " bytes long, at most " +
                    IntToStr(static_cast<long long>(kMaxLoginInfo - 1)) + " fit");
  TBytes record;
  record.reserve(n + 1);
  record.push_back(static_cast<std::uint8_t>(n));
  record.push_back(static_cast<std::uint8_t>(user.size()));
  record.insert(record.end(), user.begin(), user.end());
  record.insert(record.end(), password.begin(), password.end());
  const std::uint8_t mask = static_cast<std::uint8_t>(n) ^ kLoginInfoKey;
  for (std::size_t i = 1; i < record.size(); ++i) record[i] ^= mask;
  return record;
}

void TnxLoginComponent::DecodeLoginInfo(const TBytes& data, AnsiString& user,
                                        AnsiString& password) {
  if (data.empty()) throw EReadError("Error reading LInfo: no data");
  std::size_t n = data[0];
  if (n == 0 || data.size() != n + 1)
    throw EReadError("Error reading LInfo: the record announces " + IntToStr(n) + " bytes, " +
                     IntToStr(static_cast<long long>(data.size()) - 1) + " stand there");
  const std::uint8_t mask = static_cast<std::uint8_t>(n) ^ kLoginInfoKey;
  AnsiString plain(n, '\0');
  for (std::size_t i = 0; i < n; ++i) plain[i] = static_cast<char>(data[i + 1] ^ mask);
  std::size_t userLength = static_cast<std::uint8_t>(plain[0]);
  if (userLength > n - 1)
    throw EReadError("Error reading LInfo: the user name runs past the end of the record");
  user = plain.substr(1, userLength);
  password = plain.substr(1 + userLength);
}

const TClassInfo& TnxLoginComponent::StaticClass() {
  using P = Props<TnxLoginComponent>;
  static const TClassInfo info{"TnxLoginComponent",
                               &TComponent::StaticClass(),
                               {P::Binary(
                                   "LInfo",
                                   [](const TnxLoginComponent& c) {
                                     return EncodeLoginInfo(c.HTTPUsername, c.HTTPPassword);
                                   },
                                   [](TnxLoginComponent& c, const TBytes& v) {
                                     DecodeLoginInfo(v, c.HTTPUsername, c.HTTPPassword);
                                   })},
                               {},
                               {}};
  return info;
}

// --- TnxCustomHTTP: construction and settings

const TClassInfo& TnxCustomHTTP::StaticClass() {
  using P = Props<TnxCustomHTTP>;
  static const TClassInfo info{
      "TnxCustomHTTP",
      &TnxLoginComponent::StaticClass(),
      {P::Set(
           "InternetOptions", [](const TnxCustomHTTP& h) { return h.InternetOptions.Bits(); },
           [](TnxCustomHTTP& h, unsigned v) {
             h.InternetOptions = TnxInternetOptions::FromBits(v);
           },
           {"ioIgnoreCertificateInvalid", "ioIgnoreCertificateDateInvalid",
            "ioIgnoreUnknownCertificateAuthority", "ioIgnoreRedirectToHTTP",
            "ioIgnoreRedirectToHTTPS", "ioKeepConnection", "ioNoAuthentication", "ioNoAutoRedirect",
            "ioNoCookies"},
           kDefaultInternetOptions.Bits()),
       P::Object("Proxy", [](TnxCustomHTTP& h) { return h.Proxy(); }),
       P::Int(
           "TransferBufferSize", [](const TnxCustomHTTP& h) { return h.TransferBufferSize(); },
           [](TnxCustomHTTP& h, int v) { h.SetTransferBufferSize(v); }, kDefaultBufferSize),
       P::Enum<TThreadPriority>(
           "ThreadPriority", [](const TnxCustomHTTP& h) { return h.ThreadPriority(); },
           [](TnxCustomHTTP& h, TThreadPriority v) { h.SetThreadPriority(v); },
           {"tpIdle", "tpLowest", "tpLower", "tpNormal", "tpHigher", "tpHighest", "tpTimeCritical"},
           tpNormal)},
      {},
      {}};
  return info;
}

TnxCustomHTTP::TnxCustomHTTP(TComponent* owner)
    : TnxLoginComponent(owner),
      targetFileAttributes_(std::make_unique<TnxOutputFileAttributes>()),
      thread_(new TnxCustomThread(this)),
      proxy_(std::make_unique<TnxHTTPProxy>()),
      range_(std::make_unique<TnxHTTPRange>()),
      timeouts_(std::make_unique<TnxHTTPTimeouts>()) {
  thread_->OnWaitTimeout = [this](TObject* sender, bool& terminate) {
    HandleWaitTimeout(sender, terminate);
  };
}

TnxCustomHTTP::~TnxCustomHTTP() {
  Destroying();
  // A transfer still going on ends without further events; its worker cleans
  // up after itself, and the thread component waits for it.
  if (current_) LetGo(*current_);
  current_.reset();
}

void TnxCustomHTTP::SetTransferBufferSize(TnxBufferSize value) {
  transferBufferSize_ = value < kMinBufferSize ? kMinBufferSize : value;
}

TThreadPriority TnxCustomHTTP::ThreadPriority() const {
  return thread_->Priority();
}
void TnxCustomHTTP::SetThreadPriority(TThreadPriority value) {
  thread_->SetPriority(value);
}
bool TnxCustomHTTP::WaitForCompletion() const {
  return thread_->WaitForCompletion();
}
void TnxCustomHTTP::SetWaitForCompletion(bool value) {
  thread_->SetWaitForCompletion(value);
}

// --- the transfer object

TnxTransfer::TnxTransfer(TnxCustomHTTP& c, DWORD resumeStartValue, DWORD resumeEndValue)
    : owner(&c),
      thread(c.ThreadComponent()),
      url(c.URL),
      targetFileName(c.TargetFileName),
      formData(c.FormData),
      referrer(c.Referrer),
      acceptTypes(c.AcceptTypes),
      userAgent(c.UserAgent),
      extraHeaders(c.ExtraHeaders),
      verb(c.RequestVerb),
      cacheOptions(c.TransferCacheOptions),
      internetOptions(c.InternetOptions),
      goOnline(c.GoOnlineIfOffline),
      offline(c.UseOfflineMode),
      completeAttributes(c.TargetFileAttributes()->Complete()),
      incompleteAttributes(c.TargetFileAttributes()->Incomplete()),
      bufferSize(c.TransferBufferSize()),
      httpUsername(c.HTTPUsername),
      httpPassword(c.HTTPPassword),
      onRequestOpened(c.OnRequestOpened),
      onConnectionStatus(c.OnConnectionStatus),
      onRedirect(c.OnRedirect),
      hasHeadersHandler(static_cast<bool>(c.OnResponseHeaders)),
      hasProgressHandler(static_cast<bool>(c.OnTransferProgress)),
      hasLoginHandler(static_cast<bool>(c.OnLoginRequest)),
      hasProxyHandler(static_cast<bool>(c.OnProxyAuthenticationRequest)),
      resumeStart(resumeStartValue),
      resumeEnd(resumeEndValue) {
  proxy.Assign(c.Proxy());
  range.Assign(c.Range());
  timeouts.Assign(c.Timeouts());
}

AnsiString TnxTransfer::ContentTypeText() const {
  std::lock_guard<std::mutex> guard(lock);
  return contentType;
}

void TnxTransfer::SetContentType(const AnsiString& value) {
  std::lock_guard<std::mutex> guard(lock);
  contentType = value;
}

void TnxTransfer::CloseHandles() {
  localFile.reset();
  request.reset();
  connection.reset();
  session.reset();
}

void TnxTransfer::SettleWrites() {
  TBlockWriter* active;
  {
    std::lock_guard<std::mutex> guard(lock);
    active = writer;
  }
  // The worker waits for the main thread, so it cannot end the writer meanwhile;
  // a failed write is its own to notice.
  if (active) active->Drain();
}

void TnxTransfer::ReleaseData() {
  SettleWrites();
  if (data) {
    data.reset();
    if (writingToFile && incompleteAttributes != TnxFileAttributes{atrArchive})
      SetFileAttributesFromSet(targetFileName, incompleteAttributes);
  }
  writingToFile = false;
}

void TnxTransfer::CleanUpAfterStop() {
  if (cleanedUp.exchange(true)) return;
  CloseHandles();
  bool wasWriting = writingToFile;
  ReleaseData();
  if (wasWriting && deleteOnAbort) DeleteFileA(targetFileName.c_str());
}
