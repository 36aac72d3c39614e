// The styled buttons and sliders: which surface each state gets, the hover and
// focus the controls follow, and the slider's track filled up to its value.
#include "editor/styled_controls.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "editor/toolkit/window.h"

namespace orvane {
namespace {

using tk::Color;

// surfaceStyle(hover, pressed, focused, active)
const SurfaceStyle kNormal = surfaceStyle(false, false, false, false);
const SurfaceStyle kHover = surfaceStyle(true, false, false, false);
const SurfaceStyle kPressed = surfaceStyle(false, true, false, false);
const SurfaceStyle kActive = surfaceStyle(false, false, false, true);

TEST(SurfacePalette, ActiveOutranksPressedWhichOutranksHoverAndFocusOnlyWidensTheOutline) {
  EXPECT_NE(kNormal.fill, kHover.fill);
  EXPECT_NE(kHover.fill, kPressed.fill);
  EXPECT_NE(kPressed.fill, kActive.fill);
  EXPECT_EQ(surfaceStyle(true, true, true, true).fill, kActive.fill);
  EXPECT_EQ(surfaceStyle(true, true, false, false).fill, kPressed.fill);
  EXPECT_EQ(kPressed.outline, kNormal.outline) << "pressing alone keeps the plain outline";
  const SurfaceStyle focused = surfaceStyle(false, false, true, false);
  EXPECT_EQ(focused.fill, kNormal.fill);
  EXPECT_EQ(focused.outline, kHover.outline);
  EXPECT_EQ(focused.outlineWidth, 2 * kNormal.outlineWidth);
}

bool near(std::uint32_t w, const Color& c, int tol = 1) {
  return std::abs(tk::redOf(w) - int(std::lround(c.red * 255))) <= tol &&
         std::abs(tk::greenOf(w) - int(std::lround(c.green * 255))) <= tol &&
         std::abs(tk::blueOf(w) - int(std::lround(c.blue * 255))) <= tol;
}

struct ControlScene {
  tk::Window window{{300, 120}};
  ControlScene() {
    window.contentView()->setBackgroundColor(Color{0, 0, 0, 1});
    window.setVisible(true);
  }
  template <typename T>
  std::shared_ptr<T> add(std::shared_ptr<T> v) {
    window.contentView()->addSubview(v);
    return v;
  }
  void move(tk::Point p) { window.sendEvent(tk::Event::mouse(tk::EventType::MouseMoved, p)); }
  std::uint32_t pixel(int x, int y) {
    window.display();
    return window.image().pixel(x, y);
  }
};

TEST(StyledButton, OnlyTheBypassTurnsAmberAndHoverPressAndFocusFollowThePointer) {
  ControlScene s;
  auto bypass = s.add(std::make_shared<OrvaneButton>(tk::Rect{10, 10, 115, 32}, "Effect OFF"));
  auto other = s.add(std::make_shared<OrvaneButton>(tk::Rect{150, 10, 115, 32}, "A / switch to B"));
  bypass->setTag(kBypassButtonTag);
  bypass->setState(1);
  other->setState(1);
  EXPECT_FALSE(other->isActive()) << "other buttons ignore their state";
  // (16, 26) is a fill pixel of the bypass button, left of its title.
  s.move({60, 20});
  bypass->setHighlighted(true);
  EXPECT_TRUE(bypass->isHovered());
  EXPECT_TRUE(near(s.pixel(16, 26), kActive.fill)) << "amber whatever the hover or press";
  bypass->setState(0);
  EXPECT_TRUE(near(s.pixel(16, 26), kPressed.fill));
  bypass->setHighlighted(false);
  EXPECT_TRUE(near(s.pixel(16, 26), kHover.fill));

  // Moves and resizes re-install the hover area; there is never more than one.
  bypass->setFrame({20, 10, 115, 32});
  s.move({61, 20});
  bypass->setFrame({20, 12, 115, 32});
  s.move({62, 20});
  EXPECT_EQ(bypass->trackingAreas().size(), 1u);
  EXPECT_TRUE(bypass->isHovered());
  s.move({200, 80});
  EXPECT_FALSE(bypass->isHovered());
  EXPECT_TRUE(bypass->needsDisplay()) << "leaving redraws at once";

  // A click gives the focus; moving it redraws both buttons.
  s.pixel(0, 0);
  s.window.postEvent(tk::Event::mouse(tk::EventType::LeftMouseDown, {160, 20}));
  s.window.postEvent(tk::Event::mouse(tk::EventType::LeftMouseUp, {160, 20}));
  s.window.dispatchEvents();
  EXPECT_EQ(s.window.firstResponder(), other.get());
  s.pixel(0, 0);
  s.window.makeFirstResponder(bypass.get());
  EXPECT_TRUE(bypass->needsDisplay());
  EXPECT_TRUE(other->needsDisplay());
}

TEST(StyledSlider, TrackFillsUpToTheValueAndFocusRingsTheKnob) {
  ControlScene s;
  auto make = [&](double y, double v, double min = 0, double max = 1) {
    auto sl = s.add(std::make_shared<tk::Slider>(tk::Rect{10, y, 200, 24}, v, min, max));
    sl->setCell(std::make_unique<OrvaneSliderCell>());
    return sl;
  };
  make(0, 0);
  make(30, 1);
  auto mid = make(60, 0.5);
  make(90, 0.5, 0.5, 0.5);  // an empty range must not divide by zero
  // Bars run from x 18 to 202 in the window; the middle row is y + 12.
  for (int x : {40, 190}) {
    EXPECT_TRUE(near(s.pixel(x, 12), styled::kTrack)) << "minimum, x " << x;
    EXPECT_TRUE(near(s.pixel(x, 42), styled::kTrackFilled)) << "maximum, x " << x;
    EXPECT_TRUE(near(s.pixel(x, 102), styled::kTrack)) << "empty range, x " << x;
  }
  EXPECT_TRUE(near(s.pixel(60, 72), styled::kTrackFilled));
  EXPECT_TRUE(near(s.pixel(160, 72), styled::kTrack));
  EXPECT_TRUE(near(s.pixel(110, 72), styled::kAccent)) << "knob at the middle";
  // The focus ring: a light outline around the knob.
  auto ringShown = [&] {
    s.pixel(0, 0);
    for (int y = 62; y < 82; ++y)
      for (int x = 100; x < 120; ++x)
        if (near(s.window.image().pixel(x, y), styled::kFocusRing, 45)) return true;
    return false;
  };
  EXPECT_FALSE(ringShown());
  s.window.makeFirstResponder(mid.get());
  EXPECT_TRUE(ringShown());
}

}  // namespace
}  // namespace orvane
