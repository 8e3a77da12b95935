#include "nxThread.h"
#include "nxThreadWindow.h"

namespace {

// Who destroys a thread object: its owner, or its thread when it ends.
constexpr int kReleasedByOwner = 0;
constexpr int kReleasedByThread = 1;
constexpr int kThreadEnded = 2;

// Each worker finds its own object here, also after the component dropped it.
const DWORD gCurrentThreadSlot = TlsAlloc();

// Lets a thread that was suspended any number of times run again.
void ResumeFully(HANDLE thread) {
  DWORD previous;
  do {
    previous = ResumeThread(thread);
  } while (previous != static_cast<DWORD>(-1) && previous > 1);
}

}  // namespace

TThreadPriority PriorityFromOS(int osPriority) {
  for (int i = tpIdle; i <= tpTimeCritical; ++i)
    if (kThreadPriorities[i] == osPriority) return static_cast<TThreadPriority>(i);
  return tpNormal;
}

TnxEventThread::TnxEventThread(TnxCustomThread* owner) : owner_(owner) {
  AllocThreadWindow();
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, ThreadProc, this, CREATE_SUSPENDED, &id);
  if (!thread) {
    DWORD error = GetLastError();
    ReleaseThreadWindow();
    throw EOSError(error);
  }
  handle_.reset(thread);
  threadId_ = id;
}

TnxEventThread::~TnxEventThread() {
  terminated_ = true;
  // A thread never resumed (or suspended again) runs only to its end; a thread
  // destroying its own object has nothing to wait for.
  if (GetCurrentThreadId() != threadId_) {
    ResumeFully(handle_.get());
    WaitFor();
  }
  handle_.reset();
  ReleaseThreadWindow();
}

TnxEventThread* TnxEventThread::Current() {
  return static_cast<TnxEventThread*>(TlsGetValue(gCurrentThreadSlot));
}

bool TnxEventThread::FreeOnTerminate() const {
  return release_ == kReleasedByThread;
}

void TnxEventThread::SetFreeOnTerminate() {
  if (release_.exchange(kReleasedByThread) == kThreadEnded) delete this;
}

bool TnxEventThread::Active() const {
  return started_ && release_ != kThreadEnded;
}

bool TnxEventThread::OwnerDestroying() const {
  return owner_ && owner_->IsDestroying();
}

void TnxEventThread::Resume() {
  if (ResumeThread(handle_.get()) == 1) {
    started_ = true;
    suspended_ = false;
  }
}

void TnxEventThread::Suspend() {
  suspended_ = true;
  SuspendThread(handle_.get());
}

void TnxEventThread::SetSuspended(bool value) {
  if (value == suspended_) return;
  if (value)
    Suspend();
  else
    Resume();
}

DWORD TnxEventThread::WaitFor() {
  if (GetCurrentThreadId() == threadId_) throw Exception("A thread cannot wait for its own end");
  HANDLE thread = handle_.get();
  // Calls that the awaited worker sends keep running, else it could never end.
  for (;;) {
    DWORD result = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE);
    if (result != WAIT_OBJECT_0 + 1) break;
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
  }
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  return code;
}

TThreadPriority TnxEventThread::GetPriority() const {
  return PriorityFromOS(GetThreadPriority(handle_.get()));
}

void TnxEventThread::SetPriority(TThreadPriority priority) {
  SetThreadPriority(handle_.get(), kThreadPriorities[priority]);
}

void TnxEventThread::Synchronize(const TThreadMethod& method) {
  const bool onWorker = GetCurrentThreadId() == threadId_;
  if (killed_) {
    if (onWorker) throw EThreadKilled();
    return;
  }
  HWND window = ThreadWindow();
  if (!window) return;
  // Read now: the call may destroy the owner (DestroyOwnerWhenDone, a handler).
  const bool raise = owner_ && !owner_->CatchExceptions();
  TCall call{&method, nullptr};
  if (OnThreadWindowThread()) {
    // What the window procedure would do, without touching pendingCall_,
    // which belongs to the worker's call.
    if (OwnerDestroying()) return;
    try {
      method();
    } catch (...) {
      call.captured = std::current_exception();
    }
  } else {
    pendingCall_ = &call;
    SendMessageA(window, kCallMessage, tcSynchronize, reinterpret_cast<LPARAM>(this));
    pendingCall_ = nullptr;
    // Dropped during the call: whatever the worker meant to do next is void.
    if (killed_ && onWorker) throw EThreadKilled();
  }
  if (call.captured && raise) std::rethrow_exception(call.captured);
}

