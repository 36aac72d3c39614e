#include "engine/neural_fir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "denoiser/nnet_kernels.h"
#include "engine/fp_mode.h"
#include "engine_harness.h"
#include "support/speech.h"

namespace orvane {
namespace {

constexpr double kPi = 3.14159265358979323846;
using Gains = std::array<float, kNeuralBands>;

const NeuralFirBasis& basis() {
  static const auto b = [] {
    auto p = std::make_unique<NeuralFirBasis>();
    p->prepare();
    return p;
  }();
  return *b;
}

// A filter updated to `gains` whose taps have finished gliding (0.9^300 is
// far below rounding).
NeuralFir settled(const Gains& gains) {
  NeuralFir fir;
  fir.reset();
  fir.update(basis(), gains);
  for (int i = 0; i < 300; ++i) fir.process(0.0f);
  return fir;
}

// The response to a unit impulse, on a copy.
std::vector<float> impulseResponse(NeuralFir fir, int n = 2 * kFirDelay + 10) {
  std::vector<float> y(n);
  for (int i = 0; i < n; ++i) y[i] = fir.process(i == 0 ? 1.0f : 0.0f);
  return y;
}

// Magnitude at bin k of the 960-point spectrum of a linear-phase response
// centred on sample 95.
double responseAtBin(const std::vector<float>& h, int k) {
  double sum = 0;
  for (int n = 0; n <= 2 * kFirDelay; ++n)
    sum += h[n] * std::cos(2.0 * kPi * k * (n - kFirDelay) / 960.0);
  return sum;
}

// The gain curve the filter is meant to have: each band's gain at its anchor
// bin, straight lines between anchors, flat beyond the first and the last.
double intendedGain(const Gains& g, int k) {
  if (k <= kBandAnchorBins[0]) return g[0];
  for (int b = 0; b + 1 < kNeuralBands; ++b)
    if (k <= kBandAnchorBins[b + 1]) {
      const double f =
          double(k - kBandAnchorBins[b]) / (kBandAnchorBins[b + 1] - kBandAnchorBins[b]);
      return (1 - f) * g[b] + f * g[b + 1];
    }
  return g[kNeuralBands - 1];
}

TEST(FirDelay, EqualGainsScaleTheDelayedImpulse) {
  for (float g : {1.0f, 0.77f, 0.3f, 0.0f}) {
    Gains gains;
    gains.fill(g);
    const auto y = impulseResponse(settled(gains), 400);
    for (std::size_t n = 0; n < y.size(); ++n)
      EXPECT_NEAR(y[n], n == 95 ? g : 0.0f, 2e-6f) << "g " << g << " n " << n;
  }
}

TEST(FirGlide, TapsMoveATenthOfTheWayPerSample) {
  NeuralFir fir;
  fir.reset();
  for (int i = 0; i < 300; ++i) ASSERT_EQ(fir.process(1.0f), i >= 95 ? 1.0f : 0.0f);
  fir.update(basis(), Gains{});
  // The taps glide before use: the first output is already 0.9, then 0.81, ...
  float expected = 1.0f;
  for (int m = 1; m <= 60; ++m) {
    expected *= 0.9f;
    EXPECT_NEAR(fir.process(1.0f), expected, 1e-5f) << m;
  }
}

// Any gains give a linear-phase filter (symmetric about sample 95, nothing
// beyond 190) whose magnitude follows the intended curve; filtering is the
// convolution with that response.
TEST(FirResponse, LinearPhaseAndFollowsTheBandGains) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  for (int trial = 0; trial < 4; ++trial) {
    Gains gains;
    // Random, then curves that vary slowly across bins, which 191 taps can follow.
    const float phase = 6.0f * u(rng);
    for (int b = 0; b < kNeuralBands; ++b)
      gains[b] = trial == 0 ? u(rng)
                            : 0.5f + 0.45f * std::sin(kBandAnchorBins[b] / (30.0f * trial) + phase);
    const NeuralFir fir = settled(gains);
    const auto h = impulseResponse(fir);
    for (int t = 1; t <= kFirDelay; ++t) ASSERT_EQ(h[95 - t], h[95 + t]) << t;
    for (std::size_t n = 2 * kFirDelay + 1; n < h.size(); ++n) ASSERT_EQ(h[n], 0.0f) << n;
    for (int k = 0; k <= 480 && trial > 0; ++k)
      EXPECT_NEAR(responseAtBin(h, k), intendedGain(gains, k), 0.03) << trial << " bin " << k;

    NeuralFir running = fir;
    const auto x = test::noise(1, 800, 1.0f, 5 + trial)[0];
    for (std::size_t n = 0; n < x.size(); ++n) {
      double want = 0;
      for (int d = 0; d <= 2 * kFirDelay && d <= int(n); ++d) want += double(h[d]) * x[n - d];
      ASSERT_NEAR(running.process(x[n]), want, 1e-5) << trial << " " << n;
    }
  }
}

TEST(FirCounter, WrapsWithoutADiscontinuityAndRunsFilterAsSingleSamplesDo) {
  // The same signal through a filter whose counter crosses 2^32, fed in runs
  // of every length (longer ones than a run takes at once among them), and
  // one that starts at 0, fed a sample at a time, must give identical output:
  // the ring position stays continuous and a run is only a faster way there.
  Gains gains;
  for (int b = 0; b < kNeuralBands; ++b) gains[b] = 0.2f + 0.02f * b;
  NeuralFir wrapping, plain;
  wrapping.reset(0xFFFFFFFFu - 299u);
  plain.reset();
  const auto x = test::noise(1, 1500, 1.0f, 6)[0];
  std::vector<float> runs(x.size()), single(x.size());
  const int lengths[] = {100, 1, 300, 64, 257, 7, 771};  // new gains after the first
  std::size_t n = 0;
  for (int length : lengths) {
    if (n == 100) {
      wrapping.update(basis(), gains);
      plain.update(basis(), gains);
    }
    const int count = std::min<int>(length, int(x.size() - n));
    wrapping.processRun(x.data() + n, runs.data() + n, count);
    for (int i = 0; i < count; ++i, ++n) single[n] = plain.process(x[n]);
  }
  ASSERT_EQ(n, x.size());
  EXPECT_EQ(test::bitsOf(runs), test::bitsOf(single));
}

// The AVX2 form against the portable one, sample for sample and bit for bit,
// through glides (a new set of gains every 480 samples, as the engine gives
// them) and settled stretches: speech, random values, silence, full scale
// and denormal values, in the engine's flush-to-zero mode.
TEST(FirVector, MatchesThePortableFormBitForBit) {
  if (orvane_nnet_path() == ORV_NNET_BASELINE) GTEST_SKIP() << "no AVX2 here";
  const std::vector<float>& voice = test::voiceRecordings()[1];
  std::mt19937 rng(4);
  std::uniform_real_distribution<float> unit(-1.f, 1.f);
  std::vector<float> x(6000);
  for (std::size_t i = 0; i < x.size(); ++i) {
    const int kind = static_cast<int>(i / 1200);
    x[i] = kind == 0   ? voice[i % voice.size()]
           : kind == 1 ? unit(rng)
           : kind == 2 ? 0.f
           : kind == 3 ? (unit(rng) < 0 ? -4.f : 4.f)
                       : 1e-39f * unit(rng);
  }
  auto run = [&](OrvNnetPath path) {
    orvane_nnet_select(path);
    const ScopedFlushDenormals ftz;
    std::mt19937 gainRng(8);
    std::uniform_real_distribution<float> gain(0.f, 1.f);
    NeuralFir fir;
    fir.reset();
    std::vector<float> y(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
      if (i % 480 == 0 && i % 2400 != 960) {  // one frame without an update: taps settle
        Gains g;
        for (auto& v : g) v = gain(gainRng);
        fir.update(basis(), g);
      }
      y[i] = fir.process(x[i]);
    }
    return y;
  };
  const std::vector<float> portable = run(ORV_NNET_BASELINE), wide = run(ORV_NNET_AVX2);
  EXPECT_EQ(test::bitsOf(portable), test::bitsOf(wide));
}

}  // namespace
}  // namespace orvane
