// A small host window with the folder field over the gradient background, to look at the
// controls by eye: `widgets_demo [path]`, or `widgets_demo /browse [path]` to open the folder
// dialog at once. Also used for screenshots.
#include <windows.h>

#include <memory>
#include <string>

#include "src/widgets/browse_field_win.h"
#include "src/widgets/gdi_handles_win.h"
#include "src/widgets/gradient_background_win.h"
#include "src/widgets/window_guard_win.h"

namespace {

struct Demo {
  kx::widgets::ScopedFont font;  // outlives the field that uses it
  std::unique_ptr<kx::widgets::TGradientBackground> background;
  std::unique_ptr<kx::widgets::BrowseField> field;
};
Demo* g_demo = nullptr;
constexpr UINT kOpenBrowser = WM_APP + 1;

LRESULT HandleDemo(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT client;
      GetClientRect(hwnd, &client);
      if (g_demo && g_demo->background) g_demo->background->Paint(dc, client);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_SIZE:
      if (g_demo && g_demo->background) g_demo->background->Resized();
      return 0;
    case kOpenBrowser:
      if (g_demo && g_demo->field) g_demo->field->Browse();
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK DemoProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return kx::widgets::GuardCallback<LRESULT>(0, [&] { return HandleDemo(hwnd, msg, wp, lp); });
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int show) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = DemoProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = L"WidgetsDemo";
  RegisterClassW(&wc);

  RECT outer{0, 0, 520, 329};
  AdjustWindowRectEx(&outer, WS_OVERLAPPEDWINDOW, FALSE, 0);
  HWND hwnd = CreateWindowExW(0, L"WidgetsDemo", L"Folder field and gradient", WS_OVERLAPPEDWINDOW,
                              40, 40, outer.right - outer.left, outer.bottom - outer.top, nullptr,
                              nullptr, instance, nullptr);
  Demo demo;
  g_demo = &demo;
  demo.background = std::make_unique<kx::widgets::TGradientBackground>(hwnd);
  demo.background->SetGradientColorStart(9981440);
  demo.background->SetGradientColorStop(kx::widgets::clSilver);
  demo.background->SetGradientSmooth(4);
  demo.font.reset(CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, 0, 0, 0,
                              0, L"Tahoma"));
  demo.field =
      kx::widgets::BrowseField::Create(hwnd, 100, RECT{8, 192, 8 + 477, 192 + 21}, demo.font.get());
  demo.field->SetOptions(kx::widgets::kMainWindowBrowseOptions);
  demo.field->SetStartWithLast(true);
  std::string arguments = command_line ? command_line : "";
  const bool open_browser = arguments.rfind("/browse", 0) == 0;
  if (open_browser) arguments.erase(0, arguments.size() > 7 ? 8 : 7);
  const std::string initial =
      arguments.empty() ? "C:\\Documents and Settings\\All Users\\Documents\\data" : arguments;
  demo.field->SetPath(initial);

  ShowWindow(hwnd, show);
  SetFocus(demo.field->Handle());
  if (open_browser) PostMessageW(hwnd, kOpenBrowser, 0, 0);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(hwnd, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  demo.field.reset();
  g_demo = nullptr;
  return 0;
}
