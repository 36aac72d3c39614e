#include "speech_signals.h"

#include <sndfile.h>

#include <cmath>
#include <stdexcept>

namespace orvane::signals {

namespace {

std::vector<float> firstChannel(const std::string& path, int& sampleRate) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f)
    throw std::runtime_error("the speech material needs the alsa-utils voice recordings (" + path +
                             "); scripts/bootstrap.sh installs them");
  std::vector<float> interleaved(static_cast<std::size_t>(info.frames) * info.channels);
  const sf_count_t got = sf_readf_float(f, interleaved.data(), info.frames);
  sf_close(f);
  std::vector<float> out(static_cast<std::size_t>(got));
  for (sf_count_t i = 0; i < got; ++i) out[i] = interleaved[i * info.channels];
  sampleRate = info.samplerate;
  return out;
}

}  // namespace

const std::vector<std::vector<float>>& voiceRecordings() {
  static const std::vector<std::vector<float>> recordings = [] {
    const char* names[] = {"Front_Center", "Front_Left", "Front_Right", "Rear_Center",
                           "Rear_Left",    "Rear_Right", "Side_Left",   "Side_Right"};
    std::vector<std::vector<float>> all;
    for (const char* name : names) {
      const std::string path = std::string("/usr/share/sounds/alsa/") + name + ".wav";
      int rate = 0;
      all.push_back(firstChannel(path, rate));
      if (rate != kVoiceRate) throw std::runtime_error(path + " is not at 48 kHz");
    }
    return all;
  }();
  return recordings;
}

std::vector<float> pinkNoise(std::size_t count, std::uint32_t seed) {
  std::uint32_t s = seed ? seed : 1;  // xorshift stays at zero from zero
  float b0 = 0, b1 = 0, b2 = 0;
  std::vector<float> out(count);
  for (auto& v : out) {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    const float w = static_cast<float>(s) / 4294967296.0f * 2.0f - 1.0f;
    b0 = 0.99765f * b0 + w * 0.0990460f;
    b1 = 0.96300f * b1 + w * 0.2965164f;
    b2 = 0.57000f * b2 + w * 1.0526913f;
    v = b0 + b1 + b2 + w * 0.1848f;
  }
  return out;
}

double rms(const float* x, std::size_t n) {
  double sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum += double(x[i]) * x[i];
  return n ? std::sqrt(sum / double(n)) : 0.0;
}

}  // namespace orvane::signals
