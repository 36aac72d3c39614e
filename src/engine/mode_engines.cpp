// The engines of the three processing modes.
#include "engine/mode_engines.h"

namespace orvane {

namespace {

// Which engine runs which configuration, by processing-mode index.
struct EngineConfig {
  bool neural;
  bool live;
};
constexpr EngineConfig kEngineConfigs[kModeCount] = {{true, true}, {true, false}, {false, false}};

// What a mode reports before any setup: its latency at the engine's own rate.
constexpr std::int32_t nominalLatency(EngineConfig config) noexcept {
  if (!config.neural) return 0;
  return config.live ? Engine::kLiveDelay : Engine::kClassicDelay;
}

}  // namespace

ModeEngines::ModeEngines() noexcept {
  for (int mode = 0; mode < kModeCount; ++mode)
    latency[mode] = nominalLatency(kEngineConfigs[mode]);
}

bool ModeEngines::prepare(double sampleRate, int channels) {
  for (int mode = 0; mode < kModeCount; ++mode) {
    Engine& e = engines[mode];
    if (!e.prepare(sampleRate, channels, kEngineConfigs[mode].neural, kEngineConfigs[mode].live))
      return false;
    latency[mode] = e.neuralActive() ? e.latencySamples() : 0;
  }
  preparedChannels = channels;
  return true;
}

void ModeEngines::load(int mode, const std::array<float, kEngineParamCount>& params) noexcept {
  Engine& e = engines[mode];
  for (int i = 0; i < kEngineParamCount; ++i) e.set(static_cast<std::uint32_t>(i), params[i]);
  e.resetRealtime();
}

}  // namespace orvane
