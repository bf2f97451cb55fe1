#include "src/app/main_layout.h"

#include <cstdint>

namespace kx::app {
namespace {

LayoutRect Scaled(int left, int top, int width, int height, int dpi) {
  return {ScaleToDpi(left, dpi), ScaleToDpi(top, dpi), ScaleToDpi(width, dpi),
          ScaleToDpi(height, dpi)};
}

// A font's character height for a point size: points are 1/72 inch.
int FontHeight(int points, int dpi) {
  const std::int64_t product = static_cast<std::int64_t>(points) * dpi;
  return -static_cast<int>((product * 2 + 72) / 144);
}

}  // namespace

int ScaleToDpi(int value, int dpi) {
  const std::int64_t product = static_cast<std::int64_t>(value) * dpi;
  const std::int64_t half = kDesignDpi / 2;
  return static_cast<int>(product >= 0 ? (product + half) / kDesignDpi
                                       : -((-product + half) / kDesignDpi));
}

MainLayout LayOutMainWindow(int dpi, int progress_height_96) {
  MainLayout layout;
  layout.dpi = dpi;
  layout.outer_width = ScaleToDpi(528, dpi);
  layout.outer_height = ScaleToDpi(383, dpi);
  layout.label1 = Scaled(8, 4, 400, 64, dpi);
  layout.label4 = Scaled(8, 96, 348, 32, dpi);
  layout.label2 = Scaled(8, 176, 191, 16, dpi);
  layout.path_from = Scaled(8, 192, 477, 21, dpi);
  layout.lblerror = Scaled(7, 216, 302, 19, dpi);
  layout.btn_process = Scaled(32, 236, 75, 25, dpi);
  layout.progress = Scaled(31, 264, 121, progress_height_96, dpi);
  layout.btn_exit = Scaled(212, 276, 75, 25, dpi);
  layout.lblprogress = Scaled(32, 288, 0, 13, dpi);
  layout.browse_button_width = ScaleToDpi(18, dpi);
  layout.gradient_band = ScaleToDpi(4, dpi);
  layout.button_picture = ScaleToDpi(16, dpi);
  layout.font_10pt = FontHeight(10, dpi);
  layout.font_8pt = FontHeight(8, dpi);
  return layout;
}

}  // namespace kx::app
