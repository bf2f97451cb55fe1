#include "src/widgets/dpi_win.h"

#include "src/widgets/gdi_handles_win.h"

namespace kx::widgets {

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);

// Looked up at run time: the function is missing before Windows 10 1607.
GetDpiForWindowFn DpiForWindowFunction() {
  static const GetDpiForWindowFn function = [] {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    return user32 ? reinterpret_cast<GetDpiForWindowFn>(
                        reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")))
                  : nullptr;
  }();
  return function;
}

}  // namespace

int SystemDpi() {
  ScopedWindowDc screen(nullptr);
  const int dpi = screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
  return dpi > 0 ? dpi : 96;
}

int WindowDpi(HWND window) {
  if (GetDpiForWindowFn function = DpiForWindowFunction(); function && window) {
    const UINT dpi = function(window);
    if (dpi > 0) return static_cast<int>(dpi);
  }
  return SystemDpi();
}

}  // namespace kx::widgets
