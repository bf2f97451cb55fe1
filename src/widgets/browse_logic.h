// The parts of the folder browse field that need no window: the short form of a path for the
// folder dialog's status line, the dialog's browse flags, the trimming of a chosen path, the
// dialog's placement and the enabled state of the field's context menu items.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "src/widgets/geometry.h"

namespace kx::widgets {

// The options of the folder dialog, one bit each (bit n = 1 << n in BrowseOptions).
enum TBrowseDlgOption : int {
  doBrowseForComputer = 0,
  doBrowseForPrinter = 1,
  doDontGoBelowDomain = 2,
  doReturnFileSysAncestors = 3,
  doReturnFileSysDirs = 4,
  doStatusText = 5,
  doShowFiles = 6,
  doAllowEdit = 7,
  doShowPath = 8,
  doEnableOK = 9,
  doNewGUI = 10,
  doNewGUINoNewFolderBtn = 11,
};

// A set of TBrowseDlgOption values.
using BrowseOptions = std::uint16_t;

constexpr BrowseOptions OptionBit(TBrowseDlgOption option) {
  return static_cast<BrowseOptions>(1u << option);
}
constexpr bool HasOption(BrowseOptions options, TBrowseDlgOption option) {
  return (options & OptionBit(option)) != 0;
}

// The options a field starts with, and those of the main window's folder field.
constexpr BrowseOptions kDefaultBrowseOptions =
    OptionBit(doReturnFileSysDirs) | OptionBit(doShowPath);
constexpr BrowseOptions kMainWindowBrowseOptions = OptionBit(doBrowseForComputer) |
                                                   OptionBit(doReturnFileSysDirs) |
                                                   OptionBit(doShowPath) | OptionBit(doEnableOK);

// The shell's browse flags (the values of its browse-information record).
namespace browse_flags {
constexpr std::uint32_t kReturnOnlyFsDirs = 0x0001;
constexpr std::uint32_t kDontGoBelowDomain = 0x0002;
constexpr std::uint32_t kStatusText = 0x0004;
constexpr std::uint32_t kReturnFsAncestors = 0x0008;
constexpr std::uint32_t kEditBox = 0x0010;
constexpr std::uint32_t kValidate = 0x0020;
constexpr std::uint32_t kNewDialogStyle = 0x0040;
constexpr std::uint32_t kNoNewFolderButton = 0x0200;
constexpr std::uint32_t kBrowseForComputer = 0x1000;
constexpr std::uint32_t kBrowseForPrinter = 0x2000;
constexpr std::uint32_t kBrowseIncludeFiles = 0x4000;
}  // namespace browse_flags

// The browse flags that a set of options asks of the shell dialog. doShowPath and doEnableOK
// are handled by the dialog's callback and add no flag; bits above doNewGUINoNewFolderBtn are
// ignored.
std::uint32_t BrowseFlags(BrowseOptions options);

// The flags without the new dialog style and its new-folder button flag: used when the
// calling thread's object library is already set to a mode the new style cannot use.
constexpr std::uint32_t WithoutNewGuiFlags(std::uint32_t flags) {
  return flags & ~(browse_flags::kNewDialogStyle | browse_flags::kNoNewFolderButton);
}

// Shortens a path to at most max_chars characters by replacing leading folders with "...":
// "C:\Documents and Settings\All Users\Documents\data" becomes
// "C:\...\All Users\Documents\data" for 40, then "C:\...\Documents\data", "C:\...\data",
// "...\data" and "data" as the limit falls. The last component is never cut, so the result
// may still be longer than max_chars.
std::string ShortenPath(const std::string& path, std::size_t max_chars);

// The status-line length of the folder dialog.
constexpr std::size_t kStatusPathChars = 40;

// A path without the characters with codes up to 32 (blanks and control characters) at
// either end.
std::string TrimPathBlanks(const std::string& path);

// Screen coordinates, in the widgets' shared rectangle and point types.
using ScreenRect = PixelRect;
using ScreenPoint = PixelPoint;

// The top-left corner of a dialog of the given size centred over `reference`, then pulled
// inside `desktop` (the virtual desktop): first off its right and bottom edges, then off its
// left and top edges, so a dialog larger than the desktop keeps its top-left corner visible.
ScreenPoint PlaceDialog(const ScreenRect& reference, int width, int height,
                        const ScreenRect& desktop);

// What the field's context menu offers in the field's present state.
struct EditMenuInput {
  bool undo_available = true;  // the undo history has not been used up
  bool has_selection = false;
  bool read_only = false;
  bool clipboard_has_text = false;
  bool text_empty = true;
};

struct EditMenuState {
  bool undo = false;
  bool cut = false;
  bool copy = false;
  bool paste = false;
  bool del = false;
  bool select_all = false;
  bool operator==(const EditMenuState&) const = default;
};

// A read-only field offers nothing that would change its text.
EditMenuState ContextMenuState(const EditMenuInput& input);

}  // namespace kx::widgets
