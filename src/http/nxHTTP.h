// The HTTP transfer component: one HTTP, HTTPS or local-file transfer at a
// time on a worker thread of its own, into memory or into a file, with proxy,
// ranges and resume, authentication retries, progress figures and one outcome
// event per transfer on the main thread.
//
// Each transfer keeps its working state (handles, buffer, data stream, result
// fields and a copy of the settings) in a transfer object of its own, shared
// by the component and the worker. A transfer stopped at once is only let go
// of: its worker cleans up after itself at its next check point, so nothing of
// it can touch the next transfer or a component that is gone.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

#include "Component.h"
#include "Streams.h"
#include "nxThread.h"
#include "nxUtils.h"

// A set of up to 16 members of the enumeration E, bit n standing for member n.
template <typename E, typename Storage>
class TnxSet {
 public:
  constexpr TnxSet() = default;
  constexpr TnxSet(std::initializer_list<E> members) {
    for (E m : members) Include(m);
  }
  static constexpr TnxSet FromBits(unsigned bits) {
    TnxSet s;
    s.bits_ = static_cast<Storage>(bits);
    return s;
  }
  constexpr unsigned Bits() const { return bits_; }
  constexpr bool Contains(E m) const { return (bits_ >> static_cast<unsigned>(m)) & 1u; }
  constexpr void Include(E m) {
    bits_ = static_cast<Storage>(bits_ | (1u << static_cast<unsigned>(m)));
  }
  constexpr void Exclude(E m) {
    bits_ = static_cast<Storage>(bits_ & ~(1u << static_cast<unsigned>(m)));
  }
  constexpr bool operator==(TnxSet o) const { return bits_ == o.bits_; }
  constexpr bool operator!=(TnxSet o) const { return bits_ != o.bits_; }

 private:
  Storage bits_ = 0;
};

enum TnxHTTPAccessType : std::uint8_t { atPreconfig, atDirect, atUseProxy };

enum TnxInternetOption : std::uint8_t {
  ioIgnoreCertificateInvalid,
  ioIgnoreCertificateDateInvalid,
  ioIgnoreUnknownCertificateAuthority,
  ioIgnoreRedirectToHTTP,
  ioIgnoreRedirectToHTTPS,
  ioKeepConnection,
  ioNoAuthentication,
  ioNoAutoRedirect,
  ioNoCookies
};
using TnxInternetOptions = TnxSet<TnxInternetOption, std::uint16_t>;

enum TnxCacheOption : std::uint8_t {
  coAlwaysReload,
  coReloadIfNoExpireInformation,
  coReloadUpdatedObjects,
  coPragmaNoCache,
  coNoCacheWrite,
  coCreateTempFilesIfCantCache,
  coUseCacheIfNetFail
};
using TnxCacheOptions = TnxSet<TnxCacheOption, std::uint8_t>;

enum TnxHTTPVerb : std::uint8_t { hvAuto, hvGet, hvPost };

// Bytes asked for per read: 255 to 2147483647.
using TnxBufferSize = std::int32_t;
constexpr TnxBufferSize kMinBufferSize = 255;
constexpr TnxBufferSize kDefaultBufferSize = 4096;

constexpr char kDefaultAcceptTypes[] = "text/html, */*";
constexpr char kDefaultUserAgent[] = "qdHTTP component (www.corvane.example)";
constexpr char kDefaultProxyBypass[] = "127.0.0.1;";
constexpr int kDefaultProxyPort = 8080;
constexpr TnxCacheOptions kDefaultCacheOptions{
    coReloadIfNoExpireInformation, coReloadUpdatedObjects, coCreateTempFilesIfCantCache};
constexpr TnxInternetOptions kDefaultInternetOptions{ioKeepConnection};

// ---------------------------------------------------------------------------
// Settings sub-objects (nxHTTPSettings.cpp). Assign copies from an object of
// the same class, resets to the defaults from null, and fails for other classes.

class TnxHTTPProxy : public TPersistent {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }
  void Assign(const TPersistent* source) override;

  TnxHTTPAccessType AccessType = atPreconfig;
  int ProxyPort = kDefaultProxyPort;
  AnsiString ProxyServer;
  AnsiString ProxyBypass = kDefaultProxyBypass;
  AnsiString ProxyUsername;
  AnsiString ProxyPassword;
};

class TnxHTTPRange : public TPersistent {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }
  void Assign(const TPersistent* source) override;

  DWORD StartRange = 0;
  DWORD EndRange = 0;
};

// Milliseconds; 0 leaves the system's own time-out in force.
class TnxHTTPTimeouts : public TPersistent {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }
  void Assign(const TPersistent* source) override;

  DWORD ConnectTimeout = 0;
  DWORD ReceiveTimeout = 0;
  DWORD SendTimeout = 0;
};

constexpr TnxFileAttributes kDefaultCompleteAttributes{atrArchive};
constexpr TnxFileAttributes kDefaultIncompleteAttributes{atrArchive, atrTemporary};

