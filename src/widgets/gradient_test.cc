#include "src/widgets/gradient.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace kx::widgets {

namespace {

constexpr TColor kMainStart = 9981440;  // RGB 0, 78, 152

TEST(GradientTest, MainWindowBandsAtDesignSize) {
  const GradientPlan plan =
      PlanGradient(gdHorizontal, {0, 0, 520, 329}, 4, RgbOf(kMainStart), RgbOf(clSilver));
  ASSERT_EQ(plan.rects.size(), 83u);
  EXPECT_TRUE(plan.polygons.empty());
  struct Row {
    std::size_t band;
    int top, bottom;
    Rgb rgb;
  } rows[] = {
      {0, 0, 4, {0, 78, 152}},         {1, 4, 8, {2, 79, 152}},
      {2, 8, 12, {4, 80, 152}},        {10, 40, 44, {23, 91, 156}},
      {41, 164, 168, {94, 134, 171}},  {60, 240, 244, {138, 160, 180}},
      {81, 324, 328, {187, 189, 191}}, {82, 328, 329, {189, 190, 191}},
  };
  for (const auto& r : rows) {
    const RectBand& band = plan.rects[r.band];
    EXPECT_EQ(band.rect, (PixelRect{0, r.top, 520, r.bottom})) << "band " << r.band;
    EXPECT_EQ(band.color, r.rgb) << "band " << r.band;
  }
  EXPECT_EQ(RgbOf(kMainStart), (Rgb{0, 78, 152}));
}

// The fixed-point rule equals start + (stop - start) * i / n with the fraction dropped.
TEST(GradientTest, StepColorMatchesExactFractionDropped) {
  const int channels[] = {0, 1, 78, 127, 128, 152, 191, 192, 254, 255};
  const std::int64_t counts[] = {1, 2, 3, 7, 83, 255, 256, 1000, 65535, 131071};
  for (int from : channels) {
    for (int to : channels) {
      for (std::int64_t n : counts) {
        for (std::int64_t i : {std::int64_t{0}, std::int64_t{1}, n / 3, n / 2, n - 1}) {
          const std::int64_t exact = (from * n + (to - from) * i) / n;  // never negative
          const Rgb got = StepColor({static_cast<std::uint8_t>(from), 0, 0},
                                    {static_cast<std::uint8_t>(to), 0, 0}, i, n);
          ASSERT_EQ(got.red, exact) << from << "->" << to << " step " << i << " of " << n;
        }
      }
    }
  }
}

TEST(GradientTest, HorizontalBandCountsAndEdges) {
  const Rgb a{10, 20, 30}, b{250, 240, 230};
  struct Case {
    int height, smooth;
    std::size_t bands;
    int last_top, last_bottom;
  } cases[] = {
      {3, 4, 1, 0, 3},     // shorter than one band: one band in the start colour
      {16, 4, 4, 12, 16},  // a multiple: whole bands
      {17, 4, 5, 16, 17},  // a remainder: the last band is cut off
      {5, 1, 5, 4, 5},    {329, INT_MAX, 1, 0, 329},
  };
  for (const auto& c : cases) {
    const auto plan = PlanGradient(gdHorizontal, {0, 0, 7, c.height}, c.smooth, a, b);
    ASSERT_EQ(plan.rects.size(), c.bands) << c.height << "/" << c.smooth;
    EXPECT_EQ(plan.rects.front().color, a);
    EXPECT_EQ(plan.rects.back().rect, (PixelRect{0, c.last_top, 7, c.last_bottom}));
    EXPECT_NE(plan.rects.back().color, b) << "the stop colour itself is never painted";
  }
  EXPECT_TRUE(PlanGradient(gdHorizontal, {0, 0, 7, 0}, 4, a, b).rects.empty());
  // The bands follow the client rectangle's own origin.
  const auto offset = PlanGradient(gdHorizontal, {5, 10, 25, 19}, 4, a, b);
  ASSERT_EQ(offset.rects.size(), 3u);
  EXPECT_EQ(offset.rects[2].rect, (PixelRect{5, 18, 25, 19}));
}

std::vector<PixelRect> Rects(const GradientPlan& plan) {
  std::vector<PixelRect> out;
  for (const auto& band : plan.rects) out.push_back(band.rect);
  return out;
}

TEST(GradientTest, VerticalAndCentredDirections) {
  const Rgb a{0, 0, 0}, b{240, 120, 60};
  const PixelRect client{0, 0, 10, 10};

  const auto vertical = PlanGradient(gdVertical, client, 4, a, b);
  EXPECT_EQ(Rects(vertical),
            (std::vector<PixelRect>{{0, 0, 4, 10}, {4, 0, 8, 10}, {8, 0, 10, 10}}));
  EXPECT_EQ(vertical.rects[1].color, (Rgb{80, 40, 20}));

  // Lower half from the middle (start) down, upper half from the top (stop) down to the
  // middle; bands of smooth / 2 rows.
  const auto hcenter = PlanGradient(gdHorizontalCenter, client, 4, a, b);
  EXPECT_EQ(Rects(hcenter), (std::vector<PixelRect>{{0, 5, 10, 7},
                                                    {0, 7, 10, 9},
                                                    {0, 9, 10, 10},
                                                    {0, 0, 10, 2},
                                                    {0, 2, 10, 4},
                                                    {0, 4, 10, 5}}));
  EXPECT_EQ(hcenter.rects[0].color, a);
  EXPECT_EQ(hcenter.rects[3].color, b);
  EXPECT_EQ(hcenter.rects[5].color, (Rgb{80, 40, 20}));
  // Smooth 1 still gives bands one row thick.
  EXPECT_EQ(PlanGradient(gdHorizontalCenter, client, 1, a, b).rects.size(), 10u);

  // Columns, not halved.
  const auto vcenter = PlanGradient(gdVerticalCenter, client, 4, a, b);
  EXPECT_EQ(Rects(vcenter),
            (std::vector<PixelRect>{{5, 0, 9, 10}, {9, 0, 10, 10}, {0, 0, 4, 10}, {4, 0, 5, 10}}));
  EXPECT_EQ(vcenter.rects[0].color, a);
  EXPECT_EQ(vcenter.rects[2].color, b);
}

TEST(GradientTest, DiagonalStripsFromEitherCorner) {
  const Rgb a{0, 0, 0}, b{90, 90, 90};
  const auto left = PlanGradient(gdDiagonalLeft, {0, 0, 8, 4}, 4, a, b);
  ASSERT_EQ(left.polygons.size(), 3u);  // ceil(4/4) + ceil(8/4)
  EXPECT_TRUE(left.rects.empty());
  EXPECT_EQ(left.polygons[1].corners,
            (std::array<PixelPoint, 4>{{{4, 0}, {8, 0}, {0, 8}, {0, 4}}}));
  EXPECT_EQ(left.polygons[1].color, (Rgb{30, 30, 30}));

  const auto right = PlanGradient(gdDiagonalRight, {0, 0, 8, 4}, 4, a, b);
  ASSERT_EQ(right.polygons.size(), 3u);
  EXPECT_EQ(right.polygons[0].corners,
            (std::array<PixelPoint, 4>{{{8, 0}, {4, 0}, {8, 4}, {8, 0}}}));

  // A huge band thickness gives no coordinate overflow: the first strip covers the client.
  const auto huge = PlanGradient(gdDiagonalLeft, {0, 0, 520, 329}, INT_MAX, a, b);
  ASSERT_EQ(huge.polygons.size(), 2u);
  EXPECT_EQ(huge.polygons[0].corners,
            (std::array<PixelPoint, 4>{{{0, 0}, {851, 0}, {0, 851}, {0, 0}}}));
}

TEST(GradientTest, SquareBoxRingsFromTheEdgeInward) {
  const Rgb a{200, 0, 0}, b{0, 0, 200};
  // 12 x 8, smooth 4: 3 bands across, 2 down, so k = 2 along the height (step 4) and a
  // step of 6 across.
  const auto box = PlanGradient(gdSquareBox, {0, 0, 12, 8}, 4, a, b);
  EXPECT_EQ(Rects(box), (std::vector<PixelRect>{{0, 0, 12, 8}, {3, 2, 9, 6}}));
  EXPECT_EQ(box.rects[0].color, (Rgb{100, 0, 100}));  // index 1 of 2 at the edge
  EXPECT_EQ(box.rects[1].color, a);                   // the middle in the start colour

  // A half-pixel inset rounds to even: 10 x 8 gives a step of 5 across, 2.5 -> 2.
  EXPECT_EQ(Rects(PlanGradient(gdSquareBox, {0, 0, 10, 8}, 4, a, b)),
            (std::vector<PixelRect>{{0, 0, 10, 8}, {2, 2, 8, 6}}));
  // Square: the width side takes the plain step.
  EXPECT_EQ(Rects(PlanGradient(gdSquareBox, {0, 0, 8, 8}, 4, a, b)),
            (std::vector<PixelRect>{{0, 0, 8, 8}, {2, 2, 6, 6}}));
  EXPECT_TRUE(PlanGradient(gdSquareBox, {0, 0, 8, 0}, 4, a, b).rects.empty());
}

// Paints a plan on a grid of booleans, as the painter would, to see that it covers the control.
bool CoversControl(const ImagePlan& plan, int width, int height) {
  std::vector<std::vector<bool>> painted(height, std::vector<bool>(width, false));
  auto paint = [&](int x, int y) {
    if (x >= 0 && y >= 0 && x < width && y < height) painted[y][x] = true;
  };
  for (int y = plan.dest.top; y < plan.dest.bottom; ++y)
    for (int x = plan.dest.left; x < plan.dest.right; ++x) paint(x, y);
  for (const auto& copy : plan.copies) {
    for (int y = copy.source.top; y < copy.source.bottom; ++y) {
      for (int x = copy.source.left; x < copy.source.right; ++x) {
        if (x < width && y < height && !painted[y][x]) return false;  // copied before drawn
        paint(copy.dest.x + x - copy.source.left, copy.dest.y + y - copy.source.top);
      }
    }
  }
  for (const auto& row : painted)
    for (bool p : row)
      if (!p) return false;
  return true;
}

TEST(GradientTest, ImagePlacement) {
  struct Case {
    TImageStyle style;
    int w, h, pw, ph;
    bool draw;
    PixelRect dest;
  } cases[] = {
      {isCenter, 100, 50, 30, 20, true, {35, 15, 65, 35}},
      {isCenter, 10, 10, 15, 15, true, {-2, -2, 13, 13}},  // larger: truncated toward zero
      {isClip, 100, 50, 30, 20, true, {0, 0, 30, 20}},
      {isFill, 200, 50, 20, 10, true, {0, 0, 100, 50}},  // wide control: full height
      {isFill, 50, 200, 20, 10, true, {0, 0, 50, 25}},   // tall control: full width
      {isFill, 100, 3, 3, 2, true, {0, 0, 4, 3}},        // 4.5 rounds to even
      {isFill, 100, 5, 3, 2, true, {0, 0, 8, 5}},        // 7.5 rounds to even
      {isFill, 100, 0, 3, 2, false, {}},
      {isStretch, 100, 50, 30, 20, true, {0, 0, 100, 50}},
      {isCenter, 100, 50, 0, 0, false, {}},  // empty picture
  };
  for (const auto& c : cases) {
    const ImagePlan plan = PlanImage(c.style, c.w, c.h, c.pw, c.ph);
    EXPECT_EQ(plan.draw, c.draw) << c.style << " " << c.w << "x" << c.h;
    if (c.draw) {
      EXPECT_EQ(plan.dest, c.dest) << c.style << " " << c.w << "x" << c.h;
    }
  }

  const ImagePlan tiled = PlanImage(isTiled, 10, 7, 3, 2);
  EXPECT_EQ(tiled.dest, (PixelRect{0, 0, 3, 2}));
  EXPECT_EQ(tiled.copies, (std::vector<TileCopy>{{{0, 0, 3, 2}, {3, 0}},
                                                 {{0, 0, 6, 2}, {6, 0}},
                                                 {{0, 0, 10, 2}, {0, 2}},
                                                 {{0, 0, 10, 4}, {0, 4}}}));
  for (const auto& [w, h, pw, ph] : std::vector<std::array<int, 4>>{
           {10, 7, 3, 2}, {1, 1, 5, 5}, {520, 329, 16, 16}, {97, 13, 1, 1}, {64, 64, 64, 64}}) {
    EXPECT_TRUE(CoversControl(PlanImage(isTiled, w, h, pw, ph), w, h)) << w << "x" << h;
  }
}

}  // namespace

}  // namespace kx::widgets
