// The window's layout at the display scalings users meet: the design at 96 DPI, and every
// rectangle, font and band the design's times the factor at 120, 144 and 192 DPI.
#include "src/app/main_layout.h"

#include <gtest/gtest.h>

namespace kx::app {
namespace {

TEST(MainLayoutTest, ScalingRoundsAsTheSystemDoes) {
  struct Case {
    int value, dpi, expected;
  } cases[] = {
      {528, 96, 528}, {528, 120, 660}, {528, 144, 792}, {528, 192, 1056}, {7, 120, 9},  // 8.75
      {2, 120, 3},                                     // 2.5 rounds up
      {-2, 120, -3},  {0, 144, 0},     {19, 144, 29},  // 28.5
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScaleToDpi(c.value, c.dpi), c.expected) << c.value << " at " << c.dpi;
  }
}

TEST(MainLayoutTest, At96DpiEveryPixelIsTheDesign) {
  const MainLayout layout = LayOutMainWindow(96, 16);
  EXPECT_EQ(layout.outer_width, 528);
  EXPECT_EQ(layout.outer_height, 383);
  EXPECT_EQ(layout.label1, (LayoutRect{8, 4, 400, 64}));
  EXPECT_EQ(layout.label4, (LayoutRect{8, 96, 348, 32}));
  EXPECT_EQ(layout.label2, (LayoutRect{8, 176, 191, 16}));
  EXPECT_EQ(layout.path_from, (LayoutRect{8, 192, 477, 21}));
  EXPECT_EQ(layout.lblerror, (LayoutRect{7, 216, 302, 19}));
  EXPECT_EQ(layout.btn_process, (LayoutRect{32, 236, 75, 25}));
  EXPECT_EQ(layout.progress, (LayoutRect{31, 264, 121, 16}));
  EXPECT_EQ(layout.btn_exit, (LayoutRect{212, 276, 75, 25}));
  EXPECT_EQ(layout.lblprogress, (LayoutRect{32, 288, 0, 13}));
  EXPECT_EQ(layout.browse_button_width, 18);
  EXPECT_EQ(layout.gradient_band, 4);
  EXPECT_EQ(layout.button_picture, 16);
  EXPECT_EQ(layout.font_10pt, -13);
  EXPECT_EQ(layout.font_8pt, -11);
}

TEST(MainLayoutTest, EveryMeasureIsTheDesignTimesTheFactor) {
  const MainLayout design = LayOutMainWindow(96, 16);
  for (int dpi : {120, 144, 192}) {
    SCOPED_TRACE(dpi);
    const MainLayout layout = LayOutMainWindow(dpi, 16);
    const double factor = dpi / 96.0;
    auto near = [factor](int scaled, int at96) {
      EXPECT_NEAR(scaled, at96 * factor, 0.5 + 1e-9) << at96;
    };
    const LayoutRect MainLayout::*rects[] = {
        &MainLayout::label1,    &MainLayout::label4,   &MainLayout::label2,
        &MainLayout::path_from, &MainLayout::lblerror, &MainLayout::btn_process,
        &MainLayout::progress,  &MainLayout::btn_exit, &MainLayout::lblprogress};
    for (const auto member : rects) {
      near((layout.*member).left, (design.*member).left);
      near((layout.*member).top, (design.*member).top);
      near((layout.*member).width, (design.*member).width);
      near((layout.*member).height, (design.*member).height);
    }
    near(layout.outer_width, design.outer_width);
    near(layout.outer_height, design.outer_height);
    near(layout.browse_button_width, design.browse_button_width);
    near(layout.gradient_band, design.gradient_band);
    near(layout.button_picture, design.button_picture);
    // Fonts go by points: 10 pt and 8 pt at the DPI.
    EXPECT_NEAR(-layout.font_10pt, 10 * dpi / 72.0, 0.5 + 1e-9);
    EXPECT_NEAR(-layout.font_8pt, 8 * dpi / 72.0, 0.5 + 1e-9);
  }
  // Whole multiples stay exact: at 192 DPI everything is twice the design.
  const MainLayout doubled = LayOutMainWindow(192, 16);
  EXPECT_EQ(doubled.path_from, (LayoutRect{16, 384, 954, 42}));
  EXPECT_EQ(doubled.font_10pt, -27);  // 26.67
}

}  // namespace
}  // namespace kx::app
