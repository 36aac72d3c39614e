// The widget layer the editor is built on, and its modal interface inside a
// Linux host: menus and alerts drawn in the window, the desktop's file
// chooser as a child process read through the host's loop.
#include <cairo.h>
#include <fnmatch.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "editor/toolkit/canvas.h"
#include "editor/toolkit/controls.h"
#include "editor/toolkit/desktop_modal.h"
#include "editor/toolkit/overlays.h"
#include "editor/toolkit/run_loop.h"
#include "editor/toolkit/window.h"
#include "editor/vst3/host_run_loop.h"
#include "plug_frame.h"

namespace orvane::tk {
namespace {

// A view that records what reaches it.
class Probe : public View {
 public:
  using View::View;
  bool focusable = false;
  std::vector<std::string> log;
  bool acceptsFirstResponder() const override { return focusable; }
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

// Records each action's value, and a pop-up's selected item.
class Recorder : public Target {
 public:
  struct Entry {
    double value;
    int item;
  };
  std::vector<Entry> entries;
  void performAction(std::string_view, Control* sender) override {
    const auto* popup = dynamic_cast<PopUpButton*>(sender);
    entries.push_back({sender->doubleValue(), popup ? popup->indexOfSelectedItem() : -1});
  }
};

struct Scene {
  Window window;
  explicit Scene(Size size = {200, 100}) : window(size) { window.setVisible(true); }
  template <typename T>
  std::shared_ptr<T> add(std::shared_ptr<T> v, View* parent = nullptr) {
    (parent ? parent : window.contentView())->addSubview(v);
    return v;
  }
  // Pressed at the first point, dragged through the others, released at `up`.
  void drag(const std::vector<Point>& points, Point up) {
    window.postEvent(Event::mouse(EventType::LeftMouseDown, points.front()));
    for (std::size_t i = 1; i < points.size(); ++i)
      window.postEvent(Event::mouse(EventType::LeftMouseDragged, points[i]));
    window.postEvent(Event::mouse(EventType::LeftMouseUp, up));
    window.dispatchEvents();
  }
  void click(Point p) { drag({p}, p); }
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
  s.window.displayIfNeeded();
  EXPECT_EQ(s.window.displayCount(), drawn) << "nothing marked, nothing drawn";
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

// Our part of drawing: the pixel-word layout, images made from words and
// scaled into their destination, and shapes turning the same way so that a
// union clips as one.
TEST(Canvas, PixelWordsImagesAndUnions) {
  std::vector<std::uint32_t> green(4 * 4, pixelWord(255, 0, 255, 0));
  EXPECT_EQ(Image::fromPixelWords(green.data(), 15, 4, 4, true), nullptr) << "too few words";
  auto src = Image::fromPixelWords(green.data(), green.size(), 4, 4, true);
  auto img = Image::create(60, 20);
  cairo_t* cr = cairo_create(img->surface());
  Canvas c(cr);
  c.fillRect({0, 0, 4, 4}, Color::rgb255(10, 20, 30));
  c.drawImage(*src, {45, 5, 10, 10});
  c.save();
  Path clip = Path::oval({0, 5, 24, 15});
  clip.append(Path::rect({10, 10, 30, 5}));  // overlaps the oval
  c.clip(clip);
  c.fillRect({0, 0, 40, 20}, Color::rgb255(255, 255, 255));
  c.restore();
  cairo_destroy(cr);
  EXPECT_EQ(img->pixel(3, 3), pixelWord(255, 10, 20, 30));
  EXPECT_EQ(img->pixel(60, 0), 0u) << "outside the image";
  EXPECT_EQ(img->pixel(50, 10), pixelWord(255, 0, 255, 0));
  EXPECT_EQ(img->pixel(15, 12), 0xffffffffu) << "the overlap stays inside the union";
  EXPECT_EQ(img->pixel(35, 12), 0xffffffffu);
  EXPECT_EQ(img->pixel(35, 7), 0u);
}

// ---- events: what the editor's own controls do not already show --------------

TEST(EventRouting, FocusIsRefusedOrLostAndHoverAndCursorsFollowVisibility) {
  Scene s;
  s.add(std::make_shared<Probe>(Rect{0, 0, 50, 50}));
  auto v = s.add(std::make_shared<Probe>(Rect{60, 0, 50, 50}));
  v->focusable = true;
  s.click({10, 10});
  EXPECT_EQ(s.window.firstResponder(), nullptr) << "a view that does not accept focus";
  s.click({70, 10});
  EXPECT_EQ(s.window.firstResponder(), v.get());

  auto move = [&](Point p) { s.window.sendEvent(Event::mouse(EventType::MouseMoved, p)); };
  for (Point p : {Point{0, 60}, Point{62, 2}, Point{65, 5}, Point{0, 60}, Point{62, 2}}) move(p);
  EXPECT_EQ(v->log, (std::vector<std::string>{"down", "enter", "exit", "enter"}));
  EXPECT_EQ(s.window.cursorAt({62, 2}), Cursor::PointingHand);
  EXPECT_EQ(s.window.cursorAt({75, 15}), Cursor::Arrow);

  v->setHidden(true);
  EXPECT_EQ(s.window.firstResponder(), nullptr) << "a hidden view gives up focus";
  move({63, 3});
  EXPECT_EQ(v->log.back(), "exit") << "hiding the view under the pointer ends the hover";
  EXPECT_EQ(s.window.cursorAt({62, 2}), Cursor::Arrow);
  v->setHidden(false);
  move({64, 4});
  EXPECT_EQ(v->log.back(), "enter");
}

TEST(SliderTracking, DragFollowsThePointerAndKeysStep) {
  Scene s;
  Recorder r;
  auto sl = s.add(std::make_shared<Slider>(Rect{0, 0, 116, 24}, 0.5));
  sl->setTarget(&r);
  sl->setAction("changed:");
  sl->setContinuous(true);
  // The knob's centre travels from x 8 to x 108.
  s.drag({{33, 12}, {83, 12}, {500, 12}}, {58, 12});
  EXPECT_DOUBLE_EQ(sl->doubleValue(), 0.5);
  ASSERT_GE(r.entries.size(), 4u);
  EXPECT_DOUBLE_EQ(r.entries[0].value, 0.25);
  EXPECT_DOUBLE_EQ(r.entries[1].value, 0.75);
  EXPECT_DOUBLE_EQ(r.entries[2].value, 1.0) << "clamped";
  EXPECT_DOUBLE_EQ(r.entries.back().value, 0.5) << "the release reports where it happened";

  s.window.sendEvent(Event::keyDown(key::kLeftArrow));  // the press took the focus
  EXPECT_NEAR(sl->doubleValue(), 0.49, 1e-12);
  sl->setDoubleValue(-3);
  EXPECT_EQ(sl->doubleValue(), 0.0);
}

// ---- timers ------------------------------------------------------------------------

TEST(RunLoopTimers, TimersTickUntilInvalidatedAndThenDropWhatTheyHold) {
  RunLoop loop;
  int ticks = 0, once = 0;
  auto t = loop.scheduleTimer(1.0 / 60, true, [&](Timer&) { ++ticks; });
  loop.scheduleTimer(0.5, false, [&](Timer&) { ++once; });
  auto owner = std::make_shared<int>(7);
  std::weak_ptr<int> watch = owner;
  auto held = loop.scheduleTimer(0.1, true, [owner](Timer&) {});
  owner.reset();
  loop.advance(1.0 + 1e-9);
  EXPECT_EQ(ticks, 60);
  EXPECT_EQ(once, 1);
  t->invalidate();
  EXPECT_FALSE(watch.expired());
  held->invalidate();
  EXPECT_TRUE(watch.expired()) << "invalidating releases the callback's captures";
  loop.advance(1.0);
  EXPECT_EQ(ticks, 60);
  EXPECT_EQ(loop.timerCount(), 0u);
}

// ---- the modal interface in a host ------------------------------------------

namespace fs = std::filesystem;

// The host tool's run loop, as the editor meets a host's.
struct HostLoopScene {
  host::PlugFrame frame;
  HostRunLoop loop{HostRunLoop::of(&frame)};
};

// The top-most view of the window, when it is a T.
template <typename T>
std::shared_ptr<T> overlayIn(Window& window) {
  return std::dynamic_pointer_cast<T>(window.contentView()->subviews().back());
}

struct ModalScene : Scene, HostLoopScene {
  Recorder recorder;
  ModalScene() : Scene({760, 480}) {
    window.setModal(std::make_shared<DesktopModal>(window, loop, 0));
  }
  std::shared_ptr<PopUpButton> popup(Rect at) {
    auto p = std::make_shared<PopUpButton>(at);
    p->addItemsWithTitles({"Neural Live", "Neural Classic", "Live DSP"});
    p->setTarget(&recorder);
    p->setAction("processingChanged:");
    window.contentView()->addSubview(p);
    return p;
  }
  void key(int code) { window.sendEvent(Event::keyDown(code)); }
};

TEST(InWindowMenu, OpensBelowOrAboveAndClickOrKeysChooseAndAnythingElseDismisses) {
  ModalScene s;
  auto p = s.popup({235, 24, 270, 32});
  s.click({300, 40});
  auto menu = overlayIn<MenuOverlay>(s.window);
  ASSERT_NE(menu, nullptr);
  EXPECT_TRUE(p->isHighlighted()) << "pressed look while its menu is open";
  EXPECT_EQ(menu->listRect().y, 24 + 32 + 2) << "below the pop-up";
  EXPECT_EQ(menu->highlighted(), 0) << "starts on the current item";
  const Rect third = menu->itemRect(2);
  s.click({third.midX(), third.midY()});
  ASSERT_EQ(s.recorder.entries.size(), 1u);
  EXPECT_EQ(s.recorder.entries[0].item, 2);
  EXPECT_FALSE(p->isHighlighted());
  EXPECT_EQ(overlayIn<MenuOverlay>(s.window), nullptr);

  s.click({300, 40});
  for (int k : {key::kDownArrow, key::kUpArrow, key::kUpArrow, key::kDownArrow, key::kReturn})
    s.key(k);
  ASSERT_EQ(s.recorder.entries.size(), 2u);
  EXPECT_EQ(s.recorder.entries[1].item, 1)
      << "from the current item 2: down stays at the end, up twice, down once";
  s.click({300, 40});
  s.key(key::kEscape);
  s.click({300, 40});
  s.click({700, 400});  // beside the list
  EXPECT_EQ(s.recorder.entries.size(), 2u);
  EXPECT_EQ(overlayIn<MenuOverlay>(s.window), nullptr);

  s.popup({24, 440, 180, 32});
  s.click({100, 456});
  ASSERT_NE(menu = overlayIn<MenuOverlay>(s.window), nullptr);
  EXPECT_EQ(menu->listRect().maxY(), 440 - 2) << "above a pop-up near the bottom";
}

TEST(InWindowAlert, WrapsItsTextTakesTheKeysAndGivesFocusBack) {
  ModalScene s;
  s.popup({235, 24, 270, 32});
  auto slider = std::make_shared<Slider>(Rect{24, 200, 300, 24});
  s.window.contentView()->addSubview(slider);
  ASSERT_TRUE(s.window.makeFirstResponder(slider.get()));
  int answered = -1;
  const std::string text =
      "No se encontró ningún selector de archivos. Instale zenity o kdialog, y vuelva a "
      "intentarlo desde el panel avanzado.";
  s.window.modal().runAlert({"Orvane", text, {"Aceptar"}}, [&](int b) { answered = b; });
  auto alert = overlayIn<AlertOverlay>(s.window);
  ASSERT_NE(alert, nullptr);
  ASSERT_GE(alert->lines().size(), 2u);
  std::string joined;
  for (const auto& line : alert->lines()) {
    EXPECT_LE(measureText(line, Font::system(13)).width, alert->panelRect().width - 48) << line;
    joined += (joined.empty() ? "" : " ") + line;
  }
  EXPECT_EQ(joined, text) << "every word, in order";
  EXPECT_EQ(s.window.firstResponder(), alert.get());

  s.click({300, 40});  // on the pop-up, under the alert
  EXPECT_EQ(overlayIn<MenuOverlay>(s.window), nullptr) << "the alert takes every click";
  s.key(key::kSpace);
  EXPECT_EQ(answered, 0);
  EXPECT_EQ(overlayIn<AlertOverlay>(s.window), nullptr);
  EXPECT_EQ(s.window.firstResponder(), slider.get()) << "focus back where it was";
}

// ---- the file chooser -------------------------------------------------------

class ChooserTest : public ::testing::Test, public HostLoopScene {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/orvane-chooser-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir = pattern;
    saved = std::getenv("PATH") ? std::getenv("PATH") : "";
  }
  void TearDown() override {
    ::setenv("PATH", saved.c_str(), 1);
    fs::remove_all(dir);
  }
  // A program that records its arguments, one a line, in `args`, then runs `body`.
  fs::path script(const fs::path& folder, const std::string& name, const std::string& body) {
    fs::create_directories(folder);
    fs::path p = folder / name;
    std::ofstream(p) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '"
                     << (dir / "args").string() << "'\n"
                     << body;
    fs::permissions(p, fs::perms::owner_all);
    return p;
  }
  // Whether an argument the chooser was given matches the shell pattern.
  bool got(const std::string& pattern) const {
    std::ifstream in(dir / "args");
    for (std::string line; std::getline(in, line);)
      if (::fnmatch(pattern.c_str(), line.c_str(), 0) == 0) return true;
    return false;
  }
  fs::path dir;
  std::string saved;
};

TEST_F(ChooserTest, ZenityIsPreferredAndOnlyExecutableFilesCount) {
  ::setenv("PATH", ((dir / "a").string() + "::" + (dir / "b").string()).c_str(), 1);
  EXPECT_EQ(findChooserProgram(), "");
  script(dir / "b", "kdialog", "");
  EXPECT_EQ(findChooserProgram(), (dir / "b" / "kdialog").string());
  fs::create_directories(dir / "a" / "zenity");  // a folder of that name
  std::ofstream(dir / "b" / "zenity") << "not executable";
  EXPECT_EQ(findChooserProgram(), (dir / "b" / "kdialog").string());
  fs::remove(dir / "b" / "zenity");
  script(dir / "b", "zenity", "");
  EXPECT_EQ(findChooserProgram(), (dir / "b" / "zenity").string());
}

TEST_F(ChooserTest, AnswersArriveThroughTheLoopAndSavesGetTheExtension) {
  FileChooser chooser(loop);
  const FilePanelRequest request{"Save Orvane preset", "Save", "orvane", "Orvane.orvane"};
  const auto zenity = script(dir, "zenity", "/bin/sleep 0.1\necho /tmp/mine\n");
  std::optional<std::optional<std::string>> answer;
  ASSERT_TRUE(chooser.start(zenity, ChooserKind::Save, request, 0, [&](auto p) { answer = p; }));
  EXPECT_FALSE(answer) << "nothing is waited for";
  EXPECT_FALSE(chooser.start(zenity, ChooserKind::Save, request, 0, {})) << "one at a time";
  ASSERT_TRUE(frame.runUntil([&] { return answer.has_value(); }, 5));
  EXPECT_EQ(*answer, std::optional<std::string>("/tmp/mine.orvane"));
  EXPECT_EQ(frame.handlerCount(), 0u);
  for (const char* arg : {"--file-selection", "--save", "--title=Save Orvane preset",
                          "--file-filter=*.orvane", "--filename=/*/Orvane.orvane"})
    EXPECT_TRUE(got(arg)) << arg;

  // kdialog asks in its own terms. Cancelling prints nothing; so does a
  // program that fails.
  const auto kdialog = script(dir, "kdialog", "exit 1\n");
  answer.reset();
  ASSERT_TRUE(chooser.start(kdialog, ChooserKind::Open, request, 0, [&](auto p) { answer = p; }));
  ASSERT_TRUE(frame.runUntil([&] { return answer.has_value(); }, 5));
  EXPECT_EQ(*answer, std::nullopt);
  EXPECT_TRUE(got("--getopenfilename"));
  EXPECT_FALSE(got("--save"));
}

TEST_F(ChooserTest, ClosingTheEditorEndsARunningChooser) {
  const auto slow =
      script(dir, "zenity", "echo $$ > '" + (dir / "pid").string() + "'\nexec /bin/sleep 30\n");
  bool called = false;
  {
    FileChooser chooser(loop);
    ASSERT_TRUE(chooser.start(slow, ChooserKind::Open, {"t", "p", "orvane", ""}, 0,
                              [&](auto) { called = true; }));
    for (int i = 0; i < 200 && !fs::exists(dir / "pid"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  int pid = 0;
  std::ifstream(dir / "pid") >> pid;
  ASSERT_GT(pid, 0);
  errno = 0;
  EXPECT_EQ(::kill(pid, 0), -1) << "killed and reaped, not left as a zombie";
  EXPECT_EQ(errno, ESRCH);
  EXPECT_FALSE(called) << "no answer after the chooser's owner has gone";
  EXPECT_EQ(frame.handlerCount(), 0u);
}

}  // namespace
}  // namespace orvane::tk
