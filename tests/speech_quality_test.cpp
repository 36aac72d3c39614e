// The clean-up on real speech: the alsa-utils voice recordings joined with
// 1 s pauses, mixed with pink noise, through each configuration at its
// default settings, latency removed.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine_harness.h"
#include "support/speech.h"

namespace orvane {
namespace {

constexpr int kRate = 48000, kSettle = kRate * 3 / 10;

// Clean speech with 1 s silent pauses, and the samples of the pauses that are
// more than 300 ms into the silence.
struct Programme {
  std::vector<float> speech;
  std::vector<bool> pause;
};

const Programme& programme() {
  static const Programme p = [] {
    Programme g;
    for (const auto& rec : test::voiceRecordings()) {
      g.speech.insert(g.speech.end(), kRate, 0.0f);
      g.speech.insert(g.speech.end(), rec.begin(), rec.end());
    }
    g.speech.insert(g.speech.end(), kRate, 0.0f);
    int silent = 0;
    for (float v : g.speech) {
      silent = v == 0.0f ? silent + 1 : 0;
      g.pause.push_back(silent > kSettle);
    }
    return g;
  }();
  return p;
}

// Mean power of `x` (`shift` samples late) over the settled pauses, or over
// the samples where the clean speech is not silent.
double powerOver(const std::vector<float>& x, bool pauses, int shift) {
  const Programme& g = programme();
  double sum = 0.0;
  std::size_t n = 0;
  for (std::size_t i = 0; i < g.speech.size(); ++i)
    if (pauses ? g.pause[i] : g.speech[i] != 0.0f) sum += double(x[i + shift]) * x[i + shift], ++n;
  return sum / n;
}

struct Figures {
  double pauseDropDb;   // noise in the pauses, input over output
  double speechDiffDb;  // speech windows, output over clean speech
};

// Noise `noiseDb` below the speech windows, or at `noiseDb` dBFS RMS.
Figures measure(const test::EngineConfig& cfg, double noiseDb, bool absolute) {
  const Programme& g = programme();
  const double speechPower = powerOver(g.speech, false, 0);
  const double noiseRms =
      std::pow(10.0, noiseDb / 20.0) * (absolute ? 1.0 : std::sqrt(speechPower));
  const std::vector<float> noise = test::pinkNoise(g.speech.size(), float(noiseRms), 2024);

  auto e = test::makeEngine(cfg, kRate, 1);
  const int lat = e->latencySamples();
  test::Signal in(1, std::vector<float>(g.speech.size() + lat, 0.0f));
  for (std::size_t i = 0; i < g.speech.size(); ++i) in[0][i] = g.speech[i] + noise[i];
  const std::vector<float> out = test::run(*e, in, {512})[0];

  return {10 * std::log10(powerOver(in[0], true, 0) / powerOver(out, true, lat)),
          10 * std::log10(powerOver(out, false, lat) / speechPower)};
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
