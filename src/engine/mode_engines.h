// The three engines of one plug-in instance, one per processing mode, all
// prepared together so that a switch of mode on the audio thread needs no
// preparation. Both editions run their audio through this: what a switch, an
// activation and a mode's latency mean is decided here once.
//
// Threads: prepare() on the main thread (it allocates); load() and the engines
// themselves on the audio thread, or on the main thread while no block runs.
#pragma once

#include <array>
#include <cstdint>

#include "engine/engine.h"
#include "params/parameters.h"

namespace orvane {

class ModeEngines {
 public:
  ModeEngines() noexcept;

  // Prepares every mode's engine for `sampleRate` (8 to 192 kHz) and 1 or 2
  // channels. Returns false when an engine refuses the set-up; the engines
  // that took it keep it, the latencies are those of the last success.
  bool prepare(double sampleRate, int channels);

  // Hands the nine values to `mode`'s engine and clears its signal state: what
  // activation does to every engine, and a switch to the engine it switches to.
  void load(int mode, const std::array<float, kEngineParamCount>& params) noexcept;

  Engine& operator[](int mode) noexcept { return engines[mode]; }
  const Engine& operator[](int mode) const noexcept { return engines[mode]; }

  // Samples `mode`'s output trails its input at the prepared rate; before any
  // prepare() the latency at the engines' own rate.
  std::int32_t latencySamples(int mode) const noexcept { return latency[mode]; }

  // Channels of the last successful prepare(); 0 before.
  int channels() const noexcept { return preparedChannels; }

 private:
  std::array<Engine, kModeCount> engines;  // index = processing-mode index
  std::array<std::int32_t, kModeCount> latency{};
  int preparedChannels = 0;
};

}  // namespace orvane
