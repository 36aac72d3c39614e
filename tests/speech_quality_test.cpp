// The clean-up on real speech: the alsa-utils voice recordings joined with
// 1 s pauses, mixed with pink noise, through each configuration at its
// default settings, latency removed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "engine_harness.h"
#include "support/speech.h"

namespace orvane {
namespace {

constexpr int kRate = 48000, kPause = kRate;
constexpr int kSettle = kRate * 3 / 10;  // the first 300 ms of a pause are not measured
constexpr int kWindow = kRate / 100;

struct Programme {
  std::vector<float> speech;  // clean speech with silent pauses
  std::vector<bool> active;   // 10 ms windows within 30 dB of the loudest one
  std::vector<bool> pause;    // settled part of each pause
};

const Programme& programme() {
  static const Programme p = [] {
    Programme g;
    auto addPause = [&] {
      g.speech.insert(g.speech.end(), kPause, 0.0f);
      g.pause.insert(g.pause.end(), kSettle, false);
      g.pause.insert(g.pause.end(), kPause - kSettle, true);
    };
    for (const auto& rec : test::voiceRecordings()) {
      addPause();
      g.speech.insert(g.speech.end(), rec.begin(), rec.end());
      g.pause.insert(g.pause.end(), rec.size(), false);
    }
    addPause();
    std::vector<float> level(g.speech.size() / kWindow);
    for (std::size_t w = 0; w < level.size(); ++w)
      level[w] = test::rms(g.speech.data() + w * kWindow, kWindow);
    const float loudest = *std::max_element(level.begin(), level.end());
    g.active.assign(g.speech.size(), false);
    for (std::size_t i = 0; i < level.size() * kWindow; ++i)
      g.active[i] = level[i / kWindow] > loudest * 0.0316f;
    return g;
  }();
  return p;
}

double powerOver(const std::vector<float>& x, const std::vector<bool>& mask, int shift) {
  double sum = 0.0;
  std::size_t n = 0;
  for (std::size_t i = 0; i < mask.size(); ++i)
    if (mask[i]) sum += double(x[i + shift]) * x[i + shift], ++n;
  return sum / n;
}

struct Figures {
  double pauseDropDb;   // noise in the pauses, input over output
  double speechDiffDb;  // speech windows, output over clean speech
};

// Noise `noiseDb` below the speech windows, or at `noiseDb` dBFS RMS.
Figures measure(const test::EngineConfig& cfg, double noiseDb, bool absolute) {
  const Programme& g = programme();
  const double speechPower = powerOver(g.speech, g.active, 0);
  const double noiseRms =
      std::pow(10.0, noiseDb / 20.0) * (absolute ? 1.0 : std::sqrt(speechPower));
  const std::vector<float> noise = test::pinkNoise(g.speech.size(), float(noiseRms), 2024);

  auto e = test::makeEngine(cfg, kRate, 1);
  const int lat = e->latencySamples();
  test::Signal in(1, std::vector<float>(g.speech.size() + lat, 0.0f));
  for (std::size_t i = 0; i < g.speech.size(); ++i) in[0][i] = g.speech[i] + noise[i];
  const std::vector<float> out = test::run(*e, in, {512})[0];

  return {10 * std::log10(powerOver(in[0], g.pause, 0) / powerOver(out, g.pause, lat)),
          10 * std::log10(powerOver(out, g.active, lat) / speechPower)};
}

// Each configuration takes the noise out of the pauses and leaves the speech
// level alone. Live DSP's gate compares a fast-attack envelope, which rides
// near the noise peaks, with its threshold (-40 dBFS at the default profile):
// pink noise at -55 dBFS RMS keeps that envelope well under it.
TEST(SpeechQuality, EachConfigurationCleansNoisySpeech) {
  const struct {
    test::EngineConfig cfg;
    double noiseDb;
    bool absolute;
    double minDropDb, maxSpeechDiffDb;
  } cases[] = {{test::kNeuralClassic, -10.0, false, 20.0, 3.0},
               {test::kNeuralLive, -10.0, false, 6.0, 3.0},
               {test::kLiveDsp, -55.0, true, 8.0, 1.0}};
  for (const auto& c : cases) {
    const Figures f = measure(c.cfg, c.noiseDb, c.absolute);
    EXPECT_GE(f.pauseDropDb, c.minDropDb) << c.cfg.name;
    EXPECT_LE(std::fabs(f.speechDiffDb), c.maxSpeechDiffDb) << c.cfg.name;
  }
}

}  // namespace
}  // namespace orvane
