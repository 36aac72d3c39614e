#include "engine/resampler_kernel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

namespace orvane {
namespace {

constexpr double kPi = 3.14159265358979323846;

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

TEST(ResamplerKernel, RowZeroIsSymmetricAndRow1024IsRowZeroShifted) {
  ResamplerKernel k;
  k.prepare(0.94);
  const auto& r0 = k.rows()[0];
  const auto& r1024 = k.rows()[ResamplerKernel::kPhases];
  for (int t = 1; t <= 15; ++t) EXPECT_EQ(r0[15 - t], r0[15 + t]) << t;
  EXPECT_EQ(*std::max_element(r0.begin(), r0.end()), r0[15]);
  EXPECT_EQ(r1024[0], 0.0f);
  for (int t = 1; t < ResamplerKernel::kTaps; ++t) EXPECT_EQ(r1024[t], r0[t - 1]) << t;
}

// Interpolated reads against the Hann-windowed sinc evaluated directly in
// double precision at the read position and normalised there: the table of
// 1024 rows with linear interpolation stays within 1e-5. A constant stream
// reads as itself.
TEST(ResamplerKernel, ReadsMatchTheDirectKernel) {
  for (double cutoff : {0.94, 0.235}) {
    ResamplerKernel k;
    k.prepare(cutoff);
    float window[ResamplerKernel::kTaps], ones[ResamplerKernel::kTaps];
    for (int i = 0; i < ResamplerKernel::kTaps; ++i) {
      window[i] = std::sin(0.7 * i) + 0.3f * (i % 3);
      ones[i] = 1.0f;
    }
    for (double frac : {0.0, 0.1234, 0.5, 0.77777, 0.99951}) {
      double direct = 0.0, sum = 0.0;
      for (int i = 0; i < ResamplerKernel::kTaps; ++i) {
        const double d = frac - (i - 15), a = kPi * cutoff * d;
        const double w = std::fabs(d) >= 16.0 ? 0.0
                                              : (0.5 + 0.5 * std::cos(kPi * d / 16.0)) * cutoff *
                                                    (std::fabs(a) < 1e-10 ? 1.0 : std::sin(a) / a);
        direct += w * window[i];
        sum += w;
      }
      EXPECT_NEAR(k.read(frac, window), direct / sum, 1e-5) << cutoff << " " << frac;
      EXPECT_NEAR(k.read(frac, ones), 1.0f, 2e-6f) << cutoff << " " << frac;
    }
  }
}

}  // namespace
}  // namespace orvane
