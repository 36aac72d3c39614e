// The editor's own widgets: the dial (drags, scrolling, keys, its hit area
// and picture), and the styled buttons and sliders (which surface each state
// gets, the hover and focus they follow, the track filled up to the value).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "editor/orvane_dial.h"
#include "editor/styled_controls.h"
#include "editor/toolkit/window.h"

namespace orvane {
namespace {

using tk::Event;
using tk::EventType;
using tk::Point;

constexpr double kPi = 3.14159265358979323846;

// Records every message with the dial's state at that moment.
class DialTarget : public tk::Target {
 public:
  struct Entry {
    std::string action;
    double value;
    bool tracking;
    tk::Cursor cursor;
  };
  std::vector<Entry> log;
  tk::Window* window = nullptr;
  void performAction(std::string_view action, tk::Control* sender) override {
    auto* dial = static_cast<OrvaneDial*>(sender);
    log.push_back({std::string(action), dial->doubleValue(), dial->isTracking(),
                   window ? window->currentCursor() : tk::Cursor::Arrow});
  }
  int count(const std::string& action) const {
    int n = 0;
    for (const auto& e : log) n += e.action == action;
    return n;
  }
};

// A recording view behind the dial, to see what falls through.
class Backdrop : public tk::View {
 public:
  using View::View;
  std::vector<int> keys;
  void keyDown(const Event& e) override { keys.push_back(e.keyCode); }
};

// The main view's placement: 440 x 360 at (160, 60), so C = (380, 210) in the
// window. The window stays hidden so drags do not redraw at every step;
// drawing tests call display() themselves.
struct DialScene {
  tk::Window window{{760, 480}};
  std::shared_ptr<Backdrop> backdrop = std::make_shared<Backdrop>(tk::Rect{0, 0, 760, 480});
  std::shared_ptr<OrvaneDial> dial = std::make_shared<OrvaneDial>(tk::Rect{160, 60, 440, 360});
  DialTarget target;
  Point c{380, 210};

