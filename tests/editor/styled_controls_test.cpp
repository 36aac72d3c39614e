// The styled buttons, pop-ups and sliders: which surface each state gets, and
// that the controls draw the surface, title, chevron and track of their state.
#include "editor/styled_controls.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "editor/toolkit/window.h"

namespace orvane {
namespace {

using tk::Color;

SurfaceStyle styleOf(int bits) {
  return surfaceStyle(bits & 1, bits & 2, bits & 4, bits & 8);
}
constexpr int kHover = 1, kPressed = 2, kFocused = 4, kActive = 8;

TEST(SurfacePalette, ActiveThenPressedThenHoverAndFocusOnlyTouchesTheOutline) {
  const SurfaceStyle normal = styleOf(0), hover = styleOf(kHover), pressed = styleOf(kPressed),
                     active = styleOf(kActive);
  EXPECT_NE(normal.fill, hover.fill);
  EXPECT_NE(normal.fill, pressed.fill);
  EXPECT_NE(hover.fill, pressed.fill);
  EXPECT_NE(normal.outline, hover.outline);
  for (int bits = 0; bits < 16; ++bits) {
    const SurfaceStyle s = styleOf(bits);
    SCOPED_TRACE(bits);
    EXPECT_EQ(s.outlineWidth, bits & kFocused ? 2 : 1);
    EXPECT_EQ(s.fill, styleOf(bits & ~kFocused).fill) << "focus keeps the fill";
    if (bits & kActive) {
      EXPECT_EQ(s.fill, active.fill);
      EXPECT_EQ(s.outline, active.outline);
      continue;
    }
    EXPECT_NE(s.fill, active.fill);
    EXPECT_EQ(s.fill, bits & kPressed ? pressed.fill : bits & kHover ? hover.fill : normal.fill);
    EXPECT_EQ(s.outline, bits & (kHover | kFocused) ? hover.outline : normal.outline)
        << "pressing alone keeps the plain outline";
  }
}

struct Rgb {
  int r, g, b;
};
Rgb rgbAt(const tk::Image& img, int x, int y) {
  const std::uint32_t w = img.pixel(x, y);
  return {tk::redOf(w), tk::greenOf(w), tk::blueOf(w)};
}
bool near(Rgb a, const Color& c, int tol = 1) {
  return std::abs(a.r - int(std::lround(c.red * 255))) <= tol &&
         std::abs(a.g - int(std::lround(c.green * 255))) <= tol &&
         std::abs(a.b - int(std::lround(c.blue * 255))) <= tol;
}
// True when some pixel of the rectangle is within `tol` of the colour.
bool anyNear(const tk::Image& img, tk::Rect r, const Color& c, int tol) {
  for (int y = int(r.y); y < int(r.maxY()); ++y)
    for (int x = int(r.x); x < int(r.maxX()); ++x)
      if (near(rgbAt(img, x, y), c, tol)) return true;
  return false;
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
  const tk::Image& shot() {
    window.display();
    return window.image();
  }
};

// A fill pixel of a 115 x 32 button at (10, 10): left of the title, clear of
// the outline and the corners; and the title's area.
constexpr int kFillX = 16, kFillY = 26;
const tk::Rect kTitleArea{30, 14, 75, 24};

TEST(ButtonLook, OnlyTheBypassButtonTurnsAmberAndHoverAndPressFollowThePointer) {
  ControlScene s;
  auto bypass = s.add(std::make_shared<OrvaneButton>(tk::Rect{10, 10, 115, 32}, "Effect OFF"));
  auto other = s.add(std::make_shared<OrvaneButton>(tk::Rect{150, 10, 115, 32}, "A / switch to B"));
  bypass->setTag(kBypassButtonTag);
  bypass->setState(1);
  other->setTag(5);
  other->setState(1);
  EXPECT_TRUE(near(rgbAt(s.shot(), kFillX, kFillY), styleOf(kActive).fill));
  EXPECT_TRUE(anyNear(s.window.image(), kTitleArea, styled::kTitleActive, 30));
  EXPECT_TRUE(near(rgbAt(s.window.image(), 150 + 6, kFillY), styleOf(0).fill))
      << "other buttons ignore their state";

  s.move({60, 20});
  bypass->setHighlighted(true);
  EXPECT_TRUE(bypass->isHovered());
  EXPECT_TRUE(near(rgbAt(s.shot(), kFillX, kFillY), styleOf(kActive).fill))
      << "amber whatever the hover or press";
  bypass->setState(0);
  EXPECT_TRUE(near(rgbAt(s.shot(), kFillX, kFillY), styleOf(kPressed).fill));
  EXPECT_FALSE(anyNear(s.window.image(), kTitleArea, styled::kTitleActive, 30));
  EXPECT_TRUE(anyNear(s.window.image(), kTitleArea, styled::kTitle, 30));
  bypass->setHighlighted(false);
  EXPECT_TRUE(near(rgbAt(s.shot(), kFillX, kFillY), styleOf(kHover).fill));

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
  EXPECT_TRUE(near(rgbAt(s.shot(), kFillX + 10, kFillY), styleOf(0).fill));
}

TEST(ButtonLook, ClickGivesFocusWhichWidensTheOutline) {
  ControlScene s;
  auto a = s.add(std::make_shared<OrvaneButton>(tk::Rect{10, 10, 115, 32}, "Save"));
  auto b = s.add(std::make_shared<OrvaneButton>(tk::Rect{150, 10, 115, 32}, "Open"));
  s.shot();
  s.window.postEvent(tk::Event::mouse(tk::EventType::LeftMouseDown, {30, 20}));
  s.window.postEvent(tk::Event::mouse(tk::EventType::LeftMouseUp, {30, 20}));
  s.window.dispatchEvents();
  EXPECT_EQ(s.window.firstResponder(), a.get());
  s.move({200, 80});
  EXPECT_TRUE(near(rgbAt(s.shot(), 11, 26), styleOf(kFocused).outline)) << "2-point outline";
  s.window.makeFirstResponder(b.get());
  EXPECT_TRUE(a->needsDisplay());
  EXPECT_TRUE(b->needsDisplay());
}

TEST(PopupLook, SelectedTitleAndADownwardChevron) {
  ControlScene s;
  s.add(std::make_shared<OrvanePopup>(tk::Rect{10, 10, 120, 32}));
  auto full = s.add(std::make_shared<OrvanePopup>(tk::Rect{150, 10, 120, 32}));
  full->addItemsWithTitles({"EN", "PT-BR", "ES"});
  full->selectItemAtIndex(1);
  const tk::Image& img = s.shot();
  EXPECT_FALSE(anyNear(img, {12, 14, 80, 24}, styled::kTitle, 40)) << "no selection, no title";
  EXPECT_TRUE(anyNear(img, {150 + 12, 14, 60, 24}, styled::kTitle, 40));
  for (double r : {130.0, 270.0}) {
    EXPECT_TRUE(anyNear(img, {r - 22, 26, 2, 2}, styled::kAccent, 60)) << "tip below the middle";
    EXPECT_FALSE(anyNear(img, {r - 22, 22, 2, 2}, styled::kAccent, 60)) << "nothing above it";
  }
}

TEST(SliderLook, TrackFillsUpToTheValueAndFocusRingsTheKnob) {
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
  const tk::Image& img = s.shot();
  // Bars run from x 18 to 202 in the window; the middle row is y + 12.
  for (int x : {40, 190}) {
    EXPECT_TRUE(near(rgbAt(img, x, 12), styled::kTrack)) << "minimum, x " << x;
    EXPECT_TRUE(near(rgbAt(img, x, 42), styled::kTrackFilled)) << "maximum, x " << x;
    EXPECT_TRUE(near(rgbAt(img, x, 102), styled::kTrack)) << "empty range, x " << x;
  }
  EXPECT_TRUE(near(rgbAt(img, 60, 72), styled::kTrackFilled));
  EXPECT_TRUE(near(rgbAt(img, 160, 72), styled::kTrack));
  EXPECT_TRUE(near(rgbAt(img, 110, 72), styled::kAccent)) << "knob at the middle";

  const tk::Rect ringBox{110 - 10, 72 - 10, 20, 20};
  EXPECT_FALSE(anyNear(img, ringBox, styled::kFocusRing, 45));
  s.window.makeFirstResponder(mid.get());
  EXPECT_TRUE(anyNear(s.shot(), ringBox, styled::kFocusRing, 45));
}

}  // namespace
}  // namespace orvane
