// Points, sizes and rectangles in points. Every view is flipped: the origin is
// the top-left corner and y grows downwards.
#pragma once

namespace orvane::tk {

struct Point {
  double x = 0;
  double y = 0;
};

struct Size {
  double width = 0;
  double height = 0;
};

struct Rect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;

  double minX() const { return x; }
  double minY() const { return y; }
  double maxX() const { return x + width; }
  double maxY() const { return y + height; }
  double midX() const { return x + width / 2; }
  double midY() const { return y + height / 2; }
  Point origin() const { return {x, y}; }
  Size size() const { return {width, height}; }
  bool isEmpty() const { return !(width > 0) || !(height > 0); }

  // Half-open, as hit testing wants: a point on the right or bottom edge
  // belongs to the neighbour.
  bool contains(Point p) const {
    return p.x >= x && p.x < x + width && p.y >= y && p.y < y + height;
  }
};

inline bool operator==(Point a, Point b) {
  return a.x == b.x && a.y == b.y;
}
inline bool operator==(Size a, Size b) {
  return a.width == b.width && a.height == b.height;
}
inline bool operator==(const Rect& a, const Rect& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}
inline bool operator!=(const Rect& a, const Rect& b) {
  return !(a == b);
}

inline Rect insetRect(const Rect& r, double dx, double dy) {
  return {r.x + dx, r.y + dy, r.width - 2 * dx, r.height - 2 * dy};
}

inline Rect offsetRect(const Rect& r, double dx, double dy) {
  return {r.x + dx, r.y + dy, r.width, r.height};
}

// Empty rectangle (all zero) when the two do not overlap.
Rect intersectRect(const Rect& a, const Rect& b);

}  // namespace orvane::tk
