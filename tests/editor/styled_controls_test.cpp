#include "editor/styled_controls.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "editor/toolkit/window.h"

namespace orvane {
namespace {

using tk::Color;

Color rgb(int r, int g, int b) {
  return Color::rgb255(r, g, b);
}

const Color kFillNormal = rgb(19, 33, 50), kFillHover = rgb(27, 45, 65),
            kFillPressed = rgb(29, 55, 80), kFillActive = rgb(48, 36, 25);
const Color kOutlineNormal = rgb(44, 64, 86), kOutlineBlue = rgb(115, 187, 255),
            kOutlineActive = rgb(231, 176, 101);

TEST(SurfacePalette, ActiveOutranksEverything) {
  for (int bits = 0; bits < 8; ++bits) {
    const bool hover = bits & 1, pressed = bits & 2, focused = bits & 4;
    const SurfaceStyle s = surfaceStyle(hover, pressed, focused, true);
    EXPECT_EQ(s.fill, kFillActive) << bits;
    EXPECT_EQ(s.outline, kOutlineActive) << bits;
    EXPECT_EQ(s.outlineWidth, focused ? 2 : 1) << bits;
  }
}

TEST(SurfacePalette, PressedOutranksHoverAndFocusOnlyTouchesTheOutline) {
  SurfaceStyle s = surfaceStyle(true, true, false, false);
  EXPECT_EQ(s.fill, kFillPressed);
  EXPECT_EQ(s.outline, kOutlineBlue);
  EXPECT_EQ(s.outlineWidth, 1);

  s = surfaceStyle(false, false, true, false);
  EXPECT_EQ(s.fill, kFillNormal);
  EXPECT_EQ(s.outline, kOutlineBlue);
  EXPECT_EQ(s.outlineWidth, 2);

  s = surfaceStyle(true, false, false, false);
  EXPECT_EQ(s.fill, kFillHover);
  EXPECT_EQ(s.outline, kOutlineBlue);

  s = surfaceStyle(false, true, false, false);
  EXPECT_EQ(s.fill, kFillPressed);
  EXPECT_EQ(s.outline, kOutlineNormal) << "pressing alone keeps the plain outline";

  s = surfaceStyle(false, false, false, false);
  EXPECT_EQ(s.fill, kFillNormal);
  EXPECT_EQ(s.outline, kOutlineNormal);
  EXPECT_EQ(s.outlineWidth, 1);
}

// ---- pixels -------------------------------------------------------------------------

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

TEST(SurfaceDrawing, InsetRoundedShapeWithCentredOutline) {
  auto draw = [](bool focused) {
    auto img = tk::Image::create(60, 30);
    cairo_t* cr = cairo_create(img->surface());
    tk::Canvas canvas(cr);
    ORVSurface(canvas, {0, 0, 60, 30}, false, false, focused, false);
    cairo_destroy(cr);
    return img;
  };
  auto plain = draw(false), focused = draw(true);
  EXPECT_TRUE(near(rgbAt(*plain, 30, 15), kFillNormal, 0));
  EXPECT_EQ(plain->pixel(0, 0), 0u) << "rounded corner of the inset shape";
  EXPECT_EQ(plain->pixel(0, 15) >> 24, 128u)
      << "a 1-point outline centred on x 1 covers half of column 0";
  EXPECT_TRUE(near(rgbAt(*focused, 1, 15), kOutlineBlue, 0))
      << "a 2-point outline covers columns 0 and 1";
  EXPECT_TRUE(near(rgbAt(*focused, 0, 15), kOutlineBlue, 0));
}

struct ControlScene {
  tk::Window window{{300, 100}};
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
// the outline and the corners.
constexpr int kFillX = 16, kFillY = 26;

TEST(ButtonLook, BypassOnIsAmberWhateverItsHoverOrPressedState) {
  ControlScene s;
  auto bypass = s.add(std::make_shared<OrvaneButton>(tk::Rect{10, 10, 115, 32}, "Effect OFF"));
  auto other = s.add(std::make_shared<OrvaneButton>(tk::Rect{150, 10, 115, 32}, "A / switch to B"));
  bypass->setTag(kBypassButtonTag);
  bypass->setState(1);
  other->setTag(5);
  other->setState(1);
  EXPECT_TRUE(near(rgbAt(s.shot(), kFillX, kFillY), kFillActive));
  EXPECT_TRUE(anyNear(s.window.image(), {40, 14, 55, 24}, rgb(245, 195, 128), 30)) << "amber title";
  EXPECT_TRUE(near(rgbAt(s.window.image(), 150 + 6, kFillY), kFillNormal))
      << "other buttons ignore their state";

  s.move({60, 20});
  bypass->setHighlighted(true);
  EXPECT_TRUE(bypass->isHovered());
  EXPECT_TRUE(near(rgbAt(s.shot(), kFillX, kFillY), kFillActive));
  // The 1-point outline covers half of the first column: amber at half strength.
  const Rgb edge = rgbAt(s.window.image(), 10, kFillY);
  EXPECT_NEAR(edge.r, 231 / 2.0, 3);
  EXPECT_NEAR(edge.g, 176 / 2.0, 3);
  EXPECT_NEAR(edge.b, 101 / 2.0, 3);

  bypass->setState(0);
  EXPECT_TRUE(near(rgbAt(s.shot(), kFillX, kFillY), kFillPressed)) << "off again: the pressed fill";
  EXPECT_FALSE(anyNear(s.window.image(), {30, 14, 75, 24}, rgb(245, 195, 128), 30));
  EXPECT_TRUE(anyNear(s.window.image(), {30, 14, 75, 24}, rgb(211, 229, 249), 30));
}

TEST(ButtonLook, HoverFollowsThePointerWithOneTrackingArea) {
  ControlScene s;
  auto b = s.add(std::make_shared<OrvaneButton>(tk::Rect{10, 10, 115, 32}, "Advanced"));
  s.shot();
  s.move({60, 20});
  EXPECT_TRUE(b->isHovered());
  EXPECT_TRUE(b->needsDisplay()) << "hover redraws at once";
  EXPECT_TRUE(near(rgbAt(s.shot(), kFillX, kFillY), kFillHover));
  // Moves and resizes re-install the area; there is never more than one.
  b->setFrame({20, 10, 115, 32});
  s.move({61, 20});
  b->setFrame({20, 12, 115, 32});
  s.move({62, 20});
  ASSERT_EQ(b->trackingAreas().size(), 1u);
  EXPECT_EQ(b->trackingAreas()[0]->options(), 641u);
  EXPECT_TRUE(b->isHovered());
  s.move({200, 80});
  EXPECT_FALSE(b->isHovered());
  EXPECT_TRUE(near(rgbAt(s.shot(), kFillX + 10, kFillY), kFillNormal));
}

TEST(ButtonLook, FocusWidensTheOutlineAndRedraws) {
  ControlScene s;
  auto a = s.add(std::make_shared<OrvaneButton>(tk::Rect{10, 10, 115, 32}, "Save"));
  auto b = s.add(std::make_shared<OrvaneButton>(tk::Rect{150, 10, 115, 32}, "Open"));
  s.shot();
  s.window.postEvent(tk::Event::mouse(tk::EventType::LeftMouseDown, {30, 20}));
  s.window.postEvent(tk::Event::mouse(tk::EventType::LeftMouseUp, {30, 20}));
  s.window.dispatchEvents();
  EXPECT_EQ(s.window.firstResponder(), a.get()) << "styled buttons take keyboard focus";
  const tk::Image& img = s.shot();
  EXPECT_TRUE(near(rgbAt(img, 11, 26), kOutlineBlue)) << "2-point outline";
  EXPECT_TRUE(near(rgbAt(img, 16, 26), kFillNormal)) << "focus alone keeps the normal fill";
  s.window.makeFirstResponder(b.get());
  EXPECT_TRUE(a->needsDisplay());
  EXPECT_TRUE(b->needsDisplay());
}

TEST(PopupLook, TitleAndDownwardChevron) {
  ControlScene s;
  auto empty = s.add(std::make_shared<OrvanePopup>(tk::Rect{10, 10, 120, 32}));
  auto full = s.add(std::make_shared<OrvanePopup>(tk::Rect{150, 10, 120, 32}));
  full->addItemsWithTitles({"EN", "PT-BR", "ES"});
  full->selectItemAtIndex(1);
  const tk::Image& img = s.shot();
  const Color title = rgb(211, 229, 249);
  EXPECT_FALSE(anyNear(img, {12, 14, 80, 24}, title, 40)) << "no selection, no title";
  EXPECT_TRUE(anyNear(img, {150 + 12, 14, 60, 24}, title, 40));
  EXPECT_FALSE(anyNear(img, {150 + 2, 14, 9, 24}, title, 40)) << "title starts at x 12";
  // Chevron: R - 25 .. R - 17 around the middle, tip 2 points below it.
  for (double r : {130.0, 270.0}) {
    EXPECT_TRUE(anyNear(img, {r - 22, 26, 2, 2}, kOutlineBlue, 60)) << "tip below the middle";
    EXPECT_FALSE(anyNear(img, {r - 22, 22, 2, 2}, kOutlineBlue, 60)) << "nothing above the tip";
    EXPECT_TRUE(anyNear(img, {r - 26, 23, 2, 2}, kOutlineBlue, 60)) << "left arm rises";
  }
}

TEST(SliderLook, TrackFillFollowsTheValue) {
  ControlScene s;
  auto make = [&](double y, double v) {
    auto sl = s.add(std::make_shared<tk::Slider>(tk::Rect{10, y, 200, 24}, v));
    sl->setCell(std::make_unique<OrvaneSliderCell>());
    return sl;
  };
  auto atMin = make(0, 0), atMax = make(30, 1), mid = make(60, 0.5);
  const Color track = rgb(36, 55, 75), filled = rgb(90, 163, 228);
  const tk::Image& img = s.shot();
  // Bars run from x 18 to 202 in the window; the middle row is y + 12.
  for (int x : {40, 120, 190})
    EXPECT_TRUE(near(rgbAt(img, x, 12), track)) << "minimum: track only, x " << x;
  for (int x : {20, 40, 120, 190})
    EXPECT_TRUE(near(rgbAt(img, x, 42), filled)) << "maximum: filled, x " << x;
  EXPECT_TRUE(near(rgbAt(img, 60, 72), filled));
  EXPECT_TRUE(near(rgbAt(img, 160, 72), track));
  EXPECT_TRUE(near(rgbAt(img, 110, 72), rgb(115, 187, 255))) << "knob at the middle";
  (void)atMin;
  (void)atMax;

  // Focus adds a ring of diameter 18 round the knob.
  const tk::Rect ringBox{110 - 10, 72 - 10, 20, 20};
  EXPECT_FALSE(anyNear(img, ringBox, rgb(186, 222, 255), 45));
  s.window.makeFirstResponder(mid.get());
  EXPECT_TRUE(anyNear(s.shot(), ringBox, rgb(186, 222, 255), 45));
}

TEST(SliderLook, EmptyRangeDrawsTheTrackWithoutDividingByZero) {
  ControlScene s;
  auto sl = s.add(std::make_shared<tk::Slider>(tk::Rect{10, 0, 200, 24}, 0.5, 0.5, 0.5));
  sl->setCell(std::make_unique<OrvaneSliderCell>());
  EXPECT_TRUE(near(rgbAt(s.shot(), 150, 12), rgb(36, 55, 75)));
}

}  // namespace
}  // namespace orvane
