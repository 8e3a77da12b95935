// The main thread's wait for an event that keeps the user interface alive:
// timers, dialogs and messages sent from worker threads go on being handled.
#include "Application.h"
#include "nxUtils.h"

namespace {

bool IsWaitHandle(HANDLE event) {
  return event != nullptr && event != INVALID_HANDLE_VALUE;
}

}  // namespace

void WaitForEvent(HANDLE& event, DWORD timeoutMs, bool stopOnTerminate) {
  if (timeoutMs == 0) timeoutMs = INFINITE;
  event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  // Closed on every way out, also when a handler run below throws.
  scope_exit close([&event] {
    if (IsWaitHandle(event)) CloseHandle(event);
    event = INVALID_HANDLE_VALUE;
  });
  for (;;) {
    if (stopOnTerminate && Application().Terminated()) break;
    const DWORD woken = MsgWaitForMultipleObjects(1, &event, FALSE, timeoutMs, QS_ALLINPUT);
    if (woken != WAIT_OBJECT_0 + 1) break;
    Application().ProcessMessages();
  }
}

void SignalEvent(HANDLE& event) {
  if (IsWaitHandle(event)) SetEvent(event);
}
