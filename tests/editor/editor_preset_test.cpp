// Preset files through the editor's Save and Open buttons, with the user's
// answers to the panels scripted.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>

#include "editor_scene.h"
#include "support/state_bytes.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using test::EditorScene;
using test::EditorTest;

using test::presetBytes;

void writeBytes(const fs::path& p, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(p, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> readBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::array<double, 10> live(const EditorScene& s) {
  std::array<double, 10> v{};
  for (unsigned p = 0; p < 10; ++p) v[p] = s.value(p);
  return v;
}

class PresetTest : public EditorTest {
 protected:
  // Opens `file` through the Open button.
  static void open(EditorScene& s, const fs::path& file) {
    s.modal->openAnswers.push_back(file.string());
    s.click(s.view().openButton());
  }
  static void expectAlert(const EditorScene& s, const std::string& message) {
    ASSERT_EQ(s.modal->alerts.size(), 1u);
    const tk::AlertRequest& a = s.modal->alerts[0];
    EXPECT_EQ(a.messageText, "Orvane");
    EXPECT_EQ(a.informativeText, message);
    EXPECT_EQ(a.buttons, (std::vector<std::string>{"OK"}));
  }
};

TEST_F(PresetTest, PresetSaveWritesTheDefaultImageByteForByte) {
  EditorScene s;
  s.showAdvanced();
  // The editor's defaults: parameters 0..8 in single precision, so the
  // frequency focus is 0.1f widened.
  s.click(s.view().resetButton());
  s.handler.edits.clear();
  const fs::path file = dir / "Orvane.orvane";
  s.modal->saveAnswers.push_back(file.string());
  s.click(s.view().saveButton());
  ASSERT_EQ(s.modal->savePanels.size(), 1u);
  const tk::FilePanelRequest& panel = s.modal->savePanels[0];
  EXPECT_EQ(panel.title, "Save Orvane preset");
  EXPECT_EQ(panel.prompt, "Save");
  EXPECT_EQ(panel.allowedFileType, "orvane");
  EXPECT_EQ(panel.proposedName, "Orvane.orvane");
  EXPECT_EQ(readBytes(file), presetBytes("ORV2", {1.0, 0.0, 1.0, 0.0, 0.10000000149011612, 1.0, 0.5,
                                                  0.0, 0.5, 0.5}));
  EXPECT_TRUE(s.modal->alerts.empty());
  EXPECT_TRUE(s.handler.edits.empty()) << "saving writes no parameter";
}

TEST_F(PresetTest, PresetCancelledPanelsDoNothing) {
  EditorScene s;
  s.showAdvanced();
  s.click(s.view().saveButton());
  s.click(s.view().openButton());
  EXPECT_EQ(s.modal->savePanels.size(), 1u);
  ASSERT_EQ(s.modal->openPanels.size(), 1u);
  EXPECT_EQ(s.modal->openPanels[0].title, "Open Orvane preset");
  EXPECT_EQ(s.modal->openPanels[0].prompt, "Open");
  EXPECT_EQ(s.modal->openPanels[0].allowedFileType, "orvane");
  EXPECT_TRUE(s.modal->alerts.empty());
  EXPECT_TRUE(s.handler.edits.empty());
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 0);
}

TEST_F(PresetTest, PresetRoundTripCarriesBypassAndMode) {
  EditorScene s;
  const std::array<double, 10> saved = {0.25, 0.5, 0.75, 0.125, 0.375, 0.625, 0.875, 1.0, 0.0, 1.0};
  for (unsigned p = 0; p < 10; ++p) s.hostSets(p, saved[p]);
  s.showAdvanced();
  const fs::path file = dir / "mine.orvane";
  s.modal->saveAnswers.push_back(file.string());
  s.click(s.view().saveButton());
  s.click(s.view().resetButton());
  s.handler.edits.clear();

  open(s, file);
  EXPECT_EQ(live(s), saved);
  std::vector<std::string> expected;
  for (unsigned p = 0; p < 10; ++p) {
    const auto g = test::gesture(p, saved[p]);
    expected.insert(expected.end(), g.begin(), g.end());
  }
  EXPECT_EQ(s.handler.edits, expected);
  EditorScene::tick();
  EXPECT_EQ(s.view().bypassButton().title(), "Effect OFF");
  EXPECT_EQ(s.view().processingPopup().titleOfSelectedItem(), "Live DSP");
  EXPECT_FALSE(s.view().isSideB()) << "opening does not touch the A/B slot";
}

TEST_F(PresetTest, PresetOlderFormKeepsTheCurrentMode) {
  EditorScene s;
  s.hostSets(ProcessingMode, 1.0);
  s.showAdvanced();
  const fs::path file = dir / "old.orvane";
  writeBytes(file, presetBytes("ORV1", {0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 1.0, 0.0}));
  open(s, file);
  EXPECT_TRUE(s.modal->alerts.empty());
  EXPECT_EQ(s.handler.edits.size(), 40u) << "ten gestures, the mode's among them";
  EXPECT_EQ(std::vector<std::string>(s.handler.edits.end() - 4, s.handler.edits.end()),
            test::gesture(ProcessingMode, 1.0));
  EXPECT_EQ(live(s), (std::array<double, 10>{0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 1.0, 0.0, 1.0}));
}

TEST_F(PresetTest, PresetRejectedFilesMoveNothing) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::initializer_list<double> ten = {0.3, 0, 1, 0, 0.1, 1, 0.5, 0, 0.5, 0.5};
  auto longer = presetBytes("ORV2", ten);
  longer.push_back(0);
  const std::vector<std::vector<std::uint8_t>> bad = {
      {},
      presetBytes("ORV1", ten),                                  // 84 bytes with the older magic
      presetBytes("ORV2", {0.3, 0, 1, 0, 0.1, 1, 0.5, 0, 0.5}),  // 76 bytes with the newer magic
      longer,                                                    // 85 bytes
      presetBytes("ORV2", {0.3, 0, 1, 0, 0.1, 1, 0.5, 1.5, 0.5, 0.5}),
      presetBytes("ORV2", {-0.1, 0, 1, 0, 0.1, 1, 0.5, 0, 0.5, 0.5}),
      presetBytes("ORV2", {0.3, 0, 1, 0, nan, 1, 0.5, 0, 0.5, 0.5}),
      std::vector<std::uint8_t>(1 << 20, 'x'),  // far too long to be a preset
  };
  for (std::size_t i = 0; i < bad.size(); ++i) {
    EditorScene s;
    s.showAdvanced();
    const auto before = live(s);
    const fs::path file = dir / ("bad" + std::to_string(i) + ".orvane");
    writeBytes(file, bad[i]);
    open(s, file);
    SCOPED_TRACE(i);
    expectAlert(s, "Invalid or incompatible preset.");
    EXPECT_TRUE(s.handler.edits.empty());
    EXPECT_EQ(live(s), before);
  }
  EditorScene s;
  s.showAdvanced();
  const fs::path file = dir / "negative-zero.orvane";
  writeBytes(file, presetBytes("ORV2", {-0.0, 0, 1, 0, 0.1, 1, 0.5, 0, 0.5, 0.5}));
  open(s, file);
  EXPECT_TRUE(s.modal->alerts.empty());
  EXPECT_EQ(s.value(0), 0.0);
}

