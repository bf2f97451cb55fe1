// The display scaling a window is shown at. Newer systems tell it per window (a window moved
// to a monitor with another scaling gets WM_DPICHANGED); older ones have one system DPI.
#pragma once

#include <windows.h>

namespace kx::widgets {

// The window's DPI, or the system's where the system does not keep one per window.
int WindowDpi(HWND window);
// The system DPI (the primary monitor's scaling when the program started).
int SystemDpi();

}  // namespace kx::widgets
