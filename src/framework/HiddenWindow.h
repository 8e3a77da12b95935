// A hidden top-level window that hands its messages to a function: what
// timers and components use to receive window messages. Top-level rather than
// message-only, so that it also gets broadcasts such as WM_QUERYENDSESSION.
#pragma once

#include <functional>

#include "SysUtils.h"

class THiddenWindow {
 public:
  // handler returns true when it handled the message and sets result.
  using Handler = std::function<bool(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)>;

  explicit THiddenWindow(Handler handler, const char* className = "TPUtilWindow");
  ~THiddenWindow();
  THiddenWindow(const THiddenWindow&) = delete;
  THiddenWindow& operator=(const THiddenWindow&) = delete;

  HWND Handle() const { return hwnd_; }

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  Handler handler_;
  HWND hwnd_ = nullptr;
};
