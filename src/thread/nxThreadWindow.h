// The hidden window that carries calls from workers to the main thread: its
// reference count, and the internal calls that run on the window's thread.
#pragma once

#include <windows.h>

#include <functional>

// The window's wParam tells what a kCallMessage carries.
enum TThreadCallKind : WPARAM {
  tcSynchronize = 0,    // lParam: the thread object whose pending call to run
  tcControl = 1,        // lParam: a TControlCall of the component itself
  tcReleaseWindow = 2,  // the last thread object went away on another thread
};

void AllocThreadWindow();
void ReleaseThreadWindow();

// True on the thread that owns the hidden window (the main thread), and on any
// thread while there is no window.
bool OnThreadWindowThread();

// Runs body on the window's thread and waits for it; an exception it raises is
// raised again here. Runs body directly when already there.
void RunOnThreadWindow(const std::function<void()>& body);

// Whether the main thread is running a call of the worker threadId right now
// (the worker then waits for us, so we must not wait for it).
bool IsInCall(DWORD threadId);
