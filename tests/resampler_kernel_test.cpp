#include "engine/resampler_kernel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <vector>

#include "denoiser/nnet_kernels.h"
#include "engine/avx2_kernels.h"
#include "engine/fp_mode.h"
#include "engine_harness.h"
#include "support/speech.h"

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

// A read in three steps (positions split, rows from the cache, sums of
// several reads at once), on the AVX2 and the portable path, against the
// portable read() bit for bit: at random stream positions, negative ones
// (the converter's start), large ones, the table's ends and positions that
// come back, also with a new weight for a phase within one group and across
// groups; in windows of speech, random values, silence, full scale and
// denormal values, in the engine's flush-to-zero mode.
TEST(ResamplerKernel, ReadsInStepsMatchThePortableRead) {
  ResamplerKernel k;
  k.prepare(0.94 * 44.1 / 48.0);
  const std::vector<float>& voice = test::voiceRecordings()[2];
  std::mt19937 rng(6);
  std::uniform_real_distribution<float> unit(-1.f, 1.f);
  constexpr int kReads = 45;  // not a multiple of the group or the vector width
  std::vector<double> t(kReads);
  for (int r = 0; r < kReads; ++r) {
    const double step = 1.0 / ResamplerKernel::kPhases;
    t[r] = r == 0   ? -1e-20
           : r == 1 ? 7 - 1e-17
           : r == 2 ? -40.25
           : r == 3 ? 0x1p40 + 0.375
           : r < 12 ? 3 + (300.05 + 0.1 * (r - 4)) * step  // one phase, eight weights
           : r < 20 ? t[r - 8]                             // the same positions again
           : r < 24 ? t[r - 8] + 1e-9                      // the same phases, new weights
                    : 1e4 * (1 + unit(rng));
  }
  // Windows in a ring of 64 samples holding sample -50 on; read 40's window
  // ends a sample past what is there, read 2's starts before -50.
  std::vector<double> highest(kReads);
  for (int r = 0; r < kReads; ++r)
    highest[r] = std::floor(t[r]) + (kTaps - 1 - kCentre) - (r == 40);
  std::vector<float> windows(kReads * kTaps);
  const ScopedFlushDenormals ftz;
  for (int kind = 0; kind < 5; ++kind) {
    for (std::size_t i = 0; i < windows.size(); ++i)
      windows[i] = kind == 0   ? voice[(i * 3) % voice.size()]
                   : kind == 1 ? unit(rng)
                   : kind == 2 ? 0.f
                   : kind == 3 ? (unit(rng) < 0 ? -4.f : 4.f)
                               : 1e-39f * unit(rng);
    ASSERT_TRUE(orvane_nnet_select(ORV_NNET_BASELINE));
    std::vector<float> expected(kReads);
    for (int r = 0; r < kReads; ++r)
      expected[r] = k.read(t[r] - std::floor(t[r]), windows.data() + r * kTaps);
    for (OrvNnetPath path : {ORV_NNET_AVX2, ORV_NNET_BASELINE}) {
      if (!orvane_nnet_select(path)) continue;
      std::vector<float> got(kReads);
      for (int g = 0; g < kReads; g += ResamplerKernel::kGroup) {
        const int size = std::min(ResamplerKernel::kGroup, kReads - g);
        int phase[ResamplerKernel::kGroup], slot[ResamplerKernel::kGroup],
            offsets[ResamplerKernel::kGroup];
        float mu[ResamplerKernel::kGroup];
        const float* rows[ResamplerKernel::kGroup];
        ResamplerKernel::Row spare[ResamplerKernel::kGroup];
        const bool inside = ResamplerKernel::locateMany(t.data() + g, size, 64, -50.0,
                                                        highest.data() + g, phase, mu, slot);
        auto holds = [&](int r) { return g <= r && r < g + size; };
        EXPECT_EQ(inside, !holds(2) && !holds(40)) << g << " " << path;
        for (int i = 0; i < size; ++i)
          ASSERT_EQ(slot[i], (static_cast<std::int64_t>(std::floor(t[g + i])) - kCentre) & 63)
              << g + i << " " << path;
        k.rowsFor(phase, mu, size, rows, spare);
        for (int i = 0; i < size; ++i) offsets[i] = (g + i) * kTaps;
        ResamplerKernel::dot(rows, windows.data(), offsets, got.data() + g, size);
      }
      EXPECT_EQ(test::bitsOf(expected), test::bitsOf(got)) << kind << " " << path;
    }
  }
}

// At 96 kHz and the other power-of-two ratios a chunk's reads take their
// slots from one vector pass over positions checked to lie exactly a step
// apart: the slots are those a single read finds, and one position off the
// stride or one window past what is there sends the chunk to the general
// reads.
TEST(ResamplerKernel, EvenPositionsGiveTheSlotsOfSingleReadsAndRefuseAnyDeparture) {
  if (!__builtin_cpu_supports("avx2")) GTEST_SKIP() << "no AVX2 here";
  constexpr int kReads = 45;  // a vector part and a tail
  for (double step : {0.25, 0.5, 2.0, 4.0}) {
    std::vector<double> t(kReads), highest(kReads);
    for (int i = 0; i < kReads; ++i) {
      t[i] = -40.75 + i * step;
      highest[i] = std::floor(t[i]) + (kTaps - 1 - kCentre);
    }
    int slot[kReads];
    ASSERT_TRUE(avx2::evenSlots(t.data(), kReads, step, 64, highest.data(), slot)) << step;
    for (int i = 0; i < kReads; ++i)
      ASSERT_EQ(slot[i], (static_cast<std::int64_t>(std::floor(t[i])) - kCentre) & 63) << i;
    for (int bad : {3, kReads - 1}) {
      std::vector<double> off = t, lower = highest;
      off[bad] += 1e-9;
      lower[bad] -= 1.0;
      EXPECT_FALSE(avx2::evenSlots(off.data(), kReads, step, 64, highest.data(), slot)) << bad;
      EXPECT_FALSE(avx2::evenSlots(t.data(), kReads, step, 64, lower.data(), slot)) << bad;
    }
  }
}

// The output positions, four at a time, are the divisions one at a time at
// every host rate, bit for bit: the product with the reciprocal is taken only
// where it is the same number.
TEST(ResamplerKernel, StreamTimesAreTheDivisionsAtEveryRate) {
  if (!__builtin_cpu_supports("avx2")) GTEST_SKIP() << "no AVX2 here";
  constexpr int kCount = 1001;  // a vector part and a tail
  for (double rate : {8000.0, 11025.0, 12000.0, 22050.0, 24000.0, 44100.0, 88200.0, 96000.0,
                      176400.0, 192000.0}) {
    const double r = rate / 48000.0;
    for (double first : {0.0, 12345.0, 987654321.0}) {
      std::vector<double> times(kCount);
      avx2::streamTimes(first, r, 37.25, kCount, times.data());
      for (int i = 0; i < kCount; ++i)
        ASSERT_EQ(times[i], (first + i) / r - 37.25) << rate << " " << first << " " << i;
    }
  }
}

}  // namespace
}  // namespace orvane
