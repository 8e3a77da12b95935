// The question when the application is told to end while it is open: the
// modal loop ends at once and the answer is Later.
#include <gtest/gtest.h>
#include <windows.h>

#include "Application.h"
#include "DialogRobot.h"
#include "nxNovexUpgradeMsg.h"

namespace {

constexpr UINT kTerminateAfterMs = 300;

void CALLBACK TerminateNow(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  Application().Terminate();
}

// Runs alone in its program: after Terminate the application stays ended.
TEST(UpgradeQuestionTermination, EndsWithFalse) {
  Application().Initialize();
  HWND shown = nullptr;
  dialogrobot::WhenShown(
      [] {
        TnxNovexUpgradeMessageForm* form = nxNovexUpgradeMessageForm;
        return form && form->HandleAllocated() ? form->Handle() : nullptr;
      },
      [&](HWND window) {
        shown = window;
        SetTimer(nullptr, 0, kTerminateAfterMs, TerminateNow);
      });
  EXPECT_FALSE(ShowUpgradeQuestion("Fixes."));
  EXPECT_TRUE(Application().Terminated());
  ASSERT_TRUE(shown) << "the question never showed";
  EXPECT_FALSE(IsWindowVisible(shown));
}

}  // namespace
