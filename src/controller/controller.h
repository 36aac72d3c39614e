// The edit controller: publishes the fifteen parameters, mirrors the component
// state, keeps the processing mode in step with the audio component through
// messages and tells the host when titles or latency change.
// Main (user-interface) thread only.
#pragma once

#include <public.sdk/source/vst/vsteditcontroller.h>

namespace orvane {

class Controller;

// Makes the editor for a controller (reference count 1, owned by the caller),
// or null. The module hands the editor's maker to the controllers it creates,
// so this layer does not depend on the editor.
using ViewMaker = Steinberg::IPlugView* (*)(Controller* controller);

// The view name hosts ask for.
inline constexpr const char* kEditorViewName = "editor";

class Controller : public Steinberg::Vst::EditController {
 public:
  explicit Controller(ViewMaker maker = nullptr);

  // A controller without an editor (createView answers null).
  static Steinberg::FUnknown* create(void* context);

  Steinberg::tresult PLUGIN_API initialize(Steinberg::FUnknown* context) override;
  Steinberg::tresult PLUGIN_API notify(Steinberg::Vst::IMessage* message) override;
  Steinberg::tresult PLUGIN_API setComponentState(Steinberg::IBStream* stream) override;
  Steinberg::tresult PLUGIN_API setParamNormalized(Steinberg::Vst::ParamID id,
                                                   Steinberg::Vst::ParamValue value) override;
  // The editor for the view name "editor" (owned by the caller); null for
  // any other name and when the controller was made without a view maker.
  Steinberg::IPlugView* PLUGIN_API createView(Steinberg::FIDString name) override;

  // Retitles every parameter and relabels the list entries in the current
  // language; asks the host to re-read the titles when it has given a handler.
  void localizeParameters();

 private:
  ViewMaker viewMaker;
  // The processing mode whose latency the host was last asked to read; a fresh
  // component starts in the default mode, which the host reads at activation.
  int latencyMode;

  void requestRestart(Steinberg::int32 flags);
  // Asks the host to re-read the latency when `mode` is not the one it knows.
  void followLatency(int mode);
  void sendModeMessage(int mode);
};

}  // namespace orvane
