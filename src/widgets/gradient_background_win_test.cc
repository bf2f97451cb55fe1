#include "src/widgets/gradient_background_win.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "src/widgets/win_test_support_win.h"

namespace kx::widgets {

namespace {

// A memory DC with a 32-bit image whose pixels the test reads directly.
class Surface {
 public:
  Surface(int width, int height, COLORREF fill) : width_(width), height_(height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ =
        CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
    old_ = SelectObject(dc_, bitmap_);
    for (int i = 0; i < width * height; ++i) {
      bits_[i] = (GetRValue(fill) << 16) | (GetGValue(fill) << 8) | GetBValue(fill);
    }
  }
  ~Surface() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  Rgb At(int x, int y) const {
    GdiFlush();
    const std::uint32_t p = bits_[y * width_ + x];
    return {static_cast<std::uint8_t>(p >> 16), static_cast<std::uint8_t>(p >> 8),
            static_cast<std::uint8_t>(p)};
  }

 private:
  int width_, height_;
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ old_;
  std::uint32_t* bits_ = nullptr;
};

void UseMainWindowSettings(TGradientBackground& background) {
  background.SetGradientColorStart(9981440);
  background.SetGradientColorStop(clSilver);
  background.SetGradientSmooth(4);
}

TEST(GradientBackgroundTest, PaintsTheMainWindowBandsAtDesignSize) {
  TGradientBackground background;
  UseMainWindowSettings(background);
  Surface surface(520, 329, RGB(1, 2, 3));
  background.Paint(surface.dc(), RECT{0, 0, 520, 329});
  struct Row {
    int y;
    Rgb rgb;
  } rows[] = {{0, {0, 78, 152}},      {3, {0, 78, 152}},      {4, {2, 79, 152}},
              {43, {23, 91, 156}},    {164, {94, 134, 171}},  {167, {94, 134, 171}},
              {240, {138, 160, 180}}, {327, {187, 189, 191}}, {328, {189, 190, 191}}};
  for (const auto& row : rows) {
    for (int x : {0, 260, 519}) {
      EXPECT_EQ(surface.At(x, row.y), row.rgb) << "x " << x << " y " << row.y;
    }
  }
}

TEST(GradientBackgroundTest, PaintsOnlyItsClientRectangle) {
  TGradientBackground background;
  UseMainWindowSettings(background);
  Surface surface(40, 40, RGB(7, 7, 7));
  background.Paint(surface.dc(), RECT{10, 20, 30, 30});
  EXPECT_EQ(surface.At(10, 20), (Rgb{0, 78, 152}));
  EXPECT_EQ(surface.At(29, 29), StepColor({0, 78, 152}, {192, 192, 192}, 2, 3));
  for (auto [x, y] : {std::pair{9, 20}, {30, 20}, {10, 19}, {10, 30}}) {
    EXPECT_EQ(surface.At(x, y), (Rgb{7, 7, 7})) << x << "," << y;
  }
  // An empty client area draws nothing.
  background.Paint(surface.dc(), RECT{0, 0, 40, 0});
  EXPECT_EQ(surface.At(0, 0), (Rgb{7, 7, 7}));
}

TEST(GradientBackgroundTest, ColourShowsWithTheGradientOff) {
  TGradientBackground background;
  Surface surface(8, 8, RGB(7, 7, 7));
  background.SetGradientVisible(false);
  background.Paint(surface.dc(), RECT{0, 0, 8, 8});
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  EXPECT_EQ(surface.At(4, 4), (Rgb{GetRValue(face), GetGValue(face), GetBValue(face)}));
  background.SetColor(RGB(10, 200, 30));
  background.Paint(surface.dc(), RECT{0, 0, 8, 8});
  EXPECT_EQ(surface.At(7, 7), (Rgb{10, 200, 30}));
  // System colours as gradient ends are resolved too.
  background.SetGradientVisible(true);
  background.SetGradientColorStart(clBtnFace);
  background.Paint(surface.dc(), RECT{0, 0, 8, 8});
  EXPECT_EQ(surface.At(0, 0), (Rgb{GetRValue(face), GetGValue(face), GetBValue(face)}));
}

TEST(GradientBackgroundTest, OtherDirectionsReachTheSurface) {
  TGradientBackground background;
  background.SetGradientColorStart(RGB(0, 0, 0));
  background.SetGradientColorStop(RGB(200, 100, 0));
  background.SetGradientSmooth(4);
  Surface surface(16, 8, RGB(7, 7, 7));

  background.SetGradientDirection(gdVertical);
  background.Paint(surface.dc(), RECT{0, 0, 16, 8});
  EXPECT_EQ(surface.At(0, 7), (Rgb{0, 0, 0}));
  EXPECT_EQ(surface.At(13, 0), (Rgb{150, 75, 0}));

  background.SetGradientDirection(gdDiagonalLeft);  // 2 + 4 strips
  background.Paint(surface.dc(), RECT{0, 0, 16, 8});
  EXPECT_EQ(surface.At(0, 0), (Rgb{0, 0, 0}));
  EXPECT_EQ(surface.At(15, 7), StepColor({0, 0, 0}, {200, 100, 0}, 5, 6));

  background.SetGradientDirection(gdSquareBox);  // k = 2: the middle in the start colour
  background.Paint(surface.dc(), RECT{0, 0, 16, 8});
  EXPECT_EQ(surface.At(0, 0), (Rgb{100, 50, 0}));
  EXPECT_EQ(surface.At(8, 4), (Rgb{0, 0, 0}));
}

TEST(GradientBackgroundTest, DrawsThePictureAndThePaintHookOnTop) {
  TGradientBackground background;
  background.SetGradientColorStart(RGB(0, 0, 255));
  background.SetGradientColorStop(RGB(0, 0, 255));
  // A 2 x 2 red picture, centred on 10 x 10.
  const std::uint32_t red[4] = {0xFF0000, 0xFF0000, 0xFF0000, 0xFF0000};
  HBITMAP picture = CreateBitmap(2, 2, 1, 32, red);
  background.SetImage(picture);
  DeleteObject(picture);  // the background keeps its own copy
  RECT hook_rect{};
  background.SetOnPaint([&hook_rect](HDC canvas, const RECT& rect) {
    hook_rect = rect;
    SetPixelV(canvas, 0, 0, RGB(0, 255, 0));
  });
  Surface surface(14, 14, RGB(7, 7, 7));
  background.Paint(surface.dc(), RECT{2, 2, 12, 12});
  EXPECT_EQ(surface.At(2 + 4, 2 + 4), (Rgb{255, 0, 0}));
  EXPECT_EQ(surface.At(2 + 5, 2 + 5), (Rgb{255, 0, 0}));
  EXPECT_EQ(surface.At(2 + 3, 2 + 3), (Rgb{0, 0, 255}));
  EXPECT_EQ(surface.At(2, 2), (Rgb{0, 255, 0}));  // the hook's pixel, at the control's origin
  EXPECT_EQ(hook_rect.right, 10);
  EXPECT_EQ(hook_rect.bottom, 10);

  background.SetImageVisible(false);
  background.Paint(surface.dc(), RECT{2, 2, 12, 12});
  EXPECT_EQ(surface.At(2 + 4, 2 + 4), (Rgb{0, 0, 255}));
}

TEST(GradientBackgroundTest, AThrowingStepReachesTheCallerAndLeaksNothing) {
  TGradientBackground background;
  HDC canvas = nullptr;
  HGDIOBJ image = nullptr;
  background.SetOnPaint([&](HDC dc, const RECT&) {
    canvas = dc;
    image = GetCurrentObject(dc, OBJ_BITMAP);
    throw std::runtime_error("hook failed");
  });
  Surface surface(16, 16, RGB(7, 7, 7));
  EXPECT_THROW(background.Paint(surface.dc(), RECT{0, 0, 16, 16}), std::runtime_error);
  ASSERT_NE(canvas, nullptr);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(GetObjectType(canvas), 0u) << "the off-screen DC is freed";
  EXPECT_EQ(GetObjectType(image), 0u) << "the off-screen image is freed";
  // Nothing reached the target: the copy is the last step.
  EXPECT_EQ(surface.At(5, 5), (Rgb{7, 7, 7}));
  background.SetOnPaint(nullptr);
  background.Paint(surface.dc(), RECT{0, 0, 16, 16});
  EXPECT_EQ(surface.At(5, 5), (Rgb{0, 0, 255}));
}

TEST(GradientBackgroundTest, ChangesThatShowInvalidateTheHost) {
  widgets_test::HostWindow host(50, 50, 100, 100);
  TGradientBackground background(host.hwnd());
  auto invalidated = [&host](const std::function<void()>& change) {
    ValidateRect(host.hwnd(), nullptr);
    change();
    return GetUpdateRect(host.hwnd(), nullptr, FALSE) != FALSE;
  };
  EXPECT_TRUE(invalidated([&] { background.SetGradientColorStart(clSilver); }));
  EXPECT_FALSE(invalidated([&] { background.SetGradientColorStart(clSilver); }));  // same value
  EXPECT_TRUE(invalidated([&] { background.SetGradientSmooth(4); }));
  EXPECT_FALSE(invalidated([&] { background.SetGradientSmooth(4); }));
  EXPECT_TRUE(invalidated([&] { background.SetGradientVisible(false); }));
  // Hidden gradient: its settings do not show.
  EXPECT_FALSE(invalidated([&] { background.SetGradientColorStop(clWhite); }));
  EXPECT_FALSE(invalidated([&] { background.SetGradientDirection(gdVertical); }));
  // No picture: the picture's settings do not show.
  EXPECT_FALSE(invalidated([&] { background.SetImageStyle(isTiled); }));
  EXPECT_FALSE(invalidated([&] { background.SetImageVisible(false); }));
  EXPECT_TRUE(invalidated([&] { background.SetColor(clWhite); }));
  EXPECT_TRUE(invalidated([&] { background.Resized(); }));
  // Below 1 is taken as 1.
  background.SetGradientSmooth(0);
  EXPECT_EQ(background.GradientSmooth(), 1);
}

}  // namespace

}  // namespace kx::widgets
