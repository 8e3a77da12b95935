// Worker threads: a component that runs one job at a time on a thread of its
// own and delivers every notification of that job on the main thread, through
// one hidden window that all thread objects of the process share.
//
// Stopping at once never forcibly ends a thread (a thread killed inside WinInet
// or the heap leaves their locks held and the next job hangs). Instead the
// component drops the running thread object: from then on nothing of it reaches
// anyone (its Synchronize calls do not run, no finishing step), the component
// holds a fresh idle object (Running reads False, a new job can start), OnKill
// gives the user the chance to cut the old worker's blocking call short, and
// the old worker ends by itself at its next check point or Synchronize, where
// EThreadKilled unwinds its stack. The dropped object is released by its own
// thread once that thread has ended.
#pragma once

#include <windows.h>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "Component.h"
#include "SysUtils.h"

// The message that carries a call from a worker to the main thread; sent, not
// posted, so the worker waits until the main thread has run the call.
constexpr UINT kCallMessage = 0x8FFF;
constexpr char kThreadWindowClass[] = "TnxThreadWindow";

enum TThreadPriority {
  tpIdle,
  tpLowest,
  tpLower,
  tpNormal,
  tpHigher,
  tpHighest,
  tpTimeCritical,
};
// The operating-system priority of each TThreadPriority, in its order.
constexpr int kThreadPriorities[] = {-15, -2, -1, 0, 1, 2, 15};
// The member whose operating-system priority is osPriority; tpNormal when none is.
TThreadPriority PriorityFromOS(int osPriority);

using TThreadMethod = std::function<void()>;
// Sender; Terminate: whether the run is stopped at once (True on entry).
using TnxWaitTimeoutEvent = TEvent<TObject*, bool&>;

// Unwinds the stack of a worker whose thread object was dropped. Deliberately
// not a std::exception: worker code that catches everything must rethrow it
// (`catch (const EThreadKilled&) { throw; }`); ThreadProc ends the run on it.
class EThreadKilled {};

// The process's one hidden window for calls to the main thread, and the number
// of live thread objects that use it. Exposed for tests.
HWND ThreadWindow();
int ThreadWindowRefCount();

class TnxCustomThread;

// One operating-system thread, created suspended, never restarted. A plain
// object owned by its TnxCustomThread (or by itself once dropped).
class TnxEventThread : public TObject {
 public:
  explicit TnxEventThread(TnxCustomThread* owner);
  ~TnxEventThread() override;
  TnxEventThread(const TnxEventThread&) = delete;
  TnxEventThread& operator=(const TnxEventThread&) = delete;

  // The thread object of the calling worker thread; null on any other thread.
  static TnxEventThread* Current();

  TnxCustomThread* Owner() const { return owner_; }
  HANDLE Handle() const { return handle_.get(); }
  DWORD ThreadID() const { return threadId_; }

  bool Terminated() const { return terminated_; }
  bool Suspended() const { return suspended_; }
  bool Running() const { return running_; }
  // Set once the component dropped this object while its thread still ran.
  bool Killed() const { return killed_; }
  // Whether the object destroys itself when its thread ends.
  bool FreeOnTerminate() const;
  // Hands the object over to its thread, which destroys it when it ends (at
  // once when it has ended already). Cannot be taken back; the caller must not
  // touch the object afterwards.
  void SetFreeOnTerminate();

  void Resume();
  void Suspend();
  void SetSuspended(bool value);
  // A stop request only: the work polls Terminated.
  void Terminate() { terminated_ = true; }
  // Waits until the thread has ended and returns its exit code (always 0). On
  // the main thread, calls sent by workers keep running meanwhile.
  DWORD WaitFor();

  TThreadPriority GetPriority() const;
  void SetPriority(TThreadPriority priority);

  // Runs method on the main thread and waits for it; call it on the worker or
  // on the main thread (which runs it directly). An exception it raises is
  // raised again here only when the owner's CatchExceptions is False. On a
  // dropped object's own worker it raises EThreadKilled instead of running.
  void Synchronize(const TThreadMethod& method);

  // A new suspended object for the same owner with this one's priority and
  // handlers.
  TnxEventThread* Recreate();
  // Drops this object (destroyed now, or released by its thread once that ends
  // when the thread still runs) and returns its replacement. Called on this
  // object's own worker, it hands the replacement to the component on the main
  // thread and raises EThreadKilled, which unwinds the worker: neither the rest
  // of the work nor the finishing step runs.
  TnxEventThread* KillAndRecreate();

  TNotifyEvent OnExecute;    // the work; runs on the worker thread
  TNotifyEvent OnException;  // main thread: a handler raised, CatchExceptions set
  TNotifyEvent OnFinish;     // main thread: after the work

