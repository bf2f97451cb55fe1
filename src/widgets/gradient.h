// The arithmetic of the gradient background: colour values, the colour of each band, the
// bands of every gradient direction and the placement of the background picture. Nothing here
// draws; the painter turns the plans into rectangle and polygon fills.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "src/widgets/geometry.h"

namespace kx::widgets {

// A colour value: red in the lowest byte, then green, then blue (0x00BBGGRR). A value with
// the top bit set names a system colour by its index in the low byte and is resolved to RGB
// when it is drawn.
using TColor = std::uint32_t;

constexpr TColor kSystemColorFlag = 0x80000000u;
constexpr TColor clBlack = 0x000000;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clBtnFace = kSystemColorFlag | 15;  // the window face colour

constexpr bool IsSystemColor(TColor color) { return (color & kSystemColorFlag) != 0; }

struct Rgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  bool operator==(const Rgb&) const = default;
};

// The RGB of a plain (non-system) colour value.
constexpr Rgb RgbOf(TColor color) {
  return {static_cast<std::uint8_t>(color & 0xFF), static_cast<std::uint8_t>((color >> 8) & 0xFF),
          static_cast<std::uint8_t>((color >> 16) & 0xFF)};
}
constexpr TColor ColorOf(Rgb rgb) {
  return static_cast<TColor>(rgb.red) | (static_cast<TColor>(rgb.green) << 8) |
         (static_cast<TColor>(rgb.blue) << 16);
}

// The colour of step i of n between start and stop: each channel in 16.16 fixed point,
// a + (b - a) * i / n in extended precision, rounded to the nearest integer (ties to even),
// then the integer part. Step 0 is the start colour; step n is never reached by the bands.
// n must be above 0.
Rgb StepColor(Rgb start, Rgb stop, std::int64_t i, std::int64_t n);

enum TGradientDirection {
  gdHorizontal,
  gdHorizontalCenter,
  gdVertical,
  gdVerticalCenter,
  gdDiagonalLeft,
  gdDiagonalRight,
  gdSquareBox,
};

enum TImageStyle { isCenter, isClip, isFill, isStretch, isTiled };

// One rectangle fill.
struct RectBand {
  PixelRect rect;
  Rgb color;
  bool operator==(const RectBand&) const = default;
};

// One four-cornered polygon, filled and outlined in its colour.
struct PolygonBand {
  std::array<PixelPoint, 4> corners;
  Rgb color;
  bool operator==(const PolygonBand&) const = default;
};

// The fills of a gradient in drawing order: rectangles for the banded and box styles,
// polygons for the diagonal ones.
struct GradientPlan {
  std::vector<RectBand> rects;
  std::vector<PolygonBand> polygons;
};

// The band count for a length cut into bands of `smooth` pixels: length div smooth, plus one
// for a remainder.
std::int64_t BandCount(std::int64_t length, std::int64_t smooth);

// The bands of a gradient over `client` with bands `smooth` pixels thick (at least 1).
// Rectangle bands are cut off at the edges of `client`; diagonal strips reach past it and are
// cut off by the drawing surface.
GradientPlan PlanGradient(TGradientDirection direction, const PixelRect& client, int smooth,
                          Rgb start, Rgb stop);

// One copy of a part already drawn, for a tiled picture.
struct TileCopy {
  PixelRect source;
  PixelPoint dest;
  bool operator==(const TileCopy&) const = default;
};

// Where the background picture goes in a control of width x height: `dest` is the rectangle
// the picture is drawn (scaled) into, then `copies` run in order.
struct ImagePlan {
  bool draw = false;
  PixelRect dest;
  std::vector<TileCopy> copies;
};

ImagePlan PlanImage(TImageStyle style, int width, int height, int picture_width,
                    int picture_height);

}  // namespace kx::widgets
