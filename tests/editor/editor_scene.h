// The editor as any edition opens it: the main view over a recording plug-in
// face, in a visible headless window, driven by clicks, drags, menu choices
// and timer ticks. Nothing here knows which edition hosts the editor.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "editor/orvane_view.h"
#include "editor/plugin_face.h"
#include "editor/toolkit/run_loop.h"
#include "editor/toolkit/window.h"
#include "i18n/i18n.h"
#include "params/parameters.h"

namespace orvane::test {

// "perform 3 0.25": one entry of a log.
inline std::string entry(const char* call, unsigned id, double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%s %u %.6g", call, id, v);
  return text;
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

// The plug-in as the editor sees it: it stores what a gesture performs and
// logs every call the editor makes, the language word included.
class RecordingFace final : public PluginFace {
 public:
  RecordingFace() {
    for (unsigned p = 0; p < 10; ++p) values[p] = editorDefaults()[p];
  }
  double value(ParamId id) const override { return values.count(id) ? values.at(id) : 0.0; }
  void beginEdit(ParamId id) override { log.push_back("begin " + std::to_string(id)); }
  void performEdit(ParamId id, double v) override {
    values[id] = v;
    log.push_back(entry("perform", id, v));
  }
  void endEdit(ParamId id) override { log.push_back("end " + std::to_string(id)); }
  void languageChanged() override { log.push_back("language"); }

  std::map<ParamId, double> values;
  std::vector<std::string> log;
};

// The three entries of one complete gesture, as the face records them.
inline std::vector<std::string> gesture(unsigned id, double v) {
  return {"begin " + std::to_string(id), entry("perform", id, v), "end " + std::to_string(id)};
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

// One plug-in face, one visible (or hidden) headless window, one editor, and
// the user's hands on it.
class EditorScene {
 public:
  explicit EditorScene(bool visible = true) {
    window.setModal(modal);
    window.setVisible(visible);
    window.contentView()->addSubview(editor);
    face->log.clear();
  }
  ~EditorScene() {
    editor->stop();
    editor->removeFromSuperview();
  }

  OrvaneView& view() const { return *editor; }
  std::vector<std::string>& log() const { return face->log; }
  double value(unsigned id) const { return face->value(id); }
  Values live() const {
    Values v{};
    for (unsigned p = 0; p < v.size(); ++p) v[p] = value(p);
    return v;
  }
  // A value arriving from elsewhere (automation, the audio side's meters).
  void hostSets(unsigned id, double v) const { face->values[id] = v; }
  void hostSetsAll(const Values& v) const {
    for (unsigned p = 0; p < v.size(); ++p) hostSets(p, v[p]);
  }

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

  std::shared_ptr<RecordingFace> face = std::make_shared<RecordingFace>();
  std::shared_ptr<OrvaneView> editor = OrvaneView::create(face);
  tk::Window window{{OrvaneView::kWidth, OrvaneView::kHeight}};
  std::shared_ptr<tk::ScriptedModal> modal = std::make_shared<tk::ScriptedModal>();
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
