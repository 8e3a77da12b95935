#include "HiddenWindow.h"

#include "Application.h"

THiddenWindow::THiddenWindow(Handler handler, const char* className)
    : handler_(std::move(handler)) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  if (!GetClassInfoA(instance, className, &wc)) {
    wc = WNDCLASSA{};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.lpszClassName = className;
    RegisterClassA(&wc);
  }
  hwnd_ = CreateWindowExA(WS_EX_TOOLWINDOW, className, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                          instance, this);
  if (!hwnd_) throw LastOSError();
}

THiddenWindow::~THiddenWindow() {
  if (hwnd_) {
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
}

LRESULT CALLBACK THiddenWindow::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<THiddenWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self && self->handler_) {
    LRESULT result = 0;
    bool handled =
        GuardCallback([&] { return self->handler_(msg, wParam, lParam, result); }, false);
    if (handled) return result;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}
