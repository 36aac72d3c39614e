#include "editor/orvane_dial.h"

#include <cmath>
#include <cstdio>

#include "editor/knob/material_loader.h"
#include "editor/knob/orv_material.h"
#include "editor/toolkit/window.h"

namespace orvane {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kCentreRaise = 30;  // knob centre above the middle of the bounds
constexpr double kRingDrop =
    58;  // ring centre below the knob centre (the floor the knob stands on)
constexpr double kSquash = 0.82;         // vertical/horizontal radius ratio of the perspective
constexpr double kVerticalTravel = 240;  // points of vertical drag for the whole range
constexpr double kDeadZone = 12;         // rotary drags ignore the pointer this close to the centre
constexpr double kScrollStep = 0.005, kFineScrollStep = 0.0005, kKeyStep = 0.01;

const tk::Color kRingUnlit = tk::Color::rgb255(25, 43, 54);
const tk::Color kRingLit = tk::Color::rgb255(0, 210, 255);
const tk::Color kRingGlow{0, 0.83, 1.0, 0.19};
const tk::Color kTicks = tk::Color::rgb255(225, 233, 239);
const tk::Color kGroove = tk::Color::rgb255(8, 12, 13);
const tk::Color kNumbers{1, 1, 1, 1};
const tk::Color kReadout = tk::Color::rgb255(80, 203, 255);

double angleOf(double t) {
  return (t * 270 + 135) * kPi / 180;
}
double clamp01(double v) {
  return std::isnan(v) ? 0 : (v < 0 ? 0 : (v > 1 ? 1 : v));
}

}  // namespace

OrvaneDial::OrvaneDial(tk::Rect frame) : Control(frame) {
  // The readout sits at C + (195, 180), which reaches past the right edge of
  // the dial's frame for three-digit values.
  setClipsToBounds(false);
  knob::Material m = knob::loadEmbeddedMaterial();
  _materialImage =
      tk::Image::fromPixelWords(m.words.data(), m.words.size(), m.width, m.height, true);
  _rotatingMaterial =
      std::make_unique<knob::RotatingMaterial>(m.width, m.height, std::move(m.words));
}

void OrvaneDial::setDoubleValue(double v) {
  v = clamp01(v);
  if (v == _doubleValue) return;
  _doubleValue = v;
  setNeedsDisplay(true);
}

tk::Point OrvaneDial::knobCentre() const {
  const tk::Rect b = bounds();
  return {b.midX(), b.midY() - kCentreRaise};
}

tk::Point OrvaneDial::ringPoint(double t, double r) const {
  const tk::Point c = knobCentre();
  const double a = angleOf(clamp01(t));
  return {c.x + r * std::cos(a), c.y + kRingDrop + kSquash * r * std::sin(a)};
}

tk::View* OrvaneDial::hitTest(tk::Point p) {
  // The ellipse reaches 14 points above the frame; that strip belongs to
  // whatever is drawn there (the processing pop-up in the main view), so the
  // frame limits the area too.
  if (isHidden() || !frame().contains(p)) return nullptr;
  const tk::Point c = knobCentre();
  const double dx = (p.x - frame().x - c.x) / 145, dy = (p.y - frame().y - c.y) / 164;
  return dx * dx + dy * dy <= 1 ? this : nullptr;
}

void OrvaneDial::resetCursorRects() {
  const tk::Point c = knobCentre();
  addCursorRect({c.x - 125, c.y - 100, 250, 290}, tk::Cursor::OpenHand);
}

void OrvaneDial::mouseDown(const tk::Event& e) {
  tk::Window* w = window();
  if (!w) return;
  w->makeFirstResponder(this);
  const tk::Point c = knobCentre();
  const tk::Point p = convertFromWindow(e.location);
  const double dx = p.x - c.x;
  _drag.lastDy = p.y - c.y;
  // The modifiers of the click fix the mode for the whole drag.
  _drag.rotary = (e.modifiers & tk::kOption) != 0;
  _drag.lastAngle = std::atan2(_drag.lastDy / kSquash, dx);
  _drag.angleValid = std::hypot(dx, _drag.lastDy) >= kDeadZone;

  _tracking = true;
  sendToTarget("beginDial:");
  w->pushCursor(tk::Cursor::ClosedHand);
}

