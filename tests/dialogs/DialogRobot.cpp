#include "DialogRobot.h"

namespace dialogrobot {
namespace {

constexpr UINT kTickMs = 30;

struct State {
  std::function<HWND()> find;
  std::function<void(HWND)> act;
  int ticksLeft = 0;
  bool acted = false;
  UINT_PTR timer = 0;
};
State g_state;

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  HWND window = g_state.find ? g_state.find() : nullptr;
  if (window && IsWindowVisible(window)) {
    Stop();
    g_state.acted = true;
    g_state.act(window);
    return;
  }
  if (--g_state.ticksLeft <= 0) {
    Stop();
    if (window) PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  }
}

}  // namespace

void WhenShown(std::function<HWND()> find, std::function<void(HWND)> act, int timeoutMs) {
  Stop();
  g_state.find = std::move(find);
  g_state.act = std::move(act);
  g_state.ticksLeft = timeoutMs / kTickMs;
  g_state.acted = false;
  g_state.timer = SetTimer(nullptr, 0, kTickMs, Tick);
}

bool Acted() {
  return g_state.acted;
}

void Stop() {
  if (g_state.timer) KillTimer(nullptr, g_state.timer);
  g_state.timer = 0;
}

std::string WindowText(HWND window) {
  const int length = GetWindowTextLengthA(window);
  std::string text(length + 1, '\0');
  text.resize(GetWindowTextA(window, &text[0], length + 1));
  return text;
}

RECT RectIn(HWND parent, HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

void PressKey(HWND dialog, WPARAM key) {
  HWND focus = GetFocus();
  HWND target = focus && GetAncestor(focus, GA_ROOT) == dialog ? focus : dialog;
  PostMessageA(target, WM_KEYDOWN, key, 1);
  PostMessageA(target, WM_KEYUP, key, 1 | (1u << 30) | (1u << 31));
}

bool SaveScreenshot(HWND window, const std::string& path, bool redraw) {
  if (redraw)
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  RECT r;
  GetWindowRect(window, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  BITMAPINFOHEADER info{};
  info.biSize = sizeof(info);
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const DWORD stride = ((width * 3 + 3) / 4) * 4;
  std::string pixels(stride * height, '\0');
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  SelectObject(memory, old);
  GetDIBits(memory, bitmap, 0, height, &pixels[0], reinterpret_cast<BITMAPINFO*>(&info),
            DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);

  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(file) + sizeof(info);
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(out, &file, sizeof(file), &written, nullptr) &&
            WriteFile(out, &info, sizeof(info), &written, nullptr) &&
            WriteFile(out, pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr);
  CloseHandle(out);
  return ok;
}

}  // namespace dialogrobot
