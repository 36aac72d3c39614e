#include "editor_render.h"

#include <pluginterfaces/gui/iplugview.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <memory>

#include "editor/toolkit/window.h"
#include "files/files.h"
#include "plug_frame.h"

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
  PlugFrame frame;
  std::unique_ptr<tk::Window> window;
  EmbeddedView editor{made};
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
