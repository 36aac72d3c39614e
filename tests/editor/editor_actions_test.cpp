// What the editor's controls write to the controller, and in which order:
// every write a complete host edit gesture. (The dial's one long gesture is
// played through the X server in the X11 tests.)
#include <gtest/gtest.h>

#include "editor_scene.h"

namespace orvane {
namespace {

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
  const std::string before = v.valueLabel(2).stringValue();
  s.drag({{300, y}, {260, y}, {240, y}});
  const double dragged = slider.doubleValue();
  EXPECT_LT(dragged, 0.5);
  EXPECT_EQ(s.value(2), dragged);
  const Edits& e = s.handler.edits;
  ASSERT_GE(e.size(), 8u);
  ASSERT_EQ(e.size() % 4, 0u);
  for (std::size_t i = 0; i < e.size(); i += 4) {
    EXPECT_EQ(e[i], "begin 2");
    EXPECT_EQ(e[i + 1].rfind("set 2 ", 0), 0u) << e[i + 1];
    EXPECT_EQ(e[i + 2].rfind("perform 2 ", 0), 0u) << e[i + 2];
    EXPECT_EQ(e[i + 3], "end 2");
  }
  EXPECT_EQ(Edits(e.end() - 4, e.end()), gesture(2, dragged));
  EXPECT_EQ(v.valueLabel(2).stringValue(), before) << "the read-out follows on the next tick";
  EditorScene::tick();
  EXPECT_NE(v.valueLabel(2).stringValue(), before);
}

TEST_F(EditorTest, EditGesturesPopupsWriteTheItemIndexTimesAHalf) {
  EditorScene s;
  OrvaneView& v = s.view();
  s.choose(v.processingPopup(), 2);
  EXPECT_EQ(s.handler.edits, gesture(ProcessingMode, 1.0));
  EXPECT_EQ(s.value(ProcessingMode), 1.0);
  s.handler.edits.clear();
  s.showAdvanced();
  s.choose(v.profilePopup(), 2);
  EXPECT_EQ(s.handler.edits, gesture(CleanupProfile, 1.0));
  s.handler.edits.clear();
  s.modal->menuAnswers.push_back(std::nullopt);  // menu dismissed
  s.click(v.profilePopup());
  EXPECT_TRUE(s.handler.edits.empty());
}

TEST_F(EditorTest, EditGesturesBypassTogglesAndItsTitleFollowsOnTheNextTick) {
  EditorScene s;
  OrvaneView& v = s.view();
  s.click(v.bypassButton());
  EXPECT_EQ(s.handler.edits, gesture(Bypass, 1.0));
  EXPECT_EQ(v.bypassButton().title(), "Effect ON");
  EditorScene::tick();
  EXPECT_EQ(v.bypassButton().title(), "Effect OFF");
  s.handler.edits.clear();
  s.click(v.bypassButton());
  EXPECT_EQ(s.handler.edits, gesture(Bypass, 0.0));
}

TEST_F(EditorTest, ABComparisonAndResetWriteEveryValueAsAGesture) {
  EditorScene s;
  OrvaneView& v = s.view();
  s.hostSetsAll(kCustom);
  s.showAdvanced();
  s.click(v.compareButton());
  EXPECT_EQ(s.handler.edits, gesturesTo(editorDefaults())) << "side B starts at the defaults";
  EXPECT_EQ(s.live(), editorDefaults());
  EXPECT_EQ(v.compareButton().title(), "B / switch to A");
  EXPECT_TRUE(v.isSideB());

  s.handler.edits.clear();
  s.click(v.compareButton());
  EXPECT_EQ(s.handler.edits, gesturesTo(kCustom)) << "the second press restores side A";
  EXPECT_EQ(s.live(), kCustom);
  EXPECT_EQ(v.compareButton().title(), "A / switch to B");
  EXPECT_EQ(v.alternate(), editorDefaults());

  // Reset on side B writes every default and leaves the stored side A alone.
  s.click(v.compareButton());
  s.hostSets(1, 0.9);
  s.handler.edits.clear();
  s.click(v.resetButton());
  EXPECT_EQ(s.handler.edits, gesturesTo(editorDefaults()));
  EXPECT_TRUE(v.isSideB());
  EXPECT_EQ(v.alternate(), kCustom);
  s.click(v.compareButton());
  EXPECT_EQ(s.live(), kCustom);
}

}  // namespace
}  // namespace orvane
