// The message-pumping wait of the main thread, against a real window, its
// timers and messages sent from a worker thread.
#include <gtest/gtest.h>

#include <thread>

#include "TestWindow.h"
#include "nxUtils.h"

namespace {

constexpr UINT_PTR kSignalTimer = 1;
constexpr UINT_PTR kTickTimer = 2;
constexpr UINT_PTR kSafetyTimer = 3;
// Ends a wait that a broken routine would never leave, so a failure shows up
// as a failed check rather than a hung test.
constexpr UINT kSafetyMs = 5000;
constexpr UINT kSignalMs = 300;
// Timers may fire a little early under Wine.
constexpr ULONGLONG kSlackMs = 30;
constexpr UINT kWorkerMessage = WM_APP + 1;
constexpr UINT kPostedMessage = WM_APP + 2;

class WaitForEventTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(window_.Handle(), nullptr);
    window_.On(WM_TIMER, [this](WPARAM id, LPARAM) -> LRESULT {
      if (id == kSignalTimer || id == kSafetyTimer) {
        KillTimer(window_.Handle(), id);
        if (id == kSafetyTimer) safetyFired_ = true;
        handleDuringWait_ = event_;
        SignalEvent(event_);
      } else if (id == kTickTimer) {
        ++ticks_;
      }
      return 0;
    });
    SetTimer(window_.Handle(), kSafetyTimer, kSafetyMs, nullptr);
  }
  void TearDown() override {
    for (UINT_PTR id : {kSignalTimer, kTickTimer, kSafetyTimer}) KillTimer(window_.Handle(), id);
  }

  // Runs one wait and returns how long it took.
  ULONGLONG TimedWait(DWORD timeoutMs) {
    const ULONGLONG start = Milliseconds();
    WaitForEvent(event_, timeoutMs, true);
    return Milliseconds() - start;
  }

  TestWindow window_;
  HANDLE event_ = nullptr;
  HANDLE handleDuringWait_ = nullptr;
  bool safetyFired_ = false;
  int ticks_ = 0;
};

TEST_F(WaitForEventTest, IsReleasedBySignalEventFromATimer) {
  SetTimer(window_.Handle(), kSignalTimer, kSignalMs, nullptr);
  const ULONGLONG elapsed = TimedWait(INFINITE);
  EXPECT_FALSE(safetyFired_);
  EXPECT_GE(elapsed + kSlackMs, kSignalMs);
  EXPECT_LT(elapsed, kSafetyMs);
  // The wait owned a real event while it ran and closed it afterwards.
  EXPECT_NE(handleDuringWait_, nullptr);
  EXPECT_NE(handleDuringWait_, INVALID_HANDLE_VALUE);
  EXPECT_EQ(event_, INVALID_HANDLE_VALUE);
  DWORD flags = 0;
  EXPECT_FALSE(GetHandleInformation(handleDuringWait_, &flags));
}

TEST_F(WaitForEventTest, TimeoutZeroWaitsWithoutLimit) {
  SetTimer(window_.Handle(), kSignalTimer, kSignalMs, nullptr);
  const ULONGLONG elapsed = TimedWait(0);
  EXPECT_GE(elapsed + kSlackMs, kSignalMs);
  EXPECT_FALSE(safetyFired_);
}

TEST_F(WaitForEventTest, EndsAfterItsTimeoutWithoutSignal) {
  const DWORD timeoutMs = 200;
  const ULONGLONG elapsed = TimedWait(timeoutMs);
  EXPECT_GE(elapsed + kSlackMs, timeoutMs);
  EXPECT_LT(elapsed, kSafetyMs);
  EXPECT_FALSE(safetyFired_);
  EXPECT_EQ(event_, INVALID_HANDLE_VALUE);
}

TEST_F(WaitForEventTest, AnEarlierSignalDoesNotReleaseALaterWait) {
  for (HANDLE before : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
    event_ = before;
    SignalEvent(event_);  // no wait runs: nothing happens
    EXPECT_EQ(event_, before);
    SetTimer(window_.Handle(), kSignalTimer, kSignalMs, nullptr);
    const ULONGLONG elapsed = TimedWait(INFINITE);
    EXPECT_GE(elapsed + kSlackMs, kSignalMs);
    EXPECT_FALSE(safetyFired_);
  }
}

TEST_F(WaitForEventTest, KeepsTimersAndPostedMessagesGoing) {
  constexpr int kTicks = 5;
  bool posted = false;
  window_.On(kPostedMessage, [&](WPARAM, LPARAM) -> LRESULT {
    posted = true;
    return 0;
  });
  window_.On(WM_TIMER, [this](WPARAM id, LPARAM) -> LRESULT {
    if (id == kTickTimer && ++ticks_ == kTicks) {
      KillTimer(window_.Handle(), kTickTimer);
      SignalEvent(event_);
    }
    if (id == kSafetyTimer) {
      safetyFired_ = true;
      SignalEvent(event_);
    }
    return 0;
  });
  SetTimer(window_.Handle(), kTickTimer, 20, nullptr);
  PostMessageA(window_.Handle(), kPostedMessage, 0, 0);
  TimedWait(INFINITE);
  EXPECT_FALSE(safetyFired_);
  EXPECT_EQ(ticks_, kTicks);
  EXPECT_TRUE(posted);
}

TEST_F(WaitForEventTest, HandlesMessagesSentFromAWorkerThread) {
  const DWORD mainThread = GetCurrentThreadId();
  DWORD handlerThread = 0;
  window_.On(kWorkerMessage, [&](WPARAM wParam, LPARAM) -> LRESULT {
    handlerThread = GetCurrentThreadId();
    SignalEvent(event_);
    return static_cast<LRESULT>(wParam * 2);
  });
  LRESULT answer = 0;
  std::thread worker([&] {
    Sleep(100);
    answer = SendMessageA(window_.Handle(), kWorkerMessage, 21, 0);
  });
  const ULONGLONG elapsed = TimedWait(INFINITE);
  worker.join();
  EXPECT_FALSE(safetyFired_);
  EXPECT_LT(elapsed, kSafetyMs);
  EXPECT_EQ(handlerThread, mainThread);
  EXPECT_EQ(answer, 42);
}

}  // namespace
