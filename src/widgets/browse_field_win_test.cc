#include "src/widgets/browse_field_win.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "src/widgets/win_test_support_win.h"

namespace kx::widgets {

namespace {

using widgets_test::DialogWatcher;
using widgets_test::HostWindow;
using widgets_test::PressKey;
using widgets_test::PumpMessages;

constexpr int kFieldId = 100;

class BrowseFieldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    font_ = CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, 0, 0, 0, 0,
                        L"Tahoma");
    field_ = BrowseField::Create(host_.hwnd(), kFieldId, RECT{8, 192, 8 + 477, 192 + 21}, font_);
    other_ = CreateWindowExW(0, L"BUTTON", L"Other", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 8, 230, 75,
                             25, host_.hwnd(), nullptr, GetModuleHandleW(nullptr), nullptr);
    field_->SetOnChange([this] { changes_.push_back(field_->Path()); });
    BrowseField::SetOverwriteMode(false);
    SetFocus(field_->Handle());
    PumpMessages();
  }
  void TearDown() override {
    field_.reset();
    DeleteObject(font_);
    BrowseField::SetOverwriteMode(false);
  }

  HWND edit() const { return field_->Handle(); }
  void ExpectFolderGlyph();
  std::pair<DWORD, DWORD> Selection() const {
    DWORD start = 0, end = 0;
    SendMessageW(edit(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    return {start, end};
  }
  void Select(DWORD start, DWORD end) { SendMessageW(edit(), EM_SETSEL, start, end); }
  int FirstVisibleChar() const {
    return static_cast<int>(SendMessageW(edit(), EM_GETFIRSTVISIBLELINE, 0, 0));
  }
  void Type(const std::wstring& text) {
    for (wchar_t ch : text) SendMessageW(edit(), WM_CHAR, ch, 1);
  }
  // A text long enough to scroll, with the caret at its end and the view scrolled there.
  void ScrollToEnd() {
    const auto length = static_cast<DWORD>(GetWindowTextLengthW(edit()));
    Select(length, length);
    SendMessageW(edit(), EM_SCROLLCARET, 0, 0);
  }
  // Clicks the browse button; returns when the dialog (if any) has closed.
  void ClickButton() {
    const HWND button = field_->ButtonHandle();
    SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    PumpMessages();
  }

  HostWindow host_{100, 100, 520, 329};
  HFONT font_ = nullptr;
  std::unique_ptr<BrowseField> field_;
  HWND other_ = nullptr;
  std::vector<std::string> changes_;
  HWND menu_window_ = nullptr;
};

const std::string kLong =
    "C:\\Documents and Settings\\All Users\\Documents\\Velloran\\Kestovar"
    "\\data\\with a folder name long enough to scroll the field\\more";

TEST_F(BrowseFieldTest, SetPathNotifiesOnlyWhenTheTextChanges) {
  auto field = BrowseField::Create(host_.hwnd(), 101, RECT{8, 8, 300, 29}, font_);
  int count = 0;
  field->SetPath("initial");  // before a handler is attached: nobody to notify
  field->SetOnChange([&count] { ++count; });
  field->SetPath("initial");
  EXPECT_EQ(count, 0);
  field->SetPath("C:\\data");
  EXPECT_EQ(count, 1);
  EXPECT_EQ(field->Path(), "C:\\data");
  field->SetPath("C:\\data");
  EXPECT_EQ(count, 1);
  field->SetPath("");
  EXPECT_EQ(count, 2);
  EXPECT_EQ(field->Path(), "");
  // WM_SETTEXT from anyone follows the same rule.
  SetWindowTextA(field->Handle(), "C:\\other");
  SetWindowTextA(field->Handle(), "C:\\other");
  EXPECT_EQ(count, 3);
}

TEST_F(BrowseFieldTest, PathIsTheTextExactlyAtAnyLength) {
  const std::string at_limit = "C:\\" + std::string(256, 'a');  // 259 + the NUL = MAX_PATH
  ASSERT_EQ(at_limit.size() + 1, static_cast<std::size_t>(MAX_PATH));
  const std::string cases[] = {
      at_limit,
      at_limit + "b",
      at_limit + "\\" + std::string(700, 'c'),
      "C:\\data\\",  // a trailing separator stays
      "C:\\data ",   // and so does a trailing blank
      " C:\\data",
      "\\\\server\\share\\data\\",
  };
  for (const auto& path : cases) {
    field_->SetPath(path);
    EXPECT_EQ(field_->Path(), path);
    ASSERT_FALSE(changes_.empty());
    EXPECT_EQ(changes_.back(), path) << "the handler sees the new text";
  }
  EXPECT_EQ(changes_.size(), std::size(cases));
}

TEST_F(BrowseFieldTest, SettingTheTextScrollsBackAndPutsTheCaretFirst) {
  field_->SetPath(kLong);
  ScrollToEnd();
  ASSERT_GT(FirstVisibleChar(), 0);
  field_->SetPath(kLong + "\\x");
  EXPECT_EQ(FirstVisibleChar(), 0);
  EXPECT_EQ(Selection(), (std::pair<DWORD, DWORD>{0, 0}));
}

TEST_F(BrowseFieldTest, MaxLengthCutsTextsSetLater) {
  field_->SetMaxLength(5);
  field_->SetPath("abcdefgh");
  EXPECT_EQ(field_->Path(), "abcde");
  field_->SetPath("abcdexyz");  // the same text once cut
  EXPECT_EQ(changes_.size(), 1u);
  Select(5, 5);
  Type(L"z");
  EXPECT_EQ(field_->Path(), "abcde") << "typing stops at the limit too";
  field_->SetMaxLength(0);
  field_->SetPath(std::string(1000, 'q'));
  EXPECT_EQ(field_->Path().size(), 1000u);
}

TEST_F(BrowseFieldTest, TypingNotifiesEachChangeAndIgnoresControlCharacters) {
  Type(L"C:\\x");
  EXPECT_EQ(changes_, (std::vector<std::string>{"C", "C:", "C:\\", "C:\\x"}));
  changes_.clear();
  for (wchar_t control : {L'\x01', L'\r', L'\x1B', L'\t', L'\n', L'\x16'}) {
    SendMessageW(edit(), WM_CHAR, control, 1);
  }
  EXPECT_EQ(field_->Path(), "C:\\x");
  EXPECT_TRUE(changes_.empty());
  // A typed character replaces the selection; Backspace deletes.
  Select(0, 2);
  Type(L"D");
  EXPECT_EQ(field_->Path(), "D\\x");
  SendMessageW(edit(), WM_CHAR, L'\b', 1);
  EXPECT_EQ(field_->Path(), "\\x");
  EXPECT_EQ(changes_, (std::vector<std::string>{"D\\x", "\\x"}));
}

TEST_F(BrowseFieldTest, TypingThroughTheMessageLoopNotifies) {
  SetForegroundWindow(host_.hwnd());
  SetFocus(edit());
  PumpMessages();
  // Keyboard input goes to the foreground window: never type into anything else.
  ASSERT_EQ(GetForegroundWindow(), host_.hwnd());
  INPUT keys[4] = {};
  for (int i = 0; i < 4; ++i) {
    keys[i].type = INPUT_KEYBOARD;
    keys[i].ki.wVk = i < 2 ? 'K' : 'X';
    keys[i].ki.dwFlags = (i % 2) ? KEYEVENTF_KEYUP : 0;
  }
  ASSERT_EQ(SendInput(4, keys, sizeof(INPUT)), 4u);
  for (int i = 0; i < 50 && field_->Path().size() < 2; ++i) {
    Sleep(10);
    PumpMessages();
  }
  EXPECT_EQ(field_->Path(), "kx");
  EXPECT_EQ(changes_, (std::vector<std::string>{"k", "kx"}));
}

TEST_F(BrowseFieldTest, KeysOfTheField) {
  field_->SetPath("abcdef");
  changes_.clear();

  Select(2, 2);
  PressKey(edit(), VK_DOWN);
  EXPECT_EQ(Selection(), (std::pair<DWORD, DWORD>{3, 3})) << "Down acts as Right";
  PressKey(edit(), VK_UP);
  PressKey(edit(), VK_UP);
  EXPECT_EQ(Selection(), (std::pair<DWORD, DWORD>{1, 1})) << "Up acts as Left";

  PressKey(edit(), 'A', L'\x01', false, true);
  EXPECT_EQ(Selection(), (std::pair<DWORD, DWORD>{0, 6})) << "Ctrl+A";
  PressKey(edit(), VK_ESCAPE, L'\x1B');
  EXPECT_EQ(Selection().first, Selection().second) << "Esc clears the selection";
  EXPECT_EQ(field_->Path(), "abcdef");

  PressKey(edit(), VK_RETURN, L'\r');
  EXPECT_EQ(field_->Path(), "abcdef") << "Enter does nothing";

  Select(1, 3);
  PressKey(edit(), 'C', L'\x03', false, true);
  EXPECT_EQ(widgets_test::ClipboardText(host_.hwnd()), L"bc") << "Ctrl+C";
  Select(0, 1);
  PressKey(edit(), VK_INSERT, 0, false, true);
  EXPECT_EQ(widgets_test::ClipboardText(host_.hwnd()), L"a") << "Ctrl+Insert";

  Select(6, 6);
  PressKey(edit(), 'V', L'\x16', false, true);
  EXPECT_EQ(field_->Path(), "abcdefa") << "Ctrl+V";
  PressKey(edit(), VK_INSERT, 0, true, false);
  EXPECT_EQ(field_->Path(), "abcdefaa") << "Shift+Insert";

  Select(0, 2);
  PressKey(edit(), 'X', L'\x18', false, true);
  EXPECT_EQ(field_->Path(), "cdefaa") << "Ctrl+X";
  EXPECT_EQ(widgets_test::ClipboardText(host_.hwnd()), L"ab");
  Select(0, 1);
  PressKey(edit(), VK_DELETE, 0, true, false);
  EXPECT_EQ(field_->Path(), "defaa") << "Shift+Delete";
  EXPECT_EQ(widgets_test::ClipboardText(host_.hwnd()), L"c");

  // With Alt held (AltGr is Ctrl+Alt) the shortcuts do nothing.
  Select(0, 0);
  PressKey(edit(), 'V', 0, false, true, true);
  EXPECT_EQ(field_->Path(), "defaa");

  EXPECT_EQ(changes_, (std::vector<std::string>{"abcdefa", "abcdefaa", "cdefaa", "defaa"}));
}

TEST_F(BrowseFieldTest, InsertSwitchesOverwriteForEveryField) {
  auto second = BrowseField::Create(host_.hwnd(), 101, RECT{8, 8, 300, 29}, font_);
  field_->SetPath("abcd");
  Select(1, 1);
  PressKey(edit(), VK_INSERT);
  EXPECT_TRUE(BrowseField::OverwriteMode());
  Type(L"XY");
  EXPECT_EQ(field_->Path(), "aXYd");
  Type(L"Z!");  // at the end overwrite appends
  EXPECT_EQ(field_->Path(), "aXYZ!");

  second->SetPath("1234");
  SendMessageW(second->Handle(), EM_SETSEL, 0, 0);
  SendMessageW(second->Handle(), WM_CHAR, L'9', 1);
  EXPECT_EQ(second->Path(), "9234") << "the mode is shared";
  PressKey(second->Handle(), VK_INSERT);
  EXPECT_FALSE(BrowseField::OverwriteMode());
  Select(0, 0);
  Type(L"-");
  EXPECT_EQ(field_->Path(), "-aXYZ!");
}

TEST_F(BrowseFieldTest, PasteCutAndUndoNotifyAndUndoWalksTheHistory) {
  field_->SetPath("base");
  changes_.clear();
  widgets_test::SetClipboardText(host_.hwnd(), L"++");
  Select(4, 4);
  SendMessageW(edit(), WM_PASTE, 0, 0);
  Select(0, 1);
  SendMessageW(edit(), WM_CUT, 0, 0);
  Type(L"!");
  EXPECT_EQ(changes_, (std::vector<std::string>{"base++", "ase++", "!ase++"}));

  auto undo_enabled = [this] {
    HMENU menu = field_->CreateContextMenu();
    const UINT state = GetMenuState(menu, BrowseField::kMenuUndo, MF_BYCOMMAND);
    DestroyMenu(menu);
    return (state & MF_GRAYED) == 0;
  };
  EXPECT_TRUE(undo_enabled());
  field_->RunMenuCommand(BrowseField::kMenuUndo);
  EXPECT_EQ(field_->Path(), "ase++");
  SendMessageW(edit(), WM_UNDO, 0, 0);
  EXPECT_EQ(field_->Path(), "base++");
  EXPECT_TRUE(undo_enabled());
  field_->RunMenuCommand(BrowseField::kMenuUndo);
  EXPECT_EQ(field_->Path(), "base");
  EXPECT_FALSE(undo_enabled()) << "the history is used up";
  field_->RunMenuCommand(BrowseField::kMenuUndo);
  EXPECT_EQ(field_->Path(), "base");
  EXPECT_EQ(changes_,
            (std::vector<std::string>{"base++", "ase++", "!ase++", "ase++", "base++", "base"}));
  Type(L"x");
  EXPECT_TRUE(undo_enabled()) << "a new edit enables it again";
}

TEST_F(BrowseFieldTest, ContextMenuItemsFollowTheState) {
  struct Item {
    int id;
    const wchar_t* text;
  } items[] = {
      {BrowseField::kMenuUndo, L"&Undo"},     {BrowseField::kMenuCut, L"&Cut"},
      {BrowseField::kMenuCopy, L"&Copy"},     {BrowseField::kMenuPaste, L"&Paste"},
      {BrowseField::kMenuDelete, L"&Delete"}, {BrowseField::kMenuSelectAll, L"Select all"}};
  auto enabled = [&](int id) {
    HMENU menu = field_->CreateContextMenu();
    EXPECT_EQ(GetMenuItemCount(menu), 8);
    const bool on = (GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) == 0;
    DestroyMenu(menu);
    return on;
  };
  HMENU menu = field_->CreateContextMenu();
  for (const auto& item : items) {
    wchar_t text[32] = L"";
    GetMenuStringW(menu, item.id, text, 32, MF_BYCOMMAND);
    EXPECT_STREQ(text, item.text);
  }
  DestroyMenu(menu);

  widgets_test::SetClipboardText(host_.hwnd(), L"clip");
  EXPECT_FALSE(enabled(BrowseField::kMenuSelectAll)) << "empty text";
  EXPECT_TRUE(enabled(BrowseField::kMenuPaste));
  field_->SetPath("text");
  EXPECT_TRUE(enabled(BrowseField::kMenuSelectAll));
  EXPECT_FALSE(enabled(BrowseField::kMenuCopy)) << "no selection";
  Select(0, 2);
  EXPECT_TRUE(enabled(BrowseField::kMenuCut));
  EXPECT_TRUE(enabled(BrowseField::kMenuCopy));
  EXPECT_TRUE(enabled(BrowseField::kMenuDelete));
  field_->RunMenuCommand(BrowseField::kMenuDelete);
  EXPECT_EQ(field_->Path(), "xt");
  field_->RunMenuCommand(BrowseField::kMenuSelectAll);
  EXPECT_EQ(Selection(), (std::pair<DWORD, DWORD>{0, 2}));

  field_->SetReadOnly(true);
  EXPECT_FALSE(enabled(BrowseField::kMenuCut));
  EXPECT_FALSE(enabled(BrowseField::kMenuPaste));
  EXPECT_FALSE(enabled(BrowseField::kMenuDelete));
  EXPECT_FALSE(enabled(BrowseField::kMenuUndo));
  EXPECT_TRUE(enabled(BrowseField::kMenuCopy));
}

BOOL CALLBACK FindPopupMenu(HWND hwnd, LPARAM result) {
  wchar_t name[16] = L"";
  GetClassNameW(hwnd, name, 16);
  if (std::wstring(name) != L"#32768" || !IsWindowVisible(hwnd)) return TRUE;
  *reinterpret_cast<HWND*>(result) = hwnd;
  return FALSE;
}

TEST_F(BrowseFieldTest, RightClickMenuRunsTheChosenCommand) {
  field_->SetPath("text");
  Select(0, 2);
  changes_.clear();
  std::atomic<int> menu_items{0};
  std::atomic<bool> paste_enabled{true};
  std::atomic<bool> found{false};
  std::atomic<bool> last_item_is_ours{false};
  const DWORD ui = GetCurrentThreadId();
  std::thread watcher([&] {
    for (int i = 0; i < 500 && !found; ++i) {
      EnumThreadWindows(ui, FindPopupMenu, reinterpret_cast<LPARAM>(&menu_window_));
      if (menu_window_) {
        HMENU menu = reinterpret_cast<HMENU>(SendMessageW(menu_window_, MN_GETHMENU, 0, 0));
        menu_items = GetMenuItemCount(menu);
        wchar_t last[32] = L"";
        GetMenuStringW(menu, 7, last, 32, MF_BYPOSITION);
        last_item_is_ours = std::wstring(last) == L"Select all";
        paste_enabled =
            (GetMenuState(menu, BrowseField::kMenuPaste, MF_BYCOMMAND) & MF_GRAYED) == 0;
        found = true;
        // "&Delete" by its access key.
        PostMessageW(menu_window_, WM_KEYDOWN, 'D', 0);
        PostMessageW(menu_window_, WM_CHAR, 'd', 0);
      } else {
        Sleep(20);
      }
    }
  });
  if (OpenClipboard(host_.hwnd())) {
    EmptyClipboard();
    CloseClipboard();
  }
  POINT at{20, 10};
  ClientToScreen(edit(), &at);
  SendMessageW(edit(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(edit()), MAKELPARAM(at.x, at.y));
  watcher.join();
  ASSERT_TRUE(found) << "no menu showed";
  EXPECT_EQ(menu_items, 8);
  EXPECT_TRUE(last_item_is_ours) << "the field's own menu, not the edit's";
  EXPECT_FALSE(paste_enabled) << "nothing to paste";
  EXPECT_EQ(field_->Path(), "xt");
  EXPECT_EQ(changes_, (std::vector<std::string>{"xt"}));
}

TEST_F(BrowseFieldTest, ReadOnlyKeepsTheTextButCopies) {
  field_->SetPath("fixed");
  field_->SetReadOnly(true);
  EXPECT_TRUE(field_->ReadOnly());
  changes_.clear();
  widgets_test::SetClipboardText(host_.hwnd(), L"pasted");
  Select(0, 2);
  Type(L"x");
  SendMessageW(edit(), WM_CHAR, L'\b', 1);
  PressKey(edit(), VK_DELETE);
  PressKey(edit(), 'V', L'\x16', false, true);
  PressKey(edit(), 'X', L'\x18', false, true);
  for (int id : {BrowseField::kMenuCut, BrowseField::kMenuPaste, BrowseField::kMenuDelete,
                 BrowseField::kMenuUndo}) {
    field_->RunMenuCommand(id);
  }
  EXPECT_EQ(field_->Path(), "fixed");
  EXPECT_TRUE(changes_.empty());
  Select(0, 2);
  PressKey(edit(), 'C', L'\x03', false, true);
  EXPECT_EQ(widgets_test::ClipboardText(host_.hwnd()), L"fi");
  // The browse button opens nothing either.
  DialogWatcher watcher(
      GetCurrentThreadId(), [](HWND) { return IDCANCEL; }, 1500);
  ClickButton();
  watcher.Join();
  EXPECT_FALSE(watcher.Found());
  // The program can still set the text.
  field_->SetPath("changed");
  EXPECT_EQ(changes_, (std::vector<std::string>{"changed"}));
}

TEST_F(BrowseFieldTest, FocusRules) {
  field_->SetPath(kLong);
  SetFocus(other_);
  PumpMessages();
  SetFocus(edit());
  PumpMessages();
  EXPECT_EQ(Selection().first, Selection().second) << "entering selects nothing";
  const LRESULT code = SendMessageW(edit(), WM_GETDLGCODE, 0, 0);
  EXPECT_EQ(code & DLGC_HASSETSEL, 0) << "Tab must not select the text either";

  ScrollToEnd();
  ASSERT_GT(FirstVisibleChar(), 0);
  SetFocus(other_);
  PumpMessages();
  EXPECT_EQ(FirstVisibleChar(), 0) << "leaving scrolls back";
  EXPECT_EQ(Selection(), (std::pair<DWORD, DWORD>{0, 0}));

  MSG enter{edit(), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
  EXPECT_NE(SendMessageW(edit(), WM_GETDLGCODE, VK_RETURN, reinterpret_cast<LPARAM>(&enter)) &
                DLGC_WANTMESSAGE,
            0)
      << "Enter stays in the field and presses no button";
}

TEST_F(BrowseFieldTest, ButtonSitsInsideTheBorderAtTheRightEnd) {
  RECT client, button;
  GetClientRect(edit(), &client);
  GetWindowRect(field_->ButtonHandle(), &button);
  MapWindowPoints(nullptr, edit(), reinterpret_cast<POINT*>(&button), 2);
  EXPECT_EQ(button.right, client.right);
  EXPECT_EQ(button.right - button.left, 18);
  EXPECT_EQ(button.top, client.top);
  EXPECT_EQ(button.bottom, client.bottom);
  const LRESULT margins = SendMessageW(edit(), EM_GETMARGINS, 0, 0);
  EXPECT_EQ(HIWORD(margins), 18) << "the text area ends where the button begins";
  // Resizing keeps it there.
  SetWindowPos(edit(), nullptr, 0, 0, 300, 21, SWP_NOMOVE | SWP_NOZORDER);
  GetClientRect(edit(), &client);
  GetWindowRect(field_->ButtonHandle(), &button);
  MapWindowPoints(nullptr, edit(), reinterpret_cast<POINT*>(&button), 2);
  EXPECT_EQ(button.right, client.right);
}

TEST_F(BrowseFieldTest, ButtonShowsTheFolderGlyph) {
  RedrawWindow(field_->ButtonHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  ExpectFolderGlyph();
}

void BrowseFieldTest::ExpectFolderGlyph() {
  HDC dc = GetDC(field_->ButtonHandle());
  RECT r;
  GetClientRect(field_->ButtonHandle(), &r);
  const int x0 = (r.right - 13) / 2;
  const int y0 = (r.bottom - 14) / 2;
  EXPECT_EQ(GetPixel(dc, x0 + 2, y0 + 2), RGB(255, 255, 0));  // yellow
  EXPECT_EQ(GetPixel(dc, x0 + 12, y0 + 12), RGB(0, 0, 0));    // black edge
  EXPECT_EQ(GetPixel(dc, x0 + 0, y0 + 4), RGB(255, 255, 255));
  EXPECT_NE(GetPixel(dc, x0, y0), RGB(128, 128, 0)) << "olive is transparent";
  ReleaseDC(field_->ButtonHandle(), dc);
}

// --- The folder dialog ---------------------------------------------------------------------

std::string TempFolder(const std::string& name) {
  char temp[MAX_PATH] = "";
  GetTempPathA(MAX_PATH, temp);
  char full[MAX_PATH] = "";
  GetLongPathNameA(temp, full, MAX_PATH);
  std::string path = std::string(full[0] ? full : temp) + name;
  CreateDirectoryA(path.c_str(), nullptr);
  return path;
}

struct DialogFacts {
  bool ok_enabled = false;
  bool host_enabled = true;
  bool other_window_enabled = true;
  UINT error_mode = 0;
  RECT rect{};
  std::string status;
  bool tree_at_root = false;
};

DialogFacts Inspect(HWND dialog, HWND host, HWND other_top) {
  DialogFacts facts;
  facts.ok_enabled = IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE;
  facts.host_enabled = IsWindowEnabled(host) != FALSE;
  facts.other_window_enabled = other_top ? IsWindowEnabled(other_top) != FALSE : true;
  facts.error_mode = GetErrorMode();
  GetWindowRect(dialog, &facts.rect);
  facts.status = widgets_test::WindowTextA(GetDlgItem(dialog, 0x3743));
  HWND tree = FindWindowExW(dialog, nullptr, WC_TREEVIEWW, nullptr);
  if (tree) {
    const LRESULT caret = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
    const LRESULT root = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
    facts.tree_at_root = caret == 0 || caret == root;
  }
  return facts;
}

TEST_F(BrowseFieldTest, CancelKeepsTheTextAndRestoresTheApplication) {
  const std::string folder = TempFolder("kx_browse_cancel");
  field_->SetOptions(kMainWindowBrowseOptions);
  field_->SetStartWithLast(true);
  field_->SetPath(folder);
  changes_.clear();
  HostWindow second(20, 20, 100, 60);  // another window of the application
  SetForegroundWindow(host_.hwnd());
  SetActiveWindow(host_.hwnd());
  SetFocus(other_);
  PumpMessages();
  const UINT error_mode_before = GetErrorMode();

  DialogFacts facts;
  HWND owner = nullptr;
  const DWORD ui = GetCurrentThreadId();
  DialogWatcher watcher(ui, [&](HWND dialog) {
    facts = Inspect(dialog, host_.hwnd(), second.hwnd());
    owner = GetWindow(dialog, GW_OWNER);
    return IDCANCEL;
  });
  ClickButton();
  watcher.Join();
  ASSERT_TRUE(watcher.Found()) << "the folder dialog did not open";

  EXPECT_TRUE(facts.ok_enabled) << "OK enabled from the start";
  EXPECT_FALSE(facts.host_enabled);
  EXPECT_FALSE(facts.other_window_enabled) << "other windows take no input";
  EXPECT_NE(facts.error_mode & SEM_FAILCRITICALERRORS, 0u);
  EXPECT_EQ(owner, host_.hwnd()) << "owned by the field's window";
  RECT host_rect;
  GetWindowRect(host_.hwnd(), &host_rect);
  const ScreenPoint expected = PlaceDialog(
      {host_rect.left, host_rect.top, host_rect.right, host_rect.bottom},
      facts.rect.right - facts.rect.left, facts.rect.bottom - facts.rect.top,
      {0, 0, GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)});
  EXPECT_EQ(facts.rect.left, expected.x) << "centred over the active window";
  EXPECT_EQ(facts.rect.top, expected.y);

  EXPECT_EQ(field_->Path(), folder);
  EXPECT_TRUE(changes_.empty());
  EXPECT_EQ(GetFocus(), edit()) << "the click took the focus, and the field keeps it";
  EXPECT_TRUE(IsWindowEnabled(host_.hwnd()));
  EXPECT_TRUE(IsWindowEnabled(second.hwnd()));
  EXPECT_EQ(GetErrorMode(), error_mode_before);
}

TEST_F(BrowseFieldTest, OkMakesTheChosenFolderTheText) {
  const std::string folder = TempFolder("kx_browse_ok");
  const std::string other = TempFolder("kx_browse_other");
  field_->SetOptions(kMainWindowBrowseOptions | OptionBit(doStatusText));
  field_->SetStartWithLast(true);

  // The preselected folder comes back without the trailing separator: a change.
  field_->SetPath(folder + "\\");
  changes_.clear();
  DialogFacts facts;
  {
    DialogWatcher watcher(GetCurrentThreadId(), [&](HWND dialog) {
      facts = Inspect(dialog, host_.hwnd(), nullptr);
      return IDOK;
    });
    ClickButton();
    ASSERT_TRUE(watcher.Found());
  }
  EXPECT_EQ(field_->Path(), folder);
  EXPECT_EQ(changes_, (std::vector<std::string>{folder}));
  EXPECT_EQ(facts.status, ShortenPath(folder, 40)) << "the status line shows the short path";

  // Choosing the folder already shown changes nothing.
  changes_.clear();
  {
    DialogWatcher watcher(GetCurrentThreadId(), [](HWND) { return IDOK; });
    ClickButton();
    ASSERT_TRUE(watcher.Found());
  }
  EXPECT_EQ(field_->Path(), folder);
  EXPECT_TRUE(changes_.empty());

  // Picking another folder in the dialog.
  {
    DialogWatcher watcher(GetCurrentThreadId(), [&](HWND dialog) {
      SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(other.c_str()));
      Sleep(200);
      facts = Inspect(dialog, host_.hwnd(), nullptr);
      return IDOK;
    });
    ClickButton();
    ASSERT_TRUE(watcher.Found());
  }
  EXPECT_EQ(field_->Path(), other);
  EXPECT_EQ(changes_, (std::vector<std::string>{other}));
  EXPECT_EQ(facts.status, ShortenPath(other, 40));
  // The browse is an edit like any other: undo brings the previous folder back.
  field_->RunMenuCommand(BrowseField::kMenuUndo);
  EXPECT_EQ(field_->Path(), folder);
}

TEST_F(BrowseFieldTest, AnEmptyFieldPreselectsNothing) {
  field_->SetOptions(kMainWindowBrowseOptions);
  field_->SetStartWithLast(true);
  DialogFacts facts;
  DialogWatcher watcher(GetCurrentThreadId(), [&](HWND dialog) {
    facts = Inspect(dialog, host_.hwnd(), nullptr);
    return IDCANCEL;
  });
  ClickButton();
  watcher.Join();
  ASSERT_TRUE(watcher.Found());
  EXPECT_TRUE(facts.tree_at_root);
  EXPECT_EQ(field_->Path(), "");
}

// The new dialog style needs an apartment-threaded object library on the calling thread: the
// field sets one up for the dialog and takes it down afterwards, and on a thread already in
// the multithreaded mode it falls back to the old style and leaves that mode alone.
TEST_F(BrowseFieldTest, NewStyleDialogAndTheObjectLibrary) {
  constexpr int kNewFolderButton = 0x3746;
  field_->SetOptions(kMainWindowBrowseOptions | OptionBit(doNewGUI));
  auto open_dialog = [this] {
    bool has_new_folder_button = false;
    DialogWatcher watcher(GetCurrentThreadId(), [&](HWND dialog) {
      has_new_folder_button = GetDlgItem(dialog, kNewFolderButton) != nullptr;
      return IDCANCEL;
    });
    ClickButton();
    watcher.Join();
    EXPECT_TRUE(watcher.Found());
    return has_new_folder_button;
  };

  EXPECT_TRUE(open_dialog()) << "new style";
  const HRESULT after = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  EXPECT_EQ(after, S_OK) << "the apartment was taken down again";
  // Now the thread is in the multithreaded mode.
  EXPECT_FALSE(open_dialog()) << "old style on a multithreaded thread";
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE)
      << "the thread's own initialisation is still in place";
  CoUninitialize();
  if (SUCCEEDED(after)) CoUninitialize();
  EXPECT_EQ(field_->Path(), "");
}

TEST(BrowseFieldLifetimeTest, TheParentMayBeDestroyedFirst) {
  auto host = std::make_unique<HostWindow>(10, 10, 200, 60);
  auto field = BrowseField::Create(host->hwnd(), 1, RECT{4, 4, 180, 25},
                                   static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
  const HWND edit = field->Handle();
  const HWND button = field->ButtonHandle();
  host.reset();
  EXPECT_FALSE(IsWindow(edit));
  EXPECT_FALSE(IsWindow(button));
  EXPECT_EQ(field->Handle(), nullptr);
  EXPECT_EQ(field->ButtonHandle(), nullptr);
  field.reset();  // nothing left to destroy, and no stale window touched
}

TEST(BrowseFieldEdgeTest, ADialogNearTheScreenEdgeIsPulledBackIn) {
  const int screen_w = GetSystemMetrics(SM_CXVIRTUALSCREEN);
  const int screen_h = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  HostWindow host(screen_w - 120, screen_h - 80, 200, 100);  // mostly off the bottom right
  HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  auto field = BrowseField::Create(host.hwnd(), 1, RECT{4, 4, 180, 25}, font);
  RECT dialog_rect{};
  DialogWatcher watcher(GetCurrentThreadId(), [&](HWND dialog) {
    GetWindowRect(dialog, &dialog_rect);
    return IDCANCEL;
  });
  SendMessageW(field->ButtonHandle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  SendMessageW(field->ButtonHandle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  watcher.Join();
  ASSERT_TRUE(watcher.Found());
  EXPECT_EQ(dialog_rect.right, screen_w);
  EXPECT_EQ(dialog_rect.bottom, screen_h);
  EXPECT_GE(dialog_rect.left, 0);
}

}  // namespace

}  // namespace kx::widgets
