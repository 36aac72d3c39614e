// Colours as straight (not premultiplied) red, green, blue, alpha in [0, 1].
#pragma once

namespace orvane::tk {

struct Color {
  double red = 0;
  double green = 0;
  double blue = 0;
  double alpha = 1;

  // Opaque colour from 8-bit components; each is divided by 255.
  static constexpr Color rgb255(int r, int g, int b) {
    return {r / 255.0, g / 255.0, b / 255.0, 1.0};
  }
  static constexpr Color white(double w, double a = 1.0) { return {w, w, w, a}; }
};

inline bool operator==(const Color& a, const Color& b) {
  return a.red == b.red && a.green == b.green && a.blue == b.blue && a.alpha == b.alpha;
}
inline bool operator!=(const Color& a, const Color& b) {
  return !(a == b);
}

}  // namespace orvane::tk
