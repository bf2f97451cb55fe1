#include "src/app/application_win.h"

#include <algorithm>
#include <vector>

#include "src/app/control_ids.h"
#include "src/app/error_box_text.h"
#include "src/common/exception.h"
#include "src/widgets/dpi_win.h"
#include "src/widgets/gdi_handles_win.h"
#include "src/widgets/modal_win.h"

namespace kx::app {
namespace {

// The information dialog, built from an in-memory template: an icon, the text (line breaks
// kept, longer lines wrapped at half the screen's width) and one OK button that Enter and Esc
// both press; centred on the screen.
constexpr int kInfoIconId = 20;
constexpr int kInfoTextId = 0xFFFF;
constexpr int kMargin96 = 12;  // at 96 DPI
constexpr int kButtonWidth96 = 75;
constexpr int kButtonHeight96 = 23;

class DialogTemplate {
 public:
  DialogTemplate(DWORD style, const char* caption, WORD items) {
    Align(4);
    Put32(style);
    Put32(0);  // extended style
    Put16(items);
    for (int i = 0; i < 4; ++i) Put16(0);  // position and size: set when initialised
    Put16(0);                              // no menu
    Put16(0);                              // the standard dialog class
    PutText(caption);
    Put16(8);  // point size of DS_SETFONT
    PutText("MS Sans Serif");
  }
  void AddItem(DWORD style, WORD id, WORD class_atom, const char* text) {
    Align(4);
    Put32(style | WS_CHILD | WS_VISIBLE);
    Put32(0);
    for (int i = 0; i < 4; ++i) Put16(0);
    Put16(id);
    Put16(0xFFFF);
    Put16(class_atom);
    PutText(text);
    Put16(0);  // no creation data
  }
  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Align(size_t bytes) {
    while ((words_.size() * 2) % bytes) words_.push_back(0);
  }
  void Put16(WORD w) { words_.push_back(w); }
  void Put32(DWORD d) {
    Put16(LOWORD(d));
    Put16(HIWORD(d));
  }
  void PutText(const char* text) {
    for (const char* c = text; *c; ++c) Put16(static_cast<unsigned char>(*c));
    Put16(0);
  }
  std::vector<WORD> words_;
};

struct InformationParams {
  const std::string* text;
};

void LayOutInformation(HWND dialog, const std::string& text) {
  // The margins and the button grow with the display's scaling, as the dialog's font does.
  const int dpi = widgets::WindowDpi(dialog);
  const int margin = MulDiv(kMargin96, dpi, 96);
  const int button_width = MulDiv(kButtonWidth96, dpi, 96);
  const int button_height = MulDiv(kButtonHeight96, dpi, 96);
  HWND icon = GetDlgItem(dialog, kInfoIconId);
  HWND label = GetDlgItem(dialog, kInfoTextId);
  HWND ok = GetDlgItem(dialog, IDOK);
  SendMessageA(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIcon(nullptr, IDI_INFORMATION)), 0);
  SetWindowTextA(label, text.c_str());
  const int icon_size = GetSystemMetrics(SM_CXICON);
  RECT text_rect{0, 0, GetSystemMetrics(SM_CXSCREEN) / 2, 0};
  {
    widgets::ScopedWindowDc dc(label);
    widgets::ScopedSelect font(dc.get(),
                               reinterpret_cast<HFONT>(SendMessageA(label, WM_GETFONT, 0, 0)));
    DrawTextA(dc.get(), text.c_str(), -1, &text_rect,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
  }
  const int text_width = static_cast<int>(text_rect.right);
  const int text_height = static_cast<int>(text_rect.bottom);
  const int text_left = margin + icon_size + margin;
  const int text_top = margin + std::max(0, (icon_size - text_height) / 2);
  MoveWindow(icon, margin, margin, icon_size, icon_size, FALSE);
  MoveWindow(label, text_left, text_top, text_width, text_height, FALSE);
  const int content_bottom = std::max(margin + icon_size, text_top + text_height);
  const int client_width = std::max(text_left + text_width + margin, button_width + 2 * margin);
  const int button_top = content_bottom + margin;
  MoveWindow(ok, (client_width - button_width) / 2, button_top, button_width, button_height, FALSE);
  RECT outer{0, 0, client_width, button_top + button_height + margin};
  AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongA(dialog, GWL_EXSTYLE)));
  const int w = outer.right - outer.left, h = outer.bottom - outer.top;
  SetWindowPos(dialog, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR HandleInformation(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG:
      LayOutInformation(dialog, *reinterpret_cast<InformationParams*>(lp)->text);
      return TRUE;  // the focus goes to the OK button
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) EndDialog(dialog, LOWORD(wp));
      return TRUE;
  }
  return FALSE;
}

INT_PTR CALLBACK InformationProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
  return widgets::GuardCallback<INT_PTR>(FALSE,
                                         [&] { return HandleInformation(dialog, msg, wp, lp); });
}

// The error box is the platform's message box, which sizes itself by its text; a hook widens
// it where its caption (the application title) would otherwise be cut off.
HHOOK g_caption_hook = nullptr;

// The width the box needs for its caption, the close button and the frame.
int CaptionWidth(HWND box) {
  char caption[256] = {};
  GetWindowTextA(box, caption, sizeof(caption));
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof(metrics);
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
  widgets::ScopedFont font(CreateFontIndirectA(&metrics.lfCaptionFont));
  SIZE extent{};
  {
    widgets::ScopedWindowDc dc(box);
    widgets::ScopedSelect select(dc.get(), font.get());
    GetTextExtentPoint32A(dc.get(), caption, lstrlenA(caption), &extent);
  }
  return extent.cx + 2 * GetSystemMetrics(SM_CXSIZE) + 4 * GetSystemMetrics(SM_CXFIXEDFRAME) + 8;
}

