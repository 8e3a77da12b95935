// A robot for the update's dialogs of a running Deskpin: it finds our windows
// by class and caption, answers the question with Yes and the completed
// wizard with OK, closes the update's OK-only message boxes, and does nothing
// else. It reads the captions and button
// texts from the program's own string table, so it works in every language.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace updaterobot {

enum class Stage { Question, Downloading, Completed, Message };

// What a dialog showed when the robot looked at it.
struct Sighting {
  Stage stage;
  std::wstring caption;
  std::vector<std::wstring> texts;  // its children's texts, in window order
  std::vector<int> progress;        // its progress bars' positions
  int message = -1;                 // a message box's: the number of its text
};

struct Options {
  std::wstring programFile;  // Deskpin.exe whose texts the windows show
  DWORD processId = 0;       // only this process's windows; 0: any process
  HANDLE process = nullptr;  // ends the watch early when it ends
  DWORD timeoutMs = 40000;
  // Called once per stage before the robot acts on it (for screenshots).
  std::function<void(const Sighting&, HWND)> onStage;
};

struct Report {
  std::vector<Sighting> seen;
  bool pressedYes = false;
  bool pressedOK = false;
  int messagesClosed = 0;  // each one is also in seen
  // Highest position of the all-files bar seen while downloading.
  int highestProgressWhileDownloading = -1;
};

// Watches until the completed wizard's OK has been pressed, the process has
// ended or the time is up. Message boxes are reported each time they appear,
// the other stages once.
Report AnswerUpdate(const Options& options);

const char* StageName(Stage stage);

}  // namespace updaterobot
