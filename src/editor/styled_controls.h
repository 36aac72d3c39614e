// The editor's own look for buttons, pop-up menus and sliders: a rounded
// dark-blue surface that reacts to hovering, pressing, keyboard focus and, for
// the bypass button, an amber "on" state. Behaviour stays the toolkit's; only
// drawing, hover tracking and focus handling are changed here. Main thread only.
#pragma once

#include <memory>

#include "editor/toolkit/controls.h"

namespace orvane {

// Tag that marks the bypass button, the only button drawn amber when on.
inline constexpr int kBypassButtonTag = 201;

struct SurfaceStyle {
  tk::Color fill;
  tk::Color outline;
  double outlineWidth;
};

// The surface's colours; the first matching condition wins: active, then
// pressed, then hover (focus only changes the outline).
SurfaceStyle surfaceStyle(bool hover, bool highlighted, bool focused, bool active);

// Draws the shared surface: `rect` inset by 1 point, corner radius 7, filled
// and outlined (outline centred on the edge) in the style's colours.
void ORVSurface(tk::Canvas& canvas, const tk::Rect& rect, bool hover, bool highlighted,
                bool focused, bool active);

namespace styled {
inline const tk::Color kTitleActive = tk::Color::rgb255(245, 195, 128);
inline const tk::Color kTitle = tk::Color::rgb255(211, 229, 249);
inline const tk::Color kAccent = tk::Color::rgb255(115, 187, 255);  // chevron, slider knob
inline const tk::Color kTrack = tk::Color::rgb255(36, 55, 75);
inline const tk::Color kTrackFilled = tk::Color::rgb255(90, 163, 228);
inline const tk::Color kFocusRing = tk::Color::rgb255(186, 222, 255);
inline const tk::Font kTitleFont = tk::Font::system(13, tk::FontWeight::Medium);
}  // namespace styled

// Hover tracking and focus redraws shared by the styled button and pop-up:
// one tracking area at a time, following the visible rectangle.
template <typename Base>
class HoverTracked : public Base {
 public:
  using Base::Base;

  bool acceptsFirstResponder() const override { return true; }
  bool becomeFirstResponder() override {
    this->setNeedsDisplay(true);
    return Base::becomeFirstResponder();
  }
  bool resignFirstResponder() override {
    this->setNeedsDisplay(true);
    return Base::resignFirstResponder();
  }
  void updateTrackingAreas() override {
    if (_hoverArea) this->removeTrackingArea(_hoverArea);
    _hoverArea = std::make_shared<tk::TrackingArea>(
        this->visibleRect(),
        tk::kTrackMouseEnteredAndExited | tk::kTrackActiveAlways | tk::kTrackInVisibleRect, this);
    this->addTrackingArea(_hoverArea);
    Base::updateTrackingAreas();
  }
  void mouseEntered(const tk::Event&) override {
    _hover = true;
    this->setNeedsDisplay(true);
  }
  void mouseExited(const tk::Event&) override {
    _hover = false;
    this->setNeedsDisplay(true);
  }
  bool isHovered() const { return _hover; }

 protected:
  std::shared_ptr<tk::TrackingArea> _hoverArea;
  bool _hover = false;
};

class OrvaneButton : public HoverTracked<tk::Button> {
 public:
  using HoverTracked::HoverTracked;
  // Amber while this is the bypass button and its state is on.
  bool isActive() const { return tag() == kBypassButtonTag && state() == 1; }
  void drawRect(tk::Canvas& canvas, const tk::Rect& dirty) override;
};

class OrvanePopup : public HoverTracked<tk::PopUpButton> {
 public:
  using HoverTracked::HoverTracked;
  void drawRect(tk::Canvas& canvas, const tk::Rect& dirty) override;
};

class OrvaneSliderCell : public tk::SliderCell {
 public:
  void drawBarInside(tk::Canvas& canvas, const tk::Rect& rect, bool flipped) override;
  void drawKnob(tk::Canvas& canvas, const tk::Rect& knobRect) override;
};

}  // namespace orvane
