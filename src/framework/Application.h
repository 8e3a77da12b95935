// The application object: title, main form, message loop and termination,
// message boxes and the standard exception handler.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "Component.h"

class TForm;

class TApplication : public TComponent {
 public:
  TApplication();
  ~TApplication() override;

  // Initialises COM for the main thread (single-threaded apartment) and the
  // common controls. Call once at start, before any form is created.
  void Initialize();

  const AnsiString& Title() const { return title_; }
  void SetTitle(const AnsiString& title);

  // The hidden application window: owner of message boxes and top-level forms.
  HWND Handle();
  HINSTANCE Instance() const { return instance_; }
  AnsiString ExeName() const;

  // Creates a form owned by the application; the first one becomes the main form.
  template <typename T>
  void CreateForm(T*& reference) {
    reference = new T(this);
    if (!mainForm_) mainForm_ = reference;
  }
  TForm* MainForm() const { return mainForm_; }

  // Whether Run shows the main form before entering the loop.
  bool ShowMainForm = true;

  // Runs the message loop until the application is terminated.
  void Run();
  // Asks every message loop to end: the main loop, modal loops and waits.
  void Terminate();
  bool Terminated() const { return terminated_; }

  // Handles every message waiting now, then returns.
  void ProcessMessages();
  // Handles one message, or waits for the next one when none is waiting.
  void HandleMessage();

  // A message box owned by the application window.
  int MessageBox(const AnsiString& text, const AnsiString& caption, UINT flags);

  // The standard exception handler: OnException when assigned, else a message
  // box with the exception's message. Never throws.
  void HandleException(std::exception_ptr error = std::current_exception());
  std::function<void(std::exception_ptr)> OnException;

  // The text of an exception object, for messages.
  static std::string ExceptionMessage(std::exception_ptr error);

  // Tells the loop which modeless form keyboard navigation goes to.
  void SetActiveDialog(HWND dialog) { activeDialog_ = dialog; }

 private:
  friend class TForm;
  bool ProcessMessage(MSG& msg);
  void CreateHandle();

  AnsiString title_;
  HWND handle_ = nullptr;
  HINSTANCE instance_;
  TForm* mainForm_ = nullptr;
  bool terminated_ = false;
  bool comInitialized_ = false;
  HWND activeDialog_ = nullptr;
};

// While it lives, the thread's visible and enabled top-level windows but one
// are disabled, as under a modal window.
class TTaskWindowsDisabled {
 public:
  explicit TTaskWindowsDisabled(HWND except);
  ~TTaskWindowsDisabled() { Restore(); }
  TTaskWindowsDisabled(const TTaskWindowsDisabled&) = delete;
  TTaskWindowsDisabled& operator=(const TTaskWindowsDisabled&) = delete;
  void Restore();

 private:
  static BOOL CALLBACK DisableWindow(HWND hwnd, LPARAM data);
  HWND except_;
  std::vector<HWND> windows_;
};

// The program's one application object.
TApplication& Application();

// Runs a callback that Windows calls into us. No C++ exception may cross a
// frame of Windows itself: whatever escapes goes to HandleException and the
// fallback value is returned.
template <typename F, typename R = std::invoke_result_t<F>>
R GuardCallback(F&& body, R fallback = R()) {
  try {
    return body();
  } catch (...) {
    Application().HandleException(std::current_exception());
    return fallback;
  }
}
template <typename F>
void GuardCallbackVoid(F&& body) {
  try {
    body();
  } catch (...) {
    Application().HandleException(std::current_exception());
  }
}
