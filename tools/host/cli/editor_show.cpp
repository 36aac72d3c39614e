#include "editor_show.h"

#include <pluginterfaces/gui/iplugview.h>
#include <pluginterfaces/gui/iplugviewcontentscalesupport.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>

#include "files/files.h"
#include "host_window.h"
#include "plug_frame.h"

namespace orvane::host {

using namespace Steinberg;

namespace {

// Where the editor's face switch (Advanced / Back) sits, in points.
constexpr double kFaceSwitchX = 683, kFaceSwitchY = 40;
// Time for the editor to map, draw and fill its controls on its first ticks
// before a screenshot.
constexpr double kSettleSeconds = 0.5;

// The host's own connection in its run loop, as a DAW watches its display.
class WindowEvents : public Linux::IEventHandler {
 public:
  explicit WindowEvents(HostWindow& w) : window(w) {}
  tresult PLUGIN_API queryInterface(const TUID queried, void** obj) override {
    if (FUnknownPrivate::iidEqual(queried, Linux::IEventHandler::iid) ||
        FUnknownPrivate::iidEqual(queried, FUnknown::iid)) {
      addRef();
      *obj = this;
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return ++refs; }
  uint32 PLUGIN_API release() override { return --refs; }
  void PLUGIN_API onFDIsSet(Linux::FileDescriptor) override { window.processEvents(); }

 private:
  HostWindow& window;
  uint32 refs = 1;
};

}  // namespace

void showEditor(Plugin& plugin, const ShowOptions& options) {
  if (!(options.scale > 0) || options.scale > 4)
    throw Error("the scale must be above 0 and at most 4");
  IPlugView* made = plugin.controller()->createView("editor");
  if (!made) throw Error("the plug-in has no editor");
  // Declared so that the view leaves (removed, frame released) before the
  // frame goes, and the frame lets go of the window's handler before the
  // window closes, as a DAW closes a plug-in window.
  std::unique_ptr<HostWindow> window;
  std::unique_ptr<WindowEvents> events;
  PlugFrame frame;
  EmbeddedView editor{made};
  if (made->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID) != kResultTrue)
    throw Error("the plug-in's editor does not support X11EmbedWindowID");
  // The scale goes first, so the size asked for below is the scaled one.
  if (options.scale != 1.0) {
    IPlugViewContentScaleSupport* scaling = nullptr;
    if (made->queryInterface(IPlugViewContentScaleSupport::iid,
                             reinterpret_cast<void**>(&scaling)) != kResultOk ||
        !scaling)
      throw Error("the plug-in's editor does not support content scaling");
    const tresult scaled = scaling->setContentScaleFactor(float(options.scale));
    scaling->release();
    if (scaled != kResultTrue) throw Error("the plug-in's editor refused the scale");
  }
  ViewRect size;
  if (made->getSize(&size) != kResultOk || size.getWidth() <= 0 || size.getHeight() <= 0)
    throw Error("the plug-in's editor reports no size");

  window = std::make_unique<HostWindow>(size.getWidth(), size.getHeight(), "Orvane");
  events = std::make_unique<WindowEvents>(*window);
  frame.registerEventHandler(events.get(), window->connectionFd());
  HostWindow* shown = window.get();
  frame.onResize = [shown](const ViewRect& r) {
    shown->resize(r.getWidth(), r.getHeight());
    return true;
  };
  made->setFrame(&frame);
  // The parent handle of this platform type is the window id itself.
  // NOLINTNEXTLINE(performance-no-int-to-ptr)
  void* parent = reinterpret_cast<void*>(std::uintptr_t(window->id()));
  if (made->attached(parent, kPlatformTypeX11EmbedWindowID) != kResultOk)
    throw Error("the plug-in's editor refused to attach");
  editor.attached = true;

  if (options.advanced) {
    frame.runFor(kSettleSeconds);
    const auto children = window->children();
    if (children.empty()) throw Error("the plug-in's editor made no window");
    window->sendClick(children.front(), int(std::lround(kFaceSwitchX * options.scale)),
                      int(std::lround(kFaceSwitchY * options.scale)));
  }
  if (!options.screenshot.empty()) {
    frame.runFor(kSettleSeconds);
    const Screenshot shot = window->screenshot();
    const auto png = shot.png();
    if (png.empty()) throw Error("cannot read the window's picture");
    if (!files::writeFileAtomically(options.screenshot, png))
      throw Error("cannot write " + options.screenshot);
    std::printf("wrote %s (%d x %d)\n", options.screenshot.c_str(), shot.width, shot.height);
    return;
  }
  const double limit = options.seconds > 0 ? options.seconds : std::numeric_limits<double>::max();
  frame.runUntil([shown] { return shown->closeRequested(); }, limit);
}

}  // namespace orvane::host
