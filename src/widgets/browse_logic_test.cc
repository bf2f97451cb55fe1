#include "src/widgets/browse_logic.h"

#include <gtest/gtest.h>

#include <string>

namespace kx::widgets {

namespace {

struct ShortenCase {
  std::string path;
  std::size_t max_chars;
  std::string expected;
};

TEST(ShortenPathTest, DropsLeadingFoldersUntilThePathFits) {
  const std::string kDocs = "C:\\Documents and Settings\\All Users\\Documents\\data";  // 50
  std::string deep = "C:";
  for (int i = 0; i < 30; ++i) deep += "\\d" + std::string(i < 10 ? "0" : "") + std::to_string(i);
  deep += "\\leaf";  // 127 characters, ten levels per 40 characters
  std::string beyond_max_path = "C:";
  for (int i = 0; i < 30; ++i) beyond_max_path += "\\folder number " + std::to_string(i);
  beyond_max_path += "\\data";
  ASSERT_GT(beyond_max_path.size(), 260u);

  const ShortenCase cases[] = {
      {kDocs, 50, kDocs},
      {kDocs, 49, "C:\\...\\All Users\\Documents\\data"},
      {kDocs, 40, "C:\\...\\All Users\\Documents\\data"},
      {kDocs, 31, "C:\\...\\All Users\\Documents\\data"},
      {kDocs, 30, "C:\\...\\Documents\\data"},
      {kDocs, 20, "C:\\...\\data"},
      {kDocs, 10, "...\\data"},
      {kDocs, 8, "...\\data"},
      {kDocs, 7, "data"},
      {kDocs, 0, "data"},
      {deep, 40, "C:\\...\\d23\\d24\\d25\\d26\\d27\\d28\\d29\\leaf"},
      {beyond_max_path, 45, "C:\\...\\folder number 28\\folder number 29\\data"},
      {beyond_max_path, 40, "C:\\...\\folder number 29\\data"},
      // A name longer than the limit is never cut.
      {"C:\\a\\averyveryverylongname", 5, "averyveryverylongname"},
      {"averyveryverylongname", 5, "averyveryverylongname"},
      {"", 40, ""},
      // A trailing separator leaves an empty last component.
      {"C:\\data\\", 7, "C:\\...\\"},
      {"C:\\data\\", 5, "...\\"},
      {"C:\\data\\", 3, ""},
      // A root directory: "\" alone goes before the drive.
      {"C:\\data", 6, "C:data"},
      {"C:\\data", 4, "data"},
      // UNC paths have no drive: the server's leading separators go one level at a time.
      {"\\\\server\\share\\folder\\data", 26, "\\\\server\\share\\folder\\data"},
      {"\\\\server\\share\\folder\\data", 20, "\\...\\folder\\data"},
      {"\\\\server\\share\\folder\\data", 10, "\\...\\data"},
      {"\\\\server\\share\\folder\\data", 8, "...\\data"},
      {"\\\\server\\share\\folder\\data", 7, "data"},
      // A relative path without a drive.
      {"one\\two\\three\\data", 14, "...\\three\\data"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ShortenPath(c.path, c.max_chars), c.expected)
        << "path " << c.path << " limit " << c.max_chars;
  }
}

TEST(ShortenPathTest, StatusLineKeepsTheLastComponentOfEveryLength) {
  // The dialog's status line must show the chosen folder's own name, whatever the depth.
  for (std::size_t depth = 0; depth < 80; ++depth) {
    std::string path = "C:";
    for (std::size_t i = 0; i < depth; ++i) path += "\\level" + std::to_string(i);
    path += "\\target";
    const std::string shortened = ShortenPath(path, kStatusPathChars);
    EXPECT_LE(shortened.size(), kStatusPathChars) << path;
    EXPECT_EQ(shortened.substr(shortened.size() - 7), "\\target") << path;
  }
}

TEST(TrimPathBlanksTest, RemovesCodesUpTo32AtBothEndsOnly) {
  const std::pair<std::string, std::string> cases[] = {
      {"C:\\data", "C:\\data"},
      {"  C:\\data  ", "C:\\data"},
      {"\t\r\nC:\\my data\\\x01 ", "C:\\my data\\"},
      {"     ", ""},
      {"", ""},
      {"\xA0"
       "C:\\data\xA0",
       "\xA0"
       "C:\\data\xA0"},  // code 160 is not a blank here
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(TrimPathBlanks(in), out) << in;
}

TEST(BrowseFlagsTest, OptionsMapToShellFlags) {
  const std::pair<BrowseOptions, std::uint32_t> cases[] = {
      {0, 0},
      {kDefaultBrowseOptions, 0x0001},
      {kMainWindowBrowseOptions, 0x1001},
      {OptionBit(doBrowseForPrinter), 0x2000},
      {OptionBit(doDontGoBelowDomain), 0x0002},
      {OptionBit(doReturnFileSysAncestors), 0x0008},
      {OptionBit(doStatusText), 0x0004},
      {OptionBit(doShowFiles), 0x4000},
      {OptionBit(doAllowEdit), 0x0030},
      {OptionBit(doShowPath) | OptionBit(doEnableOK), 0},
      {OptionBit(doNewGUI), 0x0040},
      {OptionBit(doNewGUINoNewFolderBtn), 0x0200},
      {0xF000, 0},
      {0xFFFF, 0x727F},
  };
  for (const auto& [options, flags] : cases) {
    EXPECT_EQ(BrowseFlags(options), flags) << "options 0x" << std::hex << options;
  }
  EXPECT_EQ(kMainWindowBrowseOptions, 0x0311);
  EXPECT_EQ(WithoutNewGuiFlags(0x1241), 0x1001u);
}

TEST(PlaceDialogTest, CentresOverTheReferenceAndStaysOnTheDesktop) {
  const ScreenRect screen{0, 0, 1024, 768};
  const ScreenRect two_screens{-1920, 0, 1920, 1080};  // a monitor left of the primary one
  struct Case {
    ScreenRect reference;
    int width, height;
    ScreenRect desktop;
    ScreenPoint expected;
  } cases[] = {
      {{100, 100, 500, 400}, 200, 100, screen, {200, 200}},
      {{100, 100, 501, 401}, 200, 100, screen, {200, 200}},  // odd rest truncated
      {{0, 0, 1024, 768}, 300, 400, screen, {362, 184}},
      // A dialog wider than its reference: the negative half is truncated toward zero.
      {{100, 100, 200, 200}, 151, 151, screen, {75, 75}},
      // Near the right and bottom edges: pulled back in.
      {{900, 650, 1020, 760}, 300, 300, screen, {724, 468}},
      // Near the left and top edges.
      {{-50, -40, 50, 60}, 300, 300, screen, {0, 0}},
      // Larger than the desktop: the top-left corner stays visible.
      {{0, 0, 1024, 768}, 1200, 900, screen, {0, 0}},
      // On a desktop whose left edge is negative, the right edge is at 1920.
      {{-1900, 100, -1500, 400}, 200, 100, two_screens, {-1800, 200}},
      {{1700, 900, 1920, 1080}, 400, 300, two_screens, {1520, 780}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PlaceDialog(c.reference, c.width, c.height, c.desktop), c.expected)
        << "reference " << c.reference.left << "," << c.reference.top << " size " << c.width;
  }
}

TEST(ContextMenuStateTest, ItemsFollowSelectionClipboardAndReadOnly) {
  struct Case {
    EditMenuInput in;
    EditMenuState expected;
  } cases[] = {
      // undo cut copy paste del select_all
      {{true, false, false, false, true}, {true, false, false, false, false, false}},
      {{true, true, false, true, false}, {true, true, true, true, true, true}},
      {{false, false, false, true, false}, {false, false, false, true, false, true}},
      {{true, true, true, true, false}, {false, false, true, false, false, true}},
  };
  for (const auto& c : cases) EXPECT_EQ(ContextMenuState(c.in), c.expected);
}

}  // namespace

}  // namespace kx::widgets
