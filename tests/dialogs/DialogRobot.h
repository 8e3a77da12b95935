// Drives a modal dialog of the running program from a timer of its own
// thread: the timer fires inside the dialog's modal loop, waits until the
// question is on screen, records what it shows and then answers it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace dialogrobot {

// Runs act(window) once the dialog's window is visible; find() names the
// window, or null while there is none. Gives up (closing the window through
// its system menu) after timeoutMs.
void WhenShown(std::function<HWND()> find, std::function<void(HWND)> act, int timeoutMs = 10000);
// True when the last WhenShown found its window before the time ran out.
bool Acted();
// Stops the timer of WhenShown.
void Stop();

std::string WindowText(HWND window);
// A child window's rectangle in the client coordinates of parent.
RECT RectIn(HWND parent, HWND child);

// Pressing a key in the focused window of the dialog, as the keyboard would.
void PressKey(HWND dialog, WPARAM key);

// Saves what the screen shows of window as a .bmp file, for looking at it.
// With redraw false it takes what the window's own painting left on screen.
bool SaveScreenshot(HWND window, const std::string& path, bool redraw = true);

}  // namespace dialogrobot
