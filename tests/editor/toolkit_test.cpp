// The widget layer the editor is built on: the view tree, redrawing, our part
// of drawing, event routing, the plain controls and the run loop's timers.
#include <cairo.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/toolkit/canvas.h"
#include "editor/toolkit/controls.h"
#include "editor/toolkit/run_loop.h"
#include "editor/toolkit/window.h"

namespace orvane::tk {
namespace {

// A view that records what reaches it.
class Probe : public View {
 public:
  using View::View;
  bool focusable = false;
  bool refuseResign = false;
  std::vector<std::string> log;
  bool acceptsFirstResponder() const override { return focusable; }
  bool resignFirstResponder() override { return !refuseResign; }
  void mouseDown(const Event&) override { log.push_back("down"); }
  void mouseEntered(const Event&) override { log.push_back("enter"); }
  void mouseExited(const Event&) override { log.push_back("exit"); }
  void resetCursorRects() override { addCursorRect({0, 0, 10, 10}, Cursor::PointingHand); }
  void updateTrackingAreas() override {
    for (const auto& a : std::vector<std::shared_ptr<TrackingArea>>(trackingAreas()))
      removeTrackingArea(a);
    addTrackingArea(std::make_shared<TrackingArea>(
        Rect{}, kTrackMouseEnteredAndExited | kTrackInVisibleRect, this));
  }
};

class Recorder : public Target {
 public:
  struct Entry {
    std::string action;
    Control* sender;
    int tag;
    double value;
  };
  std::vector<Entry> entries;
  void performAction(std::string_view action, Control* sender) override {
    entries.push_back({std::string(action), sender, sender->tag(), sender->doubleValue()});
  }
};

struct Scene {
  Window window{{200, 100}};
  Scene() { window.setVisible(true); }
  template <typename T>
  std::shared_ptr<T> add(std::shared_ptr<T> v, View* parent = nullptr) {
    (parent ? parent : window.contentView())->addSubview(v);
    return v;
  }
  void click(Point p, std::uint32_t mods = 0) {
    window.postEvent(Event::mouse(EventType::LeftMouseDown, p, mods));
    window.postEvent(Event::mouse(EventType::LeftMouseUp, p, mods));
    window.dispatchEvents();
  }
};

// ---- view tree -------------------------------------------------------------------

TEST(ViewTree, SubviewsMoveBetweenParentsAndConvertCoordinates) {
  Scene s;
  auto a = s.add(std::make_shared<View>(Rect{10, 20, 100, 60}));
  auto b = s.add(std::make_shared<View>(Rect{50, 0, 100, 60}));
  auto child = s.add(std::make_shared<View>(Rect{5, 6, 10, 10}), a.get());
  EXPECT_EQ(child->superview(), a.get());
  EXPECT_EQ(child->window(), &s.window);
  EXPECT_EQ(child->convertToWindow({1, 1}), (Point{16, 27}));
  EXPECT_EQ(child->convertFromWindow({16, 27}), (Point{1, 1}));

  b->addSubview(child);
  EXPECT_TRUE(a->subviews().empty());
  EXPECT_EQ(child->superview(), b.get());

  child->removeFromSuperview();
  EXPECT_EQ(child->superview(), nullptr);
  EXPECT_EQ(child->window(), nullptr);
  // A view cannot be added under its own descendant.
  a->addSubview(b);
  b->addSubview(a);
  EXPECT_EQ(b->superview(), a.get());
  EXPECT_EQ(a->superview(), s.window.contentView());
}

TEST(ViewTree, HitTestingFindsTheTopmostVisibleViewAndAncestorsClip) {
  Scene s;
  auto back = s.add(std::make_shared<View>(Rect{0, 0, 100, 100}));
  auto front = s.add(std::make_shared<View>(Rect{50, 50, 50, 50}));
  auto inner = s.add(std::make_shared<View>(Rect{10, 10, 10, 10}), front.get());
  View* root = s.window.contentView();
  EXPECT_EQ(root->hitTest({60, 60}), inner.get());
  EXPECT_EQ(root->hitTest({55, 55}), front.get());
  EXPECT_EQ(root->hitTest({20, 20}), back.get());
  EXPECT_EQ(root->hitTest({100, 50}), root) << "frames are half-open";
  front->setHidden(true);
  EXPECT_EQ(root->hitTest({60, 60}), back.get()) << "hidden views and their subviews are skipped";
  EXPECT_TRUE(inner->isHiddenOrHasHiddenAncestor());
  EXPECT_TRUE(inner->visibleRect().isEmpty());
  auto clipped = s.add(std::make_shared<View>(Rect{40, -5, 20, 20}), back.get());
  EXPECT_EQ(clipped->visibleRect(), (Rect{0, 5, 20, 15})) << "clipped by the window only";
  back->setFrame({0, 0, 50, 100});
  EXPECT_EQ(clipped->visibleRect(), (Rect{0, 5, 10, 15})) << "and by its ancestors";
}

// ---- drawing -----------------------------------------------------------------------

TEST(Redraw, OnlyMarkedVisibleViewsTriggerDrawing) {
  Scene s;
  auto v = s.add(std::make_shared<View>(Rect{0, 0, 10, 10}));
  s.window.displayIfNeeded();
  const int drawn = s.window.displayCount();
  EXPECT_FALSE(s.window.needsDisplay());
  s.window.displayIfNeeded();
  EXPECT_EQ(s.window.displayCount(), drawn);

  v->setHidden(true);
  s.window.displayIfNeeded();
  v->setNeedsDisplay(true);
  EXPECT_FALSE(s.window.needsDisplay()) << "a hidden view's mark waits until it is shown";
  v->setHidden(false);
  EXPECT_TRUE(s.window.needsDisplay());

  s.window.setVisible(false);
  const int before = s.window.displayCount();
  s.window.displayIfNeeded();
  EXPECT_EQ(s.window.displayCount(), before) << "an invisible window does not draw";
}

// Our part of drawing: the pixel-word layout, images scaled into their
// destination, shapes turning the same way so that a union clips as one, and
// digits of equal width for the meters.
TEST(Canvas, PixelWordsImagesUnionsAndTabularDigits) {
  std::vector<std::uint32_t> green(4 * 4, pixelWord(255, 0, 255, 0));
  auto src = Image::fromPixelWords(green.data(), green.size(), 4, 4, true);
  auto img = Image::create(60, 20);
  cairo_t* cr = cairo_create(img->surface());
  Canvas c(cr);
  c.fillRect({0, 0, 2, 4}, Color{1, 0, 0, 0.5});
  c.fillRect({2, 0, 2, 4}, Color::rgb255(10, 20, 30));
  c.drawImage(*src, {45, 5, 10, 10});
  c.save();
  Path clip = Path::oval({0, 5, 24, 15});
  clip.append(Path::rect({10, 10, 30, 5}));  // overlaps the oval
  c.clip(clip);
  c.fillRect({0, 0, 40, 20}, Color::rgb255(255, 255, 255));
  c.restore();
  cairo_destroy(cr);
  EXPECT_EQ(img->pixel(0, 0), pixelWord(128, 128, 0, 0)) << "premultiplied";
  EXPECT_EQ(img->pixel(3, 3), pixelWord(255, 10, 20, 30));
  EXPECT_EQ(img->pixel(60, 0), 0u) << "outside the image";
  EXPECT_EQ(img->pixel(50, 10), pixelWord(255, 0, 255, 0));
  EXPECT_EQ(img->pixel(43, 10), 0u);
  EXPECT_EQ(img->pixel(56, 10), 0u);
  EXPECT_EQ(img->pixel(15, 12), 0xffffffffu) << "the overlap stays inside the union";
  EXPECT_EQ(img->pixel(35, 12), 0xffffffffu);
  EXPECT_EQ(img->pixel(35, 7), 0u);

  const Font digits = Font::monospacedDigitSystem(16, FontWeight::Bold);
  EXPECT_DOUBLE_EQ(measureText("111", digits).width, measureText("808", digits).width);
}

// ---- events: what the editor's own controls do not already show --------------

TEST(EventRouting, FocusIsRefusedOrLostAndHoverAndCursorsFollowVisibility) {
  Scene s;
  auto plain = s.add(std::make_shared<Probe>(Rect{0, 0, 50, 50}));
  auto v = s.add(std::make_shared<Probe>(Rect{60, 0, 50, 50}));
  v->focusable = true;
  s.click({10, 10});
  EXPECT_EQ(s.window.firstResponder(), nullptr) << "a view that does not accept focus";
  s.click({70, 10});
  EXPECT_EQ(s.window.firstResponder(), v.get());
  v->refuseResign = true;
  EXPECT_FALSE(s.window.makeFirstResponder(plain.get()));
  EXPECT_EQ(s.window.firstResponder(), v.get());
  v->refuseResign = false;

  auto move = [&](Point p) { s.window.sendEvent(Event::mouse(EventType::MouseMoved, p)); };
  move({0, 60});
  move({62, 2});
  move({65, 5});
  move({0, 60});
  move({62, 2});
  EXPECT_EQ(v->log, (std::vector<std::string>{"down", "enter", "exit", "enter"}));
  EXPECT_EQ(s.window.cursorAt({62, 2}), Cursor::PointingHand);
  EXPECT_EQ(s.window.cursorAt({75, 15}), Cursor::Arrow);
  s.window.pushCursor(Cursor::ClosedHand);
  EXPECT_EQ(s.window.currentCursor(), Cursor::ClosedHand) << "pushed cursors win";
  s.window.popCursor();
  EXPECT_EQ(s.window.currentCursor(), Cursor::PointingHand);

  v->setHidden(true);
  EXPECT_EQ(s.window.firstResponder(), nullptr) << "a hidden view gives up focus";
  move({63, 3});
  EXPECT_EQ(v->log.back(), "exit") << "hiding the view under the pointer ends the hover";
  EXPECT_EQ(s.window.cursorAt({62, 2}), Cursor::Arrow);
  v->setHidden(false);
  move({64, 4});
  EXPECT_EQ(v->log.back(), "enter");
  EXPECT_EQ(v->trackingAreas().size(), 1u);
}

TEST(ButtonAction, ClickTogglesAndSendsTheActionAndDraggingOutCancels) {
  Scene s;
  Recorder r;
  auto b = s.add(std::make_shared<Button>(Rect{0, 0, 80, 30}, "OK"));
  b->setTarget(&r);
  b->setAction("bypass:");
  b->setTag(201);
  b->setButtonType(ButtonType::PushOnPushOff);
  s.click({10, 10});
  ASSERT_EQ(r.entries.size(), 1u);
  EXPECT_EQ(r.entries[0].action, "bypass:");
  EXPECT_EQ(r.entries[0].sender, b.get());
  EXPECT_EQ(r.entries[0].tag, 201);
  EXPECT_EQ(b->state(), 1);
  EXPECT_FALSE(b->isHighlighted());

  s.window.postEvent(Event::mouse(EventType::LeftMouseDown, {10, 10}));
  s.window.postEvent(Event::mouse(EventType::LeftMouseDragged, {150, 10}));
  s.window.postEvent(Event::mouse(EventType::LeftMouseUp, {150, 10}));
  s.window.dispatchEvents();
  EXPECT_EQ(r.entries.size(), 1u) << "released outside: no action";
  EXPECT_EQ(b->state(), 1);
}

TEST(PopUpChoice, MenuListsTheItemsAndAnOutOfRangeSelectionIsNone) {
  Scene s;
  auto modal = std::make_shared<ScriptedModal>();
  s.window.setModal(modal);
  auto p = s.add(std::make_shared<PopUpButton>(Rect{0, 0, 100, 30}));
  p->addItemsWithTitles({"EN", "PT-BR", "ES"});
  modal->menuAnswers = {2};
  s.click({5, 5});
  ASSERT_EQ(modal->menus.size(), 1u);
  EXPECT_EQ(modal->menus[0].items.size(), 3u);
  EXPECT_EQ(p->titleOfSelectedItem(), "ES");
  p->selectItemAtIndex(7);
  EXPECT_EQ(p->indexOfSelectedItem(), -1);
  EXPECT_EQ(p->titleOfSelectedItem(), "");
}

class CountingCell : public SliderCell {
 public:
  int bars = 0, knobs = 0;
  Rect lastKnob;
  void drawBarInside(Canvas&, const Rect&, bool) override { ++bars; }
  void drawKnob(Canvas&, const Rect& k) override {
    ++knobs;
    lastKnob = k;
  }
};

TEST(SliderTracking, DragFollowsThePointerAndCellsAreReplaceable) {
  Scene s;
  Recorder r;
  auto sl = s.add(std::make_shared<Slider>(Rect{0, 0, 116, 24}, 0.5));
  sl->setTarget(&r);
  sl->setAction("changed:");
  sl->setContinuous(true);
  // The knob's centre travels from x 8 to x 108.
  s.window.postEvent(Event::mouse(EventType::LeftMouseDown, {33, 12}));
  s.window.postEvent(Event::mouse(EventType::LeftMouseDragged, {83, 12}));
  s.window.postEvent(Event::mouse(EventType::LeftMouseDragged, {500, 12}));
  s.window.postEvent(Event::mouse(EventType::LeftMouseUp, {500, 12}));
  s.window.dispatchEvents();
  EXPECT_DOUBLE_EQ(sl->doubleValue(), 1.0);
  ASSERT_GE(r.entries.size(), 3u);
  EXPECT_DOUBLE_EQ(r.entries[0].value, 0.25);
  EXPECT_DOUBLE_EQ(r.entries[1].value, 0.75);
  EXPECT_EQ(s.window.firstResponder(), sl.get());

  s.window.sendEvent(Event::keyDown(key::kLeftArrow));
  EXPECT_NEAR(sl->doubleValue(), 0.99, 1e-12);
  sl->setDoubleValue(-3);
  EXPECT_EQ(sl->doubleValue(), 0.0);

  auto cell = std::make_unique<CountingCell>();
  CountingCell* raw = cell.get();
  sl->setCell(std::move(cell));
  EXPECT_EQ(raw->controlView(), sl.get());
  sl->setDoubleValue(0.5);
  s.window.display();
  EXPECT_EQ(raw->bars, 1);
  EXPECT_EQ(raw->knobs, 1);
  EXPECT_DOUBLE_EQ(raw->lastKnob.midX(), 58);
}

// ---- timers ------------------------------------------------------------------------

TEST(RunLoopTimers, TimersTickUntilInvalidatedAndThenDropWhatTheyHold) {
  RunLoop loop;
  int ticks = 0, once = 0, selfStopping = 0;
  auto t = loop.scheduleTimer(1.0 / 60, true, [&](Timer&) { ++ticks; });
  loop.scheduleTimer(0.5, false, [&](Timer&) { ++once; });
  loop.scheduleTimer(0.1, true, [&](Timer& self) {
    if (++selfStopping == 3) self.invalidate();
  });
  auto owner = std::make_shared<int>(7);
  std::weak_ptr<int> watch = owner;
  auto held = loop.scheduleTimer(0.1, true, [owner](Timer&) {});
  owner.reset();
  loop.advance(1.0 + 1e-9);
  EXPECT_EQ(ticks, 60);
  EXPECT_EQ(once, 1);
  EXPECT_EQ(selfStopping, 3);
  t->invalidate();
  EXPECT_FALSE(watch.expired());
  held->invalidate();
  EXPECT_TRUE(watch.expired()) << "invalidating releases the callback's captures";
  loop.advance(1.0);
  EXPECT_EQ(ticks, 60);
  EXPECT_EQ(loop.timerCount(), 0u);
}

}  // namespace
}  // namespace orvane::tk
