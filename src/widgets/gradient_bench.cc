// Measures the band planning of every gradient direction at the main window's size and at a
// full-screen size: `gradient_bench [repetitions]`.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "src/widgets/gradient.h"

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::atoi(argv[1]) : 2000;
  const struct {
    const char* name;
    kx::widgets::TGradientDirection direction;
  } directions[] = {{"horizontal", kx::widgets::gdHorizontal},
                    {"horizontal-centre", kx::widgets::gdHorizontalCenter},
                    {"vertical", kx::widgets::gdVertical},
                    {"vertical-centre", kx::widgets::gdVerticalCenter},
                    {"diagonal-left", kx::widgets::gdDiagonalLeft},
                    {"diagonal-right", kx::widgets::gdDiagonalRight},
                    {"square-box", kx::widgets::gdSquareBox}};
  const kx::widgets::PixelRect sizes[] = {{0, 0, 520, 329}, {0, 0, 1920, 1080}};
  std::size_t sink = 0;
  for (const kx::widgets::PixelRect& size : sizes) {
    for (const auto& d : directions) {
      const auto start = std::chrono::steady_clock::now();
      for (int i = 0; i < repetitions; ++i) {
        const kx::widgets::GradientPlan plan =
            kx::widgets::PlanGradient(d.direction, size, 4, kx::widgets::RgbOf(9981440),
                                      kx::widgets::RgbOf(kx::widgets::clSilver));
        sink += plan.rects.size() + plan.polygons.size();
      }
      const double us =
          std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
              .count() /
          repetitions;
      std::printf("%4dx%-4d %-18s %8.2f us per plan\n", size.right, size.bottom, d.name, us);
    }
  }
  return sink == 0 ? 1 : 0;
}
