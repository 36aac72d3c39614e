// The audio component: buses, processing setup, the process loop, the saved
// state and the processing-mode messages. It owns one engine per processing
// mode, all prepared together, so a mode switch on the audio thread needs no
// preparation.
//
// Threads: process() on the audio thread; everything else on the host's main
// thread. Of those, setState(), getState() and notify() may run while process()
// does, as hosts load projects, undo and autosave during playback:
// - setState() hands the whole record to the audio thread through a one-slot
//   hand-over that the next block takes first (applied at once while inactive);
// - getState() writes the values of the last finished block, or of a
//   setState() no block has taken yet, with the requested mode;
// - the requested mode changes only by atomic exchange.
// Setup, bus changes and activation never overlap process(), by the host's
// contract.
#pragma once

#include <pluginterfaces/vst/ivstparameterchanges.h>
#include <public.sdk/source/vst/vstaudioeffect.h>

#include <array>
#include <atomic>
#include <cstdint>

#include "engine/engine.h"
#include "engine/latest_value.h"
#include "engine/mode_engines.h"
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
  // Serves any bus layout the host passes: the channels the engines were
  // prepared for are processed (a missing or silence-flagged input channel as
  // silence), every other output channel the host gave is written with
  // silence, and each output channel's silence flag tells whether it is all
  // zeros. A block whose bus 0 channel counts differ from the set-up is still
  // written that way but answered with kResultFalse, so the host learns that
  // its layout was not the one agreed.
  Steinberg::tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) override;

  // Read-only views for tests and diagnostics (audio-thread values).
  int activeModeIndex() const noexcept { return activeMode; }
  int preparedChannelCount() const noexcept { return engines.channels(); }
  int requestedModeIndex() const noexcept { return requestedMode.load(); }
  const Engine& engine(int mode) const noexcept { return engines[mode]; }
  const std::array<float, kEngineParamCount>& parameterValues() const noexcept { return params; }

 private:
  // Parameters 0..8 with the number of the setState() they descend from.
  struct Values {
    std::uint32_t stateTicket = 0;
    std::array<float, kEngineParamCount> params = Defaults;
  };
  // One host queue for a parameter 0..8 and how far this block has read it.
  struct QueueCursor {
    Steinberg::Vst::IParamValueQueue* queue = nullptr;
    Steinberg::int32 position = 0;
  };
  using QueueCursors = std::array<QueueCursor, kEngineParamCount>;
  // The largest meter readings of a block's sub-blocks.
  struct BlockMeters {
    float inputPeak = 0.0f;
    float outputPeak = 0.0f;
    float reduction = 0.0f;
    bool clipped = false;
    bool fault = false;
  };

  // Steps of process(), in order.
  void takeHandOver() noexcept;
  QueueCursors collectChanges(Steinberg::Vst::IParameterChanges* changes) noexcept;
  void switchToRequestedMode() noexcept;
  Steinberg::int32 applyChanges(QueueCursors& cursors, Steinberg::int32 limit,
                                Steinberg::int32 numSamples) noexcept;
  BlockMeters runSubBlocks(Steinberg::Vst::ProcessData& data, QueueCursors& cursors,
                           Steinberg::int32 firstEnd) noexcept;
  void finishOutputs(Steinberg::Vst::ProcessData& data) const noexcept;
  void reportToHost(Steinberg::Vst::IParameterChanges* changes, Steinberg::int32 numSamples,
                    const BlockMeters& meters) noexcept;
  void publishValues() noexcept;

  void sendModeState();
  void sendProgress();

  ModeEngines engines;
  std::atomic<std::int32_t> requestedMode{kDefaultMode};  // written only by exchange
  // Blocks processed since the component was made; only process() writes it.
  std::atomic<std::int64_t> blocksProcessed{0};
  std::int32_t activeMode = kDefaultMode;  // the engine that processes
  std::int32_t defaultMode;                // for states without a mode
  std::int32_t reportedMode = -1;          // last mode written back to the host; -1: none yet
  std::array<float, kEngineParamCount> params = Defaults;  // audio thread's (or inactive)
  std::uint32_t takenTicket = 0;  // the last setState() the audio side has taken

  LatestValue<Values> toAudio{Values{}};    // setState() to the next block
  LatestValue<Values> fromAudio{Values{}};  // each block's final values to getState()
  // Main thread only.
  Values lastSetState;  // the values and number of the newest setState()
  bool active = false;
  std::int64_t activations = 0;  // times activated since the component was made
};

}  // namespace orvane
