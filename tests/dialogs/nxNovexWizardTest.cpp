// The progress wizard on screen under Wine: its downloading and completed
// states, its layout settings, and every way of closing it, with the abort
// question answered by clicking the message box.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "Application.h"
#include "DialogRobot.h"
#include "FakeDialogHost.h"
#include "nxNovexMessages.h"
#include "nxNovexWizard.h"

using namespace dialogrobot;

namespace {

const char kTitle[] = "Deskpin Test";
const char kAbortQuestion[] = "The update is not completed.\nWould you like to abort upgrading?";
constexpr DWORD kSettleMs = 300;  // long enough for a question to show, were one coming

int Scaled(int pixels) {
  HDC screen = GetDC(nullptr);
  const int ppi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return MulDiv(pixels, ppi, 96);
}

// Handles messages until done() holds or timeoutMs pass; returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000) {
  const DWORD start = GetTickCount();
  while (!done() && GetTickCount() - start < timeoutMs) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    Application().ProcessMessages();
  }
  return done();
}

void Pump(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

BOOL CALLBACK FindBox(HWND window, LPARAM data) {
  char cls[16] = {};
  GetClassNameA(window, cls, sizeof(cls));
  if (std::string(cls) == "#32770" && IsWindowVisible(window) && WindowText(window) == kTitle) {
    *reinterpret_cast<HWND*>(data) = window;
    return FALSE;
  }
  return TRUE;
}

// The abort question, when it is open.
HWND AbortQuestion() {
  HWND box = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindBox, reinterpret_cast<LPARAM>(&box));
  return box;
}

std::string BoxText(HWND box) {
  return WindowText(GetDlgItem(box, 0xFFFF));  // the message's static control
}

HWND Wizard() {
  TnxNovexWizardForm* form = nxNovexWizardForm;
  return form && form->HandleAllocated() ? form->Handle() : nullptr;
}

RECT InGroup(TControl* control) {
  return RectIn(control->Parent()->Handle(), control->Handle());
}

void SaveShot(HWND window, const char* suffix) {
  if (const char* folder = std::getenv("DESKPIN_SHOTS")) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name() + suffix;
    for (char& c : name)
      if (c == '/') c = '_';
    // Painted through the message queue, in the order the window really paints.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    Pump(200);
    SaveScreenshot(window, std::string(folder) + "\\" + name + ".bmp", false);
  }
}

// Ways to ask the wizard to close.
void CloseBox(HWND window) {
  PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}
void AltF4(HWND window) {
  PostMessageA(window, WM_SYSKEYDOWN, VK_F4, 1 | (1u << 29));
}
void CancelButton(HWND) {
  SendMessageA(nxNovexWizardForm->CancelBtn->Handle(), BM_CLICK, 0, 0);
}
void Esc(HWND window) {
  PressKey(window, VK_ESCAPE);
}
void Enter(HWND window) {
  PressKey(window, VK_RETURN);
}

class WizardTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { Application().Initialize(); }
  void SetUp() override {
    MsgBase = MsgBaseOf(wlEnglish);
    Application().SetTitle(kTitle);
  }
  void TearDown() override {
    Stop();
    DestroyWizard();
    MsgBase = savedBase_;
    Application().ProcessMessages();
  }

  HWND Show() {
    ShowWizard(&host_);
    HWND window = Wizard();
    EXPECT_TRUE(window && IsWindowVisible(window)) << "ShowWizard returned without a window";
    Pump(50);
    return window;
  }

  // Asks the wizard to close one way; the robot answers the question with
  // answer and returns what it asked ("" when nothing was asked).
  std::string CloseAndAnswer(HWND window, void (*way)(HWND), int answer) {
    std::string asked;
    WhenShown(AbortQuestion, [&](HWND box) {
      asked = BoxText(box);
      SendMessageA(GetDlgItem(box, answer), BM_CLICK, 0, 0);
    });
    SetForegroundWindow(window);
    way(window);
    PumpUntil([] { return Acted() && !AbortQuestion(); }, 3000);
    Stop();
    Pump(50);
    return asked;
  }

  FakeDialogHost host_;

 private:
  WORD savedBase_ = MsgBase;
};

