// Measures the band planning of every gradient direction at the main window's size and at a
// full-screen size: `gradient_bench [repetitions]`.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "src/widgets/gradient.h"

namespace kx::widgets {

int RunGradientBench(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::atoi(argv[1]) : 2000;
  const struct {
    const char* name;
    TGradientDirection direction;
  } directions[] = {{"horizontal", gdHorizontal},      {"horizontal-centre", gdHorizontalCenter},
                    {"vertical", gdVertical},          {"vertical-centre", gdVerticalCenter},
                    {"diagonal-left", gdDiagonalLeft}, {"diagonal-right", gdDiagonalRight},
                    {"square-box", gdSquareBox}};
  const PixelRect sizes[] = {{0, 0, 520, 329}, {0, 0, 1920, 1080}};
  std::size_t sink = 0;
  for (const PixelRect& size : sizes) {
    for (const auto& d : directions) {
      const auto start = std::chrono::steady_clock::now();
      for (int i = 0; i < repetitions; ++i) {
        const GradientPlan plan =
            PlanGradient(d.direction, size, 4, RgbOf(9981440), RgbOf(clSilver));
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

}  // namespace kx::widgets

int main(int argc, char** argv) { return kx::widgets::RunGradientBench(argc, argv); }
