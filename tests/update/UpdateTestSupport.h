// What the update component's tests share: a record of its events, a robot
// that answers its dialogs from a timer of the main thread (the dialogs are
// modal, so the robot has to work inside their loops), and a message-pumping
// wait that notes every window the program showed.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "nxNovex.h"

namespace updatetest {

// Every update event of a component, in order, as short names:
// Begin, Later, NoUpdate, NoInfo, ConnLost, Unreachable, Password,
// Start / Start:skip, Done, Lost:<code>, Aborted, End.
class TEventLog {
 public:
  explicit TEventLog(TnxNovex& novex);
  TEventLog(const TEventLog&) = delete;  // the component's handlers point here
  TEventLog& operator=(const TEventLog&) = delete;
  std::string Joined() const;
  bool Has(const std::string& name) const;
  int Count(const std::string& name) const;

  std::vector<std::string> events;
  std::vector<std::string> doneFiles;  // OnFileDone's file names
  std::vector<DWORD> unreachableTicks;
  int progressReports = 0;
  std::uint8_t lastTotalPercent = 0;
  AnsiString beginMessage;
  TqdUpgradeMethod beginMethod = umSelfUpgrade;
  // What OnEndUpgrade answers; False keeps the test process running.
  bool restartAtEnd = false;
  bool clearCanUpgrade = false;  // answer of OnBeginUpgrade
  int closeCalls = 0;            // OnDoOwnCloseAppMethod
};

// One answer of the robot: when find() names a visible window, act() runs on it.
struct TStep {
  std::string what;  // for failure messages
  std::function<HWND()> find;
  std::function<void(HWND)> act;
};

// Runs the steps in order from a thread timer; each step once.
class TRobot {
 public:
  TRobot();
  ~TRobot();
  void Then(TStep step);
  bool Done() const { return next_ >= steps_.size() && !gaveUp_; }
  std::string Pending() const {
    return (Done() ? std::string() : steps_[next_].what) + (gaveUp_ ? " (gave up)" : "");
  }
  std::vector<std::string> seenTexts;    // the texts of the message boxes answered
  std::vector<std::string> seenWindows;  // captions of every visible window met, once each

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
  void Run();
  void GiveUp();
  std::vector<TStep> steps_;
  size_t next_ = 0;
  DWORD stepSince_ = GetTickCount();
  bool gaveUp_ = false;
  UINT_PTR timer_ = 0;
  bool running_ = false;
};

// Top-level window of this thread with this class and caption, visible, and
// (when not empty) with a child button of that text; null when none.
HWND FindOwnWindow(const std::string& className, const std::string& caption,
                   const std::string& buttonText = std::string());
// A message box of this thread with this caption whose text contains part.
HWND FindMessageBox(const std::string& caption, const std::string& part);
// The text a message box shows.
std::string MessageBoxText(HWND box);
// Presses a button of a message box by its command identifier.
void PressBoxButton(HWND box, int id);
// Clicks the child button of window whose text is buttonText.
void ClickButton(HWND window, const std::string& buttonText);
std::vector<HWND> ChildWindows(HWND window);
// The captions of every visible top-level window of this thread, now.
std::vector<std::string> VisibleWindowCaptions();

// Pumps messages until done() or the time is up (a hang guard); every
// caption of a visible window seen meanwhile is added to seen.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs,
               std::vector<std::string>* seen = nullptr);

}  // namespace updatetest