  DialScene() {
    window.contentView()->addSubview(backdrop);
    backdrop->addSubview(dial);
    dial->setTarget(&target);
    dial->setAction("changed:");
    target.window = &window;
  }
  Point at(double dx, double dy) const { return {c.x + dx, c.y + dy}; }
  void post(EventType type, Point offset, std::uint32_t mods = 0) {
    window.postEvent(Event::mouse(type, at(offset.x, offset.y), mods));
  }
  // A drag through the points (offsets from C), released at the last one.
  void drag(const std::vector<Point>& offsets, std::uint32_t mods = 0, bool release = true) {
    post(EventType::LeftMouseDown, offsets[0], mods);
    for (std::size_t i = 1; i < offsets.size(); ++i)
      post(EventType::LeftMouseDragged, offsets[i], mods);
    if (release) post(EventType::LeftMouseUp, offsets.back(), mods);
    window.dispatchEvents();
  }
};

// Points on the rotary ellipse (vertical radius 0.82 of the horizontal) at
// the given angles in degrees, y down.
std::vector<Point> around(double radius, double fromDeg, double toDeg, int steps) {
  std::vector<Point> pts;
  for (int i = 0; i <= steps; ++i) {
    const double a = (fromDeg + (toDeg - fromDeg) * i / steps) * kPi / 180;
    pts.push_back({radius * std::cos(a), 0.82 * radius * std::sin(a)});
  }
  return pts;
}

TEST(DialVerticalDrag, UpwardTravelSweepsTheRangeWithoutWindUpAndReportsInsideBeginAndEnd) {
  DialScene s;
  s.dial->setDoubleValue(0.2);
  s.drag({{0, 0}, {0, -30}, {0, -75}, {0, -120}});
  EXPECT_NEAR(s.dial->doubleValue(), 0.7, 1e-12);
  s.drag({{0, 0}, {0, -100}, {0, -300}});
  EXPECT_EQ(s.dial->doubleValue(), 1.0);
  s.drag({{0, 0}, {0, 24}});
  EXPECT_NEAR(s.dial->doubleValue(), 0.9, 1e-12) << "no wind-up past the end";
  // Option pressed only after the click: still a vertical drag.
  s.dial->setDoubleValue(0.5);
  s.post(EventType::LeftMouseDown, {0, 40});
  s.post(EventType::LeftMouseDragged, {0, 16}, tk::kOption);
  s.post(EventType::LeftMouseUp, {0, 16}, tk::kOption);
  s.window.dispatchEvents();
  EXPECT_NEAR(s.dial->doubleValue(), 0.6, 1e-12) << "the mode is fixed by the click";

  // Every drag event reports inside one begin and end; sideways moves
  // change nothing but still report.
  s.dial->setDoubleValue(0.5);
  s.target.log.clear();
  s.drag({{0, 0}, {10, 0}, {20, 0}, {20, -12}});
  ASSERT_EQ(s.target.log.size(), 5u);
  EXPECT_EQ(s.target.log.front().action, "beginDial:");
  EXPECT_EQ(s.target.log.back().action, "endDial:");
  for (std::size_t i = 1; i < 4; ++i) {
    EXPECT_EQ(s.target.log[i].action, "changed:");
    EXPECT_TRUE(s.target.log[i].tracking);
    EXPECT_EQ(s.target.log[i].cursor, tk::Cursor::ClosedHand);
  }
  EXPECT_DOUBLE_EQ(s.target.log[1].value, 0.5);
  EXPECT_NEAR(s.target.log[3].value, 0.55, 1e-12);
  EXPECT_TRUE(s.target.log.front().tracking);
  EXPECT_FALSE(s.target.log.back().tracking);
  EXPECT_EQ(s.window.firstResponder(), s.dial.get());
  EXPECT_EQ(s.window.currentCursor(), tk::Cursor::OpenHand) << "closed hand popped after the drag";

  // Input that stops without a release still ends the drag.
  s.drag({{0, 0}, {0, -24}}, 0, false);
  EXPECT_EQ(s.target.count("beginDial:"), 2);
  EXPECT_EQ(s.target.count("endDial:"), 2);
  EXPECT_FALSE(s.dial->isTracking());
}

TEST(DialRotaryDrag, AQuarterTurnIsAThirdTheClampStoresNoExcessAndTheCentreDiscPauses) {
  DialScene s;
  s.dial->setDoubleValue(0.2);
  s.drag(around(60, -90, 0, 12), tk::kOption);
  EXPECT_NEAR(s.dial->doubleValue(), 0.2 + 1.0 / 3, 1e-9) << "clockwise adds";
  s.drag(around(60, 0, -90, 12), tk::kOption);
  EXPECT_NEAR(s.dial->doubleValue(), 0.2, 1e-9);
  s.drag(around(50, 90, 450, 72), tk::kOption);
  EXPECT_EQ(s.dial->doubleValue(), 1.0) << "a full circle is four thirds, clamped";
  s.drag(around(50, 90, 0, 12), tk::kOption);
  EXPECT_NEAR(s.dial->doubleValue(), 1.0 - 1.0 / 3, 1e-9) << "turning back moves at once";

  s.dial->setDoubleValue(0.4);
  // From the left, straight through the centre to the right: half a turn of
  // pointer angle, but the angle is meaningless inside the 12-point disc.
  s.drag({{-40, 0}, {-20, 0}, {-5, 0}, {5, 0}, {20, 0}, {40, 0}}, tk::kOption);
  EXPECT_DOUBLE_EQ(s.dial->doubleValue(), 0.4);
  // Starting inside the disc: the first point outside only sets the angle.
  s.drag({{3, 3}, {0, 40}}, tk::kOption);
  EXPECT_DOUBLE_EQ(s.dial->doubleValue(), 0.4);
}

TEST(DialValue, TheSetterClampsQuietlyAndScrollAndKeysStepClampAndAlwaysReport) {
  DialScene s;
  for (double v : {1.5, -0.2, std::nan("")}) {
    s.dial->setDoubleValue(v);
    EXPECT_EQ(s.dial->doubleValue(), v > 1 ? 1.0 : 0.0) << v;
  }
  EXPECT_TRUE(s.target.log.empty()) << "setting the value sends no action";
  s.dial->setDoubleValue(0.5);
  using Wheel = std::tuple<double, std::uint32_t, double>;  // delta, modifiers, value after
  for (const auto& [delta, mods, after] :
       {Wheel{10, 0, 0.55}, Wheel{10, tk::kShift, 0.555}, Wheel{-1000, 0, 0}}) {
    s.window.sendEvent(Event::scroll(s.at(0, 0), delta, mods));
    EXPECT_NEAR(s.dial->doubleValue(), after, 1e-12) << delta;
  }
  s.window.sendEvent(Event::scroll(s.at(0, 0), std::nan("")));
  EXPECT_EQ(s.dial->doubleValue(), 0.0) << "a broken delta is ignored";
  EXPECT_EQ(s.target.count("changed:"), 3);
  EXPECT_EQ(s.target.count("beginDial:"), 0) << "scrolling is not a drag";

  s.window.makeFirstResponder(s.dial.get());
  s.dial->setDoubleValue(0.995);
  const std::pair<int, double> keys[] = {{tk::key::kUpArrow, 1.0},
                                         {tk::key::kDownArrow, 0.99},
                                         {tk::key::kRightArrow, 1.0},
                                         {tk::key::kLeftArrow, 0.99}};
  for (const auto& [key, value] : keys) {
    s.window.sendEvent(Event::keyDown(key));
    EXPECT_NEAR(s.dial->doubleValue(), value, 1e-12) << key;
  }
  s.dial->setDoubleValue(0);
  s.window.sendEvent(Event::keyDown(tk::key::kLeftArrow));
  EXPECT_EQ(s.dial->doubleValue(), 0.0);
  EXPECT_EQ(s.target.count("changed:"), 8) << "a key at the end still reports";
  s.window.sendEvent(Event::keyDown(tk::key::kSpace));
  EXPECT_EQ(s.target.count("changed:"), 8);
  EXPECT_EQ(s.backdrop->keys, std::vector<int>{tk::key::kSpace})
      << "other keys go on to the superview";
}

TEST(DialHitArea, TallEllipseAroundTheKnobCentre) {
  DialScene s;
  tk::View* root = s.window.contentView();
  for (Point in : {Point{0, -150}, Point{0, 160}, Point{140, 0}})
    EXPECT_EQ(root->hitTest(s.at(in.x, in.y)), s.dial.get()) << in.x << "," << in.y;
  // Beside the ellipse, in the frame's corners, and inside the ellipse but
  // above the frame, clicks fall through.
  for (Point out : {Point{150, 0}, Point{110, 120}, Point{0, -155}})
    EXPECT_EQ(root->hitTest(s.at(out.x, out.y)), s.backdrop.get()) << out.x << "," << out.y;
  s.dial->setHidden(true);
  EXPECT_EQ(root->hitTest(s.at(0, 0)), s.backdrop.get());
}

// ---- drawing: each picture judged against the dial drawn empty and full ----

int brightness(std::uint32_t w) {
  return tk::redOf(w) + tk::greenOf(w) + tk::blueOf(w);
}

TEST(DialDrawing, RingLightsUpToTheValueAndTheGrooveMarksIt) {
  DialScene s;
  auto shot = [&s](double v) {
    s.dial->setDoubleValue(v);
    s.window.display();
    return s.window.image().pixelWords();
  };
  // A picture's brightness at a point of the window.
  auto at = [](const std::vector<std::uint32_t>& px, Point p) {
    return brightness(px[std::size_t(p.y) * 760 + std::size_t(p.x)]);
  };
  // The middle of the ring at value t (the dial's points are its own).
  auto ring = [&s](double t) {
    const Point p = s.dial->ringPoint(t, 166);
    return Point{p.x + 160, p.y + 60};
  };
  const auto empty = shot(0), full = shot(1), part = shot(0.2875), half = shot(0.5);
  // Segments 1-12 and 29-40 lie clear of the knob; 0.2875 is half of segment 12.
  for (double t : {0.0125, 0.1375, 0.28, 0.295, 0.3125, 0.7375, 0.9875}) {
    EXPECT_GT(at(full, ring(t)), at(empty, ring(t)) + 60) << t;
    EXPECT_NEAR(at(part, ring(t)), at(t < 0.2875 ? full : empty, ring(t)), 6) << t;
  }
  // The groove points straight up at half scale and to the lower left at 0.
  const Point up = s.at(0, -0.82 * 85);
  const Point lowerLeft = s.at(85 * std::cos(0.75 * kPi), 0.82 * 85 * std::sin(0.75 * kPi));
  EXPECT_LT(at(half, up) + 60, at(empty, up));
  EXPECT_LT(at(empty, lowerLeft) + 60, at(half, lowerLeft));
  s.window.display();
  EXPECT_EQ(s.dial->rotatingMaterial().computeCount(), 4u) << "the knob turned once per value";
}

// ---- the styled controls --------------------------------------------------------

using tk::Color;

// surfaceStyle(hover, pressed, focused, active), each state alone; which one
// wins when several hold is judged by a button's pixels below.
const SurfaceStyle kHover = surfaceStyle(true, false, false, false);
const SurfaceStyle kPressed = surfaceStyle(false, true, false, false);
const SurfaceStyle kActive = surfaceStyle(false, false, false, true);

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
