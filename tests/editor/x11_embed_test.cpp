// The VST 3 view adapter: off screen as its host sees it, then inside a host's
// X11 window (input from the X server, openings that leave nothing behind, a
// change of scale, dialogs that must not freeze the host). Then the host
// tool's render and show commands, as a user runs them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "editor/toolkit/overlays.h"
#include "files/files.h"
#include "presets/preset_file.h"
#include "x11_scene.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using namespace Steinberg;
using test::EditorTest;
using test::gesture;
using test::offscreenPicture;
using test::openDescriptors;
using test::Vst3Scene;
using test::X11Scene;
using test::X11Test;

// The controller's reference count, read without changing it.
uint32 refCount(Vst::IEditController* object) {
  object->addRef();
  return object->release();
}

TEST_F(EditorTest, HostViewIsNamedEditorTakesNSViewOrX11AndKeepsItsSize) {
  Vst3Scene s;
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

TEST_F(EditorTest, HostViewRefusesBadAttachesStartsAFreshViewAndLetsGoOfEverything) {
  Vst3Scene s;
  tk::View* root = s.window.contentView();
  s.view().toggleAdvanced();
  s.view().compare();
  auto old = std::static_pointer_cast<OrvaneView>(s.view().shared_from_this());
  ASSERT_EQ(s.editor->removed(), kResultOk);
  EXPECT_FALSE(old->hasTimer()) << "its timer stopped";
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

  // Destroyed while attached, it lets go of everything.
  const uint32 baseline = refCount(s.controller) - 2;  // minus the adapter's and the face's
  const std::weak_ptr<tk::View> watch = s.view().shared_from_this();
  s.editor->release();
  s.editor = nullptr;
  EXPECT_TRUE(watch.expired());
  EXPECT_TRUE(root->subviews().empty());
  EXPECT_EQ(refCount(s.controller), baseline);
  test::EditorScene::tick(2);  // a tick after the view has gone does nothing
}

TEST_F(EditorTest, HostViewRunLoopDrivesTheRefresh) {
  host::PlugFrame frame;
  Vst3Scene s, other;
  for (Vst3Scene* scene : {&s, &other}) {
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
  other.hostSets(InputPeak, 1.0);
  frame.fireTimers();
  EXPECT_EQ(other.view().meters().stringValue(), "IN +0 / OUT -120 ")
      << "the remaining editor drives";
  ASSERT_EQ(other.editor->removed(), kResultOk);
  for (Vst3Scene* scene : {&s, &other}) scene->editor->setFrame(nullptr);
}

// ---- inside a host's X11 window ----------------------------------------------

TEST_F(X11Test, ClicksDragsWheelAndKeysBecomeEditGestures) {
  X11Scene s;
  ASSERT_EQ(s.attach(), kResultOk);
  s.click(s.view().bypassButton());
  EXPECT_EQ(s.handler.edits, gesture(Bypass, 1.0));
  s.settle();
  EXPECT_EQ(s.view().bypassButton().title(), "Effect OFF")
      << "the refresh ran from the host's loop";

  // A drag 48 points up from 0.5 ends at 0.7: one long gesture, bracketed by
  // one begin and end.
  s.hostSets(CleanAmount, 0.5);
  s.settle(0.1);
  s.handler.edits.clear();
  const tk::Point c{380, 210};
  s.moveTo(c);
  s.press();
  s.settle(0.1);
  EXPECT_EQ(s.window().shownCursor(), tk::Cursor::ClosedHand);
  for (double dy : {-12.0, -24.0, -36.0, -48.0}) s.moveTo({c.x, c.y + dy});
  s.release();
  s.settle(0.15);
  EXPECT_NEAR(s.value(CleanAmount), 0.7, 1e-9);
  const auto& e = s.handler.edits;
  ASSERT_GE(e.size(), 4u);
  EXPECT_EQ(e.front(), "begin 0");
  EXPECT_EQ(e[e.size() - 2], "perform 0 0.7");
  EXPECT_EQ(e.back(), "end 0");
  EXPECT_EQ(std::count(e.begin(), e.end(), "begin 0"), 1);
  EXPECT_EQ(s.window().shownCursor(), tk::Cursor::OpenHand) << "open hand again after the drag";

  // One wheel notch away from the user is one unit of scrolling.
  s.handler.edits.clear();
  s.click(c, 4);
  EXPECT_EQ(s.handler.edits, gesture(CleanAmount, 0.705));

  // The clicks took the keyboard focus: keys reach the dial, which the drag
  // made first responder, with the pointer elsewhere, until the host takes
  // the focus back and once it gives it again.
  s.handler.edits.clear();
  s.park();
  s.settle(0.1);
  s.typeKey(0xff52);  // Up
  EXPECT_EQ(s.handler.edits, gesture(CleanAmount, 0.715));
  s.handler.edits.clear();
  s.focus(s.host->id());
  s.typeKey(0xff52);
  EXPECT_TRUE(s.handler.edits.empty());
  s.focus(s.window().windowId());
  EXPECT_TRUE(s.window().hasKeyboardFocus());
  s.typeKey(0xff52);
  EXPECT_EQ(s.handler.edits, gesture(CleanAmount, 0.725));

  // Hover follows the pointer in and out of the window.
  s.moveTo(test::EditorScene::centre(s.view().bypassButton()));
  s.settle(0.1);
  EXPECT_TRUE(s.view().bypassButton().isHovered());
  EXPECT_EQ(s.window().shownCursor(), tk::Cursor::Arrow);
  s.park();
  s.settle(0.1);
  EXPECT_FALSE(s.view().bypassButton().isHovered());
}

// What the window shows at one scale is the tool's show command's to check
// (against the render command); here: a change of scale while attached, and
// input at the new scale.
TEST_F(X11Test, ScaleChangeWhileAttachedResizesAsksTheHostAndRedraws) {
  X11Scene s;
  ASSERT_EQ(s.attach(), kResultOk);
  ASSERT_EQ(s.adapter().setContentScaleFactor(2.0f), kResultTrue);
  ASSERT_EQ(s.resizes.size(), 1u);
  EXPECT_EQ(s.resizes[0].getWidth(), 1520);
  EXPECT_EQ(s.resizes[0].getHeight(), 960);
  s.settle();
  // The editor's window grew with the host's and shows the picture at 2x.
  const auto picture = offscreenPicture(s.controller, 2.0);
  s.settle();
  EXPECT_EQ(s.differingPixels(picture), 0);
  // The pointer is read in points: 48 points up (96 pixels) drag 0.5 to 0.7.
  s.hostSets(CleanAmount, 0.5);
  s.settle(0.1);
  s.dragUp({380, 210}, 48);
  EXPECT_NEAR(s.value(CleanAmount), 0.7, 1e-9);
  EXPECT_EQ(s.adapter().setContentScaleFactor(0.0f), kResultFalse);
  EXPECT_EQ(s.adapter().setContentScaleFactor(8.0f), kResultFalse);
  ViewRect size;
  s.editor->getSize(&size);
  EXPECT_EQ(size.getWidth(), 1520) << "refused scales change nothing";
}

TEST_F(X11Test, OpeningAndClosingLeavesNothingBehind) {
  X11Scene s, bare(false);
  auto attach = [&](IPlugView* view, std::uint32_t parent) {
    return view->attached(test::windowHandle(parent), kPlatformTypeX11EmbedWindowID);
  };
  // Warm up once: fonts, the cursor theme and the knob material load on
  // first use and stay for the life of the process.
  ASSERT_EQ(s.attach(), kResultOk);
  ASSERT_EQ(s.editor->removed(), kResultOk);
  const long fds = openDescriptors();
  auto expectClean = [&](const char* after) {
    EXPECT_EQ(s.host->children().size(), 0u) << after;
    EXPECT_EQ(s.frame.handlerCount(), 0u) << after;
    EXPECT_EQ(s.frame.timerCount(), 0u) << after;
    EXPECT_EQ(openDescriptors(), fds) << after;
  };
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(attach(s.editor, s.host->id()), kResultOk);
    if (i % 10 == 0) {
      s.settle(0.05);
      EXPECT_EQ(s.host->children().size(), 1u);
      EXPECT_EQ(s.frame.handlerCount(), 1u) << "the display connection";
      EXPECT_EQ(s.frame.timerCount(), 1u) << "the refresh";
      EXPECT_EQ(attach(s.editor, s.host->id()), kResultFalse) << "attached twice";
    }
    ASSERT_EQ(s.editor->removed(), kResultOk);
  }
  expectClean("removing");
  for (int i = 0; i < 10; ++i) {
    IPlugView* view = s.controller->createView("editor");
    view->setFrame(&s.frame);
    ASSERT_EQ(attach(view, s.host->id()), kResultOk);
    s.settle(0.05);
    view->release();
  }
  expectClean("releasing while attached");
  EXPECT_EQ(attach(s.editor, 0x7ffffff0), kResultFalse) << "no such parent window";
  EXPECT_EQ(s.adapter().mainView(), nullptr);
  expectClean("a refusal");
  // A host whose frame offers no run loop cannot drive the editor.
  EXPECT_EQ(bare.attach(), kResultFalse);
  EXPECT_EQ(bare.adapter().mainView(), nullptr);
  EXPECT_EQ(bare.host->children().size(), 0u);
  expectClean("a refusal for want of a run loop");
}

// ---- presets through the desktop's file chooser ------------------------------
// (The chooser's arguments, answers and end are the chooser's own tests'; what
// the editor makes of a preset, the preset tests'.)

TEST_F(X11Test, PresetsGoThroughTheDesktopsChooserWithoutBlockingTheHost) {
  ::setenv("PATH", dir.c_str(), 1);  // only the chooser written below
  X11Scene s;
  ASSERT_EQ(s.attach(), kResultOk);
  s.click(s.view().settingsButton());
  ASSERT_TRUE(s.view().isAdvanced());
  // Without a chooser program, an alert inside the editor says so.
  s.click(s.view().saveButton());
  auto alert =
      std::dynamic_pointer_cast<tk::AlertOverlay>(s.window().contentView()->subviews().back());
  ASSERT_NE(alert, nullptr);
  EXPECT_EQ(alert->request().informativeText, "No file chooser found. Install zenity or kdialog.");
  s.focus(s.window().windowId());
  s.typeKey(0xff0d);  // Return
  EXPECT_EQ(alert->superview(), nullptr) << "Return dismisses it";

  // A chooser that takes a moment, as a user would, and answers `file`.
  auto chooserAnswers = [&](const std::filesystem::path& file) {
    std::ofstream(dir / "zenity") << "#!/bin/sh\n/bin/sleep 0.3\necho '" << file.string() << "'\n";
    std::filesystem::permissions(dir / "zenity", std::filesystem::perms::owner_all);
  };
  const auto file = dir / "mine.orvane";
  chooserAnswers(file);
  const long ticks = s.frame.ticks();
  s.click(s.view().saveButton());
  ASSERT_TRUE(s.frame.runUntil([&] { return std::filesystem::exists(file); }, 5));
  EXPECT_GT(s.frame.ticks() - ticks, 10) << "the host's loop ran on while the chooser was open";
  EXPECT_EQ(std::filesystem::file_size(file), preset::kSizeV2);

  preset::Values values{};
  values[Bypass] = 1.0;
  ASSERT_TRUE(files::writeFileAtomically((dir / "on.orvane").string(), preset::encode(values)));
  chooserAnswers(dir / "on.orvane");
  s.handler.edits.clear();
  s.click(s.view().openButton());
  ASSERT_TRUE(s.frame.runUntil([&] { return s.value(Bypass) == 1.0; }, 5));
  EXPECT_EQ(s.handler.edits.size(), 30u) << "ten gestures, bypass among them";
}

// ---- the host tool's render and show commands ---------------------------------

// The exit status; the output (both streams) goes to `output`.
int runTool(const std::string& args, std::string* output = nullptr) {
  FILE* pipe = ::popen((std::string(ORV_HOST_TOOL) + " " + args + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe))
    if (output) *output += buffer;
  const int status = ::pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Width and height from a PNG's header chunk.
std::pair<unsigned, unsigned> pngSize(const std::vector<std::uint8_t>& png) {
  if (png.size() < 24 || png[1] != 'P' || png[12] != 'I') return {0, 0};
  auto be = [&](std::size_t at) {
    unsigned v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | png[at + i];
    return v;
  };
  return {be(16), be(20)};
}
std::vector<std::uint8_t> bytes(const fs::path& p) {
  return files::readFile(p.string()).value_or(std::vector<std::uint8_t>{});
}

TEST_F(X11Test, ShowDrawsWhatRenderDraws) {
  for (const char* scale : {"1", "2"}) {
    const fs::path shown = dir / "shown.png", rendered = dir / "rendered.png";
    ASSERT_EQ(runTool("show --language en --scale " + std::string(scale) + " --screenshot " +
                      shown.string()),
              0);
    ASSERT_EQ(runTool("render " + rendered.string() + " --language en --scale " + scale), 0);
    EXPECT_EQ(bytes(shown), bytes(rendered)) << "scale " << scale;
  }
}

// The render command needs no display.
class RenderTool : public test::EditorTest {
 protected:
  std::size_t files() const { return std::size_t(std::distance(fs::directory_iterator(dir), {})); }
};

TEST_F(RenderTool, DrawsBothFacesAtTheEditorSize) {
  const std::string main = (dir / "main.png").string(), advanced = (dir / "advanced.png").string();
  std::string out;
  ASSERT_EQ(runTool("render " + main + " --language es --set 100=0.5 --set 104=1", &out), 0) << out;
  ASSERT_EQ(runTool("render " + advanced + " --face advanced --language pt-BR --set 7=on", &out), 0)
      << out;
  EXPECT_EQ(pngSize(bytes(main)), std::make_pair(760u, 480u));
  EXPECT_EQ(pngSize(bytes(advanced)), std::make_pair(760u, 480u));
  EXPECT_NE(bytes(main), bytes(advanced));
  EXPECT_EQ(files(), 2u) << "no temporary file left";
}

TEST_F(RenderTool, RefusesBadRequestsWithoutWriting) {
  const std::string png = (dir / "x.png").string();
  EXPECT_EQ(runTool("render " + png + " --face side"), 2);
  EXPECT_EQ(runTool("render " + (dir / "x.jpg").string()), 2);
  // A value the parameter does not take is checked against the plug-in, like
  // every --set value: status 1.
  EXPECT_EQ(runTool("render " + png + " --set 100=2"), 1);
  EXPECT_EQ(runTool("render " + (dir / "gone" / "x.png").string()), 1) << "no such folder";
  EXPECT_EQ(files(), 0u);
}

}  // namespace
}  // namespace orvane
