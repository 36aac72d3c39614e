// What the editor's controls write to the plug-in, and in which order:
// every write a complete edit gesture (the dial's one long gesture is
// played through the X server in the X11 tests). Preset files through the
// Save and Open buttons: what the panels ask, what a file carries back, and
// that every failure is told and moves nothing.
#include <gtest/gtest.h>

#include "editor_scene.h"
#include "files/files.h"
#include "presets/preset_file.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using test::editorDefaults;
using test::EditorScene;
using test::EditorTest;
using test::gesture;
using test::gesturesTo;
using test::Values;
using Edits = std::vector<std::string>;

const Values kCustom = {0.25, 0.5, 0.75, 0.125, 0.375, 0.625, 0.875, 1.0, 1.0, 0.0};

TEST_F(EditorTest, EditGesturesSliderDragIsOneCompleteGesturePerStep) {
  EditorScene s;
  OrvaneView& v = s.view();
  s.showAdvanced();
  EditorScene::tick();
  const tk::Slider& slider = v.slider(2);
  const double y = EditorScene::centre(slider).y;
  s.drag({{300, y}, {260, y}, {240, y}});
  const double dragged = slider.doubleValue();
  EXPECT_LT(dragged, 0.5);
  EXPECT_EQ(s.value(2), dragged);
  const Edits& e = s.log();
  ASSERT_GE(e.size(), 6u);
  ASSERT_EQ(e.size() % 3, 0u);
  for (std::size_t i = 0; i < e.size(); i += 3) {
    EXPECT_EQ(e[i], "begin 2");
    EXPECT_EQ(e[i + 1].rfind("perform 2 ", 0), 0u) << e[i + 1];
    EXPECT_EQ(e[i + 2], "end 2");
  }
  EXPECT_EQ(Edits(e.end() - 3, e.end()), gesture(2, dragged));
}

TEST_F(EditorTest, EditGesturesPopupsWriteTheItemIndexTimesAHalfAndBypassToggles) {
  EditorScene s;
  OrvaneView& v = s.view();
  s.choose(v.processingPopup(), 2);
  EXPECT_EQ(s.log(), gesture(ProcessingMode, 1.0));
  EXPECT_EQ(s.value(ProcessingMode), 1.0);
  s.log().clear();
  s.showAdvanced();
  s.choose(v.profilePopup(), 2);
  EXPECT_EQ(s.log(), gesture(CleanupProfile, 1.0));
  s.log().clear();
  s.modal->menuAnswers.push_back(std::nullopt);  // menu dismissed
  s.click(v.profilePopup());
  EXPECT_TRUE(s.log().empty());

  // Bypass toggles; a press released outside it does nothing.
  s.click(v.bypassButton());
  EXPECT_EQ(s.log(), gesture(Bypass, 1.0));
  s.log().clear();
  s.click(v.bypassButton());
  s.drag({EditorScene::centre(v.bypassButton()), {5, 475}});
  EXPECT_EQ(s.log(), gesture(Bypass, 0.0));
}

TEST_F(EditorTest, ABComparisonAndResetWriteEveryValueAsAGesture) {
  EditorScene s;
  OrvaneView& v = s.view();
  s.hostSetsAll(kCustom);
  s.showAdvanced();
  s.click(v.compareButton());
  EXPECT_EQ(s.log(), gesturesTo(editorDefaults())) << "side B starts at the defaults";
  EXPECT_EQ(s.live(), editorDefaults());
  EXPECT_EQ(v.compareButton().title(), "B / switch to A");
  EXPECT_TRUE(v.isSideB());

  s.log().clear();
  s.click(v.compareButton());
  EXPECT_EQ(s.log(), gesturesTo(kCustom)) << "the second press restores side A";
  EXPECT_EQ(s.live(), kCustom);
  EXPECT_EQ(v.compareButton().title(), "A / switch to B");
  EXPECT_EQ(v.alternate(), editorDefaults());

  // Reset on side B writes every default and leaves the stored side A alone.
  s.click(v.compareButton());
  s.hostSets(1, 0.9);
  s.log().clear();
  s.click(v.resetButton());
  EXPECT_EQ(s.log(), gesturesTo(editorDefaults()));
  EXPECT_TRUE(v.isSideB());
  EXPECT_EQ(v.alternate(), kCustom);
  s.click(v.compareButton());
  EXPECT_EQ(s.live(), kCustom);
}

// ---- presets through the Save and Open buttons, the panels' answers scripted

class PresetTest : public EditorTest {
 protected:
  // An editor showing its advanced face, where Save and Open are.
  struct Scene : EditorScene {
    Scene() { showAdvanced(); }
    void open(const fs::path& file) {
      modal->openAnswers.push_back(file.string());
      click(view().openButton());
    }
    void save(const fs::path& file) {
      modal->saveAnswers.push_back(file.string());
      click(view().saveButton());
    }
    // The one alert shown, and that nothing was written to the plug-in.
    void expectOnlyAlert(const std::string& message, const std::string& button = "OK") const {
      ASSERT_EQ(modal->alerts.size(), 1u);
      EXPECT_EQ(modal->alerts[0].messageText, "Orvane");
      EXPECT_EQ(modal->alerts[0].informativeText, message);
      EXPECT_EQ(modal->alerts[0].buttons, std::vector<std::string>{button});
      EXPECT_TRUE(log().empty());
    }
  };
};

