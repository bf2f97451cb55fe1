// Measures a full paint of the gradient background (off-screen image, bands, one copy) into a
// memory DC at the main window's size and at a full-screen size: `gradient_paint_bench [n]`.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "src/widgets/gdi_handles_win.h"
#include "src/widgets/gradient_background_win.h"

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::atoi(argv[1]) : 500;
  kx::widgets::TGradientBackground background;
  background.SetGradientColorStart(9981440);
  background.SetGradientColorStop(kx::widgets::clSilver);
  background.SetGradientSmooth(4);
  for (SIZE size : {SIZE{520, 329}, SIZE{1920, 1080}}) {
    kx::widgets::ScopedWindowDc screen(nullptr);
    kx::widgets::ScopedMemoryDc memory(CreateCompatibleDC(screen.get()));
    kx::widgets::ScopedBitmap bitmap(CreateCompatibleBitmap(screen.get(), size.cx, size.cy));
    kx::widgets::ScopedSelect select(memory.get(), bitmap.get());
    HDC target = memory.get();
    for (kx::widgets::TGradientDirection direction :
         {kx::widgets::gdHorizontal, kx::widgets::gdDiagonalLeft}) {
      background.SetGradientDirection(direction);
      const auto start = std::chrono::steady_clock::now();
      for (int i = 0; i < repetitions; ++i) {
        background.Paint(target, RECT{0, 0, size.cx, size.cy});
      }
      GdiFlush();
      const double us =
          std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
              .count() /
          repetitions;
      std::printf("%4ldx%-4ld %-14s %9.1f us per paint\n", size.cx, size.cy,
                  direction == kx::widgets::gdHorizontal ? "horizontal" : "diagonal-left", us);
    }
  }
  return 0;
}
