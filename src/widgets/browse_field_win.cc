#include "src/widgets/browse_field_win.h"

#include <uxtheme.h>

#include <algorithm>

#include "src/common/exception.h"
#include "src/widgets/ansi_text_win.h"
#include "src/widgets/folder_glyph.h"
#include "src/widgets/window_guard_win.h"

namespace kx::widgets {

namespace {

constexpr wchar_t kButtonClass[] = L"BrowseFieldButton";
constexpr wchar_t kBrowseButtonName[] = L"Browse for folder";
constexpr int kDesignButtonWidth = 18;  // at 96 DPI
constexpr std::size_t kUndoDepth = 256;
constexpr UINT_PTR kEditSubclassId = 1;

// Insert and overwrite are one mode for every field of the program.
bool g_overwrite_mode = false;

HINSTANCE ModuleInstance() { return GetModuleHandleW(nullptr); }

bool KeyDown(int key) { return (GetKeyState(key) & 0x8000) != 0; }

}  // namespace

std::unique_ptr<BrowseField> BrowseField::Create(HWND parent, int control_id, const RECT& bounds,
                                                 HFONT font) {
  static const bool registered = [] {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &BrowseField::ButtonProc;
    wc.hInstance = ModuleInstance();
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kButtonClass;
    return RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  if (!registered) throw Exception("Cannot register the browse button's window class");

  std::unique_ptr<BrowseField> field(new BrowseField());
  HWND edit = CreateWindowExW(
      WS_EX_CLIENTEDGE, L"EDIT", L"",
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN | ES_LEFT | ES_AUTOHSCROLL, bounds.left,
      bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(control_id)), ModuleInstance(), nullptr);
  if (!edit) throw Exception("Cannot create the folder field");
  field->edit_ = edit;
  BrowseField* self = field.get();
  if (!InstallSubclass(edit, kEditSubclassId, [self](HWND, UINT msg, WPARAM wp, LPARAM lp) {
        return self->HandleEdit(msg, wp, lp);
      })) {
    field->edit_ = nullptr;
    DestroyWindow(edit);
    throw Exception("Cannot attach to the folder field");
  }
  // The button's text is not drawn; it is the name a screen reader gives the button.
  field->button_ = CreateWindowExW(0, kButtonClass, kBrowseButtonName, WS_CHILD | WS_VISIBLE, 0, 0,
                                   kDesignButtonWidth, 1, edit, nullptr, ModuleInstance(), nullptr);
  if (!field->button_) throw Exception("Cannot create the folder field's button");
  SetWindowLongPtrW(field->button_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(field.get()));
  SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
  SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  field->LayoutButton();
  return field;
}

BrowseField::~BrowseField() {
  if (button_) SetWindowLongPtrW(button_, GWLP_USERDATA, 0);
  if (edit_) {
    RemoveSubclass(edit_, kEditSubclassId);
    DestroyWindow(edit_);
  }
}

std::wstring BrowseField::Text() const {
  const int length = GetWindowTextLengthW(edit_);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(edit_, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(0, copied)));
  return text;
}

std::string BrowseField::Path() const { return WideToAnsi(Text()); }

void BrowseField::SetPath(const std::string& path) { SetText(AnsiToWide(path)); }

