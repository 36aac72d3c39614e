#include "editor_render.h"

#include <pluginterfaces/gui/iplugview.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <memory>
#include <vector>

#include "editor/toolkit/window.h"
#include "files/files.h"

namespace orvane::host {

using namespace Steinberg;
namespace fs = std::filesystem;

namespace {

constexpr FIDString kPlatformType = "NSView";
// Where the editor's face switch (Advanced / Back) sits, in points. A user
// clicks it to reach the advanced panel; so does this host.
constexpr tk::Point kFaceSwitch{683, 40};
// Host timer rounds run before the picture is taken: the editor fills its
// controls from the controller on its first tick.
constexpr int kSettleTicks = 3;

// The frame the host gives the view: no resizing (the editor is fixed), and
// a run loop whose timers the host fires itself.
class Frame : public IPlugFrame, public Linux::IRunLoop {
 public:
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    if (FUnknownPrivate::iidEqual(iid, Linux::IRunLoop::iid)) {
      *obj = static_cast<Linux::IRunLoop*>(this);
    } else if (FUnknownPrivate::iidEqual(iid, IPlugFrame::iid) ||
               FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
      *obj = static_cast<IPlugFrame*>(this);
    } else {
      *obj = nullptr;
      return kNoInterface;
    }
    addRef();
    return kResultOk;
  }
  // Lives on the stack of renderEditor, which outlasts the view's use of it.
  uint32 PLUGIN_API addRef() override { return ++refs; }
  uint32 PLUGIN_API release() override { return --refs; }

  tresult PLUGIN_API resizeView(IPlugView*, ViewRect*) override { return kResultFalse; }
  tresult PLUGIN_API registerEventHandler(Linux::IEventHandler*, Linux::FileDescriptor) override {
    return kNotImplemented;
  }
  tresult PLUGIN_API unregisterEventHandler(Linux::IEventHandler*) override {
    return kNotImplemented;
  }
  tresult PLUGIN_API registerTimer(Linux::ITimerHandler* handler, Linux::TimerInterval) override {
    if (!handler) return kInvalidArgument;
    handler->addRef();
    timers.push_back(handler);
    return kResultOk;
  }
  tresult PLUGIN_API unregisterTimer(Linux::ITimerHandler* handler) override {
    for (auto it = timers.begin(); it != timers.end(); ++it)
      if (*it == handler) {
        timers.erase(it);
        handler->release();
        return kResultOk;
      }
    return kInvalidArgument;
  }
  // One round of the host's idle loop.
  void fireTimers() {
    const auto due = timers;  // a handler may unregister itself
    for (Linux::ITimerHandler* t : due) t->onTimer();
  }
  ~Frame() {
    for (Linux::ITimerHandler* t : timers) t->release();
  }

 private:
  std::vector<Linux::ITimerHandler*> timers;
  std::atomic<uint32> refs{1};
};

// Takes the view out of the window and drops it, whatever happened before.
struct AttachedView {
  IPlugView* view;
  bool attached = false;
  ~AttachedView() {
    if (attached) view->removed();
    view->setFrame(nullptr);
    view->release();
  }
};

}  // namespace

void renderEditor(Plugin& plugin, const std::string& pngPath, const RenderOptions& options) {
  if (!(options.scale > 0) || options.scale > 4)
    throw Error("the scale must be above 0 and at most 4");
  const fs::path target(pngPath);
  std::error_code ec;
  if (!target.parent_path().empty() && !fs::is_directory(target.parent_path(), ec))
    throw Error("cannot write " + pngPath + ": no such folder " + target.parent_path().string());

  IPlugView* made = plugin.controller()->createView("editor");
  if (!made) throw Error("the plug-in has no editor");
  // Declared so that the view leaves the window (and the frame) before
  // either goes.
  Frame frame;
  std::unique_ptr<tk::Window> window;
  AttachedView editor{made};
  if (made->isPlatformTypeSupported(kPlatformType) != kResultTrue)
    throw Error("the plug-in's editor does not support the platform type NSView");
  ViewRect size;
  if (made->getSize(&size) != kResultOk || size.getWidth() <= 0 || size.getHeight() <= 0)
    throw Error("the plug-in's editor reports no size");

  window = std::make_unique<tk::Window>(tk::Size{double(size.getWidth()), double(size.getHeight())},
                                        options.scale);
  window->setVisible(true);
  made->setFrame(&frame);
  if (made->attached(window->contentView(), kPlatformType) != kResultOk)
    throw Error("the plug-in's editor refused to attach");
  editor.attached = true;

  if (options.advanced) {
    window->postEvent(tk::Event::mouse(tk::EventType::LeftMouseDown, kFaceSwitch));
    window->postEvent(tk::Event::mouse(tk::EventType::LeftMouseUp, kFaceSwitch));
    // Then the pointer leaves and focus goes, so the picture shows the
    // controls at rest rather than the clicked one hovered and focused.
    window->postEvent(tk::Event::mouse(tk::EventType::MouseMoved, {-1, -1}));
    window->dispatchEvents();
    window->makeFirstResponder(nullptr);
  }
  for (int i = 0; i < kSettleTicks; ++i) frame.fireTimers();
  window->display();

  if (!files::writeAtomically(target.string(),
                              [&](const std::string& temp) { return window->writePng(temp); }))
    throw Error("cannot write " + pngPath);
}

}  // namespace orvane::host
