// The editor's large dial: a knob picture that turns with a value in [0, 1],
// a segmented value ring with glow, tick marks, numbers 0 to 100 and a
// percentage readout. Set by dragging vertically, dragging around the knob
// with Option held, the scroll wheel (finer with Shift) and the arrow keys.
// Every change is sent as the control's action; a mouse drag is bracketed by
// "beginDial:" and "endDial:" sent to the same target. Main thread only.
#pragma once

#include <memory>

#include "editor/knob/rotating_material.h"
#include "editor/toolkit/controls.h"

namespace orvane {

class OrvaneDial : public tk::Control {
 public:
  // Loads the embedded knob material; throws knob::MaterialError when the
  // program was built with a broken one.
  explicit OrvaneDial(tk::Rect frame);

  double doubleValue() const override { return _doubleValue; }
  // Clamps to [0, 1] (not-a-number counts as 0) and redraws when the value
  // changes. Sends no action.
  void setDoubleValue(double v) override;
  bool isTracking() const { return _tracking; }

  // Knob centre: the middle of the bounds, raised by 30 points.
  tk::Point knobCentre() const;
  // Point of the value ring's ellipse for value t at radius r, around the
  // ring centre 58 points below the knob centre.
  tk::Point ringPoint(double t, double r) const;

  // The dial answers inside the ellipse of radii 145 across and 164 down
  // around the knob centre, within its frame; elsewhere clicks fall through.
  tk::View* hitTest(tk::Point pointInSuperview) override;
  bool acceptsFirstResponder() const override { return true; }
  void resetCursorRects() override;
  // A press starts a drag (beginDial:), every drag event moves the value and
  // sends the action, the release ends it (endDial:).
  void mouseDown(const tk::Event& e) override;
  void mouseDragged(const tk::Event& e) override;
  void mouseUp(const tk::Event& e) override;
  void mouseTrackingCancelled(const tk::Event& e) override;
  void scrollWheel(const tk::Event& e) override;
  void keyDown(const tk::Event& e) override;
  void drawRect(tk::Canvas& canvas, const tk::Rect& dirty) override;

  const knob::RotatingMaterial& rotatingMaterial() const { return *_rotatingMaterial; }

 private:
  double _doubleValue = 0;
  std::shared_ptr<tk::Image> _materialImage;
  bool _tracking = false;
  std::unique_ptr<knob::RotatingMaterial> _rotatingMaterial;
  // The image made from the last rendered picture, reused while the
  // renderer serves the same value from its cache (the render it came from).
  std::shared_ptr<tk::Image> _turnedImage;
  std::uint64_t _turnedImageRender = 0;

  void endDrag();
  // The drawing steps, back to front, after the unchanged material.
  void drawValueRing(tk::Canvas& canvas) const;
  void drawTicks(tk::Canvas& canvas) const;
  void drawTurnedKnob(tk::Canvas& canvas, const tk::Rect& knobRect);
  void drawGroove(tk::Canvas& canvas) const;
  void drawNumbers(tk::Canvas& canvas) const;
  void drawReadout(tk::Canvas& canvas) const;
  // What a drag remembers between events, fixed or updated as it goes.
  struct DragState {
    bool rotary = false;  // Option held at the press
    double lastDy = 0;    // pointer offset below the knob centre at the last event
    double lastAngle = 0;
    bool angleValid = false;  // lastAngle was taken outside the dead zone
  };
  DragState _drag;
};

}  // namespace orvane
