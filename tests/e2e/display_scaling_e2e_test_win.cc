// The window at the display scalings users meet (the LogPixels setting): the outer size and
// every control's rectangle are the 96-DPI design's times the factor, no text is cut, the
// folder button and the gradient's bands grow with the rest.
#include <windows.h>

#include <algorithm>
#include <map>

#include "tests/e2e/app_fixture_win.h"

namespace kx::e2e {

using namespace kx::app;

namespace {

constexpr char kDesktopKey[] = "Control Panel\\Desktop";

// The program reads the setting when it starts; the test sets it, then restores 96.
void SetLogPixels(DWORD dpi) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi));
  RegCloseKey(key);
}

class DisplayScalingTest : public AppTest {
 protected:
  static void SetUpTestSuite() { SetProcessDPIAware(); }
  void TearDown() override {
    AppTest::TearDown();
    SetLogPixels(96);
  }
};

struct Design {
  int id;
  RECT r;  // left, top, width, height at 96 DPI; width 0: sized to its text
};
constexpr Design kDesign[] = {
    {kIdLabel1, {8, 4, 0, 0}},        {kIdLabel4, {8, 96, 0, 0}},
    {kIdLabel2, {8, 176, 0, 0}},      {kIdPathFrom, {8, 192, 477, 21}},
    {kIdLblError, {7, 216, 302, 19}}, {kIdBtnProcess, {32, 236, 75, 25}},
    {kIdProgress, {31, 264, 121, 0}}, {kIdBtnExit, {212, 276, 75, 25}},
};

// The most common length of a run of one colour down a column of the client area: the
// thickness of the gradient's bands.
int CommonBandThickness(HWND window, int x, int height) {
  std::map<int, int> runs;
  COLORREF previous = ReadClientPixel(window, x, 0);
  int length = 1;
  for (int y = 1; y < height; ++y) {
    const COLORREF c = ReadClientPixel(window, x, y);
    if (c == previous) {
      ++length;
      continue;
    }
    ++runs[length];
    previous = c;
    length = 1;
  }
  return std::max_element(runs.begin(), runs.end(),
                          [](const auto& a, const auto& b) { return a.second < b.second; })
      ->first;
}

}  // namespace

TEST_F(DisplayScalingTest, LayoutIsTheDesignTimesTheFactorAtEveryScaling) {
  for (int dpi : {96, 120, 144, 192}) {
    SCOPED_TRACE("LogPixels " + std::to_string(dpi));
    SetLogPixels(dpi);
    ASSERT_NO_FATAL_FAILURE(Launch());
    const double factor = dpi / 96.0;
    auto scaled_ok = [factor](LONG actual, int at96, const char* what) {
      EXPECT_NEAR(actual, at96 * factor, 1.0) << what << " (" << at96 << " at 96 DPI)";
    };
    // The outer size, where the screen (1024 x 768 here) lets the window have it; a wider
    // window is held to the screen's width by the system.
    const RECT outer = WindowBounds(main_);
    const int screen_width = GetSystemMetrics(SM_CXSCREEN);
    if (kOuterWidth * factor <= screen_width) {
      scaled_ok(outer.right - outer.left, kOuterWidth, "outer width");
    } else {
      EXPECT_GE(outer.right - outer.left, screen_width);
    }
    scaled_ok(outer.bottom - outer.top, kOuterHeight, "outer height");
    for (const Design& d : kDesign) {
      SCOPED_TRACE("control " + std::to_string(d.id));
      const RECT r = ChildBounds(Control(d.id));
      scaled_ok(r.left, d.r.left, "left");
      scaled_ok(r.top, d.r.top, "top");
      if (d.r.right) scaled_ok(r.right - r.left, d.r.right, "width");
      if (d.r.bottom) scaled_ok(r.bottom - r.top, d.r.bottom, "height");
    }
    // The labels hold their whole text in their font at this scaling.
    for (int id : {kIdLabel1, kIdLabel4, kIdLabel2}) {
      HWND label = Control(id);
      // The labels' font is Tahoma 10 pt at the DPI.
      const SIZE needed = TextExtent(WindowText(label), "Tahoma", -MulDiv(10, dpi, 72));
      const RECT r = ChildBounds(label);
      EXPECT_GE(r.right - r.left, needed.cx) << "label " << id << " cut";
      EXPECT_GE(r.bottom - r.top, needed.cy) << "label " << id << " cut";
    }
    HWND browse =
        FindChild(Control(kIdPathFrom), {"BrowseFieldButton", std::nullopt, std::nullopt});
    ASSERT_NE(browse, nullptr);
    const RECT button = ChildBounds(browse);
    scaled_ok(button.right - button.left, 18, "folder button width");
    const RECT client = ClientBounds(main_);
    EXPECT_NEAR(CommonBandThickness(main_, client.right - 6, client.bottom), 4 * factor, 1.0)
        << "gradient band";
    if (dpi == 144) Shot("window-144dpi");
    CloseAndWait();
    program_.reset();
  }
}

}  // namespace kx::e2e
