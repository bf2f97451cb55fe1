// The main window's layout at any display scaling: every position, size and font height is
// the 96-DPI design times the window's DPI, rounded as the system's MulDiv rounds. At 96 DPI
// it is the design, pixel for pixel. Portable: no windows.h.
#pragma once

namespace kx::app {

inline constexpr int kDesignDpi = 96;

// `value` * `dpi` / 96, rounded half away from zero.
int ScaleToDpi(int value, int dpi);

struct LayoutRect {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const LayoutRect&) const = default;
};

struct MainLayout {
  int dpi = kDesignDpi;
  int outer_width = 0, outer_height = 0;  // the window with its frame, caption and menu
  // Controls in the client area. The three long labels and the status label are sized to
  // their text afterwards; their rectangles here are the design's.
  LayoutRect label1, label4, label2, path_from, lblerror, btn_process, progress, btn_exit,
      lblprogress;
  int browse_button_width = 0;      // the folder button at the field's right end
  int gradient_band = 0;            // thickness of one band of the background
  int button_picture = 0;           // the square pictures beside the push buttons' captions
  int font_10pt = 0, font_8pt = 0;  // character heights (negative, as fonts take them)
};

// `progress_height_96` is the progress bar's own default height at 96 DPI.
MainLayout LayOutMainWindow(int dpi, int progress_height_96);

}  // namespace kx::app
