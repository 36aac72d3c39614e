#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "editor/orvane_dial.h"
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
  int downs = 0;
  std::vector<int> keys;
  void mouseDown(const Event&) override { ++downs; }
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
  // A drag through the points (offsets from C), released at the last one.
  void drag(const std::vector<Point>& offsets, std::uint32_t mods = 0, bool release = true) {
    window.postEvent(Event::mouse(EventType::LeftMouseDown, at(offsets[0].x, offsets[0].y), mods));
    for (std::size_t i = 1; i < offsets.size(); ++i)
      window.postEvent(
          Event::mouse(EventType::LeftMouseDragged, at(offsets[i].x, offsets[i].y), mods));
    if (release)
      window.postEvent(
          Event::mouse(EventType::LeftMouseUp, at(offsets.back().x, offsets.back().y), mods));
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

TEST(DialValue, SetterClampsAndSkipsRedrawsForTheSameValue) {
  DialScene s;
  s.dial->setDoubleValue(1.5);
  EXPECT_EQ(s.dial->doubleValue(), 1.0);
  s.dial->setDoubleValue(-0.2);
  EXPECT_EQ(s.dial->doubleValue(), 0.0);
  s.dial->setDoubleValue(std::nan(""));
  EXPECT_EQ(s.dial->doubleValue(), 0.0);
  s.window.display();
  s.dial->setDoubleValue(0.0);
  EXPECT_FALSE(s.dial->needsDisplay());
  s.dial->setDoubleValue(0.25);
  EXPECT_TRUE(s.dial->needsDisplay());
  EXPECT_TRUE(s.target.log.empty()) << "setting the value sends no action";
}

TEST(DialVerticalDrag, UpwardTravelOf240PointsSweepsTheRange) {
  DialScene s;
  s.dial->setDoubleValue(0.2);
  s.drag({{0, 0}, {0, -30}, {0, -75}, {0, -120}});
  EXPECT_NEAR(s.dial->doubleValue(), 0.7, 1e-12);

  s.dial->setDoubleValue(0.2);
  s.drag({{0, 0}, {0, -100}, {0, -300}});
  EXPECT_EQ(s.dial->doubleValue(), 1.0);
  s.drag({{0, 0}, {0, 24}});
  EXPECT_NEAR(s.dial->doubleValue(), 0.9, 1e-12) << "no wind-up past the end";
}

TEST(DialVerticalDrag, EveryDragEventSendsTheActionInsideBeginAndEnd) {
  DialScene s;
  s.dial->setDoubleValue(0.5);
  // Sideways moves change nothing but still report.
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
  EXPECT_FALSE(s.dial->isTracking());
  EXPECT_EQ(s.window.firstResponder(), s.dial.get());
  EXPECT_EQ(s.window.currentCursor(), tk::Cursor::OpenHand) << "closed hand popped after the drag";
}

TEST(DialVerticalDrag, EndsCleanlyWhenInputStopsWithoutARelease) {
  DialScene s;
  s.drag({{0, 0}, {0, -24}}, 0, false);
  EXPECT_EQ(s.target.count("beginDial:"), 1);
  EXPECT_EQ(s.target.count("endDial:"), 1);
  EXPECT_FALSE(s.dial->isTracking());
}

TEST(DialRotaryDrag, QuarterTurnClockwiseAddsAThird) {
  DialScene s;
  s.dial->setDoubleValue(0.2);
  s.drag(around(60, -90, 0, 12), tk::kOption);
  EXPECT_NEAR(s.dial->doubleValue(), 0.2 + 1.0 / 3, 1e-9);
  s.drag(around(60, 0, -90, 12), tk::kOption);
  EXPECT_NEAR(s.dial->doubleValue(), 0.2, 1e-9);
}

TEST(DialRotaryDrag, FullCircleChangesByFourThirdsUpToTheClamp) {
  DialScene s;
  s.dial->setDoubleValue(0.0);
  s.drag(around(50, 90, 450, 72), tk::kOption);
  EXPECT_EQ(s.dial->doubleValue(), 1.0);
  // The clamp does not store the excess: turning back moves at once.
  s.drag(around(50, 90, 0, 12), tk::kOption);
  EXPECT_NEAR(s.dial->doubleValue(), 1.0 - 1.0 / 3, 1e-9);
  // Counter-clockwise from the top the same, by a quarter at a time.
  s.dial->setDoubleValue(0.9);
  s.drag(around(80, -90, -135, 9), tk::kOption);
  EXPECT_NEAR(s.dial->doubleValue(), 0.9 - 1.0 / 6, 1e-9);
}

TEST(DialRotaryDrag, CrossingTheCentreDiscPausesTheDial) {
  DialScene s;
  s.dial->setDoubleValue(0.4);
  // From the left, straight through the centre to the right: half a turn of
  // pointer angle, but the angle is meaningless inside the 12-point disc.
  s.drag({{-40, 0}, {-20, 0}, {-5, 0}, {5, 0}, {20, 0}, {40, 0}}, tk::kOption);
  EXPECT_DOUBLE_EQ(s.dial->doubleValue(), 0.4);
  // Starting inside the disc: the first point outside only sets the angle.
  s.drag({{3, 3}, {0, 30}, {-30, 0}}, tk::kOption);
  EXPECT_NEAR(s.dial->doubleValue(),
              0.4 + (std::remainder(kPi - std::atan2(30 / 0.82, 0), 2 * kPi)) / (1.5 * kPi), 1e-9);
}

TEST(DialRotaryDrag, ModeIsFixedByTheClick) {
  DialScene s;
  s.dial->setDoubleValue(0.5);
  // Option pressed only after the click: still a vertical drag.
  s.window.postEvent(Event::mouse(EventType::LeftMouseDown, s.at(0, 40)));
  s.window.postEvent(Event::mouse(EventType::LeftMouseDragged, s.at(0, 16), tk::kOption));
  s.window.postEvent(Event::mouse(EventType::LeftMouseUp, s.at(0, 16), tk::kOption));
  s.window.dispatchEvents();
  EXPECT_NEAR(s.dial->doubleValue(), 0.6, 1e-12);
}

TEST(DialScrollAndKeys, StepsClampAndAlwaysReport) {
  DialScene s;
  s.dial->setDoubleValue(0.5);
  s.window.sendEvent(Event::scroll(s.at(0, 0), 10));
  EXPECT_NEAR(s.dial->doubleValue(), 0.55, 1e-12);
  s.window.sendEvent(Event::scroll(s.at(0, 0), 10, tk::kShift));
  EXPECT_NEAR(s.dial->doubleValue(), 0.555, 1e-12);
  s.window.sendEvent(Event::scroll(s.at(0, 0), -1000));
  EXPECT_EQ(s.dial->doubleValue(), 0.0);
  EXPECT_EQ(s.target.count("changed:"), 3);
  EXPECT_EQ(s.target.count("beginDial:"), 0) << "scrolling is not a drag";
  s.dial->setDoubleValue(0.5);
  s.window.sendEvent(Event::scroll(s.at(0, 0), std::nan("")));
  EXPECT_EQ(s.dial->doubleValue(), 0.5) << "a broken delta is ignored";
  EXPECT_EQ(s.target.count("changed:"), 3);

  s.window.makeFirstResponder(s.dial.get());
  s.dial->setDoubleValue(0.995);
  s.window.sendEvent(Event::keyDown(tk::key::kUpArrow));
  EXPECT_EQ(s.dial->doubleValue(), 1.0);
  s.window.sendEvent(Event::keyDown(tk::key::kDownArrow));
  EXPECT_NEAR(s.dial->doubleValue(), 0.99, 1e-12);
  s.window.sendEvent(Event::keyDown(tk::key::kRightArrow));
  EXPECT_NEAR(s.dial->doubleValue(), 1.0, 1e-12);
  s.dial->setDoubleValue(0);
  const int before = s.target.count("changed:");
  s.window.sendEvent(Event::keyDown(tk::key::kLeftArrow));
  EXPECT_EQ(s.dial->doubleValue(), 0.0);
  EXPECT_EQ(s.target.count("changed:"), before + 1) << "a key at the end still reports";
  s.window.sendEvent(Event::keyDown(tk::key::kSpace));
  EXPECT_EQ(s.target.count("changed:"), before + 1);
  EXPECT_EQ(s.backdrop->keys, std::vector<int>{tk::key::kSpace})
      << "other keys go on to the superview";
}

TEST(DialHitArea, TallEllipseAroundTheKnobCentre) {
  DialScene s;
  tk::View* root = s.window.contentView();
  EXPECT_EQ(root->hitTest(s.at(0, -150)), s.dial.get());
  EXPECT_EQ(root->hitTest(s.at(0, 160)), s.dial.get());
  EXPECT_EQ(root->hitTest(s.at(140, 0)), s.dial.get());
  EXPECT_EQ(root->hitTest(s.at(150, 0)), s.backdrop.get());
  EXPECT_EQ(root->hitTest(s.at(110, 120)), s.backdrop.get())
      << "the corners of the frame fall through";
  EXPECT_EQ(root->hitTest(s.at(0, -155)), s.backdrop.get())
      << "inside the ellipse but above the frame";
  s.window.sendEvent(Event::mouse(EventType::LeftMouseDown, s.at(150, 0)));
  EXPECT_EQ(s.backdrop->downs, 1);
  EXPECT_TRUE(s.target.log.empty());
  s.dial->setHidden(true);
  EXPECT_EQ(root->hitTest(s.at(0, 0)), s.backdrop.get());
}

TEST(DialHitArea, OpenHandOverTheKnobArea) {
  DialScene s;
  EXPECT_EQ(s.window.cursorAt(s.at(-124, -99)), tk::Cursor::OpenHand);
  EXPECT_EQ(s.window.cursorAt(s.at(124, 189)), tk::Cursor::OpenHand);
  EXPECT_EQ(s.window.cursorAt(s.at(0, -101)), tk::Cursor::Arrow);
  EXPECT_EQ(s.window.cursorAt(s.at(126, 0)), tk::Cursor::Arrow);
}

// ---- drawing ---------------------------------------------------------------------

struct Rgb {
  int r, g, b;
};
Rgb colourAt(const tk::Window& w, Point p) {
  const std::uint32_t px = w.image().pixel(int(p.x), int(p.y));
  return {tk::redOf(px), tk::greenOf(px), tk::blueOf(px)};
}
bool near(Rgb a, Rgb b, int tol = 2) {
  return std::abs(a.r - b.r) <= tol && std::abs(a.g - b.g) <= tol && std::abs(a.b - b.b) <= tol;
}
const Rgb kLit{0, 210, 255}, kUnlit{25, 43, 54};

// Centre of the ring stroke at value t, in window pixels.
Point ringPixel(const DialScene& s, double t) {
  const Point p = s.dial->ringPoint(t, 166);
  return {p.x + 160, p.y + 60};
}

TEST(DialDrawing, LitSegmentsFollowTheValue) {
  DialScene s;
  // Segments 1-12 and 29-40 lie clear of the knob; sample their middles.
  auto segmentMiddle = [](int k) { return (k - 0.5) / 40; };
  s.dial->setDoubleValue(0.0);
  s.window.display();
  for (int k : {1, 2, 6, 12, 30, 40})
    EXPECT_TRUE(near(colourAt(s.window, ringPixel(s, segmentMiddle(k))), kUnlit)) << k;

  s.dial->setDoubleValue(0.3);  // exactly segments 1 to 12
  s.window.display();
  for (int k : {1, 6, 12})
    EXPECT_TRUE(near(colourAt(s.window, ringPixel(s, segmentMiddle(k))), kLit)) << k;
  for (int k : {13, 30, 40})
    EXPECT_TRUE(near(colourAt(s.window, ringPixel(s, segmentMiddle(k))), kUnlit)) << k;

  s.dial->setDoubleValue(0.2875);  // half of segment 12
  s.window.display();
  EXPECT_TRUE(near(colourAt(s.window, ringPixel(s, 0.28)), kLit));
  EXPECT_TRUE(near(colourAt(s.window, ringPixel(s, 0.295)), kUnlit));

  s.dial->setDoubleValue(1.0);
  s.window.display();
  for (int k : {1, 12, 30, 40})
    EXPECT_TRUE(near(colourAt(s.window, ringPixel(s, segmentMiddle(k))), kLit)) << k;
}

TEST(DialDrawing, GlowOnlyBesideLitSegments) {
  DialScene s;
  // Just outside the 14-point stroke, inside the 20-point glow.
  auto besideRing = [&](double t) {
    const Point p = s.dial->ringPoint(t, 175.5);
    return Point{p.x + 160, p.y + 60};
  };
  s.dial->setDoubleValue(0.0);
  s.window.display();
  const Rgb dark = colourAt(s.window, besideRing(0.1125));
  s.dial->setDoubleValue(1.0);
  s.window.display();
  const Rgb glow = colourAt(s.window, besideRing(0.1125));
  EXPECT_GT(glow.g, dark.g + 20);
  EXPECT_GT(glow.b, dark.b + 20);
}

TEST(DialDrawing, TurnedKnobIsRenderedOncePerValue) {
  DialScene s;
  s.window.setVisible(true);
  s.dial->setDoubleValue(0.3);
  s.window.display();
  s.window.display();
  s.dial->setNeedsDisplay(true);
  s.window.displayIfNeeded();
  EXPECT_EQ(s.dial->rotatingMaterial().computeCount(), 1u);
  s.dial->setDoubleValue(0.31);
  s.window.displayIfNeeded();
  EXPECT_EQ(s.dial->rotatingMaterial().computeCount(), 2u);
}

TEST(DialDrawing, PointerGrooveMarksTheValue) {
  DialScene s;
  const Rgb groove{8, 12, 13};
  // At 0.5 the groove points straight up from the face centre.
  s.dial->setDoubleValue(0.5);
  s.window.display();
  EXPECT_TRUE(near(colourAt(s.window, s.at(0, -0.82 * 85)), groove, 3));
  s.dial->setDoubleValue(0.0);
  s.window.display();
  EXPECT_FALSE(near(colourAt(s.window, s.at(0, -0.82 * 85)), groove, 3));
  const double a = 135 * kPi / 180;
  EXPECT_TRUE(near(colourAt(s.window, s.at(85 * std::cos(a), 0.82 * 85 * std::sin(a))), groove, 3));
}

}  // namespace
}  // namespace orvane