void FitCaption(HWND box) {
  const int needed = CaptionWidth(box);
  RECT r;
  GetWindowRect(box, &r);
  const int width = r.right - r.left;
  if (needed <= width) return;
  const int grow = needed - width;
  SetWindowPos(box, nullptr, r.left - grow / 2, r.top, needed, r.bottom - r.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  // The buttons stay centred.
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    char cls[16] = {};
    GetClassNameA(child, cls, sizeof(cls));
    if (lstrcmpiA(cls, "Button") != 0) continue;
    RECT c;
    GetWindowRect(child, &c);
    MapWindowPoints(HWND_DESKTOP, box, reinterpret_cast<POINT*>(&c), 2);
    SetWindowPos(child, nullptr, c.left + grow / 2, c.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

LRESULT CALLBACK FitCaptionHook(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_ACTIVATE) {
    // Unhooked first: the box is fitted once, even when the fitting fails.
    UnhookWindowsHookEx(g_caption_hook);
    g_caption_hook = nullptr;
    widgets::GuardCallback(0, [wp] {
      FitCaption(reinterpret_cast<HWND>(wp));
      return 0;
    });
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

}  // namespace

Application& Application::Instance() {
  static Application application;
  return application;
}

void Application::Initialize(HINSTANCE instance) {
  instance_ = instance;
  // Every guarded window procedure, hook and callback shows what it caught in the error box.
  widgets::SetCallbackErrorDisplay(
      [](const std::exception& error) { Instance().ShowException(error); });
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
                            GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0,
                            0, nullptr, nullptr, instance, nullptr);
}

void Application::SetTitle(const std::string& title) {
  title_ = title;
  if (handle_) SetWindowTextA(handle_, title_.c_str());
}

LRESULT CALLBACK Application::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return widgets::GuardCallback<LRESULT>(
      0, [&] { return Instance().HandleMessage(hwnd, msg, wp, lp); });
}

LRESULT Application::HandleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  // While a modal dialog or box is open this window is disabled: a close from the taskbar
  // does nothing until the dialog has been closed.
  if ((msg == WM_CLOSE || (msg == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_CLOSE)) &&
      !IsWindowEnabled(hwnd)) {
    return 0;
  }
  switch (msg) {
    case WM_SETFOCUS:
      // Activating the taskbar entry brings the main window forward.
      if (main_ && IsWindowVisible(main_) && IsWindowEnabled(main_)) {
        SetActiveWindow(main_);
        return 0;
      }
      break;
    case WM_SYSCOMMAND:
      if ((wp & 0xFFF0) == SC_CLOSE) {
        if (main_) PostMessageA(main_, WM_CLOSE, 0, 0);
        return 0;
      }
      if ((wp & 0xFFF0) == SC_RESTORE && IsIconic(hwnd)) {
        DefWindowProcA(hwnd, msg, wp, lp);
        Restore();
        return 0;
      }
      break;
    case WM_CLOSE:
      if (main_) PostMessageA(main_, WM_CLOSE, 0, 0);
      return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

void Application::Run() {
  MSG msg;
  while (!terminated_) {
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    if (DroppedWhileBusy(msg)) continue;
    if (main_ && IsDialogMessageA(main_, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

bool Application::DroppedWhileBusy(const MSG& msg) const {
  if (!busy_ || !main_ || (msg.hwnd != main_ && !IsChild(main_, msg.hwnd))) return false;
  const bool keys = msg.message == WM_KEYDOWN || msg.message == WM_KEYUP ||
                    msg.message == WM_CHAR || msg.message == WM_DEADCHAR;
  const bool mouse = msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST;
  // System keys pass: Alt+F4 and Alt+Space reach the close request, which the window holds.
  return keys || mouse;
}

void Application::Minimize() {
  if (main_) ShowWindow(main_, SW_HIDE);
  ShowWindow(handle_, SW_MINIMIZE);
}

void Application::Restore() {
  if (!main_) return;
  ShowWindow(main_, SW_SHOW);
  SetForegroundWindow(main_);
  SetActiveWindow(main_);
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
  const std::string text = ErrorBoxText(message);
  HWND focus = GetFocus();
  HWND active = GetActiveWindow();
  {
    widgets::OtherWindowsDisabled disabled(handle_);
    g_caption_hook = SetWindowsHookExA(WH_CBT, FitCaptionHook, nullptr, GetCurrentThreadId());
    MessageBoxA(handle_, text.c_str(), title_.c_str(), MB_OK | MB_ICONSTOP);
    if (g_caption_hook) {
      UnhookWindowsHookEx(g_caption_hook);
      g_caption_hook = nullptr;
    }
  }
  if (active && IsWindow(active)) SetActiveWindow(active);
  if (focus && IsWindow(focus)) SetFocus(focus);
}

void Application::ShowInformation(HWND owner, const std::string& text) {
  DialogTemplate dialog(DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU,
                        "Information", 3);
  dialog.AddItem(SS_ICON, kInfoIconId, 0x0082, "");
  dialog.AddItem(SS_LEFT | SS_NOPREFIX, kInfoTextId, 0x0082, "");
  dialog.AddItem(BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK, 0x0080, "OK");
  InformationParams params{&text};
  // The dialog disables its owner; the application window (the taskbar entry) is disabled
  // here, so that nothing closes the program under the open dialog.
  widgets::OtherWindowsDisabled disabled(owner);
  DialogBoxIndirectParamA(instance_, dialog.Get(), owner, InformationProc,
                          reinterpret_cast<LPARAM>(&params));
}

}  // namespace kx::app