class TnxOutputFileAttributes : public TPersistent {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }
  void Assign(const TPersistent* source) override;

  TnxFileAttributes Complete() const { return complete_; }
  TnxFileAttributes Incomplete() const { return incomplete_; }
  void SetComplete(TnxFileAttributes value);
  void SetIncomplete(TnxFileAttributes value);

 protected:
  // Called when either set changes; descendants may react.
  virtual void Changed() {}

 private:
  TnxFileAttributes complete_ = kDefaultCompleteAttributes;
  TnxFileAttributes incomplete_ = kDefaultIncompleteAttributes;
};

// The file a download is written into, opened for reading and writing and
// shared both ways. Raises EFCreateError when it cannot be opened.
class TnxFileStream : public THandleStream {
 public:
  TnxFileStream(const AnsiString& fileName, bool rewrite, bool clearProtection);
  ~TnxFileStream() override;
  TnxFileStream(const TnxFileStream&) = delete;
  TnxFileStream& operator=(const TnxFileStream&) = delete;
};

// Holds the server credentials and stores them scrambled as the binary form
// property "LInfo" (never as plain text).
class TnxLoginComponent : public TComponent {
 public:
  explicit TnxLoginComponent(TComponent* owner) : TComponent(owner) {}
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }

  AnsiString HTTPUsername;
  AnsiString HTTPPassword;

  // The "LInfo" record of the two (empty when both are empty). Raises when
  // they do not fit the record's one length byte.
  static TBytes EncodeLoginInfo(const AnsiString& user, const AnsiString& password);
  // Raises EReadError for a record that is cut short or does not add up.
  static void DecodeLoginInfo(const TBytes& data, AnsiString& user, AnsiString& password);
};
constexpr std::uint8_t kLoginInfoKey = 0x5A;

// ---------------------------------------------------------------------------
// URL routines and the status callback (nxHTTPURL.cpp)

bool SplitURL(const AnsiString& url, AnsiString& scheme, AnsiString& host, AnsiString& path,
              AnsiString& userName, AnsiString& password, AnsiString& extraInfo, WORD& port);
AnsiString EscapeExtraInfo(const AnsiString& s);
AnsiString URLHostOf(const AnsiString& url);
AnsiString URLPathFileName(const AnsiString& url);
// The flags a request is opened with, by its scheme and the options.
DWORD RequestFlags(const AnsiString& scheme, TnxCacheOptions cache, TnxInternetOptions options);
// The text of a status number of the Internet library's callback.
const char* StatusText(DWORD status);
// Installed on every session; the context is the transfer that made the call.
void CALLBACK HTTPStatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, void* info,
                                 DWORD infoLength);

// ---------------------------------------------------------------------------
// Progress figures (nxHTTPControl.cpp)

struct TnxProgressFigures {
  std::uint8_t PercentsDone = 0;
  int ElapsedTime = 0;        // seconds
  int EstimatedTimeLeft = 0;  // seconds, without the resumed part
  float TransferRate = 0;     // kilobytes per second
};
// The figures of a transfer elapsedMs into its run: total and done count the
// resumed part, the time left and the rate only what this run received.
TnxProgressFigures ComputeProgressFigures(int contentLength, int bytesTransferred,
                                          DWORD resumeStart, DWORD elapsedMs);

// ---------------------------------------------------------------------------
// The component

class TnxCustomHTTP;
struct TnxTransfer;

using TnxHTTPRequestEvent = TEvent<TObject*, HINTERNET>;
using TnxHTTPHeadersEvent = TEvent<TObject*, int, const AnsiString&, const AnsiString&,
                                   const AnsiString&, const AnsiString&, int, const AnsiString&,
                                   TDateTime, TDateTime, TDateTime, const AnsiString&, bool&>;
// ContentType, FileSize, BytesRead, ElapsedTime, EstimatedTimeLeft, PercentsDone,
// TransferRate, Data
using TnxHTTPProgressEvent =
    TEvent<TObject*, const AnsiString&, int, int, int, int, std::uint8_t, float, TStream*>;
using TnxHTTPDoneEvent = TEvent<TObject*, const AnsiString&, int, TStream*>;
using TnxHTTPIncompleteEvent = TEvent<TObject*, const AnsiString&, int, int, TStream*>;
using TnxHTTPStatusErrorEvent = TEvent<TObject*, int, TStream*>;
using TnxHTTPPasswordRequestEvent = TEvent<TObject*, const AnsiString&, bool&>;
using TnxHTTPProxyAuthenticationEvent = TEvent<TObject*, AnsiString&, AnsiString&, bool&>;
using TnxHTTPStatusEvent = TEvent<TObject*, int, const AnsiString&>;
using TnxHTTPRedirectEvent = TEvent<TObject*, const AnsiString&>;

