#include "Application.h"
#include "nxThread.h"
#include "nxThreadWindow.h"

const TClassInfo& TnxCustomThread::StaticClass() {
  using P = Props<TnxCustomThread>;
  using C = TnxCustomThread;
  static const TClassInfo info{
      "TnxCustomThread",
      &TComponent::StaticClass(),
      {P::Bool(
           "Suspended", [](const C& c) { return c.Suspended(); },
           [](C& c, bool v) { c.SetSuspended(v); }, true),
       P::Bool(
           "CatchExceptions", [](const C& c) { return c.CatchExceptions(); },
           [](C& c, bool v) { c.SetCatchExceptions(v); }, true),
       P::Bool(
           "DestroyOwnerWhenDone", [](const C& c) { return c.DestroyOwnerWhenDone(); },
           [](C& c, bool v) { c.SetDestroyOwnerWhenDone(v); }, false),
       P::Bool(
           "WaitForCompletion", [](const C& c) { return c.WaitForCompletion(); },
           [](C& c, bool v) { c.SetWaitForCompletion(v); }, false),
       P::Int(
           "CompletionTimeout", [](const C& c) { return static_cast<int>(c.CompletionTimeout()); },
           [](C& c, int v) { c.SetCompletionTimeout(static_cast<DWORD>(v)); }, 0),
       P::Enum<TThreadPriority>(
           "Priority", [](const C& c) { return c.Priority(); },
           [](C& c, TThreadPriority v) { c.SetPriority(v); },
           {"tpIdle", "tpLowest", "tpLower", "tpNormal", "tpHigher", "tpHighest", "tpTimeCritical"},
           tpNormal),
       P::Event("OnWaitTimeout", &C::OnWaitTimeout)},
      {},
      {}};
  return info;
}

TnxCustomThread::TnxCustomThread(TComponent* owner)
    : TComponent(owner), alive_(std::make_shared<bool>(true)) {
  thread_ = new TnxEventThread(this);
}

TnxCustomThread::~TnxCustomThread() {
  Destroying();
  *alive_ = false;
  if (thread_->Active()) {
    try {
      Stop(true);
    } catch (...) {
      Application().HandleException(std::current_exception());
    }
  }
  delete thread_;
  thread_ = nullptr;
  // Dropped workers may still read this component at their check point.
  WaitForKilled(INFINITE);
}

void TnxCustomThread::Loaded() {
  TComponent::Loaded();
  if (!IsDesigning()) thread_->SetSuspended(storedSuspended_);
}

bool TnxCustomThread::Start() {
  Stop(true);
  TnxEventThread* run = thread_;
  unique_handle handle;
  if (waitForCompletion_) {
    HANDLE process = GetCurrentProcess();
    if (!DuplicateHandle(process, run->Handle(), process, handle.put(), SYNCHRONIZE, FALSE, 0))
      throw LastOSError();
  }
  run->Resume();
  if (!waitForCompletion_) return true;

  // The limit measures a stretch without anything to process, not the run.
  const DWORD limit = completionTimeout_ ? completionTimeout_ : INFINITE;
  auto alive = alive_;
  for (;;) {
    HANDLE thread = handle.get();
    DWORD result = MsgWaitForMultipleObjects(1, &thread, FALSE, limit, QS_ALLINPUT);
    if (result == WAIT_TIMEOUT) {
      bool terminate = true;
      DoWaitTimeout(terminate);
      return !terminate;
    }
    Application().ProcessMessages();
    // A handler may have destroyed the component, or stopped or replaced the run.
    if (!*alive) return true;
    if (result != WAIT_OBJECT_0 + 1 || IsDestroying() || Application().Terminated()) return true;
    if (thread_ != run) return true;
  }
}

void TnxCustomThread::DoWaitTimeout(bool& terminate) {
  auto alive = alive_;
  OnWaitTimeout(this, terminate);
  if (terminate && *alive) Stop(true);
}

void TnxCustomThread::Stop(bool immediately) {
  TnxEventThread* own = TnxEventThread::Current();
  if (own && own->Owner() != this) own = nullptr;
  if (!immediately) {
    (own ? own : thread_)->Terminate();
    return;
  }
  if (own) {
    own->KillAndRecreate();  // raises EThreadKilled: the worker unwinds
    return;
  }
  if (!OnThreadWindowThread()) {
    RunOnThreadWindow([this] {
      if (!IsDestroying()) Stop(true);
    });
    return;
  }
  const bool wasActive = thread_->Active();
  thread_ = thread_->KillAndRecreate();
  if (wasActive) OnKill(this);
}

void TnxCustomThread::Replace(TnxEventThread* old) {
  if (thread_ != old) return;  // dropped already
  thread_ = old->Recreate();
  old->Drop();
}

void TnxCustomThread::NoteDropped(TnxEventThread* dropped) {
  KilledCount();  // forgets the ones that have ended
  HANDLE process = GetCurrentProcess();
  HANDLE copy = nullptr;
  if (DuplicateHandle(process, dropped->Handle(), process, &copy, SYNCHRONIZE, FALSE, 0))
    dropped_.emplace_back(unique_handle(copy), dropped->ThreadID());
}

int TnxCustomThread::KilledCount() {
  for (auto it = dropped_.begin(); it != dropped_.end();) {
    if (WaitForSingleObject(it->first.get(), 0) == WAIT_OBJECT_0)
      it = dropped_.erase(it);
    else
      ++it;
  }
  return static_cast<int>(dropped_.size());
}

bool TnxCustomThread::WaitForKilled(DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    KilledCount();
    // A worker whose call we are running waits for us in turn: skip it.
    HANDLE next = nullptr;
    for (auto& [handle, threadId] : dropped_)
      if (!IsInCall(threadId)) {
        next = handle.get();
        break;
      }
    if (!next) return dropped_.empty();
    DWORD left = INFINITE;
    if (timeoutMs != INFINITE) {
      DWORD spent = GetTickCount() - start;
      if (spent >= timeoutMs) return false;
      left = timeoutMs - spent;
    }
    DWORD result = MsgWaitForMultipleObjects(1, &next, FALSE, left, QS_SENDMESSAGE);
    if (result == WAIT_OBJECT_0 + 1) {
      MSG msg;
      PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    } else if (result == WAIT_FAILED) {
      return false;
    }
  }
}

void TnxCustomThread::Suspend() {
  thread_->Suspend();
}

void TnxCustomThread::Synchronize(const TThreadMethod& method) {
  if (Owner() && Owner()->IsDestroying()) return;
  // A worker always goes through its own object, so a dropped one stays mute.
  TnxEventThread* own = TnxEventThread::Current();
  (own && own->Owner() == this ? own : thread_)->Synchronize(method);
}

bool TnxCustomThread::Suspended() const {
  return IsDesigning() ? storedSuspended_ : thread_->Suspended();
}

void TnxCustomThread::SetSuspended(bool value) {
  storedSuspended_ = value;
  if (!IsDesigning() && !IsLoading()) thread_->SetSuspended(value);
}

TThreadPriority TnxCustomThread::Priority() const {
  return thread_->GetPriority();
}

void TnxCustomThread::SetPriority(TThreadPriority value) {
  thread_->SetPriority(value);
}

bool TnxCustomThread::Terminated() const {
  TnxEventThread* own = TnxEventThread::Current();
  return (own && own->Owner() == this ? own : thread_)->Terminated();
}

void TnxCustomThread::CheckKilled() const {
  TnxEventThread* own = TnxEventThread::Current();
  if (own && own->Killed()) throw EThreadKilled();
}
