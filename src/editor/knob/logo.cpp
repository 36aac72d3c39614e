#include "editor/knob/logo.h"

#include <algorithm>
#include <cmath>

namespace orvane::knob {

namespace {

// Distance from p to the segment a-b.
double segmentDistance(double u, double v, double ax, double ay, double bx, double by) {
  const double ex = bx - ax, ey = by - ay;
  const double len2 = ex * ex + ey * ey;
  double k = len2 > 0 ? ((u - ax) * ex + (v - ay) * ey) / len2 : 0;
  k = std::clamp(k, 0.0, 1.0);
  return std::hypot(u - (ax + k * ex), v - (ay + k * ey));
}

std::vector<std::uint32_t> buildLogo() {
  // Drawn from distances in a 64 x 64 design square. The arc is a circle of
  // radius 23 whose ends sit at (47, 16) and (47, 48): its centre lies
  // sqrt(23^2 - 16^2) = sqrt(273) left of x 47, and it opens towards +u.
  constexpr double kDesign = 64, kPixels = kLogoSize, kPerUnit = kPixels / kDesign;
  const double arcCx = 47 - std::sqrt(273.0), arcCy = 32, arcR = 23;
  const double openHalfAngle = std::atan2(16.0, std::sqrt(273.0));
  struct Bar {
    double x, y0, y1;
  };
  const Bar bars[] = {{24, 28, 36}, {32, 20, 44}, {40, 26, 38}, {48, 30, 34}};
  const double barColour[3] = {238, 246, 255};
  const double arcColour[3] = {105, 185, 255};

  std::vector<std::uint32_t> px(std::size_t(kLogoSize) * kLogoSize, 0u);
  for (int j = 0; j < kLogoSize; ++j) {
    for (int i = 0; i < kLogoSize; ++i) {
      const double u = (i + 0.5) * kDesign / kPixels, v = (j + 0.5) * kDesign / kPixels;
      const double alpha = std::atan2(v - arcCy, u - arcCx);
      double da;
      if (std::fabs(alpha) >= openHalfAngle)
        da = std::fabs(std::hypot(u - arcCx, v - arcCy) - arcR);
      else  // inside the opening: distance to the round caps at the arc's ends
        da = std::min(std::hypot(u - 47, v - 16), std::hypot(u - 47, v - 48));
      double db = 1e9;
      for (const Bar& b : bars) db = std::min(db, segmentDistance(u, v, b.x, b.y0, b.x, b.y1));

      // Coverage one output pixel wide: bars 4 units wide, the arc 7.
      const double ab = std::clamp((2.0 - db) * kPerUnit + 0.5, 0.0, 1.0);
      const double aa = std::clamp((3.5 - da) * kPerUnit + 0.5, 0.0, 1.0);
      const double A = ab + aa * (1 - ab);  // bars over the arc
      if (!(A > 0)) continue;
      const int a8 = static_cast<int>(std::min(A, 1.0) * 255);
      std::uint32_t word = std::uint32_t(a8) << 24;
      for (int c = 0; c < 3; ++c) {
        const double colour =
            std::clamp((ab * barColour[c] + (1 - ab) * aa * arcColour[c]) / A, 0.0, 255.0);
        const int premultiplied = static_cast<int>(a8 * colour / 255);
        word |= std::uint32_t(premultiplied) << (8 * (2 - c));
      }
      px[std::size_t(j) * kLogoSize + i] = word;
    }
  }
  return px;
}

}  // namespace

const std::vector<std::uint32_t>& logo() {
  static const std::vector<std::uint32_t> pixels = buildLogo();
  return pixels;
}

}  // namespace orvane::knob
