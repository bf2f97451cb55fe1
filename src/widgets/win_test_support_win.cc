#include "src/widgets/win_test_support_win.h"

#include <chrono>
#include <cstring>
#include <vector>

namespace kx::widgets {

namespace widgets_test {

void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

namespace {

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return DefWindowProcW(hwnd, msg, wp, lp);
}

const wchar_t* HostClass() {
  static const wchar_t* name = [] {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"WidgetsTestHost";
    RegisterClassW(&wc);
    return L"WidgetsTestHost";
  }();
  return name;
}

}  // namespace

HostWindow::HostWindow(int left, int top, int client_width, int client_height) {
  RECT r{0, 0, client_width, client_height};
  AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW, FALSE, 0);
  hwnd_ = CreateWindowExW(0, HostClass(), L"Widgets test host", WS_OVERLAPPEDWINDOW, left, top,
                          r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                          GetModuleHandleW(nullptr), nullptr);
  ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
  SetActiveWindow(hwnd_);
  UpdateWindow(hwnd_);
  PumpMessages();
}

HostWindow::~HostWindow() {
  DestroyWindow(hwnd_);
  PumpMessages();
}

Modifiers::Modifiers(bool shift, bool ctrl, bool alt) {
  GetKeyboardState(saved_);
  BYTE state[256];
  GetKeyboardState(state);
  auto set = [&state](int key, bool down) { state[key] = down ? 0x80 : 0; };
  set(VK_SHIFT, shift);
  set(VK_LSHIFT, shift);
  set(VK_CONTROL, ctrl);
  set(VK_LCONTROL, ctrl);
  set(VK_MENU, alt);
  set(VK_LMENU, alt);
  SetKeyboardState(state);
}

Modifiers::~Modifiers() { SetKeyboardState(saved_); }

void PressKey(HWND hwnd, WPARAM key, wchar_t ch, bool shift, bool ctrl, bool alt) {
  Modifiers held(shift, ctrl, alt);
  SendMessageW(hwnd, WM_KEYDOWN, key, 1);
  if (ch) SendMessageW(hwnd, WM_CHAR, ch, 1);
  SendMessageW(hwnd, WM_KEYUP, key, 0xC0000001);
}

void SetClipboardText(HWND owner, const std::wstring& text) {
  for (int attempt = 0; attempt < 50 && !OpenClipboard(owner); ++attempt) Sleep(20);
  EmptyClipboard();
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  std::memcpy(GlobalLock(memory), text.c_str(), bytes);
  GlobalUnlock(memory);
  SetClipboardData(CF_UNICODETEXT, memory);
  CloseClipboard();
}

std::wstring ClipboardText(HWND owner) {
  for (int attempt = 0; attempt < 50 && !OpenClipboard(owner); ++attempt) Sleep(20);
  std::wstring text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    text = static_cast<const wchar_t*>(GlobalLock(data));
    GlobalUnlock(data);
  }
  CloseClipboard();
  return text;
}

namespace {

BOOL CALLBACK FindDialog(HWND hwnd, LPARAM result) {
  wchar_t name[32] = L"";
  GetClassNameW(hwnd, name, 32);
  if (std::wstring(name) == L"#32770" && IsWindowVisible(hwnd)) {
    *reinterpret_cast<HWND*>(result) = hwnd;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

DialogWatcher::DialogWatcher(DWORD ui_thread, std::function<int(HWND)> inspect, DWORD timeout_ms)
    : thread_([this, ui_thread, inspect = std::move(inspect), timeout_ms] {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        HWND dialog = nullptr;
        while (!dialog && std::chrono::steady_clock::now() < deadline) {
          EnumThreadWindows(ui_thread, FindDialog, reinterpret_cast<LPARAM>(&dialog));
          if (!dialog) Sleep(20);
        }
        if (!dialog) return;
        found_ = true;
        Sleep(200);  // let the dialog finish its start-up (selection, status text)
        const int command = inspect(dialog);
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, command)));
      }) {}

DialogWatcher::~DialogWatcher() { Join(); }

void DialogWatcher::Join() {
  if (thread_.joinable()) thread_.join();
}

std::string WindowTextA(HWND hwnd) {
  char text[1024] = "";
  DWORD_PTR copied = 0;
  SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text),
                      SMTO_ABORTIFHUNG, 5000, &copied);
  return text;
}

}  // namespace widgets_test

}  // namespace kx::widgets