void OrvaneDial::mouseDragged(const tk::Event& e) {
  if (!_tracking) return;
  const tk::Point c = knobCentre();
  const tk::Point q = convertFromWindow(e.location);
  const double dx = q.x - c.x, dy = q.y - c.y;
  double v = _doubleValue;
  if (!_drag.rotary) {
    v += (_drag.lastDy - dy) / kVerticalTravel;
  } else if (std::hypot(dx, dy) < kDeadZone) {
    // Near the centre the angle means nothing: pause instead of jumping.
    _drag.angleValid = false;
  } else {
    const double angle = std::atan2(dy / kSquash, dx);
    // The shorter way round counts; 270 degrees sweep the whole range.
    if (_drag.angleValid) v += std::remainder(angle - _drag.lastAngle, 2 * kPi) / (1.5 * kPi);
    _drag.lastAngle = angle;
    _drag.angleValid = true;
  }
  setDoubleValue(clamp01(v));
  sendAction();
  displayIfNeeded();
  _drag.lastDy = dy;
}

void OrvaneDial::mouseUp(const tk::Event&) {
  endDrag();
}

void OrvaneDial::mouseTrackingCancelled(const tk::Event&) {
  endDrag();
}

void OrvaneDial::endDrag() {
  if (!_tracking) return;
  if (tk::Window* w = window()) w->popCursor();
  _tracking = false;
  sendToTarget("endDial:");
}

void OrvaneDial::scrollWheel(const tk::Event& e) {
  // A broken delta would otherwise read as a jump to 0.
  if (!std::isfinite(e.scrollingDeltaY)) return;
  const double step = (e.modifiers & tk::kShift) ? kFineScrollStep : kScrollStep;
  setDoubleValue(_doubleValue + e.scrollingDeltaY * step);
  sendAction();
}

void OrvaneDial::keyDown(const tk::Event& e) {
  switch (e.keyCode) {
    case tk::key::kUpArrow:
    case tk::key::kRightArrow:
      setDoubleValue(_doubleValue + kKeyStep);
      break;
    case tk::key::kDownArrow:
    case tk::key::kLeftArrow:
      setDoubleValue(_doubleValue - kKeyStep);
      break;
    default:
      Control::keyDown(e);
      return;
  }
  sendAction();
}

void OrvaneDial::drawRect(tk::Canvas& canvas, const tk::Rect&) {
  const tk::Point c = knobCentre();
  // The material's face centre, at (175, 124) design units, lands on C.
  const tk::Rect knobRect{c.x - 175, c.y - 124, 350, 350};
  canvas.drawImage(*_materialImage, knobRect);
  drawValueRing(canvas);
  drawTicks(canvas);
  drawTurnedKnob(canvas, knobRect);
  drawGroove(canvas);
  drawNumbers(canvas);
  drawReadout(canvas);
}

void OrvaneDial::drawValueRing(tk::Canvas& canvas) const {
  // Each stroke is a five-point polyline along the ring's ellipse.
  auto arc = [this](double t0, double t1, double width) {
    tk::Path p;
    for (int i = 0; i <= 4; ++i) {
      const tk::Point pt = ringPoint(t0 + i * (t1 - t0) / 4, 166);
      if (i == 0)
        p.moveTo(pt);
      else
        p.lineTo(pt);
    }
    p.setLineWidth(width);
    return p;
  };
  // 40 segments with gaps of 0.004 of the range between them.
  for (int k = 1; k <= 40; ++k) {
    const double s = k == 1 ? 0.0 : (k - 1) / 40.0 + 0.002;
    const double e = k == 40 ? 1.0 : k / 40.0 - 0.002;
    canvas.stroke(arc(s, e, 14), kRingUnlit);
    if (_doubleValue > s) {
      const double lit = std::fmin(_doubleValue, e);
      canvas.stroke(arc(s, lit, 20), kRingGlow);
      canvas.stroke(arc(s, lit, 14), kRingLit);
    }
  }
}

