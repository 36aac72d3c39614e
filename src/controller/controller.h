// The edit controller: publishes the fifteen parameters, mirrors the component
// state, keeps the processing mode in step with the audio component through
// messages and tells the host when titles or latency change.
// Main (user-interface) thread only.
#pragma once

#include <public.sdk/source/vst/vsteditcontroller.h>

#include <cstdint>
#include <thread>

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
  // The host's reads: each first settles a latency restart owed since a state
  // load (see owed below), then answers as the base class does.
  Steinberg::int32 PLUGIN_API getParameterCount() override;
  Steinberg::tresult PLUGIN_API getParameterInfo(Steinberg::int32 index,
                                                 Steinberg::Vst::ParameterInfo& info) override;
  Steinberg::tresult PLUGIN_API getParamStringByValue(Steinberg::Vst::ParamID id,
                                                      Steinberg::Vst::ParamValue value,
                                                      Steinberg::Vst::String128 text) override;
  Steinberg::tresult PLUGIN_API getParamValueByString(Steinberg::Vst::ParamID id,
                                                      Steinberg::Vst::TChar* text,
                                                      Steinberg::Vst::ParamValue& value) override;
  Steinberg::Vst::ParamValue PLUGIN_API
  normalizedParamToPlain(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value) override;
  Steinberg::Vst::ParamValue PLUGIN_API
  plainParamToNormalized(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue plain) override;
  Steinberg::Vst::ParamValue PLUGIN_API getParamNormalized(Steinberg::Vst::ParamID id) override;
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

  // A latency restart asked for while the host loads a state is owed instead:
  // some hosts hold a lock around the whole load, including their read-back of
  // every parameter, and take the same lock in restartComponent. The restart is
  // delivered at the first call on the controller's own thread after the
  // component has processed a block since the load (the host's audio callback
  // cannot run inside such a load), and dropped when the component has been
  // activated since, as activation makes the host read the latency anyway.
  struct Owed {
    int mode = -1;             // the mode whose latency is owed; -1: none
    std::int64_t blocks = -1;  // the component's progress at the load; -1: not yet known
    std::int64_t activations = -1;
  };
  Owed owed;
  bool loadingState = false;  // inside setComponentState
  bool asking = false;        // a progress request is on its way
  std::thread::id ownThread;  // the thread that initialised the controller

  void requestRestart(Steinberg::int32 flags);
  // Asks the host to re-read the latency when `mode` is not the one it knows.
  void followLatency(int mode);
  void sendModeMessage(int mode);
  // Asks the component for its progress; false when there is nobody to ask.
  bool askProgress();
  void settleOwedRestart();
  Steinberg::tresult takeProgress(Steinberg::Vst::IMessage* message);
};

}  // namespace orvane
