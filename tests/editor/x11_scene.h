// The editor opened the way a VST 3 host opens it: through a controller with
// a recording component handler and createView("editor"), attached with
// "NSView" off screen or, as a Linux DAW embeds it, with "X11EmbedWindowID" to
// a host's top-level X11 window whose frame offers the host's run loop. The
// user is played through XTest on a connection of its own, so events reach
// the editor from the X server like real ones.
#pragma once

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <memory>

#include "controller/controller.h"
#include "editor/toolkit/x11_window.h"
#include "editor/vst3/vst3_view.h"
#include "editor_scene.h"
#include "host_window.h"
#include "plug_frame.h"
#include "support/vst_helpers.h"

namespace orvane::test {

// A controller as a host holds it, its edits recorded by the handler.
class HostedController {
 public:
  HostedController() {
    EXPECT_EQ(controller->initialize(hostContext()), Steinberg::kResultOk);
    controller->setComponentHandler(&handler);
  }
  ~HostedController() {
    controller->setComponentHandler(nullptr);
    controller->terminate();
    controller->release();
  }
  HostedController(const HostedController&) = delete;
  HostedController& operator=(const HostedController&) = delete;

  double value(unsigned id) const { return controller->getParamNormalized(id); }
  // A value arriving from elsewhere (automation, the audio component's meters).
  void hostSets(unsigned id, double v) { controller->setParamNormalized(id, v); }

  RecordingHandler handler;
  Controller* controller = new Controller(&makeEditor);
};

// A controller's editor attached with "NSView" to a visible headless window.
class OffscreenEditor {
 public:
  explicit OffscreenEditor(Steinberg::Vst::IEditController* controller, double scale = 1.0)
      : window({OrvaneView::kWidth, OrvaneView::kHeight}, scale),
        editor(controller->createView("editor")) {
    window.setVisible(true);
    EXPECT_EQ(editor->attached(window.contentView(), "NSView"), Steinberg::kResultOk);
  }
  ~OffscreenEditor() {
    if (!editor) return;
    editor->removed();
    editor->release();
  }
  OrvaneView& view() const { return *static_cast<Vst3View*>(editor)->mainView(); }

  tk::Window window;
  Steinberg::IPlugView* editor;
};

// One controller and its editor off screen, the host's requests recorded.
struct Vst3Scene : HostedController, OffscreenEditor {
  Vst3Scene() : OffscreenEditor(controller) { handler.restarts.clear(); }
};

// An X11 window id as the parent handle of "X11EmbedWindowID".
inline void* windowHandle(std::uint32_t id) {
  // NOLINTNEXTLINE(performance-no-int-to-ptr): the handle is the id
  return reinterpret_cast<void*>(std::uintptr_t(id));
}

// The process's open descriptors (the one that lists them included).
inline long openDescriptors() {
  return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
}

// The editor drawn off screen, as the "NSView" path draws it, for the
// controller's values, on the main or the advanced face.
inline std::vector<std::uint32_t> offscreenPicture(Steinberg::Vst::IEditController* controller,
                                                   double scale, bool advanced = false) {
  OffscreenEditor e(controller, scale);
  if (advanced) {  // as the user's click leaves it: the switch has the focus
    e.view().toggleAdvanced();
    e.window.makeFirstResponder(&e.view().settingsButton());
  }
  EditorScene::tick(2);
  e.window.display();
  return e.window.image().pixelWords();
}

// A host's top-level X11 window with an editor embedded in it, and the user
// played through XTest on a connection of its own. Each edition's scene says
// how its host lets the editor run and at which scale it draws.
class EmbedScene {
 public:
  // Leaves the pointer outside the host's window, so nothing starts hovered.
  static constexpr int kHostX = 40, kHostY = 40;

  EmbedScene()
      : host(std::make_unique<host::HostWindow>(OrvaneView::kWidth, OrvaneView::kHeight,
                                                "Orvane test", kHostX, kHostY)) {
    input = xcb_connect(nullptr, nullptr);
    keySymbols = xcb_key_symbols_alloc(input);
    park();
  }
  virtual ~EmbedScene() {
    xcb_key_symbols_free(keySymbols);
    xcb_disconnect(input);
  }

  // Lets the host's loop run: the editor reads its events and ticks.
  virtual void settle(double seconds = 0.25) = 0;
  virtual double scale() const = 0;

