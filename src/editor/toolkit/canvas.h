// Drawing: paths, colours, clipping, text and images on a Cairo context, in
// the flipped coordinates of the view being drawn (origin top left, y down).
#pragma once

#include <string_view>
#include <vector>

#include "editor/toolkit/color.h"
#include "editor/toolkit/geometry.h"
#include "editor/toolkit/image.h"

typedef struct _cairo cairo_t;  // NOLINT(bugprone-reserved-identifier): cairo's own name

namespace orvane::tk {

enum class LineCap { Butt, Round, Square };
enum class LineJoin { Miter, Round, Bevel };
enum class WindingRule { NonZero, EvenOdd };

// A vector path with its own stroke settings, recorded so it can be filled,
// stroked or used as a clip any number of times. Ovals, rectangles and rounded
// rectangles all run in the same direction, so a union of them clips
// correctly under the non-zero rule.
class Path {
 public:
  static Path rect(const Rect& r);
  static Path oval(const Rect& r);
  static Path roundedRect(const Rect& r, double radiusX, double radiusY);

  void moveTo(Point p);
  void lineTo(Point p);
  void curveTo(Point c1, Point c2, Point end);
  void close();
  void append(const Path& other);

  void setLineWidth(double w) { lineWidth_ = w; }
  void setLineCap(LineCap c) { lineCap_ = c; }
  void setLineJoin(LineJoin j) { lineJoin_ = j; }
  void setWindingRule(WindingRule r) { winding_ = r; }
  double lineWidth() const { return lineWidth_; }
  bool isEmpty() const { return ops_.empty(); }

 private:
  friend class Canvas;
  enum class Op { Move, Line, Curve, Close };
  struct Element {
    Op op;
    Point p[3];
  };
  std::vector<Element> ops_;
  double lineWidth_ = 1.0;
  LineCap lineCap_ = LineCap::Butt;
  LineJoin lineJoin_ = LineJoin::Miter;
  WindingRule winding_ = WindingRule::NonZero;
};

enum class FontWeight { Regular, Medium, Semibold, Bold };

// The system sans-serif face at a size in points. With monospacedDigits the
// digits take tabular widths, so a changing number does not jitter.
struct Font {
  double size = 13;
  FontWeight weight = FontWeight::Regular;
  bool monospacedDigits = false;

  static Font system(double size, FontWeight weight = FontWeight::Regular) {
    return {size, weight, false};
  }
  static Font monospacedDigitSystem(double size, FontWeight weight = FontWeight::Regular) {
    return {size, weight, true};
  }
};

// Size of a text's logical box in the font, measured without a canvas.
Size measureText(std::string_view text, const Font& font);

enum class ImageQuality { Fast, High };

// Draws into a Cairo context it does not own. Colours are straight alpha.
class Canvas {
 public:
  explicit Canvas(cairo_t* cr) : cr_(cr) {}

  void save();
  void restore();
  void translate(double dx, double dy);

  void fill(const Path& path, const Color& color);
  void stroke(const Path& path, const Color& color);
  void fillRect(const Rect& r, const Color& color);
  // Intersects the clip with the path, using the path's winding rule.
  void clip(const Path& path);
  void clipRect(const Rect& r);

  Size measureText(std::string_view text, const Font& font) const;
  // Draws the text with the top-left corner of its logical box at `topLeft`.
  void drawText(std::string_view text, Point topLeft, const Font& font, const Color& color);

  // Draws the whole image scaled into `dest`, source-over.
  void drawImage(const Image& image, const Rect& dest, double opacity = 1.0,
                 ImageQuality quality = ImageQuality::High);

  cairo_t* native() const { return cr_; }

 private:
  void setPath(const Path& path);
  cairo_t* cr_;
};

}  // namespace orvane::tk
