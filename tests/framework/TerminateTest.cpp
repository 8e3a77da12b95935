// Telling the application to end inside a modal loop ends that loop with
// cancel, and then the main loop, also when the modal loop ran inside a
// message that another thread sent (as the worker threads' calls do).
#include <gtest/gtest.h>

#include <thread>

#include "Application.h"
#include "Forms.h"
#include "HiddenWindow.h"
#include "StdCtrls.h"
#include "Timer.h"

namespace {
constexpr UINT kShowDialog = WM_APP + 1;
}

TEST(Terminate, QuitInsideAModalLoopOfASentMessageEndsItThenTheMainLoop) {
  Application().Initialize();
  auto* dialog = new TForm(&Application());
  dialog->SetBounds(100, 100, 200, 120);
  auto* ok = new TButton(dialog);
  ok->SetParent(dialog);
  ok->ModalResult = mrOk;
  int closes = 0;
  dialog->OnClose = [&](TObject*, TCloseAction&) { ++closes; };

  int result = -1;
  THiddenWindow target([&](UINT msg, WPARAM, LPARAM, LRESULT& answer) {
    if (msg != kShowDialog) return false;
    result = dialog->ShowModal();
    answer = 0;
    return true;
  });
  TTimer timer(nullptr);
  timer.SetInterval(300);
  timer.SetOnTimer([&](TObject*) {
    timer.SetEnabled(false);
    Application().Terminate();
  });
  std::thread worker([&] { SendMessageA(target.Handle(), kShowDialog, 0, 0); });

  DWORD start = GetTickCount();
  Application().Run();  // must not sleep on once the quit request was seen
  worker.join();
  EXPECT_LT(GetTickCount() - start, 10000u);
  EXPECT_EQ(result, mrCancel);
  EXPECT_EQ(closes, 0);  // ended by the quit request, not closed
  EXPECT_TRUE(Application().Terminated());
  EXPECT_FALSE(IsWindowVisible(dialog->Handle()));
  delete dialog;
}
