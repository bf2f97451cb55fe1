#include "app/application_win.h"

#include <vector>

#include "app/control_ids.h"
#include "common/exception.h"

namespace kx_app {
namespace {

// The box being centred by the CBT hook of ShowInformation.
HHOOK g_center_hook = nullptr;

LRESULT CALLBACK CenterOnScreenHook(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(wp);
    RECT r;
    GetWindowRect(box, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    SetWindowPos(box, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    UnhookWindowsHookEx(g_center_hook);
    g_center_hook = nullptr;
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

struct DisabledWindows {
  HWND except;
  std::vector<HWND> windows;
};

BOOL CALLBACK DisableThreadWindow(HWND hwnd, LPARAM lp) {
  auto* state = reinterpret_cast<DisabledWindows*>(lp);
  if (hwnd != state->except && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) {
    state->windows.push_back(hwnd);
  }
  return TRUE;
}

}  // namespace

Application& Application::Instance() {
  static Application application;
  return application;
}

void Application::Initialize(HINSTANCE instance) {
  instance_ = instance;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = kApplicationClass;
  RegisterClassA(&wc);
  // A window of no size at the screen's centre: invisible, but its caption is the taskbar
  // entry of the program, and it owns the main window and the error box.
  handle_ = CreateWindowExA(0, kApplicationClass, title_.c_str(),
                            WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                            GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2,
                            0, 0, nullptr, nullptr, instance, nullptr);
}

void Application::SetTitle(const std::string& title) {
  title_ = title;
  if (handle_) SetWindowTextA(handle_, title_.c_str());
}

LRESULT CALLBACK Application::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Application& app = Instance();
  switch (msg) {
    case WM_SETFOCUS:
      // Activating the taskbar entry brings the main window forward.
      if (app.main_ && IsWindowVisible(app.main_) && IsWindowEnabled(app.main_)) {
        SetActiveWindow(app.main_);
        return 0;
      }
      break;
    case WM_SYSCOMMAND:
      if ((wp & 0xFFF0) == SC_CLOSE) {
        if (app.main_) PostMessageA(app.main_, WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    case WM_CLOSE:
      if (app.main_) PostMessageA(app.main_, WM_CLOSE, 0, 0);
      return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

void Application::Run() {
  MSG msg;
  while (!terminated_) {
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    if (main_ && IsDialogMessageA(main_, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void Application::Terminate() {
  terminated_ = true;
  PostQuitMessage(0);
}

void Application::ShowException(const std::exception& error) {
  if (const auto* own = dynamic_cast<const Exception*>(&error)) {
    ShowErrorText(own->Message());
  } else {
    ShowErrorText(error.what());
  }
}

void Application::ShowErrorText(const std::string& message) {
  const std::string text = MessageWithFullStop(message);
  HWND focus = GetFocus();
  HWND active = GetActiveWindow();
  DisabledWindows disabled{handle_, {}};
  EnumThreadWindows(GetCurrentThreadId(), DisableThreadWindow,
                    reinterpret_cast<LPARAM>(&disabled));
  for (HWND w : disabled.windows) EnableWindow(w, FALSE);
  MessageBoxA(handle_, text.c_str(), title_.c_str(), MB_OK | MB_ICONSTOP);
  for (HWND w : disabled.windows) EnableWindow(w, TRUE);
  if (active && IsWindow(active)) SetActiveWindow(active);
  if (focus && IsWindow(focus)) SetFocus(focus);
}

void Application::ShowInformation(HWND owner, const std::string& text) {
  g_center_hook = SetWindowsHookExA(WH_CBT, CenterOnScreenHook, nullptr, GetCurrentThreadId());
  MessageBoxA(owner, text.c_str(), "Information", MB_OK | MB_ICONINFORMATION);
  if (g_center_hook) {
    UnhookWindowsHookEx(g_center_hook);
    g_center_hook = nullptr;
  }
}

}  // namespace kx_app
