// The editor surface: its two faces, its languages and the refresh that
// follows the plug-in.
#include <gtest/gtest.h>

#include <fstream>

#include "editor/fitting_button.h"
#include "editor/readouts.h"
#include "editor_scene.h"

namespace orvane {
namespace {

using test::EditorScene;
using test::EditorTest;

TEST_F(EditorTest, EditorFacesSwitchAndSwitchBackExactly) {
  EditorScene s;
  OrvaneView& v = s.view();
  EXPECT_EQ(v.bypassButton().title(), "Effect ON");
  EXPECT_EQ(v.processingPopup().titleOfSelectedItem(), "Neural Classic");
  // The advanced panel's profile, A/B, Save, Open, Reset and seven rows of
  // three start hidden.
  EXPECT_EQ(v.advancedViews().size(), 26u);
  for (const auto& a : v.advancedViews()) EXPECT_TRUE(a->isHidden());

  auto layout = [&v] {
    std::vector<std::pair<bool, tk::Rect>> out;
    for (const auto& sub : v.subviews()) out.emplace_back(sub->isHidden(), sub->frame());
    return out;
  };
  const auto main = layout();
  s.click(v.settingsButton());
  EXPECT_TRUE(v.isAdvanced());
  EXPECT_TRUE(v.dial().isHidden());
  EXPECT_FALSE(v.bypassButton().isHidden()) << "bypass stays on both faces";
  for (const auto& a : v.advancedViews()) EXPECT_FALSE(a->isHidden());
  EXPECT_EQ(v.settingsButton().title(), "Back");
  EXPECT_TRUE(s.log().empty()) << "switching faces writes no parameter";

  s.click(v.settingsButton());
  EXPECT_EQ(layout(), main);
  EXPECT_EQ(v.settingsButton().title(), "Advanced");
}

TEST_F(EditorTest, EditorLanguageChoiceRelabelsStoresRetitlesAndReachesOtherEditors) {
  EditorScene s, other;
  OrvaneView& v = s.view();
  s.choose(v.languagePopup(), 2);
  std::ifstream stored(dir / "language.txt");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(stored), {}), "es\n");
  EXPECT_EQ(v.nameLabel(6).stringValue(), "Ganancia de salida");
  EXPECT_EQ(v.dial().accessibilityLabel(), "Limpieza de voz");
  EXPECT_EQ(v.processingPopup().titleOfSelectedItem(), "Neural Clásico");
  EXPECT_EQ(v.meters().stringValue(), "ENT -120 / SAL -120 ");
  EXPECT_EQ(s.log(), std::vector<std::string>{"language"}) << "told, and no parameter written";

  // Other editors follow at their next tick.
  EXPECT_EQ(other.view().settingsButton().title(), "Advanced") << "not before its next tick";
  EditorScene::tick(3);
  EXPECT_EQ(other.view().settingsButton().title(), "Avanzadas");
  EXPECT_EQ(other.view().languagePopup().indexOfSelectedItem(), 2);
}

TEST(EditorReadouts, FormatsOfTheSlidersAndMeters) {
  i18n::setLanguage(0, false);
  EXPECT_EQ(sliderReadout(4, double(0.1f)), "HP 50 Hz");
  EXPECT_EQ(sliderReadout(4, 1.0), "HP 180 Hz");
  EXPECT_EQ(sliderReadout(6, 0.5), "+0.0 dB");
  EXPECT_EQ(sliderReadout(6, 0.0), "-18.0 dB");
  EXPECT_EQ(sliderReadout(1, 0.37), "37 %");
  EXPECT_EQ(meterReadout(1.0, 1.0, 0.0), "IN +0 / OUT +0 ");
  EXPECT_EQ(meterReadout(0.5, 0.0, 0.5), "IN -6 / OUT -120 ") << "clipping shows above 0.5 only";
  EXPECT_EQ(meterReadout(1.0, 0.25, 1.0), "IN +0 / OUT -12 CLIPPING");
}

TEST(ButtonTitles, LongTitlesShrinkToKeepClearOfTheOutline) {
  using B = OrvaneFittingButton;
  EXPECT_EQ(B::titleFont("Effect ON", 115).size, styled::kTitleFont.size)
      << "titles that fit keep the standard size";
  const tk::Font shrunk = B::titleFont("Efecto encendido", 115);
  EXPECT_LE(tk::measureText("Efecto encendido", shrunk).width, 115 - 2 * B::kTitleMargin);
  EXPECT_EQ(B::titleFont("A title far too long for any button of this row", 60).size,
            B::kMinTitleSize);
}

TEST_F(EditorTest, EditorRefreshFollowsThePlugin) {
  EditorScene s;
  OrvaneView& v = s.view();
  const std::pair<unsigned, double> set[] = {
      {0, 0.25},           {1, 0.37},        {Bypass, 1.0},   {CleanupProfile, 1},
      {ProcessingMode, 0}, {InputPeak, 0.5}, {OutputPeak, 1}, {Clipping, 1}};
  for (const auto& [id, value] : set) s.hostSets(id, value);
  EditorScene::tick();
  EXPECT_EQ(v.dial().doubleValue(), 0.25);
  EXPECT_EQ(v.slider(0).doubleValue(), 0.25);
  EXPECT_EQ(v.valueLabel(1).stringValue(), "37 %");
  EXPECT_EQ(v.bypassButton().title(), "Effect OFF");
  EXPECT_EQ(v.bypassButton().state(), 1);
  EXPECT_EQ(v.profilePopup().indexOfSelectedItem(), 2);
  EXPECT_EQ(v.processingPopup().indexOfSelectedItem(), 0);
  EXPECT_EQ(v.meters().stringValue(), "IN -6 / OUT +0 CLIPPING");
  EXPECT_TRUE(s.log().empty()) << "following the plug-in writes nothing back";
}

TEST_F(EditorTest, EditorRefreshTouchesOnlyWhatChangedAndSkipsHiddenAndDetachedViews) {
  EditorScene s;
  OrvaneView& v = s.view();
  s.showAdvanced();
  EditorScene::tick();
  s.window.display();
  EditorScene::tick(5);
  EXPECT_FALSE(s.window.needsDisplay()) << "an idle editor redraws nothing";

  s.hostSets(3, 0.62);
  EditorScene::tick();
  std::vector<const tk::View*> marked;
  for (const auto& sub : v.subviews())  // hidden views keep their marks until shown
    if (!sub->isHidden() && sub->needsDisplay()) marked.push_back(sub.get());
  EXPECT_EQ(marked, (std::vector<const tk::View*>{&v.slider(3), &v.valueLabel(3)}));
  EXPECT_EQ(v.valueLabel(3).stringValue(), "62 %");

  // A hidden window's editor catches up once shown.
  s.window.setVisible(false);
  s.hostSets(2, 0.3);
  s.hostSets(OutputPeak, 1.0);
  EditorScene::tick(4);
  EXPECT_EQ(v.slider(2).doubleValue(), 1.0);
  EXPECT_EQ(v.meters().stringValue(), "IN -120 / OUT -120 ");
  s.window.setVisible(true);
  EditorScene::tick();
  EXPECT_EQ(v.slider(2).doubleValue(), 0.3);
  EXPECT_EQ(v.meters().stringValue(), "IN -120 / OUT +0 ");

  // A view in no window at all does nothing either.
  auto loose = OrvaneView::create(v.plugin());
  EditorScene::tick(2);
  EXPECT_EQ(loose->meters().stringValue(), "");
}

}  // namespace
}  // namespace orvane