TEST_F(PresetTest, PresetPanelsAskForOrvaneFilesAndCancellingDoesNothing) {
  Scene s;
  s.click(s.view().saveButton());
  s.click(s.view().openButton());
  using Fields = std::vector<std::string>;
  auto fields = [](const std::vector<tk::FilePanelRequest>& panels) {
    return panels.size() == 1 ? Fields{panels[0].title, panels[0].prompt, panels[0].allowedFileType,
                                       panels[0].proposedName}
                              : Fields{};
  };
  EXPECT_EQ(fields(s.modal->savePanels),
            (Fields{"Save Orvane preset", "Save", "orvane", "Orvane.orvane"}));
  EXPECT_EQ(fields(s.modal->openPanels), (Fields{"Open Orvane preset", "Open", "orvane", ""}));
  EXPECT_TRUE(s.modal->alerts.empty());
  EXPECT_TRUE(s.log().empty());
  EXPECT_TRUE(fs::is_empty(dir));
}

TEST_F(PresetTest, PresetRoundTripCarriesEveryValueWithBypassAndMode) {
  Scene s;
  const Values saved = {0.25, 0.5, 0.75, 0.125, 0.375, 0.625, 0.875, 1.0, 0.0, 1.0};
  s.hostSetsAll(saved);
  const fs::path file = dir / "mine.orvane";
  s.save(file);
  EXPECT_TRUE(s.log().empty()) << "saving writes no parameter";
  preset::Values decoded{};
  const auto bytes = files::readFile(file.string());
  ASSERT_TRUE(bytes && preset::decode(*bytes, 0.5, decoded));
  EXPECT_EQ(decoded, saved);

  s.click(s.view().resetButton());
  s.log().clear();
  s.open(file);
  EXPECT_EQ(s.live(), saved);
  EXPECT_EQ(s.log(), gesturesTo(saved));
  EditorScene::tick();
  EXPECT_EQ(s.view().bypassButton().title(), "Effect OFF");
  EXPECT_EQ(s.view().processingPopup().titleOfSelectedItem(), "Live DSP");
  EXPECT_FALSE(s.view().isSideB()) << "opening does not touch the A/B slot";
}

TEST_F(PresetTest, PresetOlderFormKeepsTheCurrentMode) {
  Scene s;
  s.hostSets(ProcessingMode, 1.0);
  // The older form: its magic ends in 1 and it has no processing mode.
  const Values values = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 1.0, 0.0, 0.0};
  auto older = preset::encode(values);
  older.resize(preset::kSizeV1);
  older[3] = '1';
  ASSERT_TRUE(files::writeFileAtomically((dir / "old.orvane").string(), older));
  s.open(dir / "old.orvane");
  Values expected = values;
  expected[ProcessingMode] = 1.0;
  EXPECT_EQ(s.live(), expected);
  EXPECT_EQ(s.log(), gesturesTo(expected)) << "ten gestures, the mode's among them";
}

TEST_F(PresetTest, PresetFailuresAreToldAndMoveNothing) {
  // What the file holds is judged by the preset format's own tests; here:
  // that a rejection, an unreadable file and a failed save each say so.
  ASSERT_TRUE(files::writeFileAtomically(
      (dir / "bad.orvane").string(), preset::encode({0.3, 0, 1, 0, 0.1, 1, 0.5, 1.5, 0.5, 0.5})));
  ASSERT_TRUE(files::writeFileAtomically((dir / "long.orvane").string(),
                                         std::vector<std::uint8_t>(1 << 20, 'x')));
  for (const char* name : {"bad.orvane", "long.orvane"}) {
    Scene s;
    const Values before = s.live();
    s.open(dir / name);
    SCOPED_TRACE(name);
    s.expectOnlyAlert("Invalid or incompatible preset.");
    EXPECT_EQ(s.live(), before);
  }
  for (const fs::path& file : {dir / "missing.orvane", dir}) {
    Scene s;
    s.open(file);
    SCOPED_TRACE(file.string());
    s.expectOnlyAlert("Could not open the preset.");
  }
  Scene s;
  s.save(dir / "gone" / "x.orvane");
  s.expectOnlyAlert("Could not save the preset.");
  EXPECT_FALSE(fs::exists(dir / "gone"));
  // Each in the language of the moment.
  i18n::setLanguage(2, false);
  Scene es;
  es.open(dir / "missing.orvane");
  es.expectOnlyAlert("No se pudo abrir el preajuste.", "Aceptar");
}

}  // namespace
}  // namespace orvane