TEST_F(WizardTest, DownloadingStateShowsProgressModelessAndOnTop) {
  HWND other = CreateWindowExA(0, "STATIC", "other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                               100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(other);
  HWND window = Show();
  TnxNovexWizardForm* form = nxNovexWizardForm;
  ASSERT_TRUE(form);
  EXPECT_TRUE(IsWindowEnabled(other)) << "the wizard must not block other windows";
  DestroyWindow(other);
  EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);

  EXPECT_EQ(WindowText(window), "Application update wizard");
  EXPECT_EQ(WindowText(form->WizardTitle->Handle()), "Downloading files...");
  EXPECT_EQ(WindowText(form->LCurrentFile->Handle()), " Current file ");
  EXPECT_EQ(WindowText(form->LAllFiles->Handle()), " All files ");
  EXPECT_EQ(WindowText(form->LDownloadingFileFrom->Handle()), "Downloading file from");
  EXPECT_EQ(WindowText(form->LEstimatedTime->Handle()), "Preparing. . .");
  EXPECT_EQ(WindowText(form->LFileSize->Handle()), "");
  EXPECT_EQ(WindowText(form->LTransferRate->Handle()), "");
  EXPECT_EQ(WindowText(form->FinishBtn->Handle()), "&Next >");
  EXPECT_FALSE(IsWindowEnabled(form->FinishBtn->Handle()));
  EXPECT_EQ(WindowText(form->CancelBtn->Handle()), "&Cancel");
  EXPECT_TRUE(IsWindowEnabled(form->CancelBtn->Handle()));
  EXPECT_EQ(WindowText(form->AboutLabel->Handle()), " Novex ");
  EXPECT_EQ(WindowText(form->AboutShadow->Handle()), " Novex ");
  EXPECT_TRUE(form->Image1->HasPicture());
  EXPECT_FALSE(IsWindowVisible(form->AfterNote->Handle()) &&
               !WindowText(form->AfterNote->Handle()).empty());

  // The product name sits on the separator line, its light copy one pixel
  // lower and to the right.
  const RECT about = RectIn(window, form->AboutLabel->Handle());
  const RECT shadow = RectIn(window, form->AboutShadow->Handle());
  const RECT line = RectIn(window, form->Bevel1->Handle());
  EXPECT_EQ(shadow.left - about.left, Scaled(31) - Scaled(30));
  EXPECT_EQ(shadow.top - about.top, Scaled(234) - Scaled(233));
  EXPECT_LT(shadow.top, line.top);
  EXPECT_GT(shadow.bottom, line.top);

  // What the downloads write.
  form->ShowFileStart("http://127.0.0.1/files/Deskpin.exe", 2, 3);
  form->ShowFileSize(1536);
  form->ShowProgress(40, 47, 12.345, 3665);
  EXPECT_EQ(WindowText(form->FileURL->Handle()), "http://127.0.0.1/files/Deskpin.exe");
  EXPECT_EQ(WindowText(form->AllDownloading->Handle()), "Downloading 2 of 3");
  EXPECT_EQ(WindowText(form->LFileSize->Handle()), "File size: 1.5 Kb");
  EXPECT_EQ(WindowText(form->LTransferRate->Handle()), "Transfer rate: 12.3 Kb/s");
  EXPECT_EQ(WindowText(form->LEstimatedTime->Handle()), "Estimated time left: 1:01:05");
  EXPECT_EQ(SendMessageA(form->ProgressCurrentFile->Handle(), PBM_GETPOS, 0, 0), 40);
  EXPECT_EQ(SendMessageA(form->ProgressAllFiles->Handle(), PBM_GETPOS, 0, 0), 47);
  form->ShowProgress(100, 100, 0.0, 59);
  EXPECT_EQ(WindowText(form->LEstimatedTime->Handle()), "Estimated time left: 0:00:59");
  EXPECT_EQ(SendMessageA(form->ProgressAllFiles->Handle(), PBM_GETPOS, 0, 0), 100);

  // The address can be read but not changed, however one types.
  HWND url = form->FileURL->Handle();
  EXPECT_FALSE(GetWindowLongA(url, GWL_STYLE) & WS_TABSTOP);
  SendMessageA(url, EM_SETSEL, 0, -1);
  SendMessageA(url, WM_CHAR, 'x', 1);
  SendMessageA(url, WM_CHAR, VK_BACK, 1);
  SendMessageA(url, WM_KEYDOWN, VK_DELETE, 1);
  SendMessageA(url, WM_CUT, 0, 0);
  SendMessageA(url, WM_CLEAR, 0, 0);
  EXPECT_EQ(WindowText(url), "http://127.0.0.1/files/Deskpin.exe");

  // Layout with the address shown.
  const RECT group = RectIn(window, form->LCurrentFile->Handle());
  EXPECT_EQ(group.left, Scaled(136));
  EXPECT_EQ(group.top, Scaled(34));
  EXPECT_EQ(group.bottom - group.top, Scaled(125));
  EXPECT_TRUE(IsWindowVisible(url));
  EXPECT_EQ(InGroup(form->FileURL).top, Scaled(28));
  EXPECT_EQ(InGroup(form->LFileSize).top, Scaled(44));
  EXPECT_EQ(InGroup(form->LTransferRate).top, Scaled(60));
  EXPECT_EQ(InGroup(form->LEstimatedTime).top, Scaled(76));
  EXPECT_EQ(InGroup(form->ProgressCurrentFile).top, Scaled(96));
  SaveShot(window, "");

  DestroyWizard();
  EXPECT_EQ(nxNovexWizardForm, nullptr);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(host_.calls, "") << "destroying the wizard tells the component nothing";
}