class TnxCustomHTTP : public TnxLoginComponent {
 public:
  explicit TnxCustomHTTP(TComponent* owner);
  ~TnxCustomHTTP() override;
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }

  // Settings. A transfer takes its copy of them when it starts; handlers of
  // OnLoginRequest and OnProxyAuthenticationRequest may change the credentials.
  AnsiString URL;
  AnsiString TargetFileName;  // empty: into memory
  AnsiString FormData;
  AnsiString Referrer;
  AnsiString AcceptTypes = kDefaultAcceptTypes;
  AnsiString UserAgent = kDefaultUserAgent;
  TStringsValue ExtraHeaders;
  TnxHTTPVerb RequestVerb = hvAuto;
  TnxCacheOptions TransferCacheOptions = kDefaultCacheOptions;
  TnxInternetOptions InternetOptions = kDefaultInternetOptions;
  bool GoOnlineIfOffline = false;
  bool UseOfflineMode = false;
  TnxHTTPProxy* Proxy() const { return proxy_.get(); }
  TnxHTTPRange* Range() const { return range_.get(); }
  TnxHTTPTimeouts* Timeouts() const { return timeouts_.get(); }
  TnxOutputFileAttributes* TargetFileAttributes() const { return targetFileAttributes_.get(); }
  TnxBufferSize TransferBufferSize() const { return transferBufferSize_; }
  void SetTransferBufferSize(TnxBufferSize value);
  TThreadPriority ThreadPriority() const;
  void SetThreadPriority(TThreadPriority value);
  bool WaitForCompletion() const;
  void SetWaitForCompletion(bool value);

  // Events: see the outcome table in nxHTTPControl.cpp. OnRequestOpened,
  // OnConnectionStatus and OnRedirect run on the worker thread, all others on
  // the main thread.
  TnxHTTPRequestEvent OnRequestOpened;
  TnxHTTPHeadersEvent OnResponseHeaders;
  TnxHTTPProgressEvent OnTransferProgress;
  TnxHTTPDoneEvent OnTransferDone;
  TnxHTTPIncompleteEvent OnTransferIncomplete;
  TnxHTTPStatusErrorEvent OnHTTPStatusError;
  TNotifyEvent OnServerUnreachable;
  TNotifyEvent OnTransferSkipped;
  TNotifyEvent OnTransferFailed;
  TNotifyEvent OnTransferAborted;
  TNotifyEvent OnNoDataStream;
  TnxHTTPPasswordRequestEvent OnLoginRequest;
  TnxHTTPProxyAuthenticationEvent OnProxyAuthenticationRequest;
  TnxHTTPStatusEvent OnConnectionStatus;
  TnxHTTPRedirectEvent OnRedirect;
  TnxWaitTimeoutEvent OnWaitExpired;

  // Transfer control (nxHTTPControl.cpp).
  bool Fetch(bool wait) { return FetchRange(0, 0, wait); }
  // False, changing nothing, while Busy.
  bool FetchRange(DWORD resumeStart, DWORD resumeEnd, bool wait);
  void Abort(bool deleteTargetFile, bool immediately);
  // Frees the buffer and the data stream of the current transfer, closes a
  // target file with the Incomplete attributes and clears Busy.
  void ReleaseTransferData();
  bool Busy() const;
  bool Transferring() const;
  // Waits (messages keep running) until the workers of transfers stopped at
  // once have cleaned up and ended; True when none is left.
  bool WaitForStoppedTransfers(DWORD timeoutMs);

  // Results of the current or last transfer.
  int StatusCode() const;
  int ContentLength() const;
  int BytesTransferred() const;
  AnsiString ContentType() const;
  AnsiString RawHeaders() const;
  AnsiString ContentLanguage() const;
  AnsiString ContentEncoding() const;
  AnsiString Location() const;
  AnsiString ETag() const;
  TDateTime ServerDate() const;
  TDateTime LastModified() const;
  TDateTime Expires() const;
  std::uint8_t PercentsDone() const;
  int ElapsedTime() const;
  int EstimatedTimeLeft() const;
  float TransferRate() const;

  AnsiString URLHostName() const { return URLHostOf(URL); }
  AnsiString URLFileName() const { return URLPathFileName(URL); }

 protected:
  TnxCustomThread* ThreadComponent() const { return thread_; }

 private:
  friend struct TnxTransfer;
  friend void FinishAbort(TnxTransfer& t);
  friend void ProgressStep(TnxTransfer& t);

  // nxHTTPControl.cpp
  // The work of the thread component. Uses nothing of the component: a worker
  // may outlive its transfer's place in it.
  static void ExecuteRequest(const std::shared_ptr<TnxTransfer>& t);
  void CompleteTransfer(const std::shared_ptr<TnxTransfer>& t);
  void HandleThreadException(const std::shared_ptr<TnxTransfer>& t);
  void HandleWaitTimeout(TObject* sender, bool& terminate);
  // Main thread: the transfer is stopped at once; its worker, when it is not
  // parked, cleans up after itself.
  void LetGo(TnxTransfer& t);
  void FireAborted();

  std::unique_ptr<TnxOutputFileAttributes> targetFileAttributes_;
  TnxCustomThread* thread_ = nullptr;  // owned as a component
  std::unique_ptr<TnxHTTPProxy> proxy_;
  std::unique_ptr<TnxHTTPRange> range_;
  std::unique_ptr<TnxHTTPTimeouts> timeouts_;
  TnxBufferSize transferBufferSize_ = kDefaultBufferSize;
  std::shared_ptr<TnxTransfer> current_;
};
