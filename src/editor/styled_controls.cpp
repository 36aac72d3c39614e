#include "editor/styled_controls.h"

#include <cmath>

namespace orvane {

SurfaceStyle surfaceStyle(bool hover, bool highlighted, bool focused, bool active) {
  SurfaceStyle s;
  if (active)
    s.fill = tk::Color::rgb255(48, 36, 25);
  else if (highlighted)
    s.fill = tk::Color::rgb255(29, 55, 80);
  else if (hover)
    s.fill = tk::Color::rgb255(27, 45, 65);
  else
    s.fill = tk::Color::rgb255(19, 33, 50);

  if (active)
    s.outline = tk::Color::rgb255(231, 176, 101);
  else if (hover || focused)
    s.outline = tk::Color::rgb255(115, 187, 255);
  else
    s.outline = tk::Color::rgb255(44, 64, 86);

  s.outlineWidth = focused ? 2 : 1;
  return s;
}

void ORVSurface(tk::Canvas& canvas, const tk::Rect& rect, bool hover, bool highlighted,
                bool focused, bool active) {
  const SurfaceStyle style = surfaceStyle(hover, highlighted, focused, active);
  tk::Path shape = tk::Path::roundedRect(tk::insetRect(rect, 1, 1), 7, 7);
  canvas.fill(shape, style.fill);
  shape.setLineWidth(style.outlineWidth);
  canvas.stroke(shape, style.outline);
}

void OrvaneButton::drawRect(tk::Canvas& canvas, const tk::Rect&) {
  const bool active = isActive();
  const tk::Rect b = bounds();
  ORVSurface(canvas, b, _hover, isHighlighted(), isFirstResponder(), active);
  const tk::Size size = canvas.measureText(title(), styled::kTitleFont);
  canvas.drawText(title(), {(b.width - size.width) / 2, (b.height - size.height) / 2},
                  styled::kTitleFont, active ? styled::kTitleActive : styled::kTitle);
}

void OrvanePopup::drawRect(tk::Canvas& canvas, const tk::Rect&) {
  const tk::Rect b = bounds();
  ORVSurface(canvas, b, _hover, isHighlighted(), isFirstResponder(), false);
  const std::string title = titleOfSelectedItem();
  if (!title.empty()) {
    const tk::Size size = canvas.measureText(title, styled::kTitleFont);
    canvas.drawText(title, {12, (b.height - size.height) / 2}, styled::kTitleFont, styled::kTitle);
  }
  // Chevron pointing down on screen; every view here is flipped.
  const double right = b.maxX(), middle = b.y + b.height / 2, d = isFlipped() ? 2 : -2;
  tk::Path chevron;
  chevron.moveTo({right - 25, middle - d});
  chevron.lineTo({right - 21, middle + d});
  chevron.lineTo({right - 17, middle - d});
  chevron.setLineWidth(1.6);
  chevron.setLineCap(tk::LineCap::Round);
  canvas.stroke(chevron, styled::kAccent);
}

void OrvaneSliderCell::drawBarInside(tk::Canvas& canvas, const tk::Rect& rect, bool) {
  const double m = rect.midY();
  canvas.fill(tk::Path::roundedRect({rect.x, m - 2, rect.width, 4}, 2, 2), styled::kTrack);
  const double span = maxValue() - minValue();
  double f = span != 0 ? (doubleValue() - minValue()) / span : 0;
  f = std::isnan(f) ? 0 : std::fmin(std::fmax(f, 0.0), 1.0);
  if (rect.width * f > 0)
    canvas.fill(tk::Path::roundedRect({rect.x, m - 2, rect.width * f, 4}, 2, 2),
                styled::kTrackFilled);
}

void OrvaneSliderCell::drawKnob(tk::Canvas& canvas, const tk::Rect& knobRect) {
  const double cx = knobRect.midX(), cy = knobRect.midY();
  canvas.fill(tk::Path::oval({cx - 6, cy - 6, 12, 12}), styled::kAccent);
  const tk::Slider* slider = controlView();
  if (slider && slider->isFirstResponder()) {
    tk::Path ring = tk::Path::oval({cx - 9, cy - 9, 18, 18});
    ring.setLineWidth(1);
    canvas.stroke(ring, styled::kFocusRing);
  }
}

}  // namespace orvane
