// An editor opened the way a host opens it: a controller with a recording
// component handler, its view created through createView("editor") and
// attached to a visible headless window, driven by clicks, drags, menu
// choices and timer ticks.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "controller/controller.h"
#include "editor/orvane_view.h"
#include "editor/toolkit/run_loop.h"
#include "editor/toolkit/window.h"
#include "editor/vst3/vst3_view.h"
#include "i18n/i18n.h"
#include "params/parameters.h"
#include "support/vst_helpers.h"

namespace orvane::test {

// "set 3 0.25": one entry of the handler's list.
inline std::string entry(const char* call, unsigned id, double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%s %u %.6g", call, id, v);
  return text;
}

// Logs setParamNormalized into the handler's list, so the order of the four
// calls of an edit gesture can be read in one place.
class LoggingController : public Controller {
 public:
  LoggingController() : Controller(&makeEditor) {}
  std::vector<std::string>* log = nullptr;
  Steinberg::tresult PLUGIN_API setParamNormalized(Steinberg::Vst::ParamID id,
                                                   Steinberg::Vst::ParamValue value) override {
    if (log) log->push_back(entry("set", id, value));
    return Controller::setParamNormalized(id, value);
  }
};

// The four entries of one complete gesture, as the handler records them.
inline std::vector<std::string> gesture(unsigned id, double v) {
  return {"begin " + std::to_string(id), entry("set", id, v), entry("perform", id, v),
          "end " + std::to_string(id)};
}

// The values of the writable parameters 0..9.
using Values = std::array<double, 10>;

// What Reset and a fresh side B hold: the engine's defaults as the engine
// keeps them (single precision) and the default processing mode.
inline Values editorDefaults() {
  Values v{};
  for (int p = 0; p < kEngineParamCount; ++p) v[std::size_t(p)] = Defaults[std::size_t(p)];
  v[ProcessingMode] = modeToNormalized(kDefaultMode);
  return v;
}

// One complete gesture per parameter, in identifier order.
inline std::vector<std::string> gesturesTo(const Values& values) {
  std::vector<std::string> out;
  for (unsigned p = 0; p < values.size(); ++p) {
    const auto g = gesture(p, values[p]);
    out.insert(out.end(), g.begin(), g.end());
  }
  return out;
}

// A controller as a host holds it, its edits recorded by the handler.
class HostedController {
 public:
  HostedController() {
    EXPECT_EQ(controller->initialize(hostContext()), Steinberg::kResultOk);
    controller->setComponentHandler(&handler);
    controller->log = &handler.edits;
  }
  ~HostedController() {
    controller->setComponentHandler(nullptr);
    controller->terminate();
    controller->release();
  }
  HostedController(const HostedController&) = delete;
  HostedController& operator=(const HostedController&) = delete;

  double value(unsigned id) const { return controller->getParamNormalized(id); }
  Values live() const {
    Values v{};
    for (unsigned p = 0; p < v.size(); ++p) v[p] = value(p);
    return v;
  }
  // A value arriving from elsewhere (automation, the audio component's meters).
  void hostSets(unsigned id, double v) {
    controller->log = nullptr;
    controller->setParamNormalized(id, v);
    controller->log = &handler.edits;
  }
  void hostSetsAll(const Values& v) {
    for (unsigned p = 0; p < v.size(); ++p) hostSets(p, v[p]);
  }

  RecordingHandler handler;
  LoggingController* controller = new LoggingController;
};

// One controller, one window, one editor.
class EditorScene : public HostedController {
 public:
  explicit EditorScene(bool visible = true) {
    window.setModal(modal);
    window.setVisible(visible);
    editor = controller->createView("editor");
    EXPECT_NE(editor, nullptr);
    EXPECT_EQ(editor->attached(window.contentView(), "NSView"), Steinberg::kResultOk);
    handler.edits.clear();
    handler.restarts.clear();
  }
  ~EditorScene() {
    if (!editor) return;
    editor->removed();
    editor->release();
  }

  OrvaneView& view() const { return *static_cast<Vst3View*>(editor)->mainView(); }
  static void tick(int n = 1) {
    for (int i = 0; i < n; ++i) tk::RunLoop::main().advance(OrvaneView::kRefreshInterval);
  }
  static tk::Point centre(const tk::View& v) {
    const tk::Rect b = v.bounds();
    return v.convertToWindow({b.width / 2, b.height / 2});
  }
  // Pressed at the first point, dragged through the others, released at the last.
  void drag(const std::vector<tk::Point>& points) {
    window.postEvent(tk::Event::mouse(tk::EventType::LeftMouseDown, points.front()));
    for (std::size_t i = 1; i < points.size(); ++i)
      window.postEvent(tk::Event::mouse(tk::EventType::LeftMouseDragged, points[i]));
    window.postEvent(tk::Event::mouse(tk::EventType::LeftMouseUp, points.back()));
    window.dispatchEvents();
  }
  void click(const tk::View& v) { drag({centre(v)}); }
  // Opens a pop-up's menu and picks an item.
  void choose(const tk::View& popup, int item) {
    modal->menuAnswers.push_back(item);
    click(popup);
  }
  void showAdvanced() {
    if (!view().isAdvanced()) click(view().settingsButton());
  }

  tk::Window window{{OrvaneView::kWidth, OrvaneView::kHeight}};
  std::shared_ptr<tk::ScriptedModal> modal = std::make_shared<tk::ScriptedModal>();
  Steinberg::IPlugView* editor = nullptr;
};

// Every test starts in English with the language preference in a private
// folder, which it may also use for preset files; the program search path it
// may change is put back.
class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/orvane-editor-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir = pattern;
    ::setenv("ORV_LANGUAGE_FILE", (dir / "language.txt").c_str(), 1);
    i18n::setLanguage(0, false);
  }
  void TearDown() override {
    ::setenv("PATH", path.c_str(), 1);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::filesystem::path dir;
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
};

}  // namespace orvane::test
