#include "editor/toolkit/geometry.h"

namespace orvane::tk {

Rect intersectRect(const Rect& a, const Rect& b) {
  const double x0 = a.x > b.x ? a.x : b.x;
  const double y0 = a.y > b.y ? a.y : b.y;
  const double x1 = a.maxX() < b.maxX() ? a.maxX() : b.maxX();
  const double y1 = a.maxY() < b.maxY() ? a.maxY() : b.maxY();
  if (!(x1 > x0) || !(y1 > y0)) return {};
  return {x0, y0, x1 - x0, y1 - y0};
}

}  // namespace orvane::tk
