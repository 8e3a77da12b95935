// The wait and the application's termination. Termination cannot be taken
// back, so these cases run in a program of their own, in this order.
#include <gtest/gtest.h>

#include "Application.h"
#include "TestWindow.h"
#include "nxUtils.h"

namespace {

constexpr UINT_PTR kTerminateTimer = 1;
constexpr UINT_PTR kSignalTimer = 2;
constexpr UINT kTerminateMs = 150;
constexpr UINT kSignalMs = 300;
constexpr DWORD kLongTimeoutMs = 5000;
constexpr ULONGLONG kSlackMs = 30;
constexpr ULONGLONG kAtOnceMs = 100;

TEST(WaitForEventAndTermination, EndsOnTerminationOnlyWhenAskedTo) {
  TestWindow window;
  ASSERT_NE(window.Handle(), nullptr);
  HANDLE event = nullptr;
  bool signalled = false;
  window.On(WM_TIMER, [&](WPARAM id, LPARAM) -> LRESULT {
    KillTimer(window.Handle(), id);
    if (id == kTerminateTimer) Application().Terminate();
    if (id == kSignalTimer) {
      signalled = true;
      SignalEvent(event);
    }
    return 0;
  });

  // Termination during the wait ends it.
  ASSERT_FALSE(Application().Terminated());
  SetTimer(window.Handle(), kTerminateTimer, kTerminateMs, nullptr);
  ULONGLONG start = Milliseconds();
  WaitForEvent(event, kLongTimeoutMs, true);
  ULONGLONG elapsed = Milliseconds() - start;
  EXPECT_TRUE(Application().Terminated());
  EXPECT_GE(elapsed + kSlackMs, kTerminateMs);
  EXPECT_LT(elapsed, kLongTimeoutMs / 2);
  EXPECT_EQ(event, INVALID_HANDLE_VALUE);

  // Already terminating: back at once, although a signal would come later.
  SetTimer(window.Handle(), kSignalTimer, kSignalMs, nullptr);
  start = Milliseconds();
  WaitForEvent(event, kLongTimeoutMs, true);
  elapsed = Milliseconds() - start;
  EXPECT_LT(elapsed, kAtOnceMs);
  EXPECT_FALSE(signalled);
  EXPECT_EQ(event, INVALID_HANDLE_VALUE);

  // Without StopOnTerminate the wait goes on until its event is signalled.
  WaitForEvent(event, kLongTimeoutMs, false);
  elapsed = Milliseconds() - start;
  EXPECT_TRUE(signalled);
  EXPECT_GE(elapsed + kSlackMs, kSignalMs);
  EXPECT_LT(elapsed, kLongTimeoutMs);
}

}  // namespace
