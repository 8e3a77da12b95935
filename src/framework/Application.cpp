#include "Application.h"

#include <commctrl.h>
#include <objbase.h>

#include "Forms.h"

namespace {

constexpr char kApplicationClass[] = "TApplication";
// Marks the top-level windows of our forms, for keyboard navigation.

LRESULT CALLBACK ApplicationWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

TApplication& Application() {
  static TApplication* application = new TApplication();  // lives until the process ends
  return *application;
}

TApplication::TApplication() : TComponent(nullptr), instance_(GetModuleHandleA(nullptr)) {}

TApplication::~TApplication() {
  Destroying();
  DestroyComponents();
  if (handle_) DestroyWindow(handle_);
  if (comInitialized_) CoUninitialize();
}

void TApplication::Initialize() {
  if (!comInitialized_)
    comInitialized_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  INITCOMMONCONTROLSEX controls{sizeof(controls),
                                ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  CreateHandle();
}

void TApplication::CreateHandle() {
  if (handle_) return;
  WNDCLASSA wc{};
  wc.lpfnWndProc = ApplicationWndProc;
  wc.hInstance = instance_;
  wc.lpszClassName = kApplicationClass;
  wc.hIcon = LoadIconA(instance_, "MAINICON");
  RegisterClassA(&wc);
  // Never shown: the program has no window of its own on the task bar.
  handle_ = CreateWindowExA(0, kApplicationClass, title_.c_str(),
                            WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                            0, 0, 0, 0, nullptr, nullptr, instance_, nullptr);
}

HWND TApplication::Handle() {
  CreateHandle();
  return handle_;
}

void TApplication::SetTitle(const AnsiString& title) {
  title_ = title;
  if (handle_) SetWindowTextA(handle_, title_.c_str());
}

AnsiString TApplication::ExeName() const {
  char path[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

bool TApplication::ProcessMessage(MSG& msg) {
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    terminated_ = true;
    return true;
  }
  if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST && msg.hwnd) {
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    if (root && GetPropA(root, TForm::kFormProp) && IsDialogMessageA(root, &msg)) return true;
  }
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
  return true;
}

void TApplication::ProcessMessages() {
  MSG msg;
  while (ProcessMessage(msg)) {
  }
}

void TApplication::HandleMessage() {
  MSG msg;
  if (ProcessMessage(msg) || terminated_) return;
  // A sent message handled inside PeekMessage may have run a whole nested
  // loop that saw the quit request: hence the check above. Messages already
  // in the queue end the wait too, not only new ones.
  MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

void TApplication::Run() {
  if (mainForm_ && ShowMainForm) mainForm_->Show();
  while (!terminated_) HandleMessage();
}

void TApplication::Terminate() {
  PostQuitMessage(0);
}

TTaskWindowsDisabled::TTaskWindowsDisabled(HWND except) : except_(except) {
  EnumThreadWindows(GetCurrentThreadId(), DisableWindow, reinterpret_cast<LPARAM>(this));
}

BOOL CALLBACK TTaskWindowsDisabled::DisableWindow(HWND hwnd, LPARAM data) {
  auto* self = reinterpret_cast<TTaskWindowsDisabled*>(data);
  if (hwnd != self->except_ && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) {
    EnableWindow(hwnd, FALSE);
    self->windows_.push_back(hwnd);
  }
  return TRUE;
}

void TTaskWindowsDisabled::Restore() {
  for (HWND w : windows_)
    if (IsWindow(w)) EnableWindow(w, TRUE);
  windows_.clear();
}

int TApplication::MessageBox(const AnsiString& text, const AnsiString& caption, UINT flags) {
  // Modal to the whole program: an open wizard must not take input meanwhile.
  TTaskWindowsDisabled disabled(nullptr);
  return ::MessageBoxA(Handle(), text.c_str(), caption.c_str(), flags);
}

std::string TApplication::ExceptionMessage(std::exception_ptr error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
  }
  return "Unknown exception";
}

void TApplication::HandleException(std::exception_ptr error) {
  try {
    if (OnException) {
      OnException(error);
      return;
    }
    std::string text = ExceptionMessage(error);
    if (!text.empty() && text.back() != '.') text += '.';
    ::MessageBoxA(Handle(), text.c_str(), title_.c_str(), MB_OK | MB_ICONSTOP);
  } catch (...) {
    // The handler of last resort must not throw in turn.
  }
}