TEST_F(WizardTest, HiddenFileLocationAndOrdinaryWindow) {
  host_.look.StayOnTop = false;
  host_.look.HideFileLocation = true;
  host_.look.Pic118x218 = "NO_SUCH_PICTURE";
  HWND window = Show();
  TnxNovexWizardForm* form = nxNovexWizardForm;
  for (int showing = 1; showing <= 2; ++showing) {  // showing it again moves nothing
    SCOPED_TRACE(showing);
    EXPECT_FALSE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_FALSE(IsWindowVisible(form->FileURL->Handle()));
    EXPECT_FALSE(IsWindowVisible(form->LDownloadingFileFrom->Handle()));
    EXPECT_EQ(InGroup(form->LFileSize).top, Scaled(14));
    EXPECT_EQ(InGroup(form->LTransferRate).top, Scaled(30));
    EXPECT_EQ(InGroup(form->LEstimatedTime).top, Scaled(46));
    EXPECT_EQ(InGroup(form->ProgressCurrentFile).top, Scaled(66));
    const RECT group = RectIn(window, form->LCurrentFile->Handle());
    EXPECT_EQ(group.top, Scaled(34) + Scaled(10));
    EXPECT_EQ(group.bottom - group.top, Scaled(125) - Scaled(30));
    EXPECT_TRUE(form->Image1->HasPicture()) << "a missing picture keeps the stored one";
    EXPECT_EQ(form->Image1->Picture(), "NXNOVEXWIZARDPICTURE");
    if (showing == 1) {
      SaveShot(window, "");
      ShowWizard(&host_);
      EXPECT_EQ(nxNovexWizardForm, form) << "one wizard at a time";
    }
  }
}

TEST_F(WizardTest, EveryWayOfClosingWhileDownloadingAsksAndNoGoesOn) {
  HWND window = Show();
  const struct {
    const char* name;
    void (*way)(HWND);
  } ways[] = {{"close box", CloseBox},
              {"Alt+F4", AltF4},
              {"Cancel", CancelButton},
              {"Esc", Esc},
              {"Enter", Enter}};
  for (const auto& w : ways) {
    SCOPED_TRACE(w.name);
    EXPECT_EQ(CloseAndAnswer(window, w.way, IDNO), kAbortQuestion);
    EXPECT_EQ(nxNovexWizardForm && nxNovexWizardForm->Handle(), window != nullptr);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(host_.calls, "");
  }
}

TEST_F(WizardTest, YesClosesTheWizardAndAbortsTheUpdate) {
  HWND window = Show();
  WhenShown(AbortQuestion, [](HWND box) {
    // Only Yes and No are offered.
    EXPECT_TRUE(GetDlgItem(box, IDYES));
    EXPECT_TRUE(GetDlgItem(box, IDNO));
    EXPECT_FALSE(GetDlgItem(box, IDCANCEL));
    SaveShot(box, ".question");
    SendMessageA(GetDlgItem(box, IDYES), BM_CLICK, 0, 0);
  });
  CancelButton(window);
  EXPECT_TRUE(PumpUntil([] { return Acted() && !AbortQuestion(); }));
  EXPECT_EQ(nxNovexWizardForm, nullptr);
  EXPECT_EQ(host_.calls, "signal,abort");
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(window); })) << "the closed wizard was not freed";
}

