// The editor as the host sees it: creation by name, the platform type, the
// fixed size, attaching and removing, destruction, and the host's run loop
// driving the refresh.
#include <gtest/gtest.h>
#include <pluginterfaces/gui/iplugview.h>

#include "editor_scene.h"
#include "plug_frame.h"

namespace orvane {
namespace {

using namespace Steinberg;
using test::EditorScene;
using test::EditorTest;

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
  EXPECT_EQ(e->getSize(nullptr), kInvalidArgument);
  EXPECT_EQ(e->canResize(), kResultFalse);
  ViewRect wanted(0, 0, 100, 100);
  EXPECT_EQ(e->checkSizeConstraint(&wanted), kResultFalse);
}

TEST_F(EditorTest, HostViewRefusesBadAttachesWithoutEffect) {
  EditorScene s;
  tk::View* root = s.window.contentView();
  OrvaneView* first = &s.view();
  EXPECT_EQ(s.editor->attached(root, "NSView"), kResultFalse) << "attached twice";
  EXPECT_EQ(root->subviews().size(), 1u);
  EXPECT_EQ(&s.view(), first);

  ASSERT_EQ(s.editor->removed(), kResultOk);
  EXPECT_TRUE(root->subviews().empty());
  EXPECT_EQ(s.editor->attached(nullptr, "NSView"), kResultFalse);
  EXPECT_EQ(s.editor->attached(root, nullptr), kResultFalse);
  EXPECT_EQ(s.editor->attached(root, "HWND"), kResultFalse);
  EXPECT_EQ(static_cast<MacEditor*>(s.editor)->mainView(), nullptr);
  EXPECT_TRUE(root->subviews().empty());
  EXPECT_EQ(s.editor->removed(), kResultOk) << "removing with nothing attached is harmless";
}

TEST_F(EditorTest, HostViewRemoveThenAttachStartsAFreshViewAndRetitles) {
  EditorScene s;
  tk::View* root = s.window.contentView();
  s.showAdvanced();
  s.click(s.view().compareButton());
  auto old = std::static_pointer_cast<OrvaneView>(s.view().shared_from_this());
  ASSERT_EQ(s.editor->removed(), kResultOk);
  EXPECT_FALSE(old->hasTimer()) << "its timer stopped";
  EXPECT_EQ(old->superview(), nullptr);
  EXPECT_TRUE(root->subviews().empty());
  old.reset();

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
  const uint32 baseline = refCount(s.controller) - 2;  // minus the adapter's and the view's
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