 private:
  friend class TnxCustomThread;
  friend LRESULT CALLBACK ThreadWindowProc(HWND, UINT, WPARAM, LPARAM);
  // A call that Synchronize asks the main thread to run, and what it raised.
  struct TCall {
    const TThreadMethod* method;
    std::exception_ptr captured;
  };
  static DWORD WINAPI ThreadProc(void* parameter);

  void DoExecute();
  void DoException();
  void DoFinish();
  bool OwnerDestroying() const;
  // Started and not yet ended: the thread may be inside the work.
  bool Active() const;
  void Drop();

  TnxCustomThread* owner_;
  unique_handle handle_;
  DWORD threadId_ = 0;
  volatile bool terminated_ = false;
  volatile bool suspended_ = true;
  volatile bool running_ = false;
  std::atomic<bool> started_{false};
  std::atomic<bool> killed_{false};
  // Who destroys the object: its owner, or its thread once it ends.
  std::atomic<int> release_{0};
  TCall* pendingCall_ = nullptr;
};

// The component: one job at a time, on a fresh thread object per Start.
class TnxCustomThread : public TComponent {
 public:
  explicit TnxCustomThread(TComponent* owner);
  ~TnxCustomThread() override;
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }
  void Loaded() override;

  TnxEventThread* Thread() const { return thread_; }

  // Starts the job on a fresh thread object (a run still going on is dropped
  // first, without any finishing step). With WaitForCompletion, returns only
  // when the run has ended, and False when the wait ran out and the run was
  // stopped.
  bool Start();
  // Immediately False: a stop request the work must notice (Terminated).
  // Immediately True: the thread object is replaced by a fresh one at once; see
  // TnxEventThread::KillAndRecreate for a call from the worker itself.
  void Stop(bool immediately);
  void Suspend();
  // Does nothing while the component's owner is being destroyed.
  void Synchronize(const TThreadMethod& method);

  // Stored value while designing, the thread object's state at run time.
  bool Suspended() const;
  void SetSuspended(bool value);
  bool CatchExceptions() const { return catchExceptions_; }
  void SetCatchExceptions(bool value) { catchExceptions_ = value; }
  // After a run has finished (and OnFinish ran), the owner is destroyed.
  bool DestroyOwnerWhenDone() const { return destroyOwnerWhenDone_; }
  void SetDestroyOwnerWhenDone(bool value) { destroyOwnerWhenDone_ = value; }
  bool WaitForCompletion() const { return waitForCompletion_; }
  void SetWaitForCompletion(bool value) { waitForCompletion_ = value; }
  // Milliseconds without any message to process; 0: no limit.
  DWORD CompletionTimeout() const { return completionTimeout_; }
  void SetCompletionTimeout(DWORD value) { completionTimeout_ = value; }
  TThreadPriority Priority() const;
  void SetPriority(TThreadPriority value);

  bool Running() const { return thread_->Running(); }
  // On a worker thread: the stop request of that worker's own object (a dropped
  // one reads True). Elsewhere: the current object's.
  bool Terminated() const;

  // Stored in the current thread object and copied to every replacement. Set
  // them while no run is going on.
  void SetOnExecute(const TNotifyEvent& handler) { thread_->OnExecute = handler; }
  void SetOnException(const TNotifyEvent& handler) { thread_->OnException = handler; }
  void SetOnFinish(const TNotifyEvent& handler) { thread_->OnFinish = handler; }
  TnxWaitTimeoutEvent OnWaitTimeout;
  // Main thread, right after a run still going on was dropped by Stop(True)
  // (also from Start and the destructor): close what the old worker may block
  // on, so it reaches its next check point. Not called for a worker that stops
  // itself.
  TNotifyEvent OnKill;

  // For worker code at its check points: raises EThreadKilled when the calling
  // worker's object was dropped.
  void CheckKilled() const;
  // Waits (calls sent by workers keep running) until every dropped worker of
  // this component has ended, or timeoutMs has passed; True when none is left.
  // The destructor waits so, without limit: a dropped worker may still read its
  // component at its check point.
  bool WaitForKilled(DWORD timeoutMs = INFINITE);
  // Dropped workers of this component that have not ended yet.
  int KilledCount();

 protected:
  // Calls OnWaitTimeout, then stops the run at once when Terminate is still set.
  virtual void DoWaitTimeout(bool& terminate);

 private:
  friend class TnxEventThread;
  void Replace(TnxEventThread* old);
  void NoteDropped(TnxEventThread* dropped);

  TnxEventThread* thread_ = nullptr;
  bool storedSuspended_ = true;
  bool catchExceptions_ = true;
  bool destroyOwnerWhenDone_ = false;
  bool waitForCompletion_ = false;
  DWORD completionTimeout_ = 0;
  // Threads of dropped objects that may still run (main thread only).
  std::vector<std::pair<unique_handle, DWORD>> dropped_;
  // Cleared by the destructor: a wait that ran a handler can tell whether the
  // component still exists.
  std::shared_ptr<bool> alive_;
};
