// Starting and stopping transfers, the progress figures, and the turning of a
// finished transfer into exactly one outcome:
//
//   Success with a data stream        OnTransferDone
//   Success without a data stream     OnTransferFailed, OnNoDataStream
//   no Success, status 200 or 206     OnTransferIncomplete, OnTransferFailed
//   no Success, status -1             OnServerUnreachable, OnTransferFailed
//   no Success, any other status      OnHTTPStatusError, OnTransferFailed (a
//                                     target file being written is deleted)
//   headers handler said no           OnTransferSkipped
//   stopped                           OnTransferAborted only
#include <cmath>

#include "nxHTTPTransfer.h"

namespace {

constexpr int kStatusOK = 200;
constexpr int kStatusPartial = 206;

int RoundHalfEven(double value) {
  return static_cast<int>(std::nearbyint(value));
}

}  // namespace

TnxProgressFigures ComputeProgressFigures(int contentLength, int bytesTransferred,
                                          DWORD resumeStart, DWORD elapsedMs) {
  TnxProgressFigures f;
  auto total = static_cast<std::uint32_t>(contentLength) + resumeStart;
  auto done = static_cast<std::uint32_t>(bytesTransferred) + resumeStart;
  f.PercentsDone = PercentOf(total, done);
  f.ElapsedTime = static_cast<int>(elapsedMs / 1000);
  if (bytesTransferred != 0)
    f.EstimatedTimeLeft =
        RoundHalfEven(static_cast<double>(contentLength) / bytesTransferred * f.ElapsedTime) -
        f.ElapsedTime;
  else
    f.EstimatedTimeLeft = -f.ElapsedTime;
  double kilobytes = bytesTransferred / 1024.0;
  f.TransferRate = static_cast<float>(f.ElapsedTime ? kilobytes / f.ElapsedTime : kilobytes);
  return f;
}

// --- main thread

bool TnxCustomHTTP::FetchRange(DWORD resumeStart, DWORD resumeEnd, bool wait) {
  if (Busy()) return false;
  std::shared_ptr<TnxTransfer> old = std::move(current_);
  if (old) {
    bool running;
    {
      std::lock_guard<std::mutex> guard(old->lock);
      running = !old->workerDone;
    }
    if (running) LetGo(*old);
  }
  auto t = std::make_shared<TnxTransfer>(*this, resumeStart, resumeEnd);
  current_ = t;
  // Handlers are bound to the transfer on an idle thread object, never on one
  // whose worker may be running them; Start hands them to the fresh object.
  thread_->Stop(true);
  auto bind = [](std::function<void(TObject*)> handler) {
    TNotifyEvent event;
    event = std::move(handler);
    return event;
  };
  thread_->SetOnExecute(bind([t](TObject*) { ExecuteRequest(t); }));
  thread_->SetOnFinish(bind([this, t](TObject*) { CompleteTransfer(t); }));
  thread_->SetOnException(bind([this, t](TObject*) { HandleThreadException(t); }));
  bool remembered = thread_->WaitForCompletion();
  if (wait) thread_->SetWaitForCompletion(true);
  bool result = thread_->Start();
  if (wait) thread_->SetWaitForCompletion(remembered);
  return result;
}

void TnxCustomHTTP::Abort(bool deleteTargetFile, bool immediately) {
  std::shared_ptr<TnxTransfer> t = current_;
  if (!t) return;
  {
    std::lock_guard<std::mutex> guard(t->lock);
    // A worker just started may not read as running yet; its transfer is
    // stopped all the same.
    if (t->letGo || t->workerDone || !t->busy) return;
    t->deleteOnAbort = deleteTargetFile;
    // A worker that has not begun would never look at a stop request: it
    // may end without running the work at all.
    if (!t->started) immediately = true;
  }
  thread_->Stop(immediately);
  if (!immediately) return;
  LetGo(*t);
  FireAborted();
}

void TnxCustomHTTP::LetGo(TnxTransfer& t) {
  bool parked;
  {
    std::lock_guard<std::mutex> guard(t.lock);
    if (t.letGo) return;
    t.letGo = true;
    parked = t.WorkerParked();
  }
  if (parked) t.CleanUpAfterStop();
  t.busy = false;
}

