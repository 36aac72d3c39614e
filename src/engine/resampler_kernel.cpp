#include "engine/resampler_kernel.h"

#include <cmath>

#include "engine/avx2_kernels.h"

#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

namespace orvane {

namespace {
constexpr double kPi = 3.14159265358979323846;
// Half the kernel span in source samples: the Hann window reaches zero here.
constexpr double kHalfSpan = 16.0;
}  // namespace

void ResamplerKernel::prepare(double cutoff) {
  // Built aside and swapped in, so a failed allocation leaves the old table.
  std::vector<Row> table(kRows);
  for (int p = 0; p < kRows; ++p) {
    const double f = double(p) / kPhases;
    double weights[kTaps];
    double sum = 0.0;
    for (int k = 0; k < kTaps; ++k) {
      // Distance from the interpolated position to the tap's sample.
      const double d = f - (k - kCentreTap);
      double w = 0.0;
      if (std::fabs(d) < kHalfSpan) {
        const double arg = kPi * cutoff * d;
        const double sinc = std::fabs(arg) < 1e-10 ? 1.0 : std::sin(arg) / arg;
        const double window = 0.5 + 0.5 * std::cos(kPi * d / kHalfSpan);
        w = window * cutoff * sinc;
      }
      weights[k] = w;
      sum += w;
    }
    // Unity gain at DC for every position: each stored weight is the float
    // weight widened and divided by the row's double sum.
    for (int k = 0; k < kTaps; ++k)
      table[p][k] = static_cast<float>(double(static_cast<float>(weights[k])) / sum);
  }
  rows_.swap(table);
}

float ResamplerKernel::read(double frac, const float* window) const noexcept {
  const double x = frac * kPhases;
  int p = static_cast<int>(x);
  if (p > kPhases - 1) p = kPhases - 1;
  const float mu = static_cast<float>(x - p);
  const float* a = rows_[p].data();
  const float* b = rows_[p + 1].data();
  if (avx2::available()) return avx2::resamplerRead(a, b, mu, window);
    // Eight running sums (tap k feeds sum k mod 8), added pairwise at the end:
    // a fixed order, the same in the vector and the scalar form.
#if defined(__SSE__) || defined(_M_X64)
  const __m128 m = _mm_set1_ps(mu);
  __m128 low = _mm_setzero_ps(), high = _mm_setzero_ps();  // sums 0..3 and 4..7
  for (int k = 0; k < kTaps; k += 8) {
    const __m128 a0 = _mm_loadu_ps(a + k), a1 = _mm_loadu_ps(a + k + 4);
    const __m128 h0 = _mm_add_ps(a0, _mm_mul_ps(_mm_sub_ps(_mm_loadu_ps(b + k), a0), m));
    const __m128 h1 = _mm_add_ps(a1, _mm_mul_ps(_mm_sub_ps(_mm_loadu_ps(b + k + 4), a1), m));
    low = _mm_add_ps(low, _mm_mul_ps(h0, _mm_loadu_ps(window + k)));
    high = _mm_add_ps(high, _mm_mul_ps(h1, _mm_loadu_ps(window + k + 4)));
  }
  float pairs[4];
  _mm_storeu_ps(pairs, _mm_add_ps(low, high));
  return (pairs[0] + pairs[1]) + (pairs[2] + pairs[3]);
#else
  float acc[8] = {};
  for (int k = 0; k < kTaps; k += 8) {
    for (int j = 0; j < 8; ++j) {
      const float h = a[k + j] + (b[k + j] - a[k + j]) * mu;
      acc[j] += h * window[k + j];
    }
  }
  return ((acc[0] + acc[4]) + (acc[1] + acc[5])) + ((acc[2] + acc[6]) + (acc[3] + acc[7]));
#endif
}

void ResamplerKernel::readMany(const double* fracs, const float* const* windows, float* out,
                               int count) const noexcept {
  int i = 0;
  if (avx2::available()) {
    for (; i + 4 <= count; i += 4) {
      const float* a[4];
      const float* b[4];
      float mu[4];
      for (int k = 0; k < 4; ++k) {
        const double x = fracs[i + k] * kPhases;
        int p = static_cast<int>(x);
        if (p > kPhases - 1) p = kPhases - 1;
        mu[k] = static_cast<float>(x - p);
        a[k] = rows_[p].data();
        b[k] = rows_[p + 1].data();
      }
      avx2::resamplerReadFour(a, b, mu, windows + i, out + i);
    }
  }
  for (; i < count; ++i) out[i] = read(fracs[i], windows[i]);
}

}  // namespace orvane
