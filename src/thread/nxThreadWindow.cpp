#include "nxThreadWindow.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "nxThread.h"

namespace {

// Guards gThreadWindow and gRefCount. Thread objects may still be released
// while the program's statics are torn down, hence the flag.
bool gLockAlive = false;
struct TThreadWindowLock {
  CRITICAL_SECTION section;
  TThreadWindowLock() {
    InitializeCriticalSection(&section);
    gLockAlive = true;
  }
  ~TThreadWindowLock() {
    gLockAlive = false;
    DeleteCriticalSection(&section);
  }
} gThreadWindowLock;

HWND gThreadWindow = nullptr;
DWORD gWindowThread = 0;
int gRefCount = 0;

// Workers whose calls the main thread is running, innermost last. Only the
// window's thread touches it.
std::vector<DWORD> gCallers;

struct TControlCall {
  const std::function<void()>* body;
  std::exception_ptr error;
};

class TLockGuard {
 public:
  TLockGuard() : locked_(gLockAlive) {
    if (locked_) EnterCriticalSection(&gThreadWindowLock.section);
  }
  ~TLockGuard() {
    if (locked_) LeaveCriticalSection(&gThreadWindowLock.section);
  }
  TLockGuard(const TLockGuard&) = delete;
  TLockGuard& operator=(const TLockGuard&) = delete;

 private:
  bool locked_;
};

// Called with the lock held.
void DestroyThreadWindow() {
  DestroyWindow(gThreadWindow);
  gThreadWindow = nullptr;
  gWindowThread = 0;
  UnregisterClassA(kThreadWindowClass, GetModuleHandleA(nullptr));
}

}  // namespace

LRESULT CALLBACK ThreadWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg != kCallMessage) return DefWindowProcA(hwnd, msg, wParam, lParam);
  switch (wParam) {
    case tcSynchronize: {
      auto* thread = reinterpret_cast<TnxEventThread*>(lParam);
      // Nothing of a dropped object runs any more, nor anything while its
      // component goes away.
      if (thread->killed_ || thread->OwnerDestroying()) return 0;
      TnxEventThread::TCall* call = thread->pendingCall_;
      if (!call) return 0;
      call->captured = nullptr;
      gCallers.push_back(thread->threadId_);
      scope_exit pop([] { gCallers.pop_back(); });
      try {
        (*call->method)();
      } catch (...) {
        call->captured = std::current_exception();
      }
      return 0;
    }
    case tcControl: {
      auto* call = reinterpret_cast<TControlCall*>(lParam);
      try {
        (*call->body)();
      } catch (...) {
        call->error = std::current_exception();
      }
      return 0;
    }
    case tcReleaseWindow: {
      TLockGuard lock;
      // A new thread object may have taken the window up again meanwhile.
      if (gRefCount == 0 && gThreadWindow == hwnd) DestroyThreadWindow();
      return 0;
    }
  }
  return 0;
}

HWND ThreadWindow() {
  TLockGuard lock;
  return gThreadWindow;
}

int ThreadWindowRefCount() {
  TLockGuard lock;
  return gRefCount;
}

void AllocThreadWindow() {
  TLockGuard lock;
  // A window whose release is still on its way is simply used again.
  if (gRefCount == 0 && !gThreadWindow) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = ThreadWindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kThreadWindowClass;
    RegisterClassA(&wc);
    gThreadWindow = CreateWindowExA(0, kThreadWindowClass, "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                    instance, nullptr);
    if (gThreadWindow) gWindowThread = GetCurrentThreadId();
  }
  ++gRefCount;
}

void ReleaseThreadWindow() {
  TLockGuard lock;
  if (--gRefCount > 0 || !gThreadWindow) return;
  // Only the owning thread may destroy a window; a worker that released the
  // last thread object leaves that to the window's thread.
  if (GetCurrentThreadId() == gWindowThread)
    DestroyThreadWindow();
  else
    PostMessageA(gThreadWindow, kCallMessage, tcReleaseWindow, 0);
}

bool OnThreadWindowThread() {
  TLockGuard lock;
  return !gThreadWindow || GetCurrentThreadId() == gWindowThread;
}

void RunOnThreadWindow(const std::function<void()>& body) {
  HWND window = ThreadWindow();
  if (!window || OnThreadWindowThread()) {
    body();
    return;
  }
  TControlCall call{&body, nullptr};
  SendMessageA(window, kCallMessage, tcControl, reinterpret_cast<LPARAM>(&call));
  if (call.error) std::rethrow_exception(call.error);
}

bool IsInCall(DWORD threadId) {
  return std::find(gCallers.begin(), gCallers.end(), threadId) != gCallers.end();
}
