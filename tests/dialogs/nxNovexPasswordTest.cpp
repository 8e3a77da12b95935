// The password dialog on screen under Wine: what it offers, what each way of
// answering leaves in the component, and its height for long file names.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "Application.h"
#include "DialogRobot.h"
#include "FakeDialogHost.h"
#include "nxNovexMessages.h"
#include "nxNovexPassword.h"

using namespace dialogrobot;

namespace {

int Scaled(int pixels) {
  HDC screen = GetDC(nullptr);
  const int ppi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return MulDiv(pixels, ppi, 96);
}

int Height(const RECT& r) {
  return r.bottom - r.top;
}

HWND OpenDialog() {
  TnxNovexPasswordForm* form = nxNovexPasswordForm;
  return form && form->HandleAllocated() ? form->Handle() : nullptr;
}

void Type(HWND edit, const std::string& text) {
  for (char c : text) SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 1);
}

// What the dialog showed while it was open.
struct Shown {
  HWND window = nullptr;
  std::string caption, text, userLabel, passLabel, user, pass, ok, cancel;
  DWORD passStyle = 0;
  WPARAM passChar = 0;
  RECT client{}, label{}, panel{}, userEdit{}, okBtn{}, icon{};
  bool hasPicture = false;
};

Shown Inspect(HWND window) {
  TnxNovexPasswordForm* form = nxNovexPasswordForm;
  Shown s;
  s.window = window;
  s.caption = WindowText(window);
  s.text = WindowText(form->Label1->Handle());
  s.userLabel = WindowText(form->UsernameLab->Handle());
  s.passLabel = WindowText(form->PasswordLab->Handle());
  s.user = WindowText(form->UsernameEdit->Handle());
  s.pass = WindowText(form->PasswordEdit->Handle());
  s.ok = WindowText(form->OKBtn->Handle());
  s.cancel = WindowText(form->CancelBtn->Handle());
  s.passStyle = GetWindowLongA(form->PasswordEdit->Handle(), GWL_STYLE);
  s.passChar = SendMessageA(form->PasswordEdit->Handle(), EM_GETPASSWORDCHAR, 0, 0);
  GetClientRect(window, &s.client);
  s.label = RectIn(window, form->Label1->Handle());
  s.panel = RectIn(window, form->BottomPanel->Handle());
  s.userEdit = RectIn(window, form->UsernameEdit->Handle());
  s.okBtn = RectIn(window, form->OKBtn->Handle());
  s.icon = RectIn(window, form->Image1->Handle());
  s.hasPicture = form->Image1->HasPicture();
  if (const char* folder = std::getenv("DESKPIN_SHOTS")) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name();
    for (char& c : name)
      if (c == '/') c = '_';
    SaveScreenshot(window, std::string(folder) + "\\" + name + ".bmp");
  }
  return s;
}

class PasswordDialog : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { Application().Initialize(); }
  void SetUp() override { MsgBase = MsgBaseOf(wlEnglish); }
  void TearDown() override {
    Stop();
    MsgBase = savedBase_;
    Application().ProcessMessages();  // closed forms free themselves now
  }

  // Shows the dialog for fileName; act types and answers once it is shown.
  bool Ask(const AnsiString& fileName, std::function<void(HWND)> act) {
    WhenShown(OpenDialog, [this, act](HWND window) {
      shown_ = Inspect(window);
      act(window);
    });
    const bool result = ShowPasswordDialog(&host_, fileName);
    EXPECT_TRUE(Acted()) << "the dialog never showed";
    return result;
  }

  FakeDialogHost host_;
  Shown shown_;

 private:
  WORD savedBase_ = MsgBase;
};

struct AnswerCase {
  const char* name;
  void (*answer)(HWND);
  bool accepted;
};

void PrintTo(const AnswerCase& c, std::ostream* out) {
  *out << c.name;
}

class PasswordAnswer : public PasswordDialog, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(PasswordAnswer, StoresTheEntriesOnlyWhenAccepted) {
  host_.username = "old user";
  host_.password = "old password";
  const bool result = Ask("update.exe", [](HWND window) {
    HWND user = nxNovexPasswordForm->UsernameEdit->Handle();
    SendMessageA(user, EM_SETSEL, 0, -1);
    Type(user, "alice");
    Type(nxNovexPasswordForm->PasswordEdit->Handle(), "s3cret!");
    GetParam().answer(window);
  });
  EXPECT_EQ(result, GetParam().accepted);
  if (GetParam().accepted) {
    EXPECT_EQ(host_.calls, "credentials");
    EXPECT_EQ(host_.username, "alice");
    EXPECT_EQ(host_.password, "s3cret!");
  } else {
    EXPECT_EQ(host_.calls, "");
    EXPECT_EQ(host_.username, "old user");
    EXPECT_EQ(host_.password, "old password");
  }
  EXPECT_EQ(nxNovexPasswordForm, nullptr);
  Application().ProcessMessages();
  EXPECT_FALSE(IsWindow(shown_.window)) << "the closed dialog was not freed";
}

