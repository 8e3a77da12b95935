// Real windows: modal forms answer Enter, Esc, the close box and their
// buttons; forms can free themselves on close; exceptions in event handlers
// reach the application's handler and the program goes on.
#include <gtest/gtest.h>

#include "Application.h"
#include "Forms.h"
#include "StdCtrls.h"
#include "Timer.h"

namespace {

class TTestDialog : public TForm {
 public:
  explicit TTestDialog(TComponent* owner) : TForm(owner) {
    BorderStyle = bsDialog;
    Position = poScreenCenter;
    SetClientWidth(240);
    SetClientHeight(90);
    SetCaption("Test dialog");
    Ok = new TButton(this);
    Ok->SetParent(this);
    Ok->SetCaption("&OK");
    Ok->SetBounds(20, 50, 90, 25);
    Ok->Default = true;
    Ok->ModalResult = mrOk;
    Cancel = new TButton(this);
    Cancel->SetParent(this);
    Cancel->SetCaption("Cancel");
    Cancel->SetBounds(130, 50, 90, 25);
    Cancel->Cancel = true;
    Cancel->ModalResult = mrCancel;
    InitForm();
  }
  TButton* Ok;
  TButton* Cancel;
};

// Runs action on the first timer tick inside the modal loop.
int ShowModalAndThen(TTestDialog& dialog, std::function<void(TTestDialog&)> action) {
  TTimer timer(nullptr);
  timer.SetInterval(100);
  timer.SetOnTimer([&](TObject*) {
    timer.SetEnabled(false);
    action(dialog);
  });
  return dialog.ShowModal();
}

void PostKey(TTestDialog& dialog, UINT key) {
  HWND target = GetFocus();
  if (!target || GetAncestor(target, GA_ROOT) != dialog.Handle()) target = dialog.Ok->Handle();
  PostMessageA(target, WM_KEYDOWN, key, 1);
  PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

struct ModalCase {
  const char* name;
  std::function<void(TTestDialog&)> action;
  int expected;
};

class ModalForms : public ::testing::TestWithParam<ModalCase> {
 protected:
  void SetUp() override { Application().Initialize(); }
};

TEST_P(ModalForms, EndWithTheRightResult) {
  auto* dialog = new TTestDialog(&Application());
  RECT shown{};
  EXPECT_EQ(ShowModalAndThen(*dialog,
                             [&](TTestDialog& d) {
                               GetWindowRect(d.Handle(), &shown);
                               GetParam().action(d);
                             }),
            GetParam().expected);
  // Centred on the screen's work area, as its position asks.
  RECT area;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  EXPECT_NEAR((shown.left + shown.right) / 2, (area.left + area.right) / 2, 2);
  EXPECT_NEAR((shown.top + shown.bottom) / 2, (area.top + area.bottom) / 2, 2);
  EXPECT_FALSE(IsWindowVisible(dialog->Handle()));
  EXPECT_FALSE(dialog->IsModal());
  delete dialog;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ModalForms,
    ::testing::Values(
        ModalCase{"Enter", [](TTestDialog& d) { PostKey(d, VK_RETURN); }, mrOk},
        ModalCase{"Escape", [](TTestDialog& d) { PostKey(d, VK_ESCAPE); }, mrCancel},
        ModalCase{"CloseBox",
                  [](TTestDialog& d) { PostMessageA(d.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0); },
                  mrCancel},
        ModalCase{"ClickOk", [](TTestDialog& d) { PostMessageA(d.Ok->Handle(), BM_CLICK, 0, 0); },
                  mrOk},
        ModalCase{"ClickCancel",
                  [](TTestDialog& d) { PostMessageA(d.Cancel->Handle(), BM_CLICK, 0, 0); },
                  mrCancel}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Forms, ModalFormDisablesOtherWindowsAndCloseQueryCanRefuse) {
  Application().Initialize();
  TForm other(&Application());
  other.SetBounds(10, 10, 200, 100);
  other.Show();
  auto* dialog = new TTestDialog(&Application());
  int queries = 0;
  dialog->OnCloseQuery = [&](TObject*, bool& canClose) { canClose = ++queries > 1; };
  bool otherWasDisabled = false;
  int result = ShowModalAndThen(*dialog, [&](TTestDialog& d) {
    otherWasDisabled = !IsWindowEnabled(other.Handle());
    d.Ok->Click();  // refused by the first query
    PostMessageA(d.Ok->Handle(), BM_CLICK, 0, 0);
  });
  EXPECT_EQ(result, mrOk);
  EXPECT_EQ(queries, 2);
  EXPECT_TRUE(otherWasDisabled);
  EXPECT_TRUE(IsWindowEnabled(other.Handle()));
  delete dialog;
}

TEST(Forms, MessageBoxIsModalToEveryWindowOfTheProgram) {
  Application().Initialize();
  TForm other(&Application());
  other.SetBounds(10, 10, 200, 100);
  other.Show();
  bool disabledMeanwhile = false;
  TTimer timer(nullptr);
  timer.SetInterval(100);
  timer.SetOnTimer([&](TObject*) {
    HWND box = FindWindowA("#32770", "Box caption");
    if (!box) return;
    timer.SetEnabled(false);
    disabledMeanwhile = !IsWindowEnabled(other.Handle());
    PostMessageA(box, WM_COMMAND, IDOK, 0);
  });
  EXPECT_EQ(Application().MessageBox("Text", "Box caption", MB_OK), IDOK);
  EXPECT_TRUE(disabledMeanwhile);
  EXPECT_TRUE(IsWindowEnabled(other.Handle()));
}

TEST(Forms, FormFreesItselfOnClose) {
  Application().Initialize();
  bool destroyed = false;
  auto* form = new TTestDialog(&Application());
  form->OnDestroy = [&](TObject*) { destroyed = true; };
  form->OnClose = [](TObject*, TCloseAction& action) { action = caFree; };
  form->Show();
  EXPECT_TRUE(IsWindowVisible(form->Handle()));
  form->Close();
  EXPECT_FALSE(destroyed);  // not while its own message may still be handled
  for (DWORD start = GetTickCount(); !destroyed && GetTickCount() - start < 5000;) {
    Application().ProcessMessages();
    Sleep(10);
  }
  EXPECT_TRUE(destroyed);
}

TEST(Forms, ExceptionInEventHandlerReachesHandlerAndProgramGoesOn) {
  Application().Initialize();
  std::vector<std::string> reported;
  Application().OnException = [&](std::exception_ptr e) {
    reported.push_back(TApplication::ExceptionMessage(e));
  };
  int ticks = 0;
  TTimer timer(nullptr);
  timer.SetInterval(30);
  timer.SetOnTimer([&](TObject*) {
    if (++ticks == 1) throw Exception("tick failed");
  });
  auto* dialog = new TTestDialog(&Application());
  dialog->Ok->OnClick = [](TObject*) { throw EOSError(ERROR_ACCESS_DENIED); };
  dialog->Show();
  PostMessageA(dialog->Ok->Handle(), BM_CLICK, 0, 0);
  for (DWORD start = GetTickCount(); ticks < 3 && GetTickCount() - start < 5000;) {
    Application().ProcessMessages();
    Sleep(5);
  }
  Application().OnException = nullptr;
  EXPECT_GE(ticks, 3);
  ASSERT_EQ(reported.size(), 2u);
  EXPECT_EQ(reported[0].find("Access"), 0u) << reported[0];  // the system's text
  EXPECT_EQ(reported[1], "tick failed");
  delete dialog;
}

}  // namespace
