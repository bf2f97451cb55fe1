// End-to-end scenarios of the program, driven from outside through the window system.
#include <windows.h>

#include "app_fixture_win.h"

using namespace e2e;
using namespace kx_app;

TEST_F(AppTest, StartsWithCaptionAndSizeAndEndsByTheCloseBox) {
  Launch();
  EXPECT_EQ(WindowText(main_), kWindowCaption);
  const RECT outer = WindowBounds(main_);
  EXPECT_EQ(outer.right - outer.left, kOuterWidth);
  EXPECT_EQ(outer.bottom - outer.top, kOuterHeight);
  CloseAndWait();
}
