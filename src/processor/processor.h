// The audio component: buses, processing setup, the process loop, the saved
// state and the processing-mode messages. It owns one engine per processing
// mode, all prepared together, so a mode switch on the audio thread needs no
// preparation.
//
// Threads: process() on the audio thread; everything else on the host's main
// thread, never concurrently with process() except notify(), which touches
// only requestedMode (atomic exchange).
#pragma once

#include <public.sdk/source/vst/vstaudioeffect.h>

#include <array>
#include <atomic>
#include <cstdint>

#include "engine/engine.h"
#include "params/parameters.h"

namespace orvane {

class Processor : public Steinberg::Vst::AudioEffect {
 public:
  // defaultMode is assumed when an older saved state without a mode is loaded.
  explicit Processor(int defaultMode);

  // A component of the registered class (older states load as Neural Classic).
  static Steinberg::FUnknown* create(void* context);

  Steinberg::tresult PLUGIN_API initialize(Steinberg::FUnknown* context) override;
  Steinberg::tresult PLUGIN_API notify(Steinberg::Vst::IMessage* message) override;
  Steinberg::tresult PLUGIN_API setActive(Steinberg::TBool state) override;
  Steinberg::tresult PLUGIN_API setState(Steinberg::IBStream* state) override;
  Steinberg::tresult PLUGIN_API getState(Steinberg::IBStream* state) override;
  Steinberg::tresult PLUGIN_API setBusArrangements(Steinberg::Vst::SpeakerArrangement* inputs,
                                                   Steinberg::int32 numIns,
                                                   Steinberg::Vst::SpeakerArrangement* outputs,
                                                   Steinberg::int32 numOuts) override;
  Steinberg::tresult PLUGIN_API canProcessSampleSize(Steinberg::int32 symbolicSampleSize) override;
  Steinberg::uint32 PLUGIN_API getLatencySamples() override;
  Steinberg::tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& setup) override;
  Steinberg::tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) override;

  // Read-only views for tests and diagnostics.
  int activeModeIndex() const noexcept { return activeMode; }
  int requestedModeIndex() const noexcept { return requestedMode.load(); }
  const Engine& engine(int mode) const noexcept { return engines[mode]; }
  const std::array<float, kEngineParamCount>& parameterValues() const noexcept { return params; }

 private:
  void loadEngine(int mode) noexcept;
  void sendModeState();

  std::array<Engine, kModeCount> engines;                     // index = processing-mode index
  std::array<std::int32_t, kModeCount> latency{95, 1440, 0};  // samples reported per mode
  std::atomic<std::int32_t> requestedMode{kDefaultMode};      // written only by exchange
  std::int32_t activeMode = kDefaultMode;                     // the engine that processes
  std::int32_t defaultMode;                                   // for states without a mode
  std::int32_t reportedMode = -1;  // last mode written back to the host; -1: none yet
  std::array<float, kEngineParamCount> params = Defaults;
};

}  // namespace orvane
