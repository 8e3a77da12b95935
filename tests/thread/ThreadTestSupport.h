// Helpers of the thread tests: pumping the main thread's messages until a
// condition holds, handlers from lambdas, kernel events, thread counts.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <functional>

#include "Application.h"
#include "nxThread.h"

namespace threadtest {

// Generous: a hang guard, not a speed target.
constexpr DWORD kPatienceMs = 20000;

// Processes messages (so workers' calls run) until done() holds or limitMs pass.
inline bool PumpUntil(const std::function<bool()>& done, DWORD limitMs = kPatienceMs) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > limitMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    Application().ProcessMessages();
  }
  return true;
}

inline void PumpFor(DWORD ms) {
  const DWORD start = GetTickCount();
  PumpUntil([&] { return GetTickCount() - start >= ms; }, ms + 1000);
}

inline TNotifyEvent Notify(std::function<void(TObject*)> handler) {
  TNotifyEvent event;
  event = std::move(handler);
  return event;
}

// A manual-reset event.
class TKernelEvent {
 public:
  TKernelEvent() : handle_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  void Set() { SetEvent(handle_.get()); }
  bool Wait(DWORD ms) { return WaitForSingleObject(handle_.get(), ms) == WAIT_OBJECT_0; }
  HANDLE Handle() const { return handle_.get(); }

 private:
  unique_handle handle_;
};

// Threads of this process that exist now.
inline int ThreadCount() {
  unique_handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  int count = 0;
  const DWORD self = GetCurrentProcessId();
  for (BOOL more = Thread32First(snapshot.get(), &entry); more;
       more = Thread32Next(snapshot.get(), &entry))
    if (entry.th32OwnerProcessID == self) ++count;
  return count;
}

// The value a new handle gets now. The handle table hands out its lowest free
// slot (Wine reports no handle count), so handles that leak push it up.
inline int NextHandleValue() {
  HANDLE probe = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  CloseHandle(probe);
  return static_cast<int>(reinterpret_cast<INT_PTR>(probe));
}

// Every thread object of earlier tests has gone and so has the window.
inline bool AllThreadObjectsGone() {
  return PumpUntil([] { return ThreadWindowRefCount() == 0 && ThreadWindow() == nullptr; });
}

}  // namespace threadtest