  // ---- the user, through XTest. Points are the editor's, in points.
  void moveTo(tk::Point p) {
    const double s = scale();
    const auto [x, y] = hostOrigin();
    fake(XCB_MOTION_NOTIFY, 0, x + int(std::lround(p.x * s)), y + int(std::lround(p.y * s)));
  }
  // The pointer somewhere outside the host's window.
  void park() { fake(XCB_MOTION_NOTIFY, 0, 5, 5); }
  void press(int button = 1) { fake(XCB_BUTTON_PRESS, std::uint8_t(button), 0, 0); }
  void release(int button = 1) { fake(XCB_BUTTON_RELEASE, std::uint8_t(button), 0, 0); }
  void click(tk::Point p, int button = 1) {
    moveTo(p);
    press(button);
    release(button);
    settle(0.15);
  }
  void click(const tk::View& v) { click(EditorScene::centre(v)); }
  // A drag of the dial from its centre `dy` points up, in four steps.
  void dragUp(tk::Point from, double dy) {
    moveTo(from);
    press();
    settle(0.1);
    for (int i = 1; i <= 4; ++i) moveTo({from.x, from.y - dy * i / 4});
    release();
    settle(0.15);
  }
  void typeKey(xcb_keysym_t sym) {
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(keySymbols, sym);
    ASSERT_NE(codes, nullptr);
    const std::uint8_t code = codes[0];
    std::free(codes);
    fake(XCB_KEY_PRESS, code, 0, 0);
    fake(XCB_KEY_RELEASE, code, 0, 0);
    settle(0.15);
  }
  // Keyboard focus to a window, as the host (or the window manager) gives it.
  void focus(std::uint32_t window) {
    xcb_set_input_focus(input, XCB_INPUT_FOCUS_PARENT, window, XCB_CURRENT_TIME);
    xcb_flush(input);
    settle(0.1);
  }
  // Pixels that differ from `picture` in what the host's window shows (the
  // window has no alpha; the editor paints every pixel opaque), or -1 when
  // the sizes differ.
  long differingPixels(const std::vector<std::uint32_t>& picture) const {
    const host::Screenshot shot = host->screenshot();
    if (shot.pixels.size() != picture.size()) return -1;
    long differing = 0;
    for (std::size_t i = 0; i < picture.size(); ++i)
      differing += (shot.pixels[i] & 0xffffffu) != (picture[i] & 0xffffffu);
    return differing;
  }

  std::unique_ptr<host::HostWindow> host;

 private:
  void fake(std::uint8_t type, std::uint8_t detail, int x, int y) {
    xcb_test_fake_input(input, type, detail, XCB_CURRENT_TIME,
                        xcb_setup_roots_iterator(xcb_get_setup(input)).data->root, std::int16_t(x),
                        std::int16_t(y), 0);
    xcb_flush(input);
    // The server has the event before the editor's loop looks for it.
    std::free(xcb_get_input_focus_reply(input, xcb_get_input_focus(input), nullptr));
  }
  std::pair<int, int> hostOrigin() {
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(input)).data->root;
    xcb_translate_coordinates_reply_t* r = xcb_translate_coordinates_reply(
        input, xcb_translate_coordinates(input, host->id(), root, 0, 0), nullptr);
    if (!r) return {kHostX, kHostY};
    const std::pair<int, int> at{r->dst_x, r->dst_y};
    std::free(r);
    return at;
  }

  xcb_connection_t* input = nullptr;
  xcb_key_symbols_t* keySymbols = nullptr;
};

// The VST 3 edition's view, attached with "X11EmbedWindowID", its frame
// offering the host's run loop.
class X11Scene : public HostedController, public EmbedScene {
 public:
  explicit X11Scene(bool withRunLoop = true) : frame(withRunLoop) {
    editor = controller->createView("editor");
    frame.onResize = [this](const Steinberg::ViewRect& r) {
      host->resize(r.getWidth(), r.getHeight());
      resizes.push_back(r);
      return true;
    };
    editor->setFrame(&frame);
  }
  ~X11Scene() override {
    if (editor) {
      editor->removed();
      editor->setFrame(nullptr);
      editor->release();
    }
  }

  Steinberg::tresult attach() {
    const Steinberg::tresult r =
        editor->attached(windowHandle(host->id()), Steinberg::kPlatformTypeX11EmbedWindowID);
    if (r == Steinberg::kResultOk) settle();
    handler.edits.clear();
    return r;
  }
  Vst3View& adapter() const { return *static_cast<Vst3View*>(editor); }
  OrvaneView& view() const { return *adapter().mainView(); }
  tk::X11Window& window() const { return *adapter().x11Window(); }

  void settle(double seconds = 0.25) override { frame.runFor(seconds); }
  double scale() const override { return adapter().contentScale(); }

  host::PlugFrame frame;
  Steinberg::IPlugView* editor = nullptr;
  std::vector<Steinberg::ViewRect> resizes;
};

// The X11 suites need a display. Without one they are skipped, unless
// ORV_REQUIRE_DISPLAY is set (scripts/test.sh sets it), when that fails.
class X11Test : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    const char* display = std::getenv("DISPLAY");
    if (display && *display) return;
    if (std::getenv("ORV_REQUIRE_DISPLAY")) FAIL() << "no X display (DISPLAY is not set)";
    GTEST_SKIP() << "no X display";
  }
};

}  // namespace orvane::test
