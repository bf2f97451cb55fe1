#include "src/widgets/gradient_background_win.h"

#include <algorithm>
#include <vector>

#include "src/common/exception.h"
#include "src/widgets/gdi_handles_win.h"

namespace kx::widgets {

namespace {

Rgb ToRgb(COLORREF c) { return RgbOf(static_cast<TColor>(c)); }

COLORREF ToColorref(Rgb rgb) { return RGB(rgb.red, rgb.green, rgb.blue); }

void FillSolid(HDC dc, const RECT& rect, COLORREF color) {
  SetDCBrushColor(dc, color);
  FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

// A 32-bit top-down image: exact colours whatever the screen's depth.
HBITMAP CreateImage(HDC dc, int width, int height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  return CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

}  // namespace

COLORREF ResolveColor(TColor color) {
  if (IsSystemColor(color)) return GetSysColor(static_cast<int>(color & 0xFF));
  return static_cast<COLORREF>(color & 0xFFFFFF);
}

TGradientBackground::TGradientBackground(HWND host) : host_(host) {}

TGradientBackground::~TGradientBackground() = default;

template <typename T>
void TGradientBackground::Set(T& member, T value, bool shows) {
  if (member == value) return;
  member = value;
  if (shows) Invalidate();
}

void TGradientBackground::SetGradientColorStart(TColor color) {
  Set(start_, color, gradient_visible_);
}
void TGradientBackground::SetGradientColorStop(TColor color) {
  Set(stop_, color, gradient_visible_);
}
void TGradientBackground::SetGradientDirection(TGradientDirection direction) {
  Set(direction_, direction, gradient_visible_);
}
void TGradientBackground::SetGradientSmooth(int smooth) {
  Set(smooth_, std::max(1, smooth), gradient_visible_);
}
void TGradientBackground::SetGradientVisible(bool visible) {
  Set(gradient_visible_, visible, true);
}
void TGradientBackground::SetImageStyle(TImageStyle style) {
  Set(image_style_, style, image_visible_ && image_);
}
void TGradientBackground::SetImageVisible(bool visible) {
  Set(image_visible_, visible, static_cast<bool>(image_));
}
void TGradientBackground::SetColor(TColor color) { Set(color_, color, true); }

void TGradientBackground::SetImage(HBITMAP picture) {
  HBITMAP copy = nullptr;
  BITMAP info = {};
  if (picture && GetObject(picture, sizeof(info), &info) != 0) {
    copy = static_cast<HBITMAP>(CopyImage(picture, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  }
  image_.reset(copy);
  image_width_ = copy ? info.bmWidth : 0;
  image_height_ = copy ? info.bmHeight : 0;
  if (image_visible_) Invalidate();
}

void TGradientBackground::Invalidate() const {
  if (host_) InvalidateRect(host_, nullptr, FALSE);
}

void TGradientBackground::Paint(HDC target, const RECT& client) const {
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  if (width <= 0 || height <= 0) return;

  ScopedMemoryDc canvas(CreateCompatibleDC(target));
  if (!canvas.get()) throw Exception("Cannot create a drawing surface for the background");
  ScopedBitmap image(CreateImage(canvas.get(), width, height));
  if (!image.get()) throw Exception("Cannot create an off-screen image for the background");
  ScopedSelect select_image(canvas.get(), image.get());
  HDC dc = canvas.get();
  const RECT whole{0, 0, width, height};

  FillSolid(dc, whole, ResolveColor(color_));

  if (gradient_visible_) {
    const GradientPlan plan = PlanGradient(direction_, {0, 0, width, height}, smooth_,
                                           ToRgb(ResolveColor(start_)), ToRgb(ResolveColor(stop_)));
    for (const RectBand& band : plan.rects) {
      const RECT r{band.rect.left, band.rect.top, band.rect.right, band.rect.bottom};
      FillSolid(dc, r, ToColorref(band.color));
    }
    if (!plan.polygons.empty()) {
      ScopedSelect pen(dc, GetStockObject(DC_PEN));
      ScopedSelect brush(dc, GetStockObject(DC_BRUSH));
      for (const PolygonBand& band : plan.polygons) {
        SetDCPenColor(dc, ToColorref(band.color));
        SetDCBrushColor(dc, ToColorref(band.color));
        POINT corners[4];
        for (int i = 0; i < 4; ++i) corners[i] = {band.corners[i].x, band.corners[i].y};
        Polygon(dc, corners, 4);
      }
    }
  }

  if (image_visible_ && image_) {
    const ImagePlan plan = PlanImage(image_style_, width, height, image_width_, image_height_);
    if (plan.draw) {
      ScopedMemoryDc source(CreateCompatibleDC(target));
      if (!source.get()) throw Exception("Cannot create a drawing surface for the background");
      ScopedSelect select_picture(source.get(), image_.get());
      SetStretchBltMode(dc, HALFTONE);
      StretchBlt(dc, plan.dest.left, plan.dest.top, plan.dest.Width(), plan.dest.Height(),
                 source.get(), 0, 0, image_width_, image_height_, SRCCOPY);
      for (const TileCopy& copy : plan.copies) {
        BitBlt(dc, copy.dest.x, copy.dest.y, copy.source.Width(), copy.source.Height(), dc,
               copy.source.left, copy.source.top, SRCCOPY);
      }
    }
  }

  if (on_paint_) on_paint_(dc, whole);

  BitBlt(target, client.left, client.top, width, height, dc, 0, 0, SRCCOPY);
}

}  // namespace kx::widgets