TEST_F(PresetTest, PresetUnreadableFileShowsTheOpenError) {
  for (const fs::path& file : {dir / "missing.orvane", dir}) {
    EditorScene s;
    s.showAdvanced();
    open(s, file);
    SCOPED_TRACE(file.string());
    expectAlert(s, "Could not open the preset.");
    EXPECT_TRUE(s.handler.edits.empty());
  }
}

TEST_F(PresetTest, PresetErrorsSpeakTheCurrentLanguage) {
  i18n::setLanguage(2, false);
  EditorScene s;
  s.showAdvanced();
  open(s, dir / "missing.orvane");
  ASSERT_EQ(s.modal->alerts.size(), 1u);
  EXPECT_EQ(s.modal->alerts[0].informativeText, "No se pudo abrir el preajuste.");
  EXPECT_EQ(s.modal->alerts[0].buttons, (std::vector<std::string>{"Aceptar"}));
  EXPECT_EQ(s.modal->openPanels[0].title, "Abrir preajuste Orvane");
}

TEST_F(PresetTest, PresetSaveThatCannotBeWrittenKeepsTheOldFileAndSaysSo) {
  const fs::path folder = dir / "kept";
  fs::create_directory(folder);
  const fs::path file = folder / "kept.orvane";
  const auto old = presetBytes("ORV2", {0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5});
  writeBytes(file, old);

  EditorScene s;
  s.showAdvanced();
  // A path below a regular file cannot be created, even by root, so the save
  // fails in this process without dropping privileges in a forked child
  // (which could deadlock on locks held by the toolkit's other threads).
  s.modal->saveAnswers.push_back((file / "inside.orvane").string());
  s.click(s.view().saveButton());
  ASSERT_EQ(s.modal->alerts.size(), 1u);
  EXPECT_EQ(s.modal->alerts[0].informativeText, "Could not save the preset.");
  EXPECT_EQ(readBytes(file), old);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1)
      << "no temporary left";
}

}  // namespace
}  // namespace orvane