TnxEventThread* TnxEventThread::Recreate() {
  auto* replacement = new TnxEventThread(owner_);
  try {
    replacement->SetPriority(GetPriority());
    replacement->OnFinish = OnFinish;
    replacement->OnExecute = OnExecute;
    replacement->OnException = OnException;
  } catch (...) {
    delete replacement;
    throw;
  }
  return replacement;
}

TnxEventThread* TnxEventThread::KillAndRecreate() {
  if (GetCurrentThreadId() == threadId_) {
    // A stop from the work itself: the component takes its replacement on the
    // main thread, then this worker's stack unwinds to ThreadProc.
    terminated_ = true;
    if (!killed_) {
      RunOnThreadWindow([this] {
        if (owner_ && !owner_->IsDestroying())
          owner_->Replace(this);
        else
          killed_ = true;
      });
    }
    throw EThreadKilled();
  }
  TnxEventThread* replacement = Recreate();
  Drop();
  return replacement;
}

void TnxEventThread::Drop() {
  terminated_ = true;
  if (!Active()) {
    delete this;
    return;
  }
  killed_ = true;
  // A worker suspended on purpose must still reach its end.
  ResumeFully(handle_.get());
  if (owner_) owner_->NoteDropped(this);
  SetFreeOnTerminate();
}

DWORD WINAPI TnxEventThread::ThreadProc(void* parameter) {
  auto* self = static_cast<TnxEventThread*>(parameter);
  TlsSetValue(gCurrentThreadSlot, self);
  // Nothing may leave this frame: Windows called it.
  if (!self->terminated_) {
    self->running_ = true;
    try {
      self->DoExecute();
    } catch (...) {
      // Killed, or an error of the work with CatchExceptions False: the run ends.
    }
    try {
      if (!self->killed_ && self->OnFinish) self->Synchronize([self] { self->DoFinish(); });
    } catch (...) {
    }
    self->running_ = false;
  }
  if (self->release_.exchange(kThreadEnded) == kReleasedByThread) delete self;
  return 0;
}

void TnxEventThread::DoExecute() {
  if (!OnExecute || OwnerDestroying()) return;
  if (owner_ && !owner_->CatchExceptions()) {
    OnExecute(owner_);
    return;
  }
  try {
    OnExecute(owner_);
  } catch (const EThreadKilled&) {
    throw;
  } catch (...) {
    if (OnException && !killed_ && !OwnerDestroying()) Synchronize([this] { DoException(); });
  }
}

void TnxEventThread::DoException() {
  if (!OwnerDestroying() && OnException) OnException(owner_);
}

void TnxEventThread::DoFinish() {
  TnxCustomThread* component = owner_;
  const bool destroyOwner = component && component->DestroyOwnerWhenDone();
  if (OnFinish && !OwnerDestroying()) {
    if (component && !component->CatchExceptions()) {
      OnFinish(component);
    } else {
      try {
        OnFinish(component);
      } catch (...) {
        // A handler that destroyed the component also dropped this object.
        if (!killed_ && OnException && !OwnerDestroying()) OnException(component);
      }
    }
  }
  // OnFinish may have started the next run or destroyed the component: then
  // this object is no longer the component's and nothing here concerns it.
  if (killed_ || !destroyOwner || !component->Owner()) return;
  TComponent* target = component->Owner();
  component->thread_ = Recreate();
  // Our worker waits for this call, so the object outlives it; then its
  // thread releases it.
  SetFreeOnTerminate();
  delete target;
}
