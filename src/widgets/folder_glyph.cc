#include "src/widgets/folder_glyph.h"

namespace kx::widgets {

const std::array<std::string_view, kFolderGlyphHeight> kFolderGlyphRows = {
    "ooooooooooooo",  //
    "ooooooooooooo",  //
    "gsysysgoooooo",  //
    "oysysysgggggo",  //
    "wwwwwwwwwwwgk",  //
    "wysysysyysygk",  //
    "wsysysyssysgk",  //
    "wysysysyysygk",  //
    "wsysysyssysgk",  //
    "wsysysyssysgk",  //
    "wysysysyysygk",  //
    "ggggggggggggk",  //
    "kkkkkkkkkkkkk",  //
    "ooooooooooooo",  //
};

namespace {

GlyphRgb LetterColour(char letter) {
  switch (letter) {
    case 'o':
      return {128, 128, 0};
    case 'g':
      return {128, 128, 128};
    case 's':
      return {192, 192, 192};
    case 'y':
      return {255, 255, 0};
    case 'w':
      return {255, 255, 255};
    default:
      return {0, 0, 0};
  }
}

}  // namespace

std::optional<GlyphRgb> FolderGlyphPixel(int x, int y) {
  if (x < 0 || y < 0 || x >= kFolderGlyphWidth || y >= kFolderGlyphHeight) return std::nullopt;
  const char transparent = kFolderGlyphRows[kFolderGlyphHeight - 1][0];
  const char letter = kFolderGlyphRows[y][x];
  if (letter == transparent) return std::nullopt;
  return LetterColour(letter);
}

}  // namespace kx::widgets
