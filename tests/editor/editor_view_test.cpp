// The editor surface: its two faces, its languages and the refresh that
// follows the controller. The editor as the host sees it: creation by name,
// the platform type, the fixed size, attaching and removing, destruction, and
// the host's run loop driving the refresh.
#include <gtest/gtest.h>
#include <pluginterfaces/gui/iplugview.h>

#include <fstream>

#include "editor/fitting_button.h"
#include "editor/readouts.h"
#include "editor_scene.h"
#include "plug_frame.h"

namespace orvane {
namespace {

using namespace Steinberg;
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
  EXPECT_TRUE(s.handler.edits.empty()) << "switching faces writes no parameter";

  s.click(v.settingsButton());
  EXPECT_EQ(layout(), main);
  EXPECT_EQ(v.settingsButton().title(), "Advanced");
}

TEST_F(EditorTest, EditorLanguageChoiceRelabelsStoresRetitlesAndReachesOtherEditors) {
  EditorScene s, other, hidden(false);
  OrvaneView& v = s.view();
  s.choose(v.languagePopup(), 2);
  std::ifstream stored(dir / "language.txt");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(stored), {}), "es\n");
  EXPECT_EQ(v.nameLabel(6).stringValue(), "Ganancia de salida");
  EXPECT_EQ(v.dial().accessibilityLabel(), "Limpieza de voz");
  EXPECT_EQ(v.processingPopup().titleOfSelectedItem(), "Neural Clásico");
  EXPECT_EQ(v.meters().stringValue(), "ENT -120 / SAL -120 ");
  // The host is asked to re-read the titles, which are now Spanish.
  ASSERT_FALSE(s.handler.restarts.empty());
  EXPECT_EQ(s.handler.restarts.back(), Steinberg::Vst::kParamTitlesChanged);
  Steinberg::Vst::ParameterInfo info{};
  ASSERT_EQ(s.controller->getParameterInfo(0, info), Steinberg::kResultOk);
  EXPECT_EQ(test::toUtf8(info.title), "Limpieza de voz");
  EXPECT_TRUE(s.handler.edits.empty()) << "a language choice writes no parameter";

  // Other editors follow at their next tick, a hidden one once it is shown.
  EXPECT_EQ(other.view().settingsButton().title(), "Advanced") << "not before its next tick";
  EditorScene::tick(3);
  EXPECT_EQ(other.view().settingsButton().title(), "Avanzadas");
  EXPECT_EQ(other.view().languagePopup().indexOfSelectedItem(), 2);
  EXPECT_EQ(hidden.view().compareButton().title(), "A / switch to B") << "a hidden editor waits";
  hidden.window.setVisible(true);
  EditorScene::tick();
  EXPECT_EQ(hidden.view().compareButton().title(), "A / cambiar a B");
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

