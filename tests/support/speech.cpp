#include "support/speech.h"

#include <sndfile.h>

#include <cmath>
#include <random>
#include <stdexcept>

namespace orvane::test {

std::vector<float> readFirstChannel(const std::string& path, int& sampleRate) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) throw std::runtime_error("cannot read " + path + ": " + sf_strerror(nullptr));
  std::vector<float> interleaved(static_cast<std::size_t>(info.frames) * info.channels);
  const sf_count_t got = sf_readf_float(f, interleaved.data(), info.frames);
  sf_close(f);
  std::vector<float> out(static_cast<std::size_t>(got));
  for (sf_count_t i = 0; i < got; ++i) out[i] = interleaved[i * info.channels];
  sampleRate = info.samplerate;
  return out;
}

const std::vector<std::vector<float>>& voiceRecordings() {
  static const std::vector<std::vector<float>> recordings = [] {
    const char* names[] = {"Front_Center", "Front_Left", "Front_Right", "Rear_Center",
                           "Rear_Left",    "Rear_Right", "Side_Left",   "Side_Right"};
    std::vector<std::vector<float>> all;
    for (const char* name : names) {
      int rate = 0;
      auto x = readFirstChannel(std::string("/usr/share/sounds/alsa/") + name + ".wav", rate);
      // The recordings ship at 48 kHz; the analysis has no other rate to offer.
      if (rate != 48000) throw std::runtime_error(std::string(name) + ".wav is not at 48 kHz");
      all.push_back(std::move(x));
    }
    return all;
  }();
  return recordings;
}

std::vector<float> pinkNoise(std::size_t count, float rmsLevel, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<float> white(0.0f, 1.0f);
  float b0 = 0, b1 = 0, b2 = 0;
  std::vector<float> out(count);
  for (auto& v : out) {
    const float w = white(rng);
    b0 = 0.99765f * b0 + w * 0.0990460f;
    b1 = 0.96300f * b1 + w * 0.2965164f;
    b2 = 0.57000f * b2 + w * 1.0526913f;
    v = b0 + b1 + b2 + w * 0.1848f;
  }
  const float scale = rmsLevel / rms(out.data(), out.size());
  for (auto& v : out) v *= scale;
  return out;
}

float rms(const float* x, std::size_t n) {
  double sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum += double(x[i]) * x[i];
  return n ? static_cast<float>(std::sqrt(sum / n)) : 0.0f;
}

}  // namespace orvane::test
