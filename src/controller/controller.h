// The edit controller: publishes the fifteen parameters, mirrors the component
// state, keeps the processing mode in step with the audio component through
// messages and tells the host when titles or latency change.
// Main (user-interface) thread only.
#pragma once

#include <public.sdk/source/vst/vsteditcontroller.h>

namespace orvane {

class Controller : public Steinberg::Vst::EditController {
 public:
  static Steinberg::FUnknown* create(void* context);

  Steinberg::tresult PLUGIN_API initialize(Steinberg::FUnknown* context) override;
  Steinberg::tresult PLUGIN_API notify(Steinberg::Vst::IMessage* message) override;
  Steinberg::tresult PLUGIN_API setComponentState(Steinberg::IBStream* stream) override;
  Steinberg::tresult PLUGIN_API setParamNormalized(Steinberg::Vst::ParamID id,
                                                   Steinberg::Vst::ParamValue value) override;
  // The editor for the view name "editor" (owned by the caller); null for
  // any other name.
  Steinberg::IPlugView* PLUGIN_API createView(Steinberg::FIDString name) override;

  // Retitles every parameter and relabels the list entries in the current
  // language; asks the host to re-read the titles when it has given a handler.
  void localizeParameters();

 private:
  void requestRestart(Steinberg::int32 flags);
  void sendModeMessage(int mode);
};

}  // namespace orvane
