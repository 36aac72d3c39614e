// Test signals: the alsa-utils voice recordings and deterministic noise.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvane::test {

// Reads a mono or multichannel sound file and returns its first channel at its
// own rate, full scale 1.0. Fails the calling test (via an exception) when the
// file cannot be read.
std::vector<float> readFirstChannel(const std::string& path, int& sampleRate);

// The alsa-utils voice recordings ("Front Center" ... "Side Right"; the noise
// file is left out) at 48 kHz, full scale 1.0, each one a separate vector.
const std::vector<std::vector<float>>& voiceRecordings();

// Deterministic pink-ish noise (Paul Kellet's economy filter over white noise
// from a fixed-seed generator), RMS normalised to rmsLevel.
std::vector<float> pinkNoise(std::size_t count, float rmsLevel, std::uint32_t seed);

float rms(const float* x, std::size_t n);

}  // namespace orvane::test
