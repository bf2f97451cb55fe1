#include "src/widgets/gradient.h"

#include <algorithm>
#include <cmath>

namespace kx::widgets {

namespace {

std::uint8_t StepChannel(std::uint8_t from, std::uint8_t to, std::int64_t i, std::int64_t n) {
  const long double a = static_cast<long double>(from) * 65536.0L;
  const long double b = static_cast<long double>(to) * 65536.0L;
  // nearbyint rounds in the current mode, which is to nearest with ties to even.
  const long double v =
      std::nearbyint(a + (b - a) * static_cast<long double>(i) / static_cast<long double>(n));
  return static_cast<std::uint8_t>(static_cast<std::int64_t>(v) >> 16);
}

int ClampToInt(std::int64_t v) {
  return static_cast<int>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
}

// Bands of `smooth` rows from `from` toward `to` (rows top..bottom), cut off at `bottom`.
void RowBands(GradientPlan& plan, const PixelRect& client, int top, int bottom, std::int64_t smooth,
              Rgb from, Rgb to) {
  const std::int64_t n = BandCount(static_cast<std::int64_t>(bottom) - top, smooth);
  for (std::int64_t i = 0; i < n; ++i) {
    const std::int64_t band_top = top + i * smooth;
    const std::int64_t band_bottom = std::min<std::int64_t>(band_top + smooth, bottom);
    plan.rects.push_back(
        {{client.left, ClampToInt(band_top), client.right, ClampToInt(band_bottom)},
         StepColor(from, to, i, n)});
  }
}

// Bands of `smooth` columns from `from` toward `to` (columns left..right), cut off at `right`.
void ColumnBands(GradientPlan& plan, const PixelRect& client, int left, int right,
                 std::int64_t smooth, Rgb from, Rgb to) {
  const std::int64_t n = BandCount(static_cast<std::int64_t>(right) - left, smooth);
  for (std::int64_t i = 0; i < n; ++i) {
    const std::int64_t band_left = left + i * smooth;
    const std::int64_t band_right = std::min<std::int64_t>(band_left + smooth, right);
    plan.rects.push_back(
        {{ClampToInt(band_left), client.top, ClampToInt(band_right), client.bottom},
         StepColor(from, to, i, n)});
  }
}

void DiagonalBands(GradientPlan& plan, const PixelRect& c, std::int64_t smooth, bool from_right,
                   Rgb start, Rgb stop) {
  const std::int64_t w = std::max(0, c.Width());
  const std::int64_t h = std::max(0, c.Height());
  const std::int64_t n = BandCount(h, smooth) + BandCount(w, smooth);
  // Strip i covers the pixels whose distance x + y from the corner lies between i * smooth and
  // (i + 1) * smooth; distances beyond w + h + 2 reach no pixel, so offsets are capped there
  // to keep the coordinates small.
  const std::int64_t cap = w + h + 2;
  auto offset = [&](std::int64_t k) { return std::min(k * smooth, cap); };
  for (std::int64_t i = 0; i < n; ++i) {
    const int near = ClampToInt(offset(i));
    const int far = ClampToInt(offset(i + 1));
    PolygonBand band;
    if (from_right) {
      band.corners = {{{c.right - near, c.top},
                       {c.right - far, c.top},
                       {c.right, c.top + far},
                       {c.right, c.top + near}}};
    } else {
      band.corners = {{{c.left + near, c.top},
                       {c.left + far, c.top},
                       {c.left, c.top + far},
                       {c.left, c.top + near}}};
    }
    band.color = StepColor(start, stop, i, n);
    plan.polygons.push_back(band);
  }
}

int RoundHalfEven(long double v) {
  return ClampToInt(static_cast<std::int64_t>(std::nearbyint(v)));
}

void SquareBoxBands(GradientPlan& plan, const PixelRect& c, std::int64_t smooth, Rgb start,
                    Rgb stop) {
  const std::int64_t w = std::max(0, c.Width());
  const std::int64_t h = std::max(0, c.Height());
  const std::int64_t across = BandCount(w, smooth);
  const std::int64_t down = BandCount(h, smooth);
  const std::int64_t k = std::min(across, down);
  if (k == 0) return;
  long double step_x;
  long double step_y;
  if (across == k) {
    step_x = static_cast<long double>(smooth);
    step_y = static_cast<long double>(smooth) * h / w;
  } else {
    step_y = static_cast<long double>(smooth);
    step_x = static_cast<long double>(smooth) * w / h;
  }
  // Nested fills from the edge inward: each leaves a ring of its colour around the next one,
  // and the last also covers the middle that remains.
  for (std::int64_t i = 1; i <= k; ++i) {
    const int dx = RoundHalfEven((i - 1) * step_x / 2);
    const int dy = RoundHalfEven((i - 1) * step_y / 2);
    const PixelRect ring{c.left + dx, c.top + dy, c.right - dx, c.bottom - dy};
    if (ring.left >= ring.right || ring.top >= ring.bottom) break;
    plan.rects.push_back({ring, StepColor(start, stop, k - i, k)});
  }
}

}  // namespace

Rgb StepColor(Rgb start, Rgb stop, std::int64_t i, std::int64_t n) {
  return {StepChannel(start.red, stop.red, i, n), StepChannel(start.green, stop.green, i, n),
          StepChannel(start.blue, stop.blue, i, n)};
}

std::int64_t BandCount(std::int64_t length, std::int64_t smooth) {
  if (length <= 0) return 0;
  return length / smooth + (length % smooth > 0 ? 1 : 0);
}

GradientPlan PlanGradient(TGradientDirection direction, const PixelRect& c, int smooth, Rgb start,
                          Rgb stop) {
  const std::int64_t s = std::max(1, smooth);
  GradientPlan plan;
  switch (direction) {
    case gdHorizontal:
      RowBands(plan, c, c.top, c.bottom, s, start, stop);
      break;
    case gdHorizontalCenter: {
      const int middle = c.top + (c.bottom - c.top) / 2;
      const std::int64_t half = std::max<std::int64_t>(1, s / 2);
      RowBands(plan, c, middle, c.bottom, half, start, stop);
      RowBands(plan, c, c.top, middle, half, stop, start);
      break;
    }
    case gdVertical:
      ColumnBands(plan, c, c.left, c.right, s, start, stop);
      break;
    case gdVerticalCenter: {
      const int middle = c.left + (c.right - c.left) / 2;
      ColumnBands(plan, c, middle, c.right, s, start, stop);
      ColumnBands(plan, c, c.left, middle, s, stop, start);
      break;
    }
    case gdDiagonalLeft:
      DiagonalBands(plan, c, s, false, start, stop);
      break;
    case gdDiagonalRight:
      DiagonalBands(plan, c, s, true, start, stop);
      break;
    case gdSquareBox:
      SquareBoxBands(plan, c, s, start, stop);
      break;
  }
  return plan;
}

ImagePlan PlanImage(TImageStyle style, int width, int height, int pw, int ph) {
  ImagePlan plan;
  if (pw <= 0 || ph <= 0 || width <= 0 || height <= 0) return plan;
  plan.draw = true;
  switch (style) {
    case isCenter: {
      const int left = (width - pw) / 2;
      const int top = (height - ph) / 2;
      plan.dest = {left, top, left + pw, top + ph};
      break;
    }
    case isClip:
      plan.dest = {0, 0, pw, ph};
      break;
    case isFill:
      // Compares width / height with pw / ph without division.
      if (static_cast<std::int64_t>(width) * ph > static_cast<std::int64_t>(pw) * height) {
        plan.dest = {0, 0, RoundHalfEven(static_cast<long double>(pw) * height / ph), height};
      } else {
        plan.dest = {0, 0, width, RoundHalfEven(static_cast<long double>(ph) * width / pw)};
      }
      break;
    case isStretch:
      plan.dest = {0, 0, width, height};
      break;
    case isTiled: {
      plan.dest = {0, 0, pw, ph};
      std::int64_t done = pw;
      while (done < width) {
        plan.copies.push_back({{0, 0, static_cast<int>(done), ph}, {static_cast<int>(done), 0}});
        done *= 2;
      }
      done = ph;
      while (done < height) {
        plan.copies.push_back({{0, 0, width, static_cast<int>(done)}, {0, static_cast<int>(done)}});
        done *= 2;
      }
      break;
    }
  }
  return plan;
}

}  // namespace kx::widgets
