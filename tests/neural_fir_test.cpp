#include "engine/neural_fir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace orvane {
namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<float> randomSignal(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  std::vector<float> x(n);
  for (auto& v : x) v = u(rng);
  return x;
}

const NeuralFirBasis& basis() {
  static const auto b = [] {
    auto p = std::make_unique<NeuralFirBasis>();
    p->prepare();
    return p;
  }();
  return *b;
}

// The taps a filter settles on after its last update, read from its impulse
// response (tap t is the output 95 + t samples after a unit impulse, exactly)
// on a copy, once the glide has come to rest (0.9^300 is far below rounding).
std::array<float, kFirHalfTaps> settledTaps(const NeuralFir& fir) {
  NeuralFir probe = fir;
  for (int i = 0; i < 300; ++i) probe.process(0.0f);
  std::array<float, kFirHalfTaps> taps{};
  for (int n = 0; n < kFirDelay + kFirHalfTaps; ++n) {
    const float y = probe.process(n == 0 ? 1.0f : 0.0f);
    if (n >= kFirDelay) taps[n - kFirDelay] = y;
  }
  return taps;
}

// Magnitude of the symmetric filter at bin k of the 960-point spectrum.
double responseAtBin(const std::array<float, kFirHalfTaps>& taps, int k) {
  double h = taps[0];
  for (int n = 1; n < kFirHalfTaps; ++n) h += 2.0 * taps[n] * std::cos(2.0 * kPi * k * n / 960.0);
  return h;
}

// Independent double-precision design: the piecewise-linear gain curve over
// bins 0..480, inverse real DFT of length 960, taper window.
std::array<double, kFirHalfTaps> referenceTaps(const std::array<float, kNeuralBands>& g) {
  std::array<double, kFirHalfTaps> taps{};
  for (int k = 0; k <= 480; ++k) {
    double gain;
    if (k <= kBandAnchorBins[0]) {
      gain = g[0];
    } else if (k >= kBandAnchorBins[31]) {
      gain = g[31];
    } else {
      int b = 0;
      while (kBandAnchorBins[b + 1] < k) ++b;
      const double f =
          double(k - kBandAnchorBins[b]) / (kBandAnchorBins[b + 1] - kBandAnchorBins[b]);
      gain = (1 - f) * g[b] + f * g[b + 1];
    }
    const double s = (k == 0 || k == 480 ? 1.0 : 2.0) / 960.0;
    for (int n = 0; n < kFirHalfTaps; ++n)
      taps[n] += gain * s * std::cos(2.0 * kPi * k * n / 960.0);
  }
  for (int n = 0; n < kFirHalfTaps; ++n) taps[n] *= 0.9 + 0.1 * std::cos(kPi * n / 95.0);
  return taps;
}

TEST(FirDelay, ResetIsAnExact95SampleDelay) {
  NeuralFir fir;
  fir.reset();
  const auto x = randomSignal(2000, 1);
  for (std::size_t n = 0; n < x.size(); ++n)
    ASSERT_EQ(fir.process(x[n]), n >= 95 ? x[n - 95] : 0.0f) << n;
}

TEST(FirDelay, UnityGainsKeepTheDelay) {
  NeuralFir fir;
  fir.reset();
  std::array<float, kNeuralBands> ones;
  ones.fill(1.0f);
  fir.update(basis(), ones);
  const auto taps = settledTaps(fir);
  EXPECT_NEAR(taps[0], 1.0f, 1e-5f);
  for (int n = 1; n < kFirHalfTaps; ++n) EXPECT_NEAR(taps[n], 0.0f, 1e-6f) << n;

  const auto x = randomSignal(3000, 2);
  for (std::size_t n = 0; n < x.size(); ++n) {
    const float want = n >= 95 ? x[n - 95] : 0.0f;
    ASSERT_NEAR(fir.process(x[n]), want, 2e-5f) << n;
  }
}

TEST(FirDelay, EqualGainsScaleTheImpulse) {
  for (float g : {0.0f, 0.3f, 0.77f}) {
    NeuralFir fir;
    fir.reset();
    std::array<float, kNeuralBands> gains;
    gains.fill(g);
    fir.update(basis(), gains);
    // Let the taps glide to the target (0.9^300 is far below rounding), then
    // an impulse must come out scaled by g after 95 samples.
    for (int i = 0; i < 300; ++i) fir.process(0.0f);
    std::vector<float> y(400);
    for (std::size_t n = 0; n < y.size(); ++n) y[n] = fir.process(n == 0 ? 1.0f : 0.0f);
    for (std::size_t n = 0; n < y.size(); ++n)
      EXPECT_NEAR(y[n], n == 95 ? g : 0.0f, 2e-6f) << "g " << g << " n " << n;
  }
}

