// Helpers for the Windows tests of the widgets: a visible host window, message pumping,
// keyboard modifier state, the clipboard, and a watcher thread that finds a modal dialog of
// the UI thread, looks at it and closes it, so the UI thread is never blocked by a test.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace kx::widgets {

namespace widgets_test {

// Processes every message waiting for this thread.
void PumpMessages();

// A visible top-level window with the given client size at (left, top).
class HostWindow {
 public:
  HostWindow(int left, int top, int client_width, int client_height);
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;
  HWND hwnd() const { return hwnd_; }

 private:
  HWND hwnd_;
};

// Holds modifier keys down in this thread's keyboard state for its lifetime.
class Modifiers {
 public:
  Modifiers(bool shift, bool ctrl, bool alt);
  ~Modifiers();
  Modifiers(const Modifiers&) = delete;
  Modifiers& operator=(const Modifiers&) = delete;

 private:
  BYTE saved_[256];
};

// Sends a key press (WM_KEYDOWN, plus WM_CHAR when `ch` is not 0) to `hwnd` with the given
// modifiers held.
void PressKey(HWND hwnd, WPARAM key, wchar_t ch = 0, bool shift = false, bool ctrl = false,
              bool alt = false);

void SetClipboardText(HWND owner, const std::wstring& text);
std::wstring ClipboardText(HWND owner);

// Watches for a dialog (class #32770) of the given thread from a thread of its own. When one
// shows, `inspect` runs on the watcher thread with the dialog's handle and returns the command
// to post to it (IDOK or IDCANCEL). Without a dialog within the timeout nothing is posted.
class DialogWatcher {
 public:
  DialogWatcher(DWORD ui_thread, std::function<int(HWND dialog)> inspect, DWORD timeout_ms = 15000);
  ~DialogWatcher();  // joins
  DialogWatcher(const DialogWatcher&) = delete;
  DialogWatcher& operator=(const DialogWatcher&) = delete;
  bool Found() const { return found_; }
  void Join();

 private:
  std::atomic<bool> found_{false};
  std::thread thread_;
};

// The text of a window, read with WM_GETTEXT (works across threads).
std::string WindowTextA(HWND hwnd);

}  // namespace widgets_test

}  // namespace kx::widgets
