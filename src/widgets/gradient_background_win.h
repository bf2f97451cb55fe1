// The window's gradient background: paints bands of colour (and an optional picture) over a
// host window's client area. It has no window of its own; the host calls Paint from its
// WM_PAINT (or WM_PRINTCLIENT) handler, before anything else is drawn.
#pragma once

#include <windows.h>

#include <functional>

#include "src/widgets/gdi_handles_win.h"
#include "src/widgets/gradient.h"

namespace kx::widgets {

class TGradientBackground {
 public:
  // Runs after the bands and the picture, on the off-screen image (its client rectangle
  // starts at 0, 0).
  using PaintHook = std::function<void(HDC canvas, const RECT& rect)>;

  // `host` (may be null) is the window the background paints on; property changes that show
  // invalidate its client area.
  explicit TGradientBackground(HWND host = nullptr);
  ~TGradientBackground();
  TGradientBackground(const TGradientBackground&) = delete;
  TGradientBackground& operator=(const TGradientBackground&) = delete;

  TColor GradientColorStart() const { return start_; }
  void SetGradientColorStart(TColor color);
  TColor GradientColorStop() const { return stop_; }
  void SetGradientColorStop(TColor color);
  TGradientDirection GradientDirection() const { return direction_; }
  void SetGradientDirection(TGradientDirection direction);
  // Band thickness in pixels; values below 1 are taken as 1.
  int GradientSmooth() const { return smooth_; }
  void SetGradientSmooth(int smooth);
  bool GradientVisible() const { return gradient_visible_; }
  void SetGradientVisible(bool visible);

  // The picture is copied; null clears it.
  void SetImage(HBITMAP picture);
  bool HasImage() const { return static_cast<bool>(image_); }
  TImageStyle ImageStyle() const { return image_style_; }
  void SetImageStyle(TImageStyle style);
  bool ImageVisible() const { return image_visible_; }
  void SetImageVisible(bool visible);

  // The colour under the bands (and all that shows with the gradient off).
  TColor Color() const { return color_; }
  void SetColor(TColor color);

  void SetOnPaint(PaintHook hook) { on_paint_ = std::move(hook); }

  // The host's client area changed size: the bands must be drawn again.
  void Resized() { Invalidate(); }

  // Paints the whole background into `client` of `target`: an off-screen image is filled with
  // Color, then the bands, the picture and the paint hook, and copied to `target` in one
  // operation. Throws Exception when no off-screen image can be had; the off-screen image is
  // freed also when a step (the hook) throws.
  void Paint(HDC target, const RECT& client) const;

 private:
  void Invalidate() const;
  template <typename T>
  void Set(T& member, T value, bool shows);

  HWND host_;
  TColor start_ = clBlue;
  TColor stop_ = clBlack;
  TGradientDirection direction_ = gdHorizontal;
  int smooth_ = 8;
  bool gradient_visible_ = true;
  ScopedBitmap image_;
  int image_width_ = 0;
  int image_height_ = 0;
  TImageStyle image_style_ = isCenter;
  bool image_visible_ = true;
  TColor color_ = clBtnFace;
  PaintHook on_paint_;
};

// The RGB of a colour value, system colours resolved with the present system settings.
COLORREF ResolveColor(TColor color);

}  // namespace kx::widgets
