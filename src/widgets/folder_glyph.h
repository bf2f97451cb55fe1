// The picture of the folder field's browse button: a 13 x 14 yellow folder, kept as text rows
// (one letter per pixel) and decoded to colours for drawing.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kx::widgets {

constexpr int kFolderGlyphWidth = 13;
constexpr int kFolderGlyphHeight = 14;

// Rows from top to bottom: o olive (the transparent colour), g grey, s silver, y yellow,
// w white, k black.
extern const std::array<std::string_view, kFolderGlyphHeight> kFolderGlyphRows;

struct GlyphRgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  bool operator==(const GlyphRgb&) const = default;
};

// The colour of the glyph's pixel at (x, y), or nothing where the picture is transparent
// (pixels in the colour of its bottom-left pixel).
std::optional<GlyphRgb> FolderGlyphPixel(int x, int y);

}  // namespace kx::widgets
