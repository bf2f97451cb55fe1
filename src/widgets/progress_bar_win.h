// A progress bar (the common control, so PBM_GETPOS and the other messages work as usual)
// that draws itself: a sunken frame, the filled part, and the position as a whole number
// followed by " %" in the middle of the bar.
#pragma once

#include <windows.h>

namespace kx::widgets {

// Range 0 to 100, position 0, hidden.
HWND CreatePercentProgressBar(HWND parent, int id, int x, int y, int width, int height);

}  // namespace kx::widgets
