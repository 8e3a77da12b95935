// The completed wizard when the application is told to end while the
// component waits for it: the wait ends, nothing is aborted, and the wizard
// goes away with the application without a word to the component.
#include <gtest/gtest.h>
#include <windows.h>

#include "Application.h"
#include "FakeDialogHost.h"
#include "nxNovexWizard.h"

namespace {

constexpr UINT kTerminateAfterMs = 300;
constexpr DWORD kWaitLimitMs = 10000;

void CALLBACK TerminateNow(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  Application().Terminate();
}

// Runs alone in its program: after Terminate the application stays ended.
TEST(WizardTermination, EndsTheWaitWithoutAborting) {
  Application().Initialize();
  FakeDialogHost host;
  ShowWizard(&host);
  ASSERT_TRUE(nxNovexWizardForm);
  nxNovexWizardForm->ShowCompleted();
  HWND window = nxNovexWizardForm->Handle();
  SetTimer(nullptr, 0, kTerminateAfterMs, TerminateNow);
  const DWORD start = GetTickCount();
  WaitForEvent(host.waitEvent, kWaitLimitMs, true);
  EXPECT_LT(GetTickCount() - start, kWaitLimitMs / 2)
      << "the wait did not end with the application";
  EXPECT_TRUE(Application().Terminated());
  EXPECT_EQ(host.calls, "");
  ASSERT_TRUE(IsWindow(window));
  EXPECT_TRUE(IsWindowEnabled(nxNovexWizardForm->FinishBtn->Handle()));

  // The application frees what it owns as it ends.
  delete nxNovexWizardForm;
  EXPECT_EQ(nxNovexWizardForm, nullptr);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(host.calls, "");
}

}  // namespace
