// A hidden window of the test's main thread whose messages go to handlers the
// test sets, for timers and messages sent from other threads.
#pragma once

#include <windows.h>

#include <functional>
#include <map>

class TestWindow {
 public:
  using Handler = std::function<LRESULT(WPARAM, LPARAM)>;

  TestWindow() {
    static const ATOM kClass = [] {
      WNDCLASSA wc = {};
      wc.lpfnWndProc = &TestWindow::Proc;
      wc.hInstance = GetModuleHandleA(nullptr);
      wc.lpszClassName = "nxUtilsTestWindow";
      return RegisterClassA(&wc);
    }();
    handle_ = CreateWindowExA(0, MAKEINTATOM(kClass), "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                              nullptr, GetModuleHandleA(nullptr), this);
  }
  ~TestWindow() { DestroyWindow(handle_); }
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  HWND Handle() const { return handle_; }
  void On(UINT message, Handler handler) { handlers_[message] = std::move(handler); }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self) {
      auto found = self->handlers_.find(message);
      if (found != self->handlers_.end()) return found->second(wParam, lParam);
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
  }

  HWND handle_ = nullptr;
  std::map<UINT, Handler> handlers_;
};

// Milliseconds since some fixed moment, for measuring waits.
inline ULONGLONG Milliseconds() {
  return GetTickCount64();
}
