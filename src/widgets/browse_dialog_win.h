// The shell's folder dialog: one object per browse, with the options of the folder field.
#pragma once

#include <windows.h>

#include <string>

#include "src/widgets/browse_logic.h"

namespace kx::widgets {

// StartFolder value for a dialog rooted at the desktop (no root item); other values are the
// shell's special-folder ids (CSIDL_*).
constexpr int kStartFolderDesktopExpanded = -1;

// The folder dialog: one object per browse, wrapping SHBrowseForFolderA.
class TBrowseDlg {
 public:
  std::string Caption;       // text above the folder tree
  std::string CaptionTitle;  // window caption, set once the dialog has initialised
  int StartFolder = kStartFolderDesktopExpanded;
  BrowseOptions Options = kDefaultBrowseOptions;
  std::string SelectedFolder;  // in: folder to preselect (when not empty); out: the choice
  std::string StatusText;      // the dialog's status line
  std::string DisplayName;     // out: the chosen item's display name

  // Runs the dialog owned by `owner`'s top-level window. Returns true when the user chose a
  // folder (SelectedFolder is then its path, blanks trimmed, empty for an item without a
  // file-system path) and false on Cancel (SelectedFolder unchanged). While it runs, the
  // application's other top-level windows are disabled and critical-error boxes are off;
  // both are restored afterwards, also when the call throws.
  bool Execute(HWND owner);

  // The dialog window while it is open (for its callback).
  HWND DialogWindow() const { return dialog_; }

 private:
  friend struct BrowseCallbackAccess;
  HWND dialog_ = nullptr;
  HWND reference_window_ = nullptr;  // the window the dialog is centred over
};

}  // namespace kx::widgets
