// What a modal dialog or box of the program does to the rest of it: this thread's other
// visible, enabled top-level windows (the main window, the hidden application window that
// carries the taskbar entry) are disabled while it is open and enabled again afterwards, so
// nothing behind it (not even the taskbar's Close) acts meanwhile.
#pragma once

#include <windows.h>

#include <vector>

namespace kx::widgets {

class OtherWindowsDisabled {
 public:
  // `except` is left alone: the dialog's owner, which the dialog disables and enables again
  // itself (that also gives the activation back to it when the dialog closes).
  explicit OtherWindowsDisabled(HWND except);
  ~OtherWindowsDisabled();
  OtherWindowsDisabled(const OtherWindowsDisabled&) = delete;
  OtherWindowsDisabled& operator=(const OtherWindowsDisabled&) = delete;

 private:
  static BOOL CALLBACK Collect(HWND window, LPARAM self);
  HWND except_;
  std::vector<HWND> disabled_;
};

}  // namespace kx::widgets