void TnxCustomHTTP::FireAborted() {
  if (!IsDestroying() && OnTransferAborted) OnTransferAborted(this);
}

void TnxCustomHTTP::ReleaseTransferData() {
  std::shared_ptr<TnxTransfer> t = current_;
  if (!t) return;
  bool parked;
  {
    std::lock_guard<std::mutex> guard(t->lock);
    parked = t->WorkerParked() && !t->letGo;
  }
  if (parked) t->ReleaseData();
  t->busy = false;
}

bool TnxCustomHTTP::Busy() const {
  return current_ && current_->busy;
}
bool TnxCustomHTTP::Transferring() const {
  return thread_->Running();
}

bool TnxCustomHTTP::WaitForStoppedTransfers(DWORD timeoutMs) {
  return thread_->WaitForKilled(timeoutMs);
}

void TnxCustomHTTP::ExecuteRequest(const std::shared_ptr<TnxTransfer>& transfer) {
  std::shared_ptr<TnxTransfer> t = transfer;  // lives as long as this worker needs it
  {
    std::lock_guard<std::mutex> guard(t->lock);
    if (t->letGo) {
      t->workerDone = true;
      return;
    }
    t->started = true;
  }
  scope_exit done([&t] {
    bool cleanUp;
    {
      std::lock_guard<std::mutex> guard(t->lock);
      t->workerDone = true;
      cleanUp = t->letGo;
    }
    if (cleanUp) t->CleanUpAfterStop();
  });
  RunRequest(*t);
}

void TnxCustomHTTP::CompleteTransfer(const std::shared_ptr<TnxTransfer>& transfer) {
  std::shared_ptr<TnxTransfer> t = transfer;  // a handler may start the next transfer
  {
    std::lock_guard<std::mutex> guard(t->lock);
    if (t->letGo) return;
  }
  if (IsDestroying()) return;
  // A handler that raises must not leave the component busy for good.
  scope_exit release([&t] {
    t->ReleaseData();
    t->busy = false;
  });
  t->CloseHandles();
  if (t->data) t->data->SetPosition(0);
  bool deleteTarget = false;
  AnsiString contentType = t->ContentTypeText();
  if (t->continueDownload) {
    if (t->success && !t->data) {
      OnTransferFailed(this);
      OnNoDataStream(this);
      t->busy = false;
      return;
    }
    if (t->success) {
      if (t->writingToFile) {
        t->ReleaseData();
        t->busy = false;
        if (t->completeAttributes != t->incompleteAttributes)
          SetFileAttributesFromSet(t->targetFileName, t->completeAttributes);
      }
      OnTransferDone(this, contentType, t->bytesTransferred + static_cast<int>(t->resumeStart),
                     t->data.get());
    } else {
      if (t->statusCode == kStatusOK || t->statusCode == kStatusPartial)
        OnTransferIncomplete(this, contentType, t->contentLength, t->bytesTransferred,
                             t->data.get());
      else if (t->statusCode == -1)
        OnServerUnreachable(this);
      else {
        OnHTTPStatusError(this, t->statusCode, t->data.get());
        deleteTarget = t->writingToFile;
      }
      OnTransferFailed(this);
    }
  }
  // From here on only the finished transfer is touched, whatever the handlers
  // started meanwhile.
  t->ReleaseData();
  t->busy = false;
  if (deleteTarget) DeleteFileA(t->targetFileName.c_str());
  if (!t->continueDownload && !IsDestroying()) OnTransferSkipped(this);
}

void TnxCustomHTTP::HandleThreadException(const std::shared_ptr<TnxTransfer>& t) {
  {
    std::lock_guard<std::mutex> guard(t->lock);
    if (t->letGo) return;
  }
  if (!IsDestroying()) OnTransferFailed(this);
}

void TnxCustomHTTP::HandleWaitTimeout(TObject*, bool& terminate) {
  OnWaitExpired(this, terminate);
  if (terminate && current_) LetGo(*current_);
}

