// The upgrade question on screen under Wine, answered the ways a user can
// answer it, and laid out so that its text and buttons all show.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "Application.h"
#include "DialogRobot.h"
#include "nxNovexMessages.h"
#include "nxNovexUpgradeMsg.h"

using namespace dialogrobot;

namespace {

const char kEnglishQuestionEnd[] = "Do you want to update your version with the latest one?";
// "CorvaneVarnel - 桌面版" in code page 936.
const char kChineseTitle[] = "CorvaneVarnel - \xD7\xC0\xC3\xE6\xB0\xE6";

// What the question showed while it was open.
struct Shown {
  HWND window = nullptr;
  std::string caption, text, yes, later;
  DWORD exStyle = 0, labelStyle = 0;
  int outerWidth = 0;
  RECT client{}, label{}, panel{}, yesInPanel{}, laterInPanel{}, yesRect{}, icon{};
  int textHeight = 0;  // what the text needs, drawn at the label's width
  bool hasPicture = false;
};

int Scaled(int pixels) {
  HDC screen = GetDC(nullptr);
  const int ppi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return MulDiv(pixels, ppi, 96);
}

int Height(const RECT& r) {
  return r.bottom - r.top;
}
int Width(const RECT& r) {
  return r.right - r.left;
}

HWND OpenQuestion() {
  TnxNovexUpgradeMessageForm* form = nxNovexUpgradeMessageForm;
  return form && form->HandleAllocated() ? form->Handle() : nullptr;
}

int TextHeight(HWND label, const std::string& text, int width) {
  HDC dc = GetDC(label);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(label, WM_GETFONT, 0, 0)));
  RECT r{0, 0, width, 0};
  DrawTextA(dc, text.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
  SelectObject(dc, old);
  ReleaseDC(label, dc);
  return r.bottom;
}

Shown Inspect(HWND window) {
  TnxNovexUpgradeMessageForm* form = nxNovexUpgradeMessageForm;
  HWND label = form->Label1->Handle();
  HWND panel = form->BottomPanel->Handle();
  Shown s;
  s.window = window;
  s.caption = WindowText(window);
  s.text = WindowText(label);
  s.yes = WindowText(form->YesBtn->Handle());
  s.later = WindowText(form->LaterBtn->Handle());
  s.exStyle = GetWindowLongA(window, GWL_EXSTYLE);
  s.labelStyle = GetWindowLongA(label, GWL_STYLE);
  RECT outer;
  GetWindowRect(window, &outer);
  s.outerWidth = Width(outer);
  GetClientRect(window, &s.client);
  s.label = RectIn(window, label);
  s.panel = RectIn(window, panel);
  s.yesInPanel = RectIn(panel, form->YesBtn->Handle());
  s.laterInPanel = RectIn(panel, form->LaterBtn->Handle());
  s.yesRect = RectIn(window, form->YesBtn->Handle());
  s.icon = RectIn(window, form->Icon->Handle());
  s.hasPicture = form->Icon->HasPicture();
  s.textHeight = TextHeight(label, s.text, Width(s.label));
  if (const char* folder = std::getenv("DESKPIN_SHOTS")) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name();
    for (char& c : name)
      if (c == '/') c = '_';
    SaveScreenshot(window, std::string(folder) + "\\" + name + ".bmp");
  }
  return s;
}

void PressEnter(HWND window) {
  PressKey(window, VK_RETURN);
}
void PressEsc(HWND window) {
  PressKey(window, VK_ESCAPE);
}
void ClickYes(HWND) {
  SendMessageA(nxNovexUpgradeMessageForm->YesBtn->Handle(), BM_CLICK, 0, 0);
}
void ClickLater(HWND) {
  SendMessageA(nxNovexUpgradeMessageForm->LaterBtn->Handle(), BM_CLICK, 0, 0);
}
void CloseBox(HWND window) {
  PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}
void AltF4(HWND window) {
  PostMessageA(window, WM_SYSKEYDOWN, VK_F4, 1 | (1u << 29));
}

class UpgradeQuestion : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { Application().Initialize(); }
  void SetUp() override {
    MsgBase = MsgBaseOf(wlEnglish);
    Application().SetTitle("Deskpin Test");
  }
  void TearDown() override {
    Stop();
    MsgBase = savedBase_;
    Application().ProcessMessages();  // closed forms free themselves now
  }

  // Shows the question for message; the robot records it and answers.
  bool Ask(const AnsiString& message, void (*answer)(HWND) = PressEsc) {
    WhenShown(OpenQuestion, [this, answer](HWND window) {
      shown_ = Inspect(window);
      answer(window);
    });
    const bool result = ShowUpgradeQuestion(message);
    EXPECT_TRUE(Acted()) << "the question never showed";
    return result;
  }

  Shown shown_;

 private:
  WORD savedBase_ = MsgBase;
};

