#include "editor/toolkit/canvas.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <string>

namespace orvane::tk {

// ---- Path -------------------------------------------------------------------

// Control-point distance for a quarter ellipse drawn with one cubic Bezier:
// 4/3 * (sqrt(2) - 1), the usual choice; its radial error is below 0.03 %.
static constexpr double kKappa = 0.5522847498307936;

Path Path::rect(const Rect& r) {
  Path p;
  p.moveTo({r.x, r.y});
  p.lineTo({r.maxX(), r.y});
  p.lineTo({r.maxX(), r.maxY()});
  p.lineTo({r.x, r.maxY()});
  p.close();
  return p;
}

Path Path::oval(const Rect& r) {
  Path p;
  const double cx = r.midX(), cy = r.midY(), rx = r.width / 2, ry = r.height / 2;
  const double kx = rx * kKappa, ky = ry * kKappa;
  // Clockwise on screen (y down), the same turn as rect().
  p.moveTo({cx + rx, cy});
  p.curveTo({cx + rx, cy + ky}, {cx + kx, cy + ry}, {cx, cy + ry});
  p.curveTo({cx - kx, cy + ry}, {cx - rx, cy + ky}, {cx - rx, cy});
  p.curveTo({cx - rx, cy - ky}, {cx - kx, cy - ry}, {cx, cy - ry});
  p.curveTo({cx + kx, cy - ry}, {cx + rx, cy - ky}, {cx + rx, cy});
  p.close();
  return p;
}

Path Path::roundedRect(const Rect& r, double radiusX, double radiusY) {
  // Radii larger than half the side are limited, as AppKit does.
  double rx = radiusX < r.width / 2 ? radiusX : r.width / 2;
  double ry = radiusY < r.height / 2 ? radiusY : r.height / 2;
  if (rx < 0) rx = 0;
  if (ry < 0) ry = 0;
  if (rx == 0 || ry == 0) return rect(r);
  Path p;
  const double kx = rx * kKappa, ky = ry * kKappa;
  const double x0 = r.x, y0 = r.y, x1 = r.maxX(), y1 = r.maxY();
  p.moveTo({x0 + rx, y0});
  p.lineTo({x1 - rx, y0});
  p.curveTo({x1 - rx + kx, y0}, {x1, y0 + ry - ky}, {x1, y0 + ry});
  p.lineTo({x1, y1 - ry});
  p.curveTo({x1, y1 - ry + ky}, {x1 - rx + kx, y1}, {x1 - rx, y1});
  p.lineTo({x0 + rx, y1});
  p.curveTo({x0 + rx - kx, y1}, {x0, y1 - ry + ky}, {x0, y1 - ry});
  p.lineTo({x0, y0 + ry});
  p.curveTo({x0, y0 + ry - ky}, {x0 + rx - kx, y0}, {x0 + rx, y0});
  p.close();
  return p;
}

void Path::moveTo(Point p) {
  ops_.push_back({Op::Move, {p, {}, {}}});
}
void Path::lineTo(Point p) {
  ops_.push_back({Op::Line, {p, {}, {}}});
}
void Path::curveTo(Point c1, Point c2, Point end) {
  ops_.push_back({Op::Curve, {c1, c2, end}});
}
void Path::close() {
  ops_.push_back({Op::Close, {}});
}
void Path::append(const Path& other) {
  ops_.insert(ops_.end(), other.ops_.begin(), other.ops_.end());
}

// ---- Text -------------------------------------------------------------------

namespace {

// Text is laid out without hinting and with unhinted metrics, so measurements
// do not depend on where the text lands on the pixel grid.
void configureLayout(PangoLayout* layout, std::string_view text, const Font& font) {
  cairo_font_options_t* opts = cairo_font_options_create();
  cairo_font_options_set_antialias(opts, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(opts, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(opts, CAIRO_HINT_METRICS_OFF);
  pango_cairo_context_set_font_options(pango_layout_get_context(layout), opts);
  cairo_font_options_destroy(opts);
  pango_layout_context_changed(layout);

  PangoFontDescription* desc = pango_font_description_new();
  pango_font_description_set_family(desc, "Sans");
  // One point is one device unit at scale 1, as on the platform the
  // sizes were chosen for.
  pango_font_description_set_absolute_size(desc, font.size * PANGO_SCALE);
  PangoWeight w = PANGO_WEIGHT_NORMAL;
  switch (font.weight) {
    case FontWeight::Regular:
      w = PANGO_WEIGHT_NORMAL;
      break;
    case FontWeight::Medium:
      w = PANGO_WEIGHT_MEDIUM;
      break;
    case FontWeight::Semibold:
      w = PANGO_WEIGHT_SEMIBOLD;
      break;
    case FontWeight::Bold:
      w = PANGO_WEIGHT_BOLD;
      break;
  }
  pango_font_description_set_weight(desc, w);
  pango_layout_set_font_description(layout, desc);
  pango_font_description_free(desc);

  if (font.monospacedDigits) {
    PangoAttrList* attrs = pango_attr_list_new();
    pango_attr_list_insert(attrs, pango_attr_font_features_new("tnum"));
    pango_layout_set_attributes(layout, attrs);
    pango_attr_list_unref(attrs);
  }
  pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
}

Size layoutSize(PangoLayout* layout) {
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  return {double(logical.width) / PANGO_SCALE, double(logical.height) / PANGO_SCALE};
}

}  // namespace

Size measureText(std::string_view text, const Font& font) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
  cairo_t* cr = cairo_create(s);
  PangoLayout* layout = pango_cairo_create_layout(cr);
  configureLayout(layout, text, font);
  const Size size = layoutSize(layout);
  g_object_unref(layout);
  cairo_destroy(cr);
  cairo_surface_destroy(s);
  return size;
}

// ---- Canvas -----------------------------------------------------------------

void Canvas::save() {
  cairo_save(cr_);
}
void Canvas::restore() {
  cairo_restore(cr_);
}
void Canvas::translate(double dx, double dy) {
  cairo_translate(cr_, dx, dy);
}

void Canvas::setPath(const Path& path) {
  cairo_new_path(cr_);
  for (const auto& e : path.ops_) {
    switch (e.op) {
      case Path::Op::Move:
        cairo_move_to(cr_, e.p[0].x, e.p[0].y);
        break;
      case Path::Op::Line:
        cairo_line_to(cr_, e.p[0].x, e.p[0].y);
        break;
      case Path::Op::Curve:
        cairo_curve_to(cr_, e.p[0].x, e.p[0].y, e.p[1].x, e.p[1].y, e.p[2].x, e.p[2].y);
        break;
      case Path::Op::Close:
        cairo_close_path(cr_);
        break;
    }
  }
  cairo_set_fill_rule(cr_, path.winding_ == WindingRule::NonZero ? CAIRO_FILL_RULE_WINDING
                                                                 : CAIRO_FILL_RULE_EVEN_ODD);
}

void Canvas::fill(const Path& path, const Color& c) {
  setPath(path);
  cairo_set_source_rgba(cr_, c.red, c.green, c.blue, c.alpha);
  cairo_fill(cr_);
}

void Canvas::stroke(const Path& path, const Color& c) {
  setPath(path);
  cairo_set_source_rgba(cr_, c.red, c.green, c.blue, c.alpha);
  cairo_set_line_width(cr_, path.lineWidth_);
  switch (path.lineCap_) {
    case LineCap::Butt:
      cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT);
      break;
    case LineCap::Round:
      cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
      break;
    case LineCap::Square:
      cairo_set_line_cap(cr_, CAIRO_LINE_CAP_SQUARE);
      break;
  }
  switch (path.lineJoin_) {
    case LineJoin::Miter:
      cairo_set_line_join(cr_, CAIRO_LINE_JOIN_MITER);
      break;
    case LineJoin::Round:
      cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
      break;
    case LineJoin::Bevel:
      cairo_set_line_join(cr_, CAIRO_LINE_JOIN_BEVEL);
      break;
  }
  cairo_stroke(cr_);
}

void Canvas::fillRect(const Rect& r, const Color& c) {
  fill(Path::rect(r), c);
}

void Canvas::clip(const Path& path) {
  setPath(path);
  cairo_clip(cr_);
}

void Canvas::clipRect(const Rect& r) {
  clip(Path::rect(r));
}

Size Canvas::measureText(std::string_view text, const Font& font) const {
  return tk::measureText(text, font);
}

void Canvas::drawText(std::string_view text, Point topLeft, const Font& font, const Color& c) {
  PangoLayout* layout = pango_cairo_create_layout(cr_);
  configureLayout(layout, text, font);
  cairo_set_source_rgba(cr_, c.red, c.green, c.blue, c.alpha);
  cairo_move_to(cr_, topLeft.x, topLeft.y);
  pango_cairo_show_layout(cr_, layout);
  cairo_new_path(cr_);
  g_object_unref(layout);
}

void Canvas::drawImage(const Image& image, const Rect& dest, double opacity, ImageQuality quality) {
  if (dest.isEmpty()) return;
  cairo_save(cr_);
  cairo_new_path(cr_);
  cairo_rectangle(cr_, dest.x, dest.y, dest.width, dest.height);
  cairo_clip(cr_);
  cairo_translate(cr_, dest.x, dest.y);
  cairo_scale(cr_, dest.width / image.pixelWidth(), dest.height / image.pixelHeight());
  cairo_set_source_surface(cr_, image.surface(), 0, 0);
  cairo_pattern_t* pattern = cairo_get_source(cr_);
  // GOOD resamples with a proper filter when scaling down (the knob picture is
  // drawn at half its pixel size); the pad avoids a transparent seam at the edges.
  cairo_pattern_set_filter(
      pattern, quality == ImageQuality::High ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST);
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
  cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
  if (opacity >= 1.0)
    cairo_paint(cr_);
  else
    cairo_paint_with_alpha(cr_, opacity);
  cairo_restore(cr_);
}

}  // namespace orvane::tk
