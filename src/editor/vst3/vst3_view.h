// The VST 3 edition's view adapter: the IPlugView a VST 3 host embeds, a
// fixed 760 x 480 point editor. It creates the main view (OrvaneView), which
// sees the controller through a Vst3Face, when the host attaches it to a
// parent and tears it down when the host removes it. Two platform types:
//
// - "X11EmbedWindowID", what Linux hosts offer: the parent is an X11 window
//   id. The editor opens its own child window in it (tk::X11Window) and takes
//   its events and its refresh tick from the host's Linux IRunLoop, found
//   through the IPlugFrame; without a run loop it refuses to attach, since
//   nothing could drive the window. The host's content scale factor sets the
//   window's device pixels.
// - "NSView", for off-screen pictures and tests: the parent is a tk::View* of
//   the host's widget layer (built from this same source), which owns the
//   window, draws the tree and delivers events; the refresh timer runs from
//   the host's IRunLoop when the frame offers one.
//
// Main (user-interface) thread only, as the VST 3 view interface requires.
#pragma once

#include <pluginterfaces/gui/iplugview.h>
#include <pluginterfaces/gui/iplugviewcontentscalesupport.h>
#include <public.sdk/source/common/pluginview.h>

#include <memory>

#include "controller/controller.h"

namespace orvane {

namespace tk {
class RunLoopPacer;
class X11Window;
}  // namespace tk

class HostRunLoop;
class OrvaneView;

inline constexpr const char* kPlatformTypeNSView = "NSView";

class Vst3View : public Steinberg::CPluginView, public Steinberg::IPlugViewContentScaleSupport {
 public:
  // Milliseconds between the host's refresh ticks: the view's 1/60 s.
  static constexpr int kTickMs = 16;

  // Takes a counted reference on the controller until destruction.
  explicit Vst3View(Controller* controller);
  ~Vst3View() override;

  Steinberg::tresult PLUGIN_API isPlatformTypeSupported(Steinberg::FIDString type) override;
  // Creates the main view and shows it in `parent`. Refuses null arguments,
  // other platform types, a second attach, and an X11 parent when the frame
  // has no run loop or the window cannot be made.
  Steinberg::tresult PLUGIN_API attached(void* parent, Steinberg::FIDString type) override;
  // Stops the main view's timer, takes it out of its parent and drops it,
  // then closes the X11 window and every host-loop registration.
  Steinberg::tresult PLUGIN_API removed() override;

  // Device pixels per point; getSize reports the scaled size, as hosts on
  // Linux expect, and an attached window is resized and the host asked to
  // follow (IPlugFrame::resizeView). Scales outside (0, 4] are refused.
  Steinberg::tresult PLUGIN_API setContentScaleFactor(ScaleFactor factor) override;

  // The attached main view, or null.
  OrvaneView* mainView() const { return view.get(); }
  // The editor's own X11 window while attached to one, else null.
  tk::X11Window* x11Window() const { return window.get(); }
  double contentScale() const { return scale; }

  OBJ_METHODS(Vst3View, CPluginView)
  DEFINE_INTERFACES
  DEF_INTERFACE(Steinberg::IPlugViewContentScaleSupport)
  END_DEFINE_INTERFACES(CPluginView)
  REFCOUNT_METHODS(CPluginView)

 private:
  bool attachToView(void* parent);
  bool attachToX11(void* parent);
  bool startTicks();
  void onTick();
  void detach();

  Controller* controller;
  std::shared_ptr<OrvaneView> view;
  double scale = 1.0;
  std::unique_ptr<HostRunLoop> hostLoop;
  std::unique_ptr<tk::RunLoopPacer> pacer;
  std::unique_ptr<tk::X11Window> window;
};

// The editor for a controller, owned by the caller (reference count 1).
Steinberg::IPlugView* makeEditor(Controller* controller);

}  // namespace orvane