void OrvaneDial::drawTicks(tk::Canvas& canvas) const {
  // 51 ticks, every fifth one longer.
  tk::Path ticks;
  for (int i = 0; i <= 50; ++i) {
    const double t = i / 50.0;
    ticks.moveTo(ringPoint(t, i % 5 == 0 ? 174 : 177));
    ticks.lineTo(ringPoint(t, 180));
  }
  ticks.setLineWidth(1.4);
  canvas.stroke(ticks, kTicks);
}

void OrvaneDial::drawTurnedKnob(tk::Canvas& canvas, const tk::Rect& knobRect) {
  // Clipped to the knob's top face, its wall and its foot.
  const tk::Point c = knobCentre();
  canvas.save();
  tk::Path clip = tk::Path::oval({c.x - 114, c.y - 94, 228, 188});
  clip.append(tk::Path::rect({c.x - 114, c.y, 228, 60}));
  clip.append(tk::Path::oval({c.x - 124, c.y - 41, 248, 202}));
  clip.setWindingRule(tk::WindingRule::NonZero);
  canvas.clip(clip);
  const auto& turned = _rotatingMaterial->render(_doubleValue);
  if (!_turnedImage || _turnedImageRender != _rotatingMaterial->computeCount()) {
    _turnedImage = ORVMaterial(turned, _rotatingMaterial->width(), true);
    _turnedImageRender = _rotatingMaterial->computeCount();
  }
  if (_turnedImage) canvas.drawImage(*_turnedImage, knobRect);
  canvas.restore();
}

void OrvaneDial::drawGroove(tk::Canvas& canvas) const {
  // Across the top face, bending over the front edge when it points down.
  const tk::Point c = knobCentre();
  const double a = angleOf(_doubleValue);
  const double sigma = std::fmax(std::sin(a), 0.0);
  tk::Path groove;
  groove.moveTo({c.x + 69 * std::cos(a), c.y + kSquash * 69 * std::sin(a)});
  groove.lineTo({c.x + 99 * std::cos(a), c.y + kSquash * 99 * std::sin(a)});
  const double r3 = 105 + 7 * sigma;
  groove.lineTo({c.x + r3 * std::cos(a), c.y + 9 * sigma + kSquash * r3 * std::sin(a)});
  groove.setLineWidth(7.5);
  groove.setLineCap(tk::LineCap::Round);
  groove.setLineJoin(tk::LineJoin::Round);
  canvas.stroke(groove, kGroove);
}

void OrvaneDial::drawNumbers(tk::Canvas& canvas) const {
  // 0 to 100, each centred on its point of the ring.
  const tk::Font numberFont = tk::Font::monospacedDigitSystem(16, tk::FontWeight::Bold);
  for (int i = 0; i <= 10; ++i) {
    char text[8];
    std::snprintf(text, sizeof text, "%d", i * 10);
    const tk::Size size = canvas.measureText(text, numberFont);
    const tk::Point at = ringPoint(i / 10.0, 198);
    canvas.drawText(text, {at.x - size.width / 2, at.y - size.height / 2}, numberFont, kNumbers);
  }
}

void OrvaneDial::drawReadout(tk::Canvas& canvas) const {
  const tk::Point c = knobCentre();
  char readout[16];
  std::snprintf(readout, sizeof readout, "%.0f%%", _doubleValue * 100);
  canvas.drawText(readout, {c.x + 195, c.y + 180},
                  tk::Font::monospacedDigitSystem(13, tk::FontWeight::Medium), kReadout);
}

}  // namespace orvane
