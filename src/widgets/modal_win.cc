#include "src/widgets/modal_win.h"

#include "src/widgets/window_guard_win.h"

namespace kx::widgets {

OtherWindowsDisabled::OtherWindowsDisabled(HWND except) : except_(except) {
  EnumThreadWindows(GetCurrentThreadId(), &Collect, reinterpret_cast<LPARAM>(this));
  for (HWND window : disabled_) EnableWindow(window, FALSE);
}

OtherWindowsDisabled::~OtherWindowsDisabled() {
  for (HWND window : disabled_) {
    if (IsWindow(window)) EnableWindow(window, TRUE);
  }
}

BOOL CALLBACK OtherWindowsDisabled::Collect(HWND window, LPARAM self_param) {
  return GuardCallback<BOOL>(FALSE, [&] {
    auto* self = reinterpret_cast<OtherWindowsDisabled*>(self_param);
    if (window != self->except_ && IsWindowVisible(window) && IsWindowEnabled(window)) {
      self->disabled_.push_back(window);
    }
    return TRUE;
  });
}

}  // namespace kx::widgets
