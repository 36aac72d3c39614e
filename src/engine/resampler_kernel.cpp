#include "engine/resampler_kernel.h"

#include <cmath>
#include <cstring>

#include "engine/avx2_kernels.h"

#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

namespace orvane {

namespace {
constexpr double kPi = 3.14159265358979323846;
// Half the kernel span in source samples: the Hann window reaches zero here.
constexpr double kHalfSpan = 16.0;
// Marks an empty cache entry: a NaN, which no weight mu is.
constexpr std::uint32_t kNoRow = 0xFFFFFFFFu;

// The sum of row[k] * window[k] in eight running sums (tap k feeds sum
// k mod 8), added pairwise at the end: a fixed order, the same in the vector
// and the scalar form.
float portableDot(const float* row, const float* window) noexcept {
#if defined(__SSE__) || defined(_M_X64)
  __m128 low = _mm_setzero_ps(), high = _mm_setzero_ps();  // sums 0..3 and 4..7
  for (int k = 0; k < ResamplerKernel::kTaps; k += 8) {
    low = _mm_add_ps(low, _mm_mul_ps(_mm_loadu_ps(row + k), _mm_loadu_ps(window + k)));
    high = _mm_add_ps(high, _mm_mul_ps(_mm_loadu_ps(row + k + 4), _mm_loadu_ps(window + k + 4)));
  }
  float pairs[4];
  _mm_storeu_ps(pairs, _mm_add_ps(low, high));
  return (pairs[0] + pairs[1]) + (pairs[2] + pairs[3]);
#else
  float acc[8] = {};
  for (int k = 0; k < ResamplerKernel::kTaps; k += 8)
    for (int j = 0; j < 8; ++j) acc[j] += row[k + j] * window[k + j];
  return ((acc[0] + acc[4]) + (acc[1] + acc[5])) + ((acc[2] + acc[6]) + (acc[3] + acc[7]));
#endif
}

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
  std::vector<CachedRow> cache(kPhases);
  std::vector<std::uint32_t> muBits(kPhases, kNoRow);
  rows_.swap(table);
  cache_.swap(cache);
  muBits_.swap(muBits);
}

float ResamplerKernel::read(double frac, const float* window) const noexcept {
  const double x = frac * kPhases;
  int p = static_cast<int>(x);
  if (p > kPhases - 1) p = kPhases - 1;
  Row row;
  interpolate(p, static_cast<float>(x - p), row.data());
  const float* const rowPointer = row.data();
  const int offset = 0;
  float out;
  dot(&rowPointer, window, &offset, &out, 1);
  return out;
}

bool ResamplerKernel::locateMany(const double* t, int count, int ringSize, double lowest,
                                 const double* highest, int* phase, float* mu, int* slot) noexcept {
  int i = 0;
  bool inside = true;
  if (avx2::available())
    i = avx2::resamplerLocate(t, count, ringSize, lowest, highest, phase, mu, slot, inside);
  for (; i < count; ++i) {
    // floor() without a library call, exact for |t| < 2^63.
    std::int64_t w = static_cast<std::int64_t>(t[i]);  // toward zero
    if (double(w) > t[i]) --w;
    // read() at the fraction past the whole sample: t - floor(t) is exact.
    const double x = (t[i] - double(w)) * kPhases;
    int p = static_cast<int>(x);
    if (p > kPhases - 1) p = kPhases - 1;  // a fraction that rounded up to 1
    phase[i] = p;
    mu[i] = static_cast<float>(x - p);
    const std::int64_t first = w - kCentreTap;
    inside &= (double(first) >= lowest) & (double(first + kTaps - 1) <= highest[i]);
    slot[i] = static_cast<int>(first & (ringSize - 1));
  }
  return inside;
}

void ResamplerKernel::interpolate(int phase, float mu, float* out) const noexcept {
  const float* a = rows_[phase].data();
  const float* b = rows_[phase + 1].data();
  for (int k = 0; k < kTaps; ++k) out[k] = a[k] + (b[k] - a[k]) * mu;
}

void ResamplerKernel::rowsFor(const int* phase, const float* mu, int count, const float** rows,
                              Row* spare) noexcept {
  // A row depends on nothing but (phase, mu), and the cache computes it with
  // read()'s own operations, so a cached row is the row read() would use. At
  // a rational rate ratio the same few positions recur: 160 at 44.1 kHz, two
  // at 96 kHz.
  static_assert(sizeof(CachedRow) == avx2::kCacheEntryBytes);
  if (avx2::available() &&
      avx2::resamplerCachedRows(phase, mu, count, muBits_.data(),
                                reinterpret_cast<const char*>(cache_.data()), rows))
    return;
  for (int i = 0; i < count; ++i) {
    std::uint32_t bits;
    std::memcpy(&bits, &mu[i], sizeof bits);
    float* entry = cache_[phase[i]].weights.data();
    if (muBits_[phase[i]] != bits) {
      // The entry may already be in rows[] with another weight: then it
      // stays as it is.
      bool handedOut = false;
      for (int j = 0; j < i; ++j) handedOut |= phase[j] == phase[i];
      if (handedOut) {
        entry = spare[i].data();
      } else {
        muBits_[phase[i]] = bits;
      }
      interpolate(phase[i], mu[i], entry);
    }
    rows[i] = entry;
  }
}

void ResamplerKernel::dot(const float* const* rows, const float* windows, const int* offsets,
                          float* out, int count) noexcept {
  if (avx2::available()) {
    avx2::resamplerDots(rows, windows, offsets, out, count);
    return;
  }
  for (int i = 0; i < count; ++i) out[i] = portableDot(rows[i], windows + offsets[i]);
}

}  // namespace orvane
