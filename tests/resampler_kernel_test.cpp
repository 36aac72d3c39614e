#include "engine/resampler_kernel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace orvane {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kTaps = ResamplerKernel::kTaps, kCentre = ResamplerKernel::kCentreTap;

TEST(ResamplerKernel, EveryRowHasUnityDcGainAndASecondPrepareReplacesTheTable) {
  ResamplerKernel k, fresh;
  for (double cutoff : {0.94, 0.94 * 48.0 / 192.0, 0.94 * 8.0 / 48.0}) {
    k.prepare(cutoff);
    ASSERT_EQ(k.rows().size(), std::size_t(ResamplerKernel::kRows));
    for (const auto& row : k.rows())
      ASSERT_NEAR(std::accumulate(row.begin(), row.end(), 0.0), 1.0, 1e-6);
  }
  fresh.prepare(0.94 * 8.0 / 48.0);
  EXPECT_EQ(k.rows(), fresh.rows());
}

// Position 0 weighs the centre sample most and both sides alike; the closing
// row is the first one a sample further on, so reads are continuous across
// whole samples.
TEST(ResamplerKernel, RowsAreSymmetricAndContinuousAcrossWholeSamples) {
  ResamplerKernel k;
  k.prepare(0.94);
  const auto& r0 = k.rows()[0];
  const auto& last = k.rows()[ResamplerKernel::kPhases];
  for (int t = 1; t <= kCentre; ++t) EXPECT_EQ(r0[kCentre - t], r0[kCentre + t]) << t;
  EXPECT_EQ(*std::max_element(r0.begin(), r0.end()), r0[kCentre]);
  EXPECT_EQ(last[0], 0.0f);
  for (int t = 1; t < kTaps; ++t) EXPECT_EQ(last[t], r0[t - 1]) << t;
}

// Read between samples of a sinusoid, the kernel gives the sinusoid at that
// position when its frequency is well inside the pass band, and next to
// nothing when it is well beyond the cut-off (frequencies as fractions of
// the stream's Nyquist frequency).
TEST(ResamplerKernel, PassesBelowTheCutoffAndStopsAbove) {
  struct Case {
    double cutoff, pass, stop;
  };
  for (const Case c : {Case{0.94, 0.6, 0.0}, Case{0.235, 0.1, 0.5}, Case{0.157, 0.05, 0.4}}) {
    ResamplerKernel k;
    k.prepare(c.cutoff);
    float window[kTaps];
    for (double phase : {0.0, 1.0, 2.5})
      for (double frac : {0.0, 0.1234, 0.5, 0.77777, 0.99951}) {
        auto read = [&](double f) {
          for (int i = 0; i < kTaps; ++i) window[i] = std::cos(kPi * f * (i - kCentre) + phase);
          return k.read(frac, window);
        };
        EXPECT_NEAR(read(c.pass), std::cos(kPi * c.pass * frac + phase), 0.01)
            << c.cutoff << " " << frac;
        EXPECT_NEAR(c.stop > 0 ? read(c.stop) : 0.0, 0.0, 0.01) << c.cutoff << " " << frac;
      }
  }
}

// Between two tabulated positions a read moves in a straight line from one
// to the other: any position is read, not only the nearest tabulated one.
TEST(ResamplerKernel, ReadsInterpolateBetweenTabulatedPositions) {
  ResamplerKernel k;
  k.prepare(0.94);
  float window[kTaps];
  for (int i = 0; i < kTaps; ++i) window[i] = std::sin(0.7 * i) + 0.3f * (i % 3);
  const double step = 1.0 / ResamplerKernel::kPhases;
  for (int p : {0, 1, 137, 512, 1022}) {
    const float a = k.read(p * step, window), b = k.read((p + 1) * step, window);
    EXPECT_NE(a, b) << p;
    EXPECT_NEAR(k.read((p + 0.25) * step, window), 0.75 * a + 0.25 * b, 1e-6) << p;
  }
}

}  // namespace
}  // namespace orvane
