// Test signals: the shared speech material (tools/host/signals) in the shape
// the tests take it.
#pragma once

#include <cstdint>
#include <vector>

#include "signals/speech_signals.h"

namespace orvane::test {

// The alsa-utils voice recordings at 48 kHz, each one a separate vector.
inline const std::vector<std::vector<float>>& voiceRecordings() {
  return signals::voiceRecordings();
}

// Deterministic pink noise with the given RMS level.
std::vector<float> pinkNoise(std::size_t count, float rmsLevel, std::uint32_t seed);

inline float rms(const float* x, std::size_t n) {
  return static_cast<float>(signals::rms(x, n));
}

}  // namespace orvane::test
