#include "src/widgets/browse_logic.h"

#include <algorithm>
#include <utility>

namespace kx::widgets {

std::uint32_t BrowseFlags(BrowseOptions options) {
  using namespace browse_flags;
  static constexpr std::pair<TBrowseDlgOption, std::uint32_t> kFlags[] = {
      {doBrowseForComputer, kBrowseForComputer},
      {doBrowseForPrinter, kBrowseForPrinter},
      {doDontGoBelowDomain, kDontGoBelowDomain},
      {doReturnFileSysAncestors, kReturnFsAncestors},
      {doReturnFileSysDirs, kReturnOnlyFsDirs},
      {doStatusText, kStatusText},
      {doShowFiles, kBrowseIncludeFiles},
      {doAllowEdit, kEditBox | kValidate},
      {doNewGUI, kNewDialogStyle},
      {doNewGUINoNewFolderBtn, kNoNewFolderButton},
  };
  std::uint32_t flags = 0;
  for (const auto& [option, flag] : kFlags) {
    if (HasOption(options, option)) flags |= flag;
  }
  return flags;
}

namespace {

// Drops the first folder of a directory part ("\a\b\" -> "\...\b\"), including the "...\"
// left by an earlier step.
std::string DropOneLevel(const std::string& dir) {
  if (dir == "\\") return {};
  const bool lead = !dir.empty() && dir.front() == '\\';
  std::size_t from = lead ? 1 : 0;
  if (from < dir.size() && dir[from] == '.') from = std::min(dir.size(), from + 4);
  const std::size_t slash = dir.find('\\', from);
  std::string out(lead ? 1 : 0, '\\');
  if (slash != std::string::npos) {
    out += "...\\";
    out.append(dir, slash + 1, std::string::npos);
  }
  return out;
}

}  // namespace

std::string ShortenPath(const std::string& path, std::size_t max_chars) {
  const std::size_t last_slash = path.rfind('\\');
  std::string dir =
      last_slash == std::string::npos ? std::string() : path.substr(0, last_slash + 1);
  const std::string name = last_slash == std::string::npos ? path : path.substr(last_slash + 1);
  std::string drive;
  if (dir.size() >= 2 && dir[1] == ':') {
    drive = dir.substr(0, 2);
    dir.erase(0, 2);
  }
  std::string whole = drive + dir + name;
  // Each pass shortens the directory part (after at most one pass that turns its first folder
  // into "...") or empties the drive, so the loop ends.
  while ((!dir.empty() || !drive.empty()) && whole.size() > max_chars) {
    if (dir == "\\...\\") {
      drive.clear();
      dir = "...\\";
    } else if (dir.empty()) {
      drive.clear();
    } else {
      dir = DropOneLevel(dir);
    }
    whole = drive + dir + name;
  }
  return whole;
}

std::string TrimPathBlanks(const std::string& path) {
  auto is_blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  std::size_t begin = 0;
  std::size_t end = path.size();
  while (begin < end && is_blank(path[begin])) ++begin;
  while (end > begin && is_blank(path[end - 1])) --end;
  return path.substr(begin, end - begin);
}

ScreenPoint PlaceDialog(const ScreenRect& reference, int width, int height,
                        const ScreenRect& desktop) {
  ScreenPoint at;
  at.x = reference.left + (reference.Width() - width) / 2;
  at.y = reference.top + (reference.Height() - height) / 2;
  if (at.y + height > desktop.bottom) at.y = desktop.bottom - height;
  if (at.x + width > desktop.right) at.x = desktop.right - width;
  if (at.x < desktop.left) at.x = desktop.left;
  if (at.y < desktop.top) at.y = desktop.top;
  return at;
}

EditMenuState ContextMenuState(const EditMenuInput& in) {
  EditMenuState state;
  state.undo = in.undo_available && !in.read_only;
  state.cut = in.has_selection && !in.read_only;
  state.copy = in.has_selection;
  state.paste = in.clipboard_has_text && !in.read_only;
  state.del = in.has_selection && !in.read_only;
  state.select_all = !in.text_empty;
  return state;
}

}  // namespace kx::widgets
