#include "engine/resampler_kernel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

namespace orvane {
namespace {

constexpr double kPi = 3.14159265358979323846;

// The windowed sinc evaluated directly in double precision at distance d,
// before normalisation.
double referenceWeight(double cutoff, double d) {
  if (std::fabs(d) >= 16.0) return 0.0;
  const double a = kPi * cutoff * d;
  const double sinc = std::fabs(a) < 1e-10 ? 1.0 : std::sin(a) / a;
  return (0.5 + 0.5 * std::cos(kPi * d / 16.0)) * cutoff * sinc;
}

TEST(ResamplerKernel, EveryRowHasUnityDcGain) {
  for (double cutoff : {0.94, 0.94 * 48.0 / 192.0, 0.94 * 8.0 / 48.0, 0.5}) {
    ResamplerKernel k;
    k.prepare(cutoff);
    ASSERT_EQ(k.rows.size(), std::size_t(ResamplerKernel::kRows));
    for (int p = 0; p < ResamplerKernel::kRows; ++p) {
      const double sum = std::accumulate(k.rows[p].begin(), k.rows[p].end(), 0.0);
      ASSERT_NEAR(sum, 1.0, 1e-6) << "cutoff " << cutoff << " row " << p;
    }
  }
}

TEST(ResamplerKernel, RowZeroIsSymmetricAndRow1024IsRowZeroShifted) {
  ResamplerKernel k;
  k.prepare(0.94);
  const auto& r0 = k.rows[0];
  const auto& r1024 = k.rows[ResamplerKernel::kPhases];
  for (int t = 1; t <= 15; ++t) EXPECT_EQ(r0[15 - t], r0[15 + t]) << t;
  EXPECT_EQ(r0[31], 0.0f);
  EXPECT_EQ(*std::max_element(r0.begin(), r0.end()), r0[15]);
  EXPECT_EQ(r1024[0], 0.0f);
  for (int t = 1; t < ResamplerKernel::kTaps; ++t) EXPECT_EQ(r1024[t], r0[t - 1]) << t;
}

// Interpolated reads against the kernel evaluated directly at the position:
// the 1024-row table with linear interpolation must stay within 1e-5.
TEST(ResamplerKernel, ReadsMatchTheDirectKernel) {
  for (double cutoff : {0.94, 0.235}) {
    ResamplerKernel k;
    k.prepare(cutoff);
    float window[ResamplerKernel::kTaps];
    for (int i = 0; i < ResamplerKernel::kTaps; ++i) window[i] = std::sin(0.7 * i) + 0.3f * (i % 3);
    for (double frac : {0.0, 0.1234, 0.5, 0.77777, 0.99951}) {
      double direct = 0.0, sum = 0.0;
      for (int i = 0; i < ResamplerKernel::kTaps; ++i) {
        const double w = referenceWeight(cutoff, frac - (i - 15));
        direct += w * window[i];
        sum += w;
      }
      EXPECT_NEAR(k.read(frac, window), direct / sum, 1e-5) << cutoff << " " << frac;
    }
  }
}

TEST(ResamplerKernel, ConstantStreamReadsAsItself) {
  ResamplerKernel k;
  k.prepare(0.94);
  float ones[ResamplerKernel::kTaps];
  std::fill(std::begin(ones), std::end(ones), 1.0f);
  EXPECT_NEAR(k.read(0.0, ones), 1.0f, 2e-7f);
  EXPECT_NEAR(k.read(0.37, ones), 1.0f, 2e-6f);
}

TEST(ResamplerKernel, PrepareReplacesTheTable) {
  ResamplerKernel a, b;
  a.prepare(0.94);
  a.prepare(0.3);
  b.prepare(0.3);
  ASSERT_EQ(a.rows.size(), std::size_t(ResamplerKernel::kRows));
  EXPECT_EQ(a.rows, b.rows);
}

}  // namespace
}  // namespace orvane
