#include "src/widgets/folder_glyph.h"

#include <gtest/gtest.h>

namespace kx::widgets {

namespace {

TEST(FolderGlyphTest, RowsAreFullWidthAndUseKnownLetters) {
  for (const auto row : kFolderGlyphRows) {
    ASSERT_EQ(row.size(), static_cast<std::size_t>(kFolderGlyphWidth)) << row;
    EXPECT_EQ(row.find_first_not_of("ogsywk"), std::string_view::npos) << row;
  }
}

TEST(FolderGlyphTest, DecodesColoursAndTheTransparentOlive) {
  struct Case {
    int x, y;
    std::optional<GlyphRgb> expected;
  } cases[] = {
      {0, 0, std::nullopt},
      {0, 13, std::nullopt},
      {0, 3, std::nullopt},
      {0, 2, GlyphRgb{128, 128, 128}},
      {1, 2, GlyphRgb{192, 192, 192}},
      {2, 2, GlyphRgb{255, 255, 0}},
      {0, 4, GlyphRgb{255, 255, 255}},
      {12, 4, GlyphRgb{0, 0, 0}},
      {12, 12, GlyphRgb{0, 0, 0}},
      {-1, 5, std::nullopt},
      {13, 5, std::nullopt},
      {5, 14, std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FolderGlyphPixel(c.x, c.y), c.expected) << c.x << "," << c.y;
}

}  // namespace

}  // namespace kx::widgets