// --- results

#define NX_RESULT(Type, Name, field, fallback)         \
  Type TnxCustomHTTP::Name() const {                   \
    if (!current_) return fallback;                    \
    std::lock_guard<std::mutex> guard(current_->lock); \
    return current_->field;                            \
  }
NX_RESULT(int, StatusCode, statusCode, -1)
NX_RESULT(int, ContentLength, contentLength, 0)
NX_RESULT(int, BytesTransferred, bytesTransferred, 0)
NX_RESULT(AnsiString, ContentType, contentType, AnsiString())
NX_RESULT(AnsiString, RawHeaders, rawHeaders, AnsiString())
NX_RESULT(AnsiString, ContentLanguage, contentLanguage, AnsiString())
NX_RESULT(AnsiString, ContentEncoding, contentEncoding, AnsiString())
NX_RESULT(AnsiString, Location, location, AnsiString())
NX_RESULT(AnsiString, ETag, etag, AnsiString())
NX_RESULT(TDateTime, ServerDate, serverDate, 0)
NX_RESULT(TDateTime, LastModified, lastModified, 0)
NX_RESULT(TDateTime, Expires, expires, 0)
NX_RESULT(std::uint8_t, PercentsDone, percentsDone, 0)
NX_RESULT(int, ElapsedTime, elapsedTime, 0)
NX_RESULT(int, EstimatedTimeLeft, estimatedTimeLeft, 0)
NX_RESULT(float, TransferRate, transferRate, -1)
#undef NX_RESULT

// --- worker side

void SynchronizeFor(TnxTransfer& t, const std::function<void()>& method) {
  {
    std::lock_guard<std::mutex> guard(t.lock);
    if (t.letGo) throw EThreadKilled();
    t.inSync = true;
  }
  auto leave = [&t] {
    std::lock_guard<std::mutex> guard(t.lock);
    t.inSync = false;
    return t.letGo;
  };
  try {
    TnxEventThread::Current()->Synchronize([&t, &method] {
      {
        std::lock_guard<std::mutex> guard(t.lock);
        if (t.letGo) return;
      }
      try {
        method();
      } catch (...) {
        // A handler's failure does not stop the transfer.
      }
    });
  } catch (...) {
    leave();
    throw;
  }
  if (leave()) throw EThreadKilled();
}

void CheckAbort(TnxTransfer& t) {
  {
    std::lock_guard<std::mutex> guard(t.lock);
    if (t.letGo) throw EThreadKilled();
  }
  t.thread->CheckKilled();
  if (t.thread->Terminated()) FinishAbort(t);
}

void FinishAbort(TnxTransfer& t) {
  t.CloseHandles();
  SynchronizeFor(t, [&t] {
    // The component gets a fresh thread object before anyone hears of the
    // stop, so that a handler may start the next transfer at once.
    t.thread->Stop(true);
    TnxCustomHTTP* owner = t.owner;
    owner->LetGo(t);
    owner->FireAborted();
  });
  throw EThreadKilled();
}

void UpdateProgressFigures(TnxTransfer& t) {
  TnxProgressFigures f = ComputeProgressFigures(t.contentLength, t.bytesTransferred, t.resumeStart,
                                                GetTickCount() - t.startTick);
  t.percentsDone = f.PercentsDone;
  t.elapsedTime = f.ElapsedTime;
  t.estimatedTimeLeft = f.EstimatedTimeLeft;
  t.transferRate = f.TransferRate;
}

void ProgressStep(TnxTransfer& t) {
  SynchronizeFor(t, [&t] {
    UpdateProgressFigures(t);
    TnxCustomHTTP* owner = t.owner;
    if (owner->IsDestroying()) return;
    // The block was still being stored while this call came over.
    t.SettleWrites();
    auto resume = static_cast<int>(t.resumeStart);
    owner->OnTransferProgress(owner, t.ContentTypeText(), t.contentLength + resume,
                              t.bytesTransferred + resume, t.elapsedTime, t.estimatedTimeLeft,
                              t.percentsDone, t.transferRate, t.data.get());
  });
}
