// Helpers shared by the engine tests: configurations, parameter presets and
// a block-by-block driver.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "engine/engine.h"

namespace orvane::test {

struct EngineConfig {
  const char* name;
  bool neural;
  bool live;
};
inline constexpr EngineConfig kNeuralLive{"NeuralLive", true, true};
inline constexpr EngineConfig kNeuralClassic{"NeuralClassic", true, false};
inline constexpr EngineConfig kLiveDsp{"LiveDsp", false, false};
inline constexpr EngineConfig kAllConfigs[] = {kNeuralLive, kNeuralClassic, kLiveDsp};

using Signal = std::vector<std::vector<float>>;  // [channel][sample]
using Params = std::initializer_list<std::pair<ParamId, float>>;

// A prepared engine with the defaults overridden by `params`, snapped by a
// realtime reset as the audio component does on activation.
inline std::unique_ptr<Engine> makeEngine(const EngineConfig& cfg, double rate, int channels,
                                          Params params = {},
                                          const DenoiserCalls& calls = libraryDenoiserCalls()) {
  auto e = std::make_unique<Engine>(calls);
  if (!e->prepare(rate, channels, cfg.neural, cfg.live)) return nullptr;
  for (ParamId i = 0; i < kEngineParamCount; ++i) e->set(i, Defaults[i]);
  for (const auto& [id, v] : params) e->set(id, v);
  e->resetRealtime();
  return e;
}

// Feeds `in` through process() in blocks whose sizes cycle through
// `pattern`; returns the output. With `inPlace` the output buffers are the
// input buffers, as many hosts arrange it.
inline Signal run(Engine& e, const Signal& in, const std::vector<int>& pattern = {512},
                  bool inPlace = false) {
  const int channels = static_cast<int>(in.size());
  const int total = static_cast<int>(in[0].size());
  Signal out = in;
  if (!inPlace)
    for (auto& ch : out) std::fill(ch.begin(), ch.end(), 0.0f);
  std::size_t k = 0;
  for (int pos = 0; pos < total;) {
    const int n = std::min(pattern[k++ % pattern.size()], total - pos);
    const float* ins[2] = {};
    float* outs[2] = {};
    for (int c = 0; c < channels; ++c) {
      ins[c] = (inPlace ? out[c].data() : in[c].data()) + pos;
      outs[c] = out[c].data() + pos;
    }
    e.process(ins, outs, channels, n);
    pos += n;
  }
  return out;
}

// The bit patterns of `x`, for comparisons that must hold to the bit.
inline std::vector<std::uint32_t> bitsOf(const std::vector<float>& x) {
  std::vector<std::uint32_t> b(x.size());
  std::memcpy(b.data(), x.data(), x.size() * sizeof(float));
  return b;
}

// Uniform noise in [-amplitude, amplitude], one vector per channel.
inline Signal noise(int channels, std::size_t n, float amplitude, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> u(-amplitude, amplitude);
  Signal s(channels, std::vector<float>(n));
  for (auto& ch : s)
    for (auto& v : ch) v = u(rng);
  return s;
}

}  // namespace orvane::test
