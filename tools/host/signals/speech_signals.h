// The speech material the demo, the tests and the benchmarks clean: the voice
// recordings that alsa-utils installs, and deterministic pink noise.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvane::signals {

// The eight alsa-utils voice recordings ("Front Center" ... "Side Right"; the
// noise file is left out), first channel, 48 kHz, full scale 1.0, loaded once
// per process. Throws std::runtime_error naming the missing file and the
// package that installs it.
const std::vector<std::vector<float>>& voiceRecordings();
inline constexpr int kVoiceRate = 48000;

// Pink-ish noise: xorshift32 white noise, uniform in [-1, 1), through Paul
// Kellet's economy filter. The same seed gives the same samples on every
// platform and standard library. Not normalised.
std::vector<float> pinkNoise(std::size_t count, std::uint32_t seed);

// Root mean square of n samples (0 for none).
double rms(const float* x, std::size_t n);

}  // namespace orvane::signals
