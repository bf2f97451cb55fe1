// Program entry: the application title and the main window.
#include <windows.h>

namespace {
constexpr char kApplicationTitle[] = "Kestovar Index Files Re-Build Program";
constexpr char kWindowCaption[] = "Kestovar Index File Re-Build";
constexpr char kWindowClass[] = "Tfmrebld";
constexpr int kOuterWidth = 528;
constexpr int kOuterHeight = 383;

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kWindowClass;
  RegisterClassA(&wc);
  (void)kApplicationTitle;
  const int left = (GetSystemMetrics(SM_CXSCREEN) - kOuterWidth) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - kOuterHeight) / 2;
  HWND hwnd = CreateWindowExA(0, kWindowClass, kWindowCaption, WS_OVERLAPPEDWINDOW, left, top,
                              kOuterWidth, kOuterHeight, nullptr, nullptr, instance, nullptr);
  ShowWindow(hwnd, show);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