TEST_F(WizardTest, DestroyedWhileAskingIsLeftAlone) {
  HWND window = Show();
  WhenShown(AbortQuestion, [](HWND box) {
    DestroyWizard();  // the component ends the update while the question is open
    SendMessageA(GetDlgItem(box, IDYES), BM_CLICK, 0, 0);
  });
  CloseBox(window);
  EXPECT_TRUE(PumpUntil([] { return Acted() && !AbortQuestion(); }));
  EXPECT_EQ(nxNovexWizardForm, nullptr);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(host_.calls, "") << "an update already ended is not aborted again";
}

class CompletedWizard
    : public WizardTest,
      public ::testing::WithParamInterface<std::pair<const char*, void (*)(HWND)>> {};

// OK (or Enter on it) closes without asking and ends the component's wait;
// Esc does nothing any more.
TEST_P(CompletedWizard, OKEndsTheWaitWithoutAsking) {
  HWND window = Show();
  TnxNovexWizardForm* form = nxNovexWizardForm;
  form->ShowCompleted();
  Pump(50);
  EXPECT_EQ(WindowText(form->WizardTitle->Handle()), "Upgrade completed!");
  const std::string note =
      "The update of Deskpin Test has been successfully completed.\n\nPress the OK button to "
      "restart program.";
  HWND noteWindow = form->AfterNote->Handle();
  EXPECT_EQ(WindowText(noteWindow), note);
  EXPECT_TRUE(IsWindowVisible(noteWindow));
  const RECT noteRect = RectIn(window, noteWindow);
  EXPECT_EQ(noteRect.right - noteRect.left, Scaled(319));
  EXPECT_GE(noteRect.bottom - noteRect.top, 3 * Scaled(13)) << "the note is cut off";
  EXPECT_FALSE(IsWindowVisible(form->LCurrentFile->Handle()));
  EXPECT_FALSE(IsWindowVisible(form->LAllFiles->Handle()));
  EXPECT_FALSE(IsWindowEnabled(form->CancelBtn->Handle()));
  EXPECT_EQ(WindowText(form->FinishBtn->Handle()), "&OK");
  EXPECT_TRUE(IsWindowEnabled(form->FinishBtn->Handle()));
  EXPECT_EQ(GetFocus(), form->FinishBtn->Handle());
  SaveShot(window, "");

  Esc(window);
  Pump(kSettleMs);
  EXPECT_EQ(AbortQuestion(), nullptr);
  EXPECT_EQ(nxNovexWizardForm, form);

  // The component waits for the wizard the way it really does.
  WhenShown(Wizard, GetParam().second);
  WaitForEvent(host_.waitEvent, 5000, true);
  EXPECT_TRUE(Acted());
  EXPECT_EQ(host_.calls, "signal");
  EXPECT_EQ(nxNovexWizardForm, nullptr);
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(window); }));
}

INSTANTIATE_TEST_SUITE_P(
    Ways, CompletedWizard,
    ::testing::Values(std::make_pair("OKButton",
                                     [](HWND) {
                                       SendMessageA(nxNovexWizardForm->FinishBtn->Handle(),
                                                    BM_CLICK, 0, 0);
                                     }),
                      std::make_pair("Enter", Enter)),
    [](const auto& info) { return std::string(info.param.first); });

TEST_F(WizardTest, CompletedCloseBoxStillAsks) {
  HWND window = Show();
  nxNovexWizardForm->ShowCompleted();
  EXPECT_EQ(CloseAndAnswer(window, CloseBox, IDNO), kAbortQuestion);
  EXPECT_NE(nxNovexWizardForm, nullptr);
  EXPECT_EQ(host_.calls, "");
  EXPECT_EQ(CloseAndAnswer(window, CloseBox, IDYES), kAbortQuestion);
  EXPECT_EQ(nxNovexWizardForm, nullptr);
  EXPECT_EQ(host_.calls, "signal,abort") << "Yes here must not lead on to the restart";
}

}  // namespace