TEST(FirGlide, TapsMoveATenthOfTheWayPerSample) {
  NeuralFir fir;
  fir.reset();
  for (int i = 0; i < 300; ++i) ASSERT_EQ(fir.process(1.0f), i >= 95 ? 1.0f : 0.0f);
  std::array<float, kNeuralBands> zeros{};
  fir.update(basis(), zeros);
  // The taps glide before use: the first output is already 0.9, then 0.81, ...
  float expected = 1.0f;
  for (int m = 1; m <= 60; ++m) {
    expected *= 0.9f;
    EXPECT_NEAR(fir.process(1.0f), expected, 1e-5f) << m;
  }
}

TEST(FirResponse, DesignMatchesDoublePrecisionReference) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  for (int trial = 0; trial < 5; ++trial) {
    std::array<float, kNeuralBands> gains;
    for (auto& g : gains) g = u(rng);
    NeuralFir fir;
    fir.reset();
    fir.update(basis(), gains);
    const auto ref = referenceTaps(gains);
    const auto taps = settledTaps(fir);
    for (int n = 0; n < kFirHalfTaps; ++n) EXPECT_NEAR(taps[n], ref[n], 2e-6) << n;
  }
}

TEST(FirResponse, TopBandAloneIsAHighShelfAbove317Bins) {
  std::array<float, kNeuralBands> gains{};
  gains[31] = 1.0f;
  NeuralFir fir;
  fir.reset();
  fir.update(basis(), gains);
  const auto taps = settledTaps(fir);
  // Ideal curve: 0 up to bin 317, a linear ramp to 1 at bin 356, 1 up to 480;
  // the 191-tap truncation and window smooth the corners a little.
  for (int k = 0; k <= 290; ++k) EXPECT_NEAR(responseAtBin(taps, k), 0.0, 0.02) << k;
  for (int k = 330; k <= 343; ++k) EXPECT_NEAR(responseAtBin(taps, k), (k - 317) / 39.0, 0.05) << k;
  for (int k = 385; k <= 480; ++k) EXPECT_NEAR(responseAtBin(taps, k), 1.0, 0.02) << k;
}

TEST(FirFiltering, SymmetricSumMatchesDirectConvolution) {
  std::array<float, kNeuralBands> gains;
  std::mt19937 rng(4);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  for (auto& g : gains) g = u(rng);
  NeuralFir fir;
  fir.reset();
  fir.update(basis(), gains);
  const auto taps = settledTaps(fir);
  const auto x = randomSignal(4000, 5);
  std::vector<float> y(x.size());
  for (std::size_t n = 0; n < x.size(); ++n) y[n] = fir.process(x[n]);
  // By sample 1000 the glide has settled; compare with a direct 191-tap
  // convolution in double precision using the settled taps.
  for (std::size_t n = 1000; n < x.size(); ++n) {
    double ref = 0;
    for (int d = 0; d <= 190; ++d) ref += double(taps[std::abs(d - 95)]) * x[n - d];
    ASSERT_NEAR(y[n], ref, 1e-5) << n;
  }
}

TEST(FirCounter, WrapsWithoutADiscontinuity) {
  // The same signal through a filter whose counter crosses 2^32 and one that
  // starts at 0 must give identical output: the ring position stays continuous.
  std::array<float, kNeuralBands> gains;
  for (int b = 0; b < kNeuralBands; ++b) gains[b] = 0.2f + 0.02f * b;
  NeuralFir wrapping, plain;
  wrapping.reset(0xFFFFFFFFu - 299u);
  plain.reset();
  const auto x = randomSignal(1500, 6);
  for (std::size_t n = 0; n < x.size(); ++n) {
    if (n == 100) {
      wrapping.update(basis(), gains);
      plain.update(basis(), gains);
    }
    ASSERT_EQ(wrapping.process(x[n]), plain.process(x[n])) << n;
  }
}

}  // namespace
}  // namespace orvane