TEST_F(EditorTest, EditorRefreshFollowsTheController) {
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
  EXPECT_TRUE(s.handler.edits.empty()) << "following the controller writes nothing back";
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

// ---- the host's side --------------------------------------------------------

// The controller's reference count, read without changing it.
uint32 refCount(Vst::IEditController* object) {
  object->addRef();
  return object->release();
}

TEST_F(EditorTest, HostViewIsNamedEditorTakesNSViewOrX11AndKeepsItsSize) {
  EditorScene s;
  for (const char* name : {"Editor", "", static_cast<const char*>(nullptr)})
    EXPECT_EQ(s.controller->createView(name), nullptr) << (name ? name : "null");
  IPlugView* e = s.editor;
  EXPECT_EQ(e->isPlatformTypeSupported("NSView"), kResultTrue);
  EXPECT_EQ(e->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultTrue);
  for (const char* other : {"nsview", "HWND", static_cast<const char*>(nullptr)})
    EXPECT_EQ(e->isPlatformTypeSupported(other), kResultFalse);
  ViewRect r(1, 1, 1, 1);
  ASSERT_EQ(e->getSize(&r), kResultOk);
  EXPECT_EQ(std::vector<int32>({r.left, r.top, r.right, r.bottom}),
            std::vector<int32>({0, 0, 760, 480}));
}

TEST_F(EditorTest, HostViewRefusesBadAttachesAndRemoveThenAttachStartsAFreshView) {
  EditorScene s;
  tk::View* root = s.window.contentView();
  EXPECT_EQ(s.editor->attached(root, "NSView"), kResultFalse) << "attached twice";
  EXPECT_EQ(root->subviews().size(), 1u);
  s.showAdvanced();
  s.click(s.view().compareButton());
  auto old = std::static_pointer_cast<OrvaneView>(s.view().shared_from_this());
  ASSERT_EQ(s.editor->removed(), kResultOk);
  EXPECT_FALSE(old->hasTimer()) << "its timer stopped";
  EXPECT_EQ(old->superview(), nullptr);
  old.reset();

  EXPECT_EQ(s.editor->attached(nullptr, "NSView"), kResultFalse);
  EXPECT_EQ(s.editor->attached(root, nullptr), kResultFalse);
  EXPECT_EQ(s.editor->attached(root, "HWND"), kResultFalse);
  EXPECT_EQ(static_cast<Vst3View*>(s.editor)->mainView(), nullptr);
  EXPECT_TRUE(root->subviews().empty());
  EXPECT_EQ(s.editor->removed(), kResultOk) << "removing with nothing attached is harmless";

  s.handler.restarts.clear();
  ASSERT_EQ(s.editor->attached(root, "NSView"), kResultOk);
  EXPECT_EQ(s.handler.restarts, (std::vector<int32>{Vst::kParamTitlesChanged}))
      << "the host re-reads the titles, in the editor's language";
  ASSERT_EQ(root->subviews().size(), 1u);
  EXPECT_FALSE(s.view().isAdvanced());
  EXPECT_FALSE(s.view().isSideB());
  EXPECT_EQ(s.view().compareButton().title(), "A / switch to B");
  EXPECT_TRUE(s.view().hasTimer());
}

TEST_F(EditorTest, HostViewDestroyedWhileAttachedLetsGoOfEverything) {
  EditorScene s;
  const uint32 baseline = refCount(s.controller) - 2;  // minus the adapter's and the face's
  auto view = std::static_pointer_cast<OrvaneView>(s.view().shared_from_this());
  std::weak_ptr<OrvaneView> watch = view;
  view.reset();
  s.editor->release();
  s.editor = nullptr;
  EXPECT_TRUE(watch.expired());
  EXPECT_TRUE(s.window.contentView()->subviews().empty());
  EXPECT_EQ(refCount(s.controller), baseline);
  EditorScene::tick(2);  // a tick after the view has gone does nothing
}

TEST_F(EditorTest, HostViewRunLoopDrivesTheRefresh) {
  host::PlugFrame frame;
  EditorScene s;
  EditorScene other;
  for (EditorScene* scene : {&s, &other}) {
    ASSERT_EQ(scene->editor->removed(), kResultOk);
    ASSERT_EQ(scene->editor->setFrame(&frame), kResultTrue);
    ASSERT_EQ(scene->editor->attached(scene->window.contentView(), "NSView"), kResultOk);
  }
  ASSERT_EQ(frame.timerCount(), 2u);

  s.hostSets(OutputPeak, 1.0);
  const double before = tk::RunLoop::main().now();
  frame.fireTimers();
  EXPECT_DOUBLE_EQ(tk::RunLoop::main().now() - before, OrvaneView::kRefreshInterval)
      << "two editors, one step per host tick";
  EXPECT_EQ(s.view().meters().stringValue(), "IN -120 / OUT +0 ");

  ASSERT_EQ(s.editor->removed(), kResultOk);
  EXPECT_EQ(frame.timerCount(), 1u);
  other.hostSets(InputPeak, 1.0);
  frame.fireTimers();
  EXPECT_EQ(other.view().meters().stringValue(), "IN +0 / OUT -120 ")
      << "the remaining editor drives";
  ASSERT_EQ(other.editor->removed(), kResultOk);
  EXPECT_EQ(frame.timerCount(), 0u);
  for (EditorScene* scene : {&s, &other}) scene->editor->setFrame(nullptr);
}

}  // namespace
}  // namespace orvane
