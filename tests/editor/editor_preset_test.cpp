// Preset files through the editor's Save and Open buttons, with the user's
// answers to the panels scripted: what the panels ask, what a file carries
// back, and that every failure is told and moves nothing.
#include <gtest/gtest.h>

#include "editor_scene.h"
#include "files/files.h"
#include "presets/preset_file.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using test::EditorScene;
using test::EditorTest;
using test::Values;

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
    // The one alert shown, and that nothing was written to the controller.
    void expectOnlyAlert(const std::string& message) const {
      ASSERT_EQ(modal->alerts.size(), 1u);
      EXPECT_EQ(modal->alerts[0].messageText, "Orvane");
      EXPECT_EQ(modal->alerts[0].informativeText, message);
      EXPECT_EQ(modal->alerts[0].buttons, (std::vector<std::string>{"OK"}));
      EXPECT_TRUE(handler.edits.empty());
    }
  };
};

TEST_F(PresetTest, PresetPanelsAskForOrvaneFilesAndCancellingDoesNothing) {
  Scene s;
  s.click(s.view().saveButton());
  s.click(s.view().openButton());
  ASSERT_EQ(s.modal->savePanels.size(), 1u);
  const tk::FilePanelRequest& save = s.modal->savePanels[0];
  EXPECT_EQ(save.title, "Save Orvane preset");
  EXPECT_EQ(save.prompt, "Save");
  EXPECT_EQ(save.allowedFileType, "orvane");
  EXPECT_EQ(save.proposedName, "Orvane.orvane");
  ASSERT_EQ(s.modal->openPanels.size(), 1u);
  EXPECT_EQ(s.modal->openPanels[0].title, "Open Orvane preset");
  EXPECT_EQ(s.modal->openPanels[0].prompt, "Open");
  EXPECT_EQ(s.modal->openPanels[0].allowedFileType, "orvane");
  EXPECT_TRUE(s.modal->alerts.empty());
  EXPECT_TRUE(s.handler.edits.empty());
  EXPECT_TRUE(fs::is_empty(dir));
}

TEST_F(PresetTest, PresetRoundTripCarriesEveryValueWithBypassAndMode) {
  Scene s;
  const Values saved = {0.25, 0.5, 0.75, 0.125, 0.375, 0.625, 0.875, 1.0, 0.0, 1.0};
  s.hostSetsAll(saved);
  const fs::path file = dir / "mine.orvane";
  s.save(file);
  EXPECT_TRUE(s.handler.edits.empty()) << "saving writes no parameter";
  preset::Values decoded{};
  const auto bytes = files::readFile(file.string());
  ASSERT_TRUE(bytes && preset::decode(*bytes, 0.5, decoded));
  EXPECT_EQ(decoded, saved);

  s.click(s.view().resetButton());
  s.handler.edits.clear();
  s.open(file);
  EXPECT_TRUE(s.modal->alerts.empty());
  EXPECT_EQ(s.live(), saved);
  EXPECT_EQ(s.handler.edits, test::gesturesTo(saved));
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
  EXPECT_TRUE(s.modal->alerts.empty());
  Values expected = values;
  expected[ProcessingMode] = 1.0;
  EXPECT_EQ(s.live(), expected);
  EXPECT_EQ(s.handler.edits, test::gesturesTo(expected)) << "ten gestures, the mode's among them";
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
}

TEST_F(PresetTest, PresetErrorsSpeakTheCurrentLanguage) {
  i18n::setLanguage(2, false);
  Scene s;
  s.open(dir / "missing.orvane");
  ASSERT_EQ(s.modal->alerts.size(), 1u);
  EXPECT_EQ(s.modal->alerts[0].informativeText, "No se pudo abrir el preajuste.");
  EXPECT_EQ(s.modal->alerts[0].buttons, (std::vector<std::string>{"Aceptar"}));
  EXPECT_EQ(s.modal->openPanels[0].title, "Abrir preajuste Orvane");
}

}  // namespace
}  // namespace orvane
