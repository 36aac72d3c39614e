// One instance of the LV2 edition: the same three engines and state record as
// the VST 3 component, driven through control ports (lv2/ports.h).
//
// Threads, by LV2's classes: create(), activate(), deactivate(), restore() and
// the destructor on the host's main thread, never while run() does; run() on
// the audio thread, allocating, locking and calling nothing that can block;
// save() on any thread, also while run() does: it writes the values the last
// block ended with (or those a restore() left, when no block ran since).
#pragma once

#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <array>
#include <cstdint>
#include <memory>

#include "engine/latest_value.h"
#include "engine/mode_engines.h"
#include "params/parameters.h"
#include "protocol/lv2_ports.h"

namespace orvane::lv2 {

// The state property holding the record's bytes (an atom:Chunk).
inline constexpr const char* kStateRecordKey = "urn:orvane:lv2:state#record";

class Plugin {
 public:
  static constexpr double kMinRate = 8000.0;
  static constexpr double kMaxRate = 192000.0;

  // An instance for `sampleRate` and 1 or 2 channels with every mode's engine
  // prepared, or null for a rate outside 8..192 kHz or a set-up an engine
  // refuses. `map` (may be null) is needed by save() and restore() only.
  static std::unique_ptr<Plugin> create(double sampleRate, int channels, const LV2_URID_Map* map);

  void connect(std::uint32_t port, void* data) noexcept;
  void activate() noexcept;
  // A block: a changed processing_mode first switches engines (the new one
  // starts from the values before this block's changes, as in the VST 3
  // component), then changed parameter ports reach the running engine, then
  // the audio; the meters and the latency port are written for this block.
  void run(std::uint32_t frames) noexcept;

  // The record as property kStateRecordKey; LV2_STATE_ERR_NO_FEATURE without
  // a URID map.
  LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle) noexcept;
  // Validates the whole record before anything changes: a missing property,
  // another type, or a short or damaged record returns an error and leaves
  // the instance as it was. A restored value holds until its port moves.
  LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) noexcept;

  int activeModeIndex() const noexcept { return activeMode; }

 private:
  Plugin(int channels, const LV2_URID_Map* map) noexcept;

  // Values of one moment for save(): parameters 0..8 and the mode.
  struct Values {
    std::array<float, kEngineParamCount> params = Defaults;
    int mode = kDefaultMode;
  };

  // A port changed since it was last read; `seen` takes its value.
  static bool portMoved(const float* port, float& seen) noexcept;
  void switchToRequestedMode() noexcept;
  void applyParameterPorts() noexcept;
  void writeMeters() noexcept;
  void publishValues(int mode) noexcept;

  ModeEngines engines;
  const int channels;
  LV2_URID recordKey = 0;
  LV2_URID chunkType = 0;

  std::array<const float*, kParamPortCount> controls{};
  std::array<float*, kMeterPortCount> meterPorts{};
  float* latencyPort = nullptr;
  std::array<const float*, Engine::kMaxChannels> audioIn{};
  std::array<float*, Engine::kMaxChannels> audioOut{};

  // The audio side's (or, while no block runs, the main thread's).
  std::array<float, kEngineParamCount> params = Defaults;  // normalised, as the engines hold them
  std::array<float, kParamPortCount> seen;  // port values last read; NaN: not read yet
  int requestedMode = kDefaultMode;
  int activeMode = kDefaultMode;

  LatestValue<Values> toSave{Values{}};
};

}  // namespace orvane::lv2
