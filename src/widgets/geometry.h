// Whole-pixel points and rectangles shared by the widgets' portable arithmetic.
#pragma once

namespace kx::widgets {

struct PixelPoint {
  int x = 0;
  int y = 0;
  bool operator==(const PixelPoint&) const = default;
};

// A rectangle that includes left and top and excludes right and bottom.
struct PixelRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const PixelRect&) const = default;
};

}  // namespace kx::widgets