INSTANTIATE_TEST_SUITE_P(
    Ways, PasswordAnswer,
    ::testing::Values(
        AnswerCase{"OKButton",
                   [](HWND) { SendMessageA(nxNovexPasswordForm->OKBtn->Handle(), BM_CLICK, 0, 0); },
                   true},
        AnswerCase{"Enter", [](HWND w) { PressKey(w, VK_RETURN); }, true},
        AnswerCase{
            "CancelButton",
            [](HWND) { SendMessageA(nxNovexPasswordForm->CancelBtn->Handle(), BM_CLICK, 0, 0); },
            false},
        AnswerCase{"Esc", [](HWND w) { PressKey(w, VK_ESCAPE); }, false},
        AnswerCase{"CloseBox", [](HWND w) { PostMessageA(w, WM_SYSCOMMAND, SC_CLOSE, 0); }, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PasswordDialog, OffersTheUserNameAndNeverAPassword) {
  host_.username = "bob";
  host_.password = "kept from before";
  EXPECT_FALSE(Ask("data.zip", [](HWND w) { PressKey(w, VK_ESCAPE); }));
  EXPECT_EQ(shown_.caption, "Enter password");
  EXPECT_EQ(shown_.text,
            "Access to remote file \"data.zip\" is password protected.\n\nPlease enter your "
            "username and password (received after registration) to continue software upgrade.");
  EXPECT_EQ(shown_.userLabel, "User Name");
  EXPECT_EQ(shown_.passLabel, "Password");
  EXPECT_EQ(shown_.ok, "&OK");
  EXPECT_EQ(shown_.cancel, "&Cancel");
  EXPECT_EQ(shown_.user, "bob");
  EXPECT_EQ(shown_.pass, "");
  EXPECT_TRUE(shown_.passStyle & ES_PASSWORD);
  EXPECT_EQ(shown_.passChar, static_cast<WPARAM>('*'));
  EXPECT_TRUE(shown_.hasPicture);
  EXPECT_EQ(shown_.icon.left, Scaled(7));
  EXPECT_EQ(shown_.icon.top, Scaled(5));

  // A password typed into one dialog is gone in the next one.
  EXPECT_TRUE(Ask("data.zip", [](HWND w) {
    Type(nxNovexPasswordForm->PasswordEdit->Handle(), "typed");
    PressKey(w, VK_RETURN);
  }));
  EXPECT_FALSE(Ask("data.zip", [](HWND w) { PressKey(w, VK_ESCAPE); }));
  EXPECT_EQ(shown_.pass, "");
}

TEST_F(PasswordDialog, OKWithEmptyFieldsStoresEmptyEntries) {
  host_.password = "old password";
  EXPECT_TRUE(Ask("a.bin", [](HWND w) { PressKey(w, VK_RETURN); }));
  EXPECT_EQ(shown_.user, "");
  EXPECT_EQ(host_.calls, "credentials");
  EXPECT_EQ(host_.username, "");
  EXPECT_EQ(host_.password, "");
}

TEST_F(PasswordDialog, LongFileNameMakesTheWindowTaller) {
  Ask("a.bin", [](HWND w) { PressKey(w, VK_ESCAPE); });
  const Shown small = shown_;
  EXPECT_EQ(small.label.left, Scaled(45));
  EXPECT_EQ(small.label.right, small.client.right - 18);
  EXPECT_EQ(Height(small.panel), Scaled(98));
  EXPECT_EQ(small.panel.bottom, small.client.bottom);

  const std::string longName(40, 'x');
  Ask(longName + "_with_a_very_long_name_indeed_for_the_update_of_the_desktop_program.exe",
      [](HWND w) { PressKey(w, VK_ESCAPE); });
  EXPECT_GT(Height(shown_.label), Height(small.label));
  EXPECT_EQ(Height(shown_.client), Height(shown_.label) + Scaled(5) + Scaled(98));
  EXPECT_EQ(shown_.label.bottom, shown_.panel.top);
  EXPECT_EQ(shown_.panel.bottom, shown_.client.bottom);
  EXPECT_GT(shown_.userEdit.top, shown_.label.bottom);
  EXPECT_LT(shown_.okBtn.bottom, shown_.client.bottom);
}

}  // namespace
