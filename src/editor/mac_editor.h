// The plug-in view the host embeds: a fixed 760 x 480 editor for the platform
// type "NSView". It creates the main view (OrvaneView) when the host attaches
// it to a parent and tears it down when the host removes it.
//
// On this platform the "NSView" parent handle is a tk::View* of the host's
// widget layer (built from this same source): the host owns the window and
// its root view, the editor adds its main view into that root, and the host's
// window draws the tree and delivers events to it. The editor's own refresh
// timer lives on this module's run loop; when the host's IPlugFrame offers a
// Linux IRunLoop, a 16 ms host timer advances it.
// Main (user-interface) thread only, as the VST 3 view interface requires.
#pragma once

#include <pluginterfaces/gui/iplugview.h>
#include <public.sdk/source/common/pluginview.h>

#include <memory>

#include "controller/controller.h"

namespace orvane {

class OrvaneView;
class RunLoopDriver;

inline constexpr const char* kPlatformTypeNSView = "NSView";

class MacEditor : public Steinberg::CPluginView {
 public:
  // Takes a counted reference on the controller until destruction.
  explicit MacEditor(Controller* controller);
  ~MacEditor() override;

  Steinberg::tresult PLUGIN_API isPlatformTypeSupported(Steinberg::FIDString type) override;
  // Creates the main view and adds it to `parent` (a tk::View*). Refuses null
  // arguments, another platform type and a second attach.
  Steinberg::tresult PLUGIN_API attached(void* parent, Steinberg::FIDString type) override;
  // Stops the main view's timer, takes it out of its parent and drops it.
  Steinberg::tresult PLUGIN_API removed() override;

  // The attached main view, or null.
  OrvaneView* mainView() const { return view.get(); }

 private:
  void detach();

  Controller* controller;
  std::shared_ptr<OrvaneView> view;
  Steinberg::IPtr<Steinberg::Linux::IRunLoop> hostRunLoop;
  Steinberg::IPtr<RunLoopDriver> driver;
};

// The editor for a controller, owned by the caller (reference count 1).
Steinberg::IPlugView* makeEditor(Controller* controller);

}  // namespace orvane