void BrowseField::SetText(const std::wstring& text) {
  SendMessageW(edit_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool BrowseField::ReadOnly() const { return (GetWindowLongW(edit_, GWL_STYLE) & ES_READONLY) != 0; }

void BrowseField::SetReadOnly(bool on) {
  SendMessageW(edit_, EM_SETREADONLY, on ? TRUE : FALSE, 0);
}

void BrowseField::SetMaxLength(int max_length) {
  max_length_ = std::max(0, max_length);
  SendMessageW(edit_, EM_SETLIMITTEXT, static_cast<WPARAM>(max_length_), 0);
}

bool BrowseField::Enabled() const { return IsWindowEnabled(edit_) != FALSE; }

void BrowseField::SetEnabled(bool on) { EnableWindow(edit_, on ? TRUE : FALSE); }

bool BrowseField::OverwriteMode() { return g_overwrite_mode; }

void BrowseField::SetOverwriteMode(bool on) { g_overwrite_mode = on; }

bool BrowseField::HasSelection() const {
  DWORD start = 0, end = 0;
  SendMessageW(edit_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return start != end;
}

LRESULT BrowseField::Forward(UINT msg, WPARAM wp, LPARAM lp) {
  return CallNextSubclass(edit_, msg, wp, lp);
}

LRESULT BrowseField::ForwardEdit(UINT msg, WPARAM wp, LPARAM lp) {
  Snapshot before{last_text_, 0, 0};
  Forward(EM_GETSEL, reinterpret_cast<WPARAM>(&before.sel_start),
          reinterpret_cast<LPARAM>(&before.sel_end));
  const LRESULT result = Forward(msg, wp, lp);
  if (!edit_) return result;
  std::wstring now = Text();
  if (now != last_text_) {
    undo_.push_back(std::move(before));
    if (undo_.size() > kUndoDepth) undo_.erase(undo_.begin());
    undo_available_ = true;
    last_text_ = std::move(now);
    Changed();
  }
  return result;
}

void BrowseField::ApplyText(std::wstring text, bool record_undo) {
  if (max_length_ > 0 && text.size() > static_cast<std::size_t>(max_length_)) {
    text.resize(static_cast<std::size_t>(max_length_));
  }
  if (text == Text()) return;
  if (record_undo) {
    Snapshot before{last_text_, 0, 0};
    Forward(EM_GETSEL, reinterpret_cast<WPARAM>(&before.sel_start),
            reinterpret_cast<LPARAM>(&before.sel_end));
    undo_.push_back(std::move(before));
    if (undo_.size() > kUndoDepth) undo_.erase(undo_.begin());
    undo_available_ = true;
  }
  Forward(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  Forward(EM_SETSEL, 0, 0);
  Forward(EM_SCROLLCARET, 0, 0);
  last_text_ = Text();
  Changed();
}

void BrowseField::Changed() {
  if (!on_change_) return;
  // A copy, so that a handler may replace itself.
  const std::function<void()> handler = on_change_;
  handler();
}

void BrowseField::Undo() {
  if (ReadOnly() || undo_.empty()) return;
  Snapshot previous = std::move(undo_.back());
  undo_.pop_back();
  if (undo_.empty()) undo_available_ = false;
  Forward(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(previous.text.c_str()));
  Forward(EM_SETSEL, previous.sel_start, previous.sel_end);
  Forward(EM_SCROLLCARET, 0, 0);
  std::wstring now = Text();
  if (now != last_text_) {
    last_text_ = std::move(now);
    Changed();
  }
}

bool BrowseField::OnKeyDown(WPARAM key) {
  const bool shift = KeyDown(VK_SHIFT);
  const bool ctrl = KeyDown(VK_CONTROL);
  const bool alt = KeyDown(VK_MENU);
  switch (key) {
    case VK_UP:
      Forward(WM_KEYDOWN, VK_LEFT, 0);
      return true;
    case VK_DOWN:
      Forward(WM_KEYDOWN, VK_RIGHT, 0);
      return true;
    case VK_INSERT:
      if (alt) return false;
      if (shift && !ctrl) {
        RunMenuCommand(kMenuPaste);
      } else if (ctrl && !shift) {
        RunMenuCommand(kMenuCopy);
      } else if (!shift && !ctrl) {
        g_overwrite_mode = !g_overwrite_mode;
      }
      return true;
    case VK_DELETE:
      if (shift && !ctrl && !alt) {
        RunMenuCommand(kMenuCut);
        return true;
      }
      return false;
    case 'A':
    case 'C':
    case 'V':
    case 'X':
    case 'Z':
      if (!ctrl || alt) return false;
      RunMenuCommand(key == 'A'   ? kMenuSelectAll
                     : key == 'C' ? kMenuCopy
                     : key == 'V' ? kMenuPaste
                     : key == 'X' ? kMenuCut
                                  : kMenuUndo);
      return true;
    case VK_ESCAPE:
      // Collapses the selection at the caret.
      Forward(EM_SETSEL, static_cast<WPARAM>(-1), 0);
      return true;
    case VK_RETURN:
      return true;
    default:
      return false;
  }
}

HMENU BrowseField::CreateContextMenu() const {
  EditMenuInput input;
  input.undo_available = undo_available_;
  input.has_selection = HasSelection();
  input.read_only = ReadOnly();
  input.clipboard_has_text =
      IsClipboardFormatAvailable(CF_TEXT) || IsClipboardFormatAvailable(CF_UNICODETEXT);
  input.text_empty = GetWindowTextLengthW(edit_) == 0;
  const EditMenuState state = ContextMenuState(input);

  HMENU menu = CreatePopupMenu();
  auto item = [menu](bool enabled, int id, const wchar_t* text) {
    AppendMenuW(menu, MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED), static_cast<UINT_PTR>(id),
                text);
  };
  item(state.undo, kMenuUndo, L"&Undo");
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  item(state.cut, kMenuCut, L"&Cut");
  item(state.copy, kMenuCopy, L"&Copy");
  item(state.paste, kMenuPaste, L"&Paste");
  item(state.del, kMenuDelete, L"&Delete");
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  item(state.select_all, kMenuSelectAll, L"Select all");
  return menu;
}

void BrowseField::RunMenuCommand(int command) {
  const bool read_only = ReadOnly();
  switch (command) {
    case kMenuUndo:
      Undo();
      break;
    case kMenuCut:
      if (!read_only) ForwardEdit(WM_CUT, 0, 0);
      break;
    case kMenuCopy:
      Forward(WM_COPY, 0, 0);
      break;
    case kMenuPaste:
      if (!read_only) ForwardEdit(WM_PASTE, 0, 0);
      break;
    case kMenuDelete:
      if (!read_only) ForwardEdit(WM_CLEAR, 0, 0);
      break;
    case kMenuSelectAll:
      Forward(EM_SETSEL, 0, -1);
      break;
    default:
      break;
  }
}

void BrowseField::ShowContextMenu(LPARAM lp) {
  if (GetFocus() != edit_) SetFocus(edit_);
  POINT at{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
  if (lp == -1) {  // from the keyboard: at the caret
    GetCaretPos(&at);
    ClientToScreen(edit_, &at);
  }
  HMENU menu = CreateContextMenu();
  const int command = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x,
                                     at.y, 0, edit_, nullptr);
  DestroyMenu(menu);
  if (command != 0 && edit_) RunMenuCommand(command);
}

void BrowseField::SetButtonWidth(int width) {
  button_width_ = std::max(1, width);
  LayoutButton();
  if (button_) InvalidateRect(button_, nullptr, FALSE);
}

void BrowseField::LayoutButton() {
  if (!edit_ || !button_) return;
  RECT client;
  GetClientRect(edit_, &client);
  // With visual styles the button sits one pixel inside the top and bottom of the text area,
  // and the text stops one pixel before it.
  const int inset = GetWindowTheme(edit_) ? 1 : 0;
  const int height = std::max(0, static_cast<int>(client.bottom - client.top) - 2 * inset);
  SetWindowPos(button_, nullptr, client.right - button_width_, client.top + inset, button_width_,
               height, SWP_NOZORDER | SWP_NOACTIVATE);
  Forward(EM_SETMARGINS, EC_RIGHTMARGIN, MAKELPARAM(0, button_width_ + inset));
}

void BrowseField::PaintButton(HDC dc) {
  RECT r;
  GetClientRect(button_, &r);
  const bool enabled = IsWindowEnabled(edit_) && !ReadOnly();
  const bool pushed = enabled && button_pressed_look_;
  DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
  // The glyph grows with the button, as far as the button's height leaves room for it; each
  // of its pixels is copied whole (nearest neighbour), so it stays sharp at any scaling.
  const double by_width = static_cast<double>(button_width_) / kDesignButtonWidth;
  const double by_height = static_cast<double>(r.bottom - 2) / kFolderGlyphHeight;
  const double scale = std::max(1.0, std::min(by_width, by_height));
  const int width = static_cast<int>(kFolderGlyphWidth * scale + 0.5);
  const int height = static_cast<int>(kFolderGlyphHeight * scale + 0.5);
  const int x0 = (r.right - width) / 2 + (pushed ? 1 : 0);
  const int y0 = (r.bottom - height) / 2 + (pushed ? 1 : 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const auto pixel =
          FolderGlyphPixel(x * kFolderGlyphWidth / width, y * kFolderGlyphHeight / height);
      if (!pixel) continue;
      COLORREF colour = RGB(pixel->red, pixel->green, pixel->blue);
      if (!enabled) {
        // A disabled button shows the folder washed out in grey.
        const int luma = (pixel->red * 30 + pixel->green * 59 + pixel->blue * 11) / 100;
        const int grey = 128 + luma / 2;
        colour = RGB(grey, grey, grey);
      }
      SetPixelV(dc, x0 + x, y0 + y, colour);
    }
  }
}

void BrowseField::Browse() {
  if (!edit_ || browsing_ || !IsWindowEnabled(edit_) || ReadOnly()) return;
  if (GetFocus() != edit_) SetFocus(edit_);
  TBrowseDlg dialog;
  dialog.StartFolder = start_folder_;
  dialog.Options = options_;
  if (start_with_last_) dialog.SelectedFolder = Path();
  browsing_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{browsing_};
  const bool chosen = dialog.Execute(edit_);
  if (!edit_) return;
  if (GetActiveWindow() == GetAncestor(edit_, GA_ROOT) && GetFocus() != edit_) SetFocus(edit_);
  if (chosen) ApplyText(AnsiToWide(dialog.SelectedFolder), true);
}

LRESULT BrowseField::HandleEdit(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_GETDLGCODE:
      return DialogCode(wp, lp);
    case WM_KEYDOWN:
      if (OnKeyDown(wp)) return 0;
      return ForwardEdit(msg, wp, lp);
    case WM_SYSKEYDOWN:
      if (wp == VK_BACK) {  // Alt+Backspace
        Undo();
        return 0;
      }
      return Forward(msg, wp, lp);
    case WM_CHAR:
      return OnChar(wp, lp);
    case WM_PASTE:
    case WM_CUT:
    case WM_CLEAR:
    case EM_REPLACESEL:
    case WM_IME_CHAR:
    case WM_IME_COMPOSITION:
    case WM_IME_ENDCOMPOSITION:
    case WM_UNICHAR:
      return ForwardEdit(msg, wp, lp);
    case WM_UNDO:
    case EM_UNDO:
    case EM_CANUNDO:
    case EM_EMPTYUNDOBUFFER:
    case WM_SETTEXT:
      return HandleUndoAndText(msg, lp);
    case WM_CONTEXTMENU:
      ShowContextMenu(lp);
      return 0;
    case WM_NCDESTROY: {
      HWND edit = edit_;
      edit_ = nullptr;
      button_ = nullptr;
      return CallNextSubclass(edit, msg, wp, lp);
    }
    default:
      return ForwardAndRestore(msg, wp, lp);
  }
}

LRESULT BrowseField::DialogCode(WPARAM wp, LPARAM lp) {
  LRESULT code = Forward(WM_GETDLGCODE, wp, lp);
  // Entering the field by Tab must not select its text; Enter and Esc stay in the field.
  code &= ~static_cast<LRESULT>(DLGC_HASSETSEL);
  const auto* message = reinterpret_cast<const MSG*>(lp);
  if (message && message->message == WM_KEYDOWN &&
      (message->wParam == VK_RETURN || message->wParam == VK_ESCAPE)) {
    code |= DLGC_WANTMESSAGE;
  }
  return code;
}

LRESULT BrowseField::OnChar(WPARAM wp, LPARAM lp) {
  const wchar_t ch = static_cast<wchar_t>(wp);
  if (ch == L'\b') return ForwardEdit(WM_CHAR, wp, lp);
  if (ch < 32) return 0;  // control characters (and the Ctrl+letter keys) insert nothing
  if (g_overwrite_mode && !ReadOnly()) {
    DWORD start = 0, end = 0;
    Forward(EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    if (start == end && start < static_cast<DWORD>(GetWindowTextLengthW(edit_))) {
      Forward(EM_SETSEL, start, start + 1);
    }
  }
  return ForwardEdit(WM_CHAR, wp, lp);
}

LRESULT BrowseField::HandleUndoAndText(UINT msg, LPARAM lp) {
  switch (msg) {
    case WM_UNDO:
    case EM_UNDO: {
      const bool had = !undo_.empty();
      Undo();
      return had ? TRUE : FALSE;
    }
    case EM_CANUNDO:
      return undo_.empty() ? FALSE : TRUE;
    case EM_EMPTYUNDOBUFFER:
      undo_.clear();
      return 0;
    default: {  // WM_SETTEXT
      const auto* text = reinterpret_cast<const wchar_t*>(lp);
      undo_.clear();
      ApplyText(text ? std::wstring(text) : std::wstring(), false);
      return TRUE;
    }
  }
}

LRESULT BrowseField::ForwardAndRestore(UINT msg, WPARAM wp, LPARAM lp) {
  const LRESULT result = Forward(msg, wp, lp);
  switch (msg) {
    case WM_KILLFOCUS:
      Forward(EM_SETSEL, 0, 0);
      Forward(EM_SCROLLCARET, 0, 0);
      break;
    case WM_PAINT:
    case WM_ERASEBKGND:
      // The edit class paints with a parent-style DC that does not clip its children, so
      // its background and text drawing cover the embedded button: draw the button again.
      if (button_) RedrawWindow(button_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
      break;
    case WM_SIZE:
    case WM_SETFONT:
    case WM_THEMECHANGED:
      LayoutButton();
      break;
    case WM_ENABLE:
    case EM_SETREADONLY:
      if (button_) InvalidateRect(button_, nullptr, TRUE);
      break;
    default:
      break;
  }
  return result;
}

LRESULT CALLBACK BrowseField::ButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return GuardCallback<LRESULT>(0, [&] { return HandleButtonMessage(hwnd, msg, wp, lp); });
}

LRESULT BrowseField::HandleButtonMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<BrowseField*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self || self->button_ != hwnd) return DefWindowProcW(hwnd, msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->button_ = nullptr;
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  return self->HandleButton(msg, wp, lp);
}

LRESULT BrowseField::HandleButton(UINT msg, WPARAM wp, LPARAM lp) {
  auto inside = [this, lp] {
    RECT r;
    GetClientRect(button_, &r);
    const POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
    return PtInRect(&r, p) != FALSE;
  };
  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (!IsWindowEnabled(edit_) || ReadOnly()) return 0;
      button_down_ = true;
      button_pressed_look_ = true;
      SetCapture(button_);
      InvalidateRect(button_, nullptr, FALSE);
      return 0;
    case WM_MOUSEMOVE:
      if (button_down_ && inside() != button_pressed_look_) {
        button_pressed_look_ = !button_pressed_look_;
        InvalidateRect(button_, nullptr, FALSE);
      }
      return 0;
    case WM_LBUTTONUP: {
      if (!button_down_) return 0;
      const bool click = inside();
      button_down_ = false;
      button_pressed_look_ = false;
      if (GetCapture() == button_) ReleaseCapture();
      InvalidateRect(button_, nullptr, FALSE);
      UpdateWindow(button_);
      if (click) Browse();
      return 0;
    }
    case WM_CAPTURECHANGED:
      if (button_down_) {
        button_down_ = false;
        button_pressed_look_ = false;
        InvalidateRect(button_, nullptr, FALSE);
      }
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(button_, &ps);
      PaintButton(dc);
      EndPaint(button_, &ps);
      return 0;
    }
    default:
      return DefWindowProcW(button_, msg, wp, lp);
  }
}

}  // namespace kx::widgets
