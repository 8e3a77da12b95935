// The working state of one transfer, shared by the component (main thread)
// and the worker that runs it. Internal to the HTTP component.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "nxHTTP.h"

class TBlockWriter;

using unique_hinternet = unique_any<HINTERNET, &::InternetCloseHandle>;

struct TnxTransfer {
  TnxTransfer(TnxCustomHTTP& component, DWORD resumeStartValue, DWORD resumeEndValue);

  // --- the settings as they stood when the transfer started
  TnxCustomHTTP* owner;     // used on the main thread only, while not let go
  TnxCustomThread* thread;  // the owner's thread component
  AnsiString url, targetFileName, formData, referrer, acceptTypes, userAgent;
  TStringsValue extraHeaders;
  TnxHTTPVerb verb;
  TnxCacheOptions cacheOptions;
  TnxInternetOptions internetOptions;
  bool goOnline, offline;
  TnxHTTPProxy proxy;
  TnxHTTPRange range;
  TnxHTTPTimeouts timeouts;
  TnxFileAttributes completeAttributes, incompleteAttributes;
  TnxBufferSize bufferSize;
  AnsiString httpUsername, httpPassword;
  // Handlers that run on the worker itself.
  TnxHTTPRequestEvent onRequestOpened;
  TnxHTTPStatusEvent onConnectionStatus;
  TnxHTTPRedirectEvent onRedirect;
  bool hasHeadersHandler, hasProgressHandler, hasLoginHandler, hasProxyHandler;

  // --- results: numbers are written by the worker and read while it waits or
  // has ended; texts are guarded by `lock`.
  int statusCode = -1;
  int contentLength = 0;
  int bytesTransferred = 0;
  AnsiString contentType, rawHeaders, contentLanguage, contentEncoding, location, etag;
  TDateTime serverDate = 0, lastModified = 0, expires = 0;
  std::uint8_t percentsDone = 0;
  int elapsedTime = 0, estimatedTimeLeft = 0;
  float transferRate = -1;

  // --- working state
  DWORD resumeStart, resumeEnd;
  bool success = false;
  bool tryAgain = false;
  bool writingToFile = false;
  bool continueDownload = true;
  bool deleteOnAbort = false;
  DWORD startTick = 0;
  unique_handle localFile;
  unique_hinternet session, connection, request;
  std::unique_ptr<TStream> data;

  // --- control
  mutable std::mutex lock;
  // Stores the body's blocks while the worker receives on (guarded by `lock`;
  // set by the worker while the body arrives).
  TBlockWriter* writer = nullptr;
  bool busy = true;         // main thread only
  bool started = false;     // the worker entered the work
  bool inSync = false;      // the worker waits for a call on the main thread
  bool workerDone = false;  // the worker left the work
  bool letGo = false;       // stopped at once: nobody may use it but its worker
  std::atomic<bool> cleanedUp{false};

  AnsiString ContentTypeText() const;
  void SetContentType(const AnsiString& value);

  void CloseHandles();
  // Waits until every block the worker received is in the data stream. Whoever
  // reads or frees the stream while the worker waits for the main thread calls
  // this first.
  void SettleWrites();
  // Frees the data stream; a target file being written gets the Incomplete
  // attributes.
  void ReleaseData();
  // The clean-up of a transfer stopped at once: handles, data, and the target
  // file when it is to be deleted. Runs once, on whichever side gets there.
  void CleanUpAfterStop();
  // Whether the worker cannot touch the transfer now (it waits for the main
  // thread, has ended, or never started). Call with `lock` held.
  bool WorkerParked() const { return inSync || workerDone || !started; }
};

// Worker side of transfer control (nxHTTPControl.cpp).
// Returns only when no stop was requested; otherwise the worker unwinds
// (EThreadKilled) after the stop has been dealt with.
void CheckAbort(TnxTransfer& t);
// The clean-up of a stop request noticed by the worker; ends by unwinding.
void FinishAbort(TnxTransfer& t);
// Runs method on the main thread while the worker waits; handler failures are
// dropped. Unwinds when the transfer was stopped at once meanwhile.
void SynchronizeFor(TnxTransfer& t, const std::function<void()>& method);
void ProgressStep(TnxTransfer& t);
void UpdateProgressFigures(TnxTransfer& t);

// The request itself (nxHTTPRequest.cpp).
void RunRequest(TnxTransfer& t);
