#include "src/widgets/progress_bar_win.h"

#include <commctrl.h>

#include <string>

#include "src/widgets/gdi_handles_win.h"
#include "src/widgets/window_guard_win.h"

namespace kx::widgets {

namespace {

constexpr UINT_PTR kPercentSubclassId = 1;

void PaintProgress(HWND hwnd, HDC dc) {
  RECT r;
  GetClientRect(hwnd, &r);
  DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
  const int low = static_cast<int>(SendMessageA(hwnd, PBM_GETRANGE, TRUE, 0));
  const int high = static_cast<int>(SendMessageA(hwnd, PBM_GETRANGE, FALSE, 0));
  const int pos = static_cast<int>(SendMessageA(hwnd, PBM_GETPOS, 0, 0));
  const int span = high > low ? high - low : 1;
  RECT filled = r;
  filled.right = r.left + (r.right - r.left) * (pos - low) / span;
  RECT rest = r;
  rest.left = filled.right;
  FillRect(dc, &filled, GetSysColorBrush(COLOR_HIGHLIGHT));
  FillRect(dc, &rest, GetSysColorBrush(COLOR_BTNFACE));

  const std::string text = std::to_string(pos) + " %";
  ScopedSelect font(dc, GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  // The text is drawn twice, each time clipped to one part, so it stays readable on both.
  const int saved = SaveDC(dc);
  IntersectClipRect(dc, filled.left, filled.top, filled.right, filled.bottom);
  SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
  DrawTextA(dc, text.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  RestoreDC(dc, saved);
  IntersectClipRect(dc, rest.left, rest.top, rest.right, rest.bottom);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  DrawTextA(dc, text.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

LRESULT PercentProgressMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      PaintProgress(hwnd, dc);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_PRINTCLIENT:
      PaintProgress(hwnd, reinterpret_cast<HDC>(wp));
      return 0;
  }
  return CallNextSubclass(hwnd, msg, wp, lp);
}

}  // namespace

HWND CreatePercentProgressBar(HWND parent, int id, int x, int y, int width, int height) {
  HWND bar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD, x, y, width, height, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             GetModuleHandleA(nullptr), nullptr);
  SendMessageA(bar, PBM_SETRANGE32, 0, 100);
  SendMessageA(bar, PBM_SETPOS, 0, 0);
  InstallSubclass(bar, kPercentSubclassId, PercentProgressMessage);
  return bar;
}

}  // namespace kx::widgets