struct AnswerCase {
  const char* name;
  void (*answer)(HWND);
  bool expected;
};

void PrintTo(const AnswerCase& c, std::ostream* out) {
  *out << c.name;
}

class UpgradeAnswer : public UpgradeQuestion, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(UpgradeAnswer, EndsTheQuestionAndFreesTheForm) {
  EXPECT_EQ(Ask("Fixes.", GetParam().answer), GetParam().expected);
  EXPECT_EQ(nxNovexUpgradeMessageForm, nullptr);
  Application().ProcessMessages();
  EXPECT_FALSE(IsWindow(shown_.window)) << "the closed question was not freed";
}

INSTANTIATE_TEST_SUITE_P(Ways, UpgradeAnswer,
                         ::testing::Values(AnswerCase{"Enter", PressEnter, true},
                                           AnswerCase{"YesButton", ClickYes, true},
                                           AnswerCase{"Esc", PressEsc, false},
                                           AnswerCase{"LaterButton", ClickLater, false},
                                           AnswerCase{"CloseBox", CloseBox, false},
                                           AnswerCase{"AltF4", AltF4, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UpgradeQuestion, ShowsTheLocalizedQuestionInFrontOfEverything) {
  Ask("Version 2.0 repairs the desktop link.");
  EXPECT_EQ(shown_.caption, "Application update wizard");
  EXPECT_EQ(shown_.yes, "&Yes");
  EXPECT_EQ(shown_.later, "&Later");
  EXPECT_EQ(shown_.text,
            "A newer version of Deskpin Test was released.\n\nVersion 2.0 repairs the desktop "
            "link.\n\n" +
                std::string(kEnglishQuestionEnd));
  EXPECT_TRUE(shown_.exStyle & WS_EX_TOPMOST);
  EXPECT_TRUE(shown_.hasPicture);
}

TEST_F(UpgradeQuestion, EmptyMessageLeavesTwoLineFeeds) {
  Ask("");
  EXPECT_EQ(shown_.text,
            "A newer version of Deskpin Test was released.\n\n" + std::string(kEnglishQuestionEnd));
}

TEST_F(UpgradeQuestion, AmpersandsInTheMessageShowAsTheyAre) {
  Ask("Q&A pages & more");
  EXPECT_NE(shown_.text.find("Q&A pages & more"), std::string::npos);
  EXPECT_TRUE(shown_.labelStyle & SS_NOPREFIX);
}

TEST_F(UpgradeQuestion, KeepsTheDesignedLayout) {
  Ask("Fixes.");
  EXPECT_EQ(Width(shown_.client), Scaled(318));
  EXPECT_EQ(shown_.label.left, Scaled(45));
  EXPECT_EQ(shown_.label.top, Scaled(5));
  EXPECT_EQ(Width(shown_.label), shown_.outerWidth - Scaled(45) - 11);
  EXPECT_EQ(shown_.icon.left, Scaled(7));
  EXPECT_EQ(shown_.icon.top, Scaled(5));
  EXPECT_EQ(Width(shown_.icon), Scaled(32));
  EXPECT_EQ(Height(shown_.icon), Scaled(32));
  // The buttons' strip runs along the whole bottom edge.
  EXPECT_EQ(shown_.panel.left, 0);
  EXPECT_EQ(Width(shown_.panel), Width(shown_.client));
  EXPECT_EQ(Height(shown_.panel), Scaled(45));
  EXPECT_EQ(shown_.panel.bottom, shown_.client.bottom);
  EXPECT_EQ(shown_.yesInPanel.left, Scaled(78));
  EXPECT_EQ(shown_.yesInPanel.top, Scaled(13));
  EXPECT_EQ(Width(shown_.yesInPanel), Scaled(75));
  EXPECT_EQ(Height(shown_.yesInPanel), Scaled(23));
  EXPECT_EQ(shown_.laterInPanel.left, Scaled(167));
  EXPECT_EQ(shown_.laterInPanel.top, Scaled(13));
}

TEST_F(UpgradeQuestion, LongMessageMakesTheWindowTaller) {
  Ask("Fixes.");
  const int shortHeight = Height(shown_.client);
  std::string message;
  for (int i = 1; i <= 12; ++i)
    message += "Change " + std::to_string(i) + ": the link on the desktop is written again. ";
  message += "\nAnd a last line.";
  Ask(message);
  EXPECT_GT(Height(shown_.client), shortHeight + 5 * Scaled(13));
  EXPECT_EQ(Height(shown_.label), shown_.textHeight) << "the text does not fit its label";
  EXPECT_EQ(shown_.label.bottom, shown_.panel.top);
  EXPECT_GT(shown_.yesRect.top, shown_.label.bottom);
  EXPECT_LE(shown_.label.right, shown_.client.right);
}

TEST_F(UpgradeQuestion, TitleNamingTheDevelopmentEnvironmentIsNotShown) {
  const std::string environment = LoadResString(kDevEnvironmentNameId);
  ASSERT_FALSE(environment.empty());
  std::string lower = environment;
  for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  ASSERT_NE(lower, environment);
  const std::pair<std::string, std::string> cases[] = {
      {environment, "<AppTitle>"},
      {"Form1 - " + environment + " [running]", "<AppTitle>"},
      {lower, lower},  // the comparison heeds case
      {"Deskpin", "Deskpin"},
  };
  for (const auto& [title, shownTitle] : cases) {
    Application().SetTitle(title);
    Ask("");
    EXPECT_EQ(shown_.text.rfind("A newer version of " + shownTitle + " was released.", 0), 0u)
        << title;
  }
}

TEST_F(UpgradeQuestion, FollowsTheMessageLanguage) {
  TnxNovexLanguage setting = wlAuto;
  AssignLanguage(setting, wlGerman);
  EXPECT_FALSE(Ask("", PressEsc));
  EXPECT_EQ(shown_.caption, "Upgrade Anwendungsassistent");
  EXPECT_EQ(shown_.yes, "&Ja");
  EXPECT_EQ(shown_.later, LoadMsg(19));
  EXPECT_EQ(shown_.text.rfind("Eine neue Version von Deskpin Test ist erschienen.", 0), 0u);
}

TEST_F(UpgradeQuestion, OtherWindowsWaitWhileItIsOpen) {
  HWND other = CreateWindowExA(0, "STATIC", "other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                               100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(other);
  bool enabledWhileOpen = true;
  WhenShown(OpenQuestion, [&](HWND window) {
    enabledWhileOpen = IsWindowEnabled(other);
    PressEsc(window);
  });
  ShowUpgradeQuestion("");
  EXPECT_TRUE(Acted());
  EXPECT_FALSE(enabledWhileOpen);
  EXPECT_TRUE(IsWindowEnabled(other));
  DestroyWindow(other);
}

// Nothing clipped or overlapping, whatever the language and the length of
// the message. Languages run where the code page can show them.
struct LayoutCase {
  const char* name;
  TnxNovexLanguage language;
  UINT codePage;  // 0: any
  const char* message;
};

void PrintTo(const LayoutCase& c, std::ostream* out) {
  *out << c.name;
}

const char kLongMessage[] =
    "This version writes the desktop link again when it was removed, opens the web client "
    "faster, and shows its texts in the language of the system.\nIt also repairs the update of "
    "programs installed in folders with long names, and a few small things more.";

class Layout : public UpgradeQuestion, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(Layout, TextAndButtonsAllShow) {
  const LayoutCase& c = GetParam();
  if (c.codePage && GetACP() != c.codePage) GTEST_SKIP() << "needs code page " << c.codePage;
  MsgBase = MsgBaseOf(c.language);
  if (GetACP() == 936) Application().SetTitle(kChineseTitle);
  Ask(c.message);
  EXPECT_EQ(Height(shown_.label), shown_.textHeight);
  EXPECT_LE(shown_.label.right, shown_.client.right);
  EXPECT_EQ(shown_.label.bottom, shown_.panel.top);
  EXPECT_EQ(shown_.panel.bottom, shown_.client.bottom);
  EXPECT_GE(shown_.icon.bottom, shown_.label.top);
  EXPECT_LE(shown_.icon.bottom, shown_.panel.top + Scaled(13)) << "icon runs into the buttons";
}

INSTANTIATE_TEST_SUITE_P(
    Languages, Layout,
    ::testing::Values(LayoutCase{"EnglishShort", wlEnglish, 0, "Fixes."},
                      LayoutCase{"EnglishLong", wlEnglish, 0, kLongMessage},
                      LayoutCase{"GermanShort", wlGerman, 1252, "Fehler behoben."},
                      LayoutCase{"GermanLong", wlGerman, 1252, kLongMessage},
                      LayoutCase{"ChineseShort", wlChineseSimplified, 936, "\xD0\xDE\xD5\xFD"},
                      LayoutCase{"ChineseLong", wlChineseSimplified, 936, kLongMessage}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
