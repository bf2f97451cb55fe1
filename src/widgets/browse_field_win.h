// The folder browse field: a single-line text field holding a folder path, with a folder
// button at its right end that opens the shell's folder dialog.
//
// The field is a standard edit control (subclassed through the guarded subclass chain) with the
// button as a child inside its border; the text area ends where the button begins. Every change of
// the text, whatever its source (typing, paste, cut, undo, the dialog, SetPath, WM_SETTEXT), runs
// the change handler once, synchronously, before the call that changed it returns: use SetOnChange
// for it (the edit's own EN_CHANGE may also reach the parent, and is best ignored). Only the UI
// thread may use the field.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "src/widgets/browse_dialog_win.h"
#include "src/widgets/browse_logic.h"

namespace kx::widgets {

class BrowseField {
 public:
  // Creates the field as a child of `parent` with the given id, outer bounds (in the
  // parent's client coordinates) and font. The field starts empty, with the class defaults:
  // Options [doReturnFileSysDirs, doShowPath], StartFolder desktop, StartWithLast off, not
  // read-only, MaxLength 0 (no limit). Throws Exception when the window cannot be created.
  static std::unique_ptr<BrowseField> Create(HWND parent, int control_id, const RECT& bounds,
                                             HFONT font);
  ~BrowseField();  // destroys the control unless its parent already did
  BrowseField(const BrowseField&) = delete;
  BrowseField& operator=(const BrowseField&) = delete;

  // The focusable edit window: use it for the tab order, focus and enabling.
  HWND Handle() const { return edit_; }
  // The browse button inside the field (a click runs Browse).
  HWND ButtonHandle() const { return button_; }

  // The text in the system ANSI code page, exactly as shown: nothing trimmed or added.
  std::string Path() const;
  // Replaces the text when it differs: the view scrolls back to the first character, the
  // caret goes before it, the selection is emptied and the change handler runs. The same
  // text does nothing at all. Clears the undo history.
  void SetPath(const std::string& path);
  std::wstring Text() const;
  void SetText(const std::wstring& text);

  // Runs after every change of the text. Set it after the initial path so that the initial
  // path is not notified.
  void SetOnChange(std::function<void()> handler) { on_change_ = std::move(handler); }

  BrowseOptions Options() const { return options_; }
  void SetOptions(BrowseOptions options) { options_ = options; }
  int StartFolder() const { return start_folder_; }
  void SetStartFolder(int csidl) { start_folder_ = csidl; }
  // Preselects the field's text in the dialog when it is not empty.
  bool StartWithLast() const { return start_with_last_; }
  void SetStartWithLast(bool on) { start_with_last_ = on; }
  // A read-only field keeps its text against typing, the menu and the browse button.
  bool ReadOnly() const;
  void SetReadOnly(bool on);
  // The longest text in characters; 0 is no limit. Texts set later are cut to it.
  int MaxLength() const { return max_length_; }
  void SetMaxLength(int max_length);
  bool Enabled() const;
  void SetEnabled(bool on);

  // The folder button's width in pixels (18 at 96 DPI; the window scales it with the
  // display). The glyph grows with it.
  int ButtonWidth() const { return button_width_; }
  void SetButtonWidth(int width);

  // The browse action of the button: takes the focus, runs the folder dialog and, on OK,
  // makes the chosen folder the text (with the change handler when it differs).
  void Browse();

  // Whether typed characters replace the one after the caret. One mode for every field;
  // Insert switches it.
  static bool OverwriteMode();
  static void SetOverwriteMode(bool on);

  // The context menu for the field's present state (what a right click shows); the caller
  // destroys it. Its commands are the ids kMenuUndo... for RunMenuCommand.
  HMENU CreateContextMenu() const;
  void RunMenuCommand(int command);
  enum : int { kMenuUndo = 1, kMenuCut, kMenuCopy, kMenuPaste, kMenuDelete, kMenuSelectAll };

 private:
  struct Snapshot {
    std::wstring text;
    DWORD sel_start = 0;
    DWORD sel_end = 0;
  };

  BrowseField() = default;
  static LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT HandleButtonMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT HandleEdit(UINT msg, WPARAM wp, LPARAM lp);
  // The steps of HandleEdit: the dialog code, a typed character, the undo and text messages,
  // and the messages that the edit handles before the button is laid out or drawn again.
  LRESULT DialogCode(WPARAM wp, LPARAM lp);
  LRESULT OnChar(WPARAM wp, LPARAM lp);
  LRESULT HandleUndoAndText(UINT msg, LPARAM lp);
  LRESULT ForwardAndRestore(UINT msg, WPARAM wp, LPARAM lp);
  LRESULT HandleButton(UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Forward(UINT msg, WPARAM wp, LPARAM lp);
  // Forwards a message that may edit the text; records the old text for undo and notifies
  // when the text changed.
  LRESULT ForwardEdit(UINT msg, WPARAM wp, LPARAM lp);
  bool OnKeyDown(WPARAM key);
  void ApplyText(std::wstring text, bool record_undo);
  void Changed();
  void Undo();
  bool HasSelection() const;
  void LayoutButton();
  void PaintButton(HDC dc);
  void ShowContextMenu(LPARAM lp);

  HWND edit_ = nullptr;
  HWND button_ = nullptr;
  std::function<void()> on_change_;
  BrowseOptions options_ = kDefaultBrowseOptions;
  int start_folder_ = kStartFolderDesktopExpanded;
  bool start_with_last_ = false;
  int max_length_ = 0;
  int button_width_ = 18;
  std::wstring last_text_;
  std::vector<Snapshot> undo_;
  bool undo_available_ = true;
  bool button_down_ = false;
  bool button_pressed_look_ = false;
  bool browsing_ = false;
};

}  // namespace kx::widgets
