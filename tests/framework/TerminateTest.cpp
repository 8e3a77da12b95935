// Telling the application to end inside a modal loop ends that loop with
// cancel, and the main loop after it.
#include <gtest/gtest.h>

#include "Application.h"
#include "Forms.h"
#include "StdCtrls.h"
#include "Timer.h"

TEST(Terminate, TimerInsideModalLoopEndsItWithCancelThenTheMainLoop) {
  Application().Initialize();
  auto* dialog = new TForm(&Application());
  dialog->SetBounds(100, 100, 200, 120);
  auto* ok = new TButton(dialog);
  ok->SetParent(dialog);
  ok->ModalResult = mrOk;
  TTimer timer(nullptr);
  timer.SetInterval(100);
  int closes = 0;
  dialog->OnClose = [&](TObject*, TCloseAction&) { ++closes; };
  timer.SetOnTimer([&](TObject*) {
    timer.SetEnabled(false);
    Application().Terminate();
  });
  DWORD start = GetTickCount();
  EXPECT_EQ(dialog->ShowModal(), mrCancel);
  EXPECT_LT(GetTickCount() - start, 5000u);
  EXPECT_TRUE(Application().Terminated());
  EXPECT_FALSE(IsWindowVisible(dialog->Handle()));

  Application().Run();  // returns at once: the quit request was seen
  EXPECT_TRUE(Application().Terminated());
  delete dialog;
}
