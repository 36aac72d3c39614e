#include "engine/avx2_kernels.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "denoiser/nnet_kernels.h"
#include "engine/neural_fir.h"
#include "engine/resampler_kernel.h"

namespace orvane::avx2 {

bool available() noexcept {
  return orvane_nnet_path() != ORV_NNET_BASELINE;
}

namespace {

// Sums 0..3 and 4..7 of the SSE form sit in the low and high halves of one
// vector; returns (s0 + s1) + (s2 + s3) of their sum, as the SSE form does.
inline float pairwise(__m256 acc) noexcept {
  const __m128 pairs = _mm_add_ps(_mm256_castps256_ps128(acc), _mm256_extractf128_ps(acc, 1));
  float p[4];
  _mm_storeu_ps(p, pairs);
  return (p[0] + p[1]) + (p[2] + p[3]);
}

// The ring slots of four windows' first samples: first - floor(first / size)
// * size, exact for whole numbers below 2^53.
inline __m128i ringSlots(__m256d first, __m256d size, __m256d perSize) noexcept {
  const __m256d wraps = _mm256_floor_pd(_mm256_mul_pd(first, perSize));
  return _mm256_cvttpd_epi32(_mm256_sub_pd(first, _mm256_mul_pd(wraps, size)));
}

// Stores the eight reads' sums from their running sums: acc[i] holds read
// i's sums of taps k mod 8, which add as pairwise() adds them.
inline void storeSums(const __m256* acc, float* out) noexcept {
  // pairs[i]: sums 0..3 plus sums 4..7 of read i (low half) and of read
  // i + 4 (high half), as pairwise() adds them.
  __m256 pairs[4];
#pragma GCC unroll 4
  for (int i = 0; i < 4; ++i)
    pairs[i] = _mm256_add_ps(_mm256_permute2f128_ps(acc[i], acc[i + 4], 0x20),
                             _mm256_permute2f128_ps(acc[i], acc[i + 4], 0x31));
  // Transposed within each half, vector j holds pair j of every read:
  // (p0 + p1) + (p2 + p3) for all eight in three additions.
  const __m256 t0 = _mm256_unpacklo_ps(pairs[0], pairs[1]),
               t1 = _mm256_unpackhi_ps(pairs[0], pairs[1]);
  const __m256 t2 = _mm256_unpacklo_ps(pairs[2], pairs[3]),
               t3 = _mm256_unpackhi_ps(pairs[2], pairs[3]);
  const __m256 p0 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));
  const __m256 p1 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));
  const __m256 p2 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));
  const __m256 p3 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));
  _mm256_storeu_ps(out, _mm256_add_ps(_mm256_add_ps(p0, p1), _mm256_add_ps(p2, p3)));
}

// Eight reads at once: their sums run side by side instead of one after the
// other. Read i's row is row[i % Period] when Period is 1, 2 or 4, each
// loaded once for all eight; with Period 8, every read has its own.
template <int Period>
inline void dotEight(const float* const* row, const float* window, const int* offset,
                     float* out) noexcept {
  // Read i's eight running sums, tap k into sum k mod 8, each starting from
  // zero as the single read's do.
  // (Unrolled, so that the sums stay in registers.)
  __m256 acc[8];
#pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) acc[i] = _mm256_setzero_ps();
#pragma GCC unroll 4
  for (int k = 0; k < ResamplerKernel::kTaps; k += 8) {
    if constexpr (Period == 8) {
#pragma GCC unroll 8
      for (int i = 0; i < 8; ++i)
        acc[i] = _mm256_add_ps(acc[i], _mm256_mul_ps(_mm256_loadu_ps(row[i] + k),
                                                     _mm256_loadu_ps(window + offset[i] + k)));
    } else {
      __m256 taps[Period];
#pragma GCC unroll 4
      for (int p = 0; p < Period; ++p) taps[p] = _mm256_loadu_ps(row[p] + k);
#pragma GCC unroll 8
      for (int i = 0; i < 8; ++i)
        acc[i] = _mm256_add_ps(
            acc[i], _mm256_mul_ps(taps[i % Period], _mm256_loadu_ps(window + offset[i] + k)));
    }
  }
  storeSums(acc, out);
}

template <int Period>
void dotsOf(const float* const* row, const float* window, const int* offset, float* out,
            int count) noexcept {
  int i = 0;
  for (; i + 8 <= count; i += 8)
    dotEight<Period>(Period == 8 ? row + i : row, window, offset + i, out + i);
  if (i == count) return;
  // The last few as eight, the last read standing in for the missing ones:
  // each read's sums are its own, so the extra ones change nothing. (With a
  // shared row, the stand-ins' rows may be wrong; their sums are dropped.)
  const float* rows[8];
  int offsets[8];
  float sums[8];
  for (int k = 0; k < 8; ++k) {
    const int from = std::min(i + k, count - 1);
    rows[k] = row[Period == 8 ? from : k % Period];
    offsets[k] = offset[from];
  }
  dotEight<Period>(rows, window, offsets, sums);
  for (int k = 0; i + k < count; ++k) out[i + k] = sums[k];
}

}  // namespace

void resamplerDots(const float* const* row, const float* window, const int* offset, float* out,
                   int count) noexcept {
  dotsOf<8>(row, window, offset, out, count);
}

void resamplerDotsRepeating(const float* const* rows, int period, const float* window,
                            const int* offset, float* out, int count) noexcept {
  switch (period) {
    case 1:
      return dotsOf<1>(rows, window, offset, out, count);
    case 2:
      return dotsOf<2>(rows, window, offset, out, count);
    default:
      return dotsOf<4>(rows, window, offset, out, count);
  }
}

int resamplerLocate(const double* t, int count, int ringSize, double lowest, const double* highest,
                    int* phase, float* mu, int* slot, bool& inside) noexcept {
  // Each step is one IEEE operation on each lane, the same as the scalar
  // form's: floor (exact), t - floor(t) (exact), the scaling by 1024 (exact),
  // truncation, the clamp, and the subtraction rounded to float. Sample
  // indices are whole numbers below 2^53, so the bounds and the slot are
  // exact in double precision too.
  const __m256d phases = _mm256_set1_pd(ResamplerKernel::kPhases);
  const __m128i lastPhase = _mm_set1_epi32(ResamplerKernel::kPhases - 1);
  const __m256d centre = _mm256_set1_pd(ResamplerKernel::kCentreTap);
  const __m256d span = _mm256_set1_pd(ResamplerKernel::kTaps - 1);
  const __m256d low = _mm256_set1_pd(lowest), size = _mm256_set1_pd(ringSize),
                perSize = _mm256_set1_pd(1.0 / ringSize);
  __m256d outside = _mm256_setzero_pd();
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m256d v = _mm256_loadu_pd(t + i);
    const __m256d w = _mm256_floor_pd(v);
    const __m256d x = _mm256_mul_pd(_mm256_sub_pd(v, w), phases);
    const __m128i p = _mm_min_epi32(_mm256_cvttpd_epi32(x), lastPhase);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(phase + i), p);
    _mm_storeu_ps(mu + i, _mm256_cvtpd_ps(_mm256_sub_pd(x, _mm256_cvtepi32_pd(p))));
    const __m256d first = _mm256_sub_pd(w, centre);
    outside = _mm256_or_pd(outside, _mm256_cmp_pd(first, low, _CMP_LT_OQ));
    outside = _mm256_or_pd(outside, _mm256_cmp_pd(_mm256_add_pd(first, span),
                                                  _mm256_loadu_pd(highest + i), _CMP_GT_OQ));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(slot + i), ringSlots(first, size, perSize));
  }
  inside &= _mm256_movemask_pd(outside) == 0;
  return i;
}

bool resamplerCachedRows(const int* phase, const float* mu, int count, const std::uint32_t* muBits,
                         const char* cache, const float** rows) noexcept {
  static_assert(kCacheEntryBytes == 1 << 7);
  const __m256i base = _mm256_set1_epi64x(reinterpret_cast<std::intptr_t>(cache));
  __m256i miss = _mm256_setzero_si256();
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(phase + i));
    const __m256i cached =
        _mm256_i32gather_epi32(reinterpret_cast<const int*>(muBits), p, sizeof(std::uint32_t));
    miss = _mm256_or_si256(
        miss,
        _mm256_xor_si256(cached, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mu + i))));
    const __m256i low = _mm256_cvtepi32_epi64(_mm256_castsi256_si128(p));
    const __m256i high = _mm256_cvtepi32_epi64(_mm256_extracti128_si256(p, 1));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(rows + i),
                        _mm256_add_epi64(base, _mm256_slli_epi64(low, 7)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(rows + i + 4),
                        _mm256_add_epi64(base, _mm256_slli_epi64(high, 7)));
  }
  bool hit = _mm256_testz_si256(miss, miss) != 0;
  for (; i < count; ++i) {
    std::uint32_t bits;
    std::memcpy(&bits, &mu[i], sizeof bits);
    hit &= muBits[phase[i]] == bits;
    rows[i] = reinterpret_cast<const float*>(cache + std::ptrdiff_t(phase[i]) * kCacheEntryBytes);
  }
  return hit;
}

bool evenSlots(const double* t, int count, double step, int ringSize, const double* highest,
               int* slot) noexcept {
  constexpr double kReach = ResamplerKernel::kReach;
  const __m256d first = _mm256_set1_pd(t[0]), stride = _mm256_set1_pd(step),
                reach = _mm256_set1_pd(kReach),
                centre = _mm256_set1_pd(ResamplerKernel::kCentreTap),
                size = _mm256_set1_pd(ringSize), perSize = _mm256_set1_pd(1.0 / ringSize);
  __m256d k = _mm256_setr_pd(0.0, 1.0, 2.0, 3.0), bad = _mm256_setzero_pd();
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m256d v = _mm256_loadu_pd(t + i);
    const __m256d w = _mm256_floor_pd(v);
    bad = _mm256_or_pd(
        bad, _mm256_cmp_pd(v, _mm256_add_pd(first, _mm256_mul_pd(k, stride)), _CMP_NEQ_UQ));
    bad = _mm256_or_pd(
        bad, _mm256_cmp_pd(_mm256_add_pd(w, reach), _mm256_loadu_pd(highest + i), _CMP_NLE_UQ));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(slot + i),
                     ringSlots(_mm256_sub_pd(w, centre), size, perSize));
    k = _mm256_add_pd(k, _mm256_set1_pd(4.0));
  }
  bool even = _mm256_movemask_pd(bad) == 0;
  for (; i < count; ++i) {
    const double w = std::floor(t[i]);
    even &= t[i] == t[0] + i * step && w + kReach <= highest[i];
    slot[i] = static_cast<int>((static_cast<std::int64_t>(w) - ResamplerKernel::kCentreTap) &
                               (ringSize - 1));
  }
  return even;
}

int streamSchedule(double mStart, double r, double firstTap, double lastTap, int most,
                   double* times, double* readyAt, int* maker) noexcept {
  constexpr double kReach = ResamplerKernel::kReach;
  // mStart + b is exact (whole numbers below 2^53), as the scalar form's.
  const __m256d ratio = _mm256_set1_pd(r), low = _mm256_set1_pd(firstTap),
                last = _mm256_set1_pd(lastTap), reach = _mm256_set1_pd(kReach);
  __m256d m = _mm256_add_pd(_mm256_set1_pd(mStart), _mm256_setr_pd(0.0, 1.0, 2.0, 3.0));
  int b = 0;
  for (; b + 4 <= most; b += 4) {
    const __m256d t = _mm256_mul_pd(m, ratio);
    const __m256d ready = _mm256_max_pd(low, _mm256_ceil_pd(t));
    _mm256_storeu_pd(times + b, t);
    _mm256_storeu_pd(readyAt + b, _mm256_add_pd(ready, reach));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(maker + b),
                     _mm256_cvttpd_epi32(_mm256_sub_pd(ready, low)));
    // The times rise, so those within the chunk come first.
    const int within = _mm256_movemask_pd(_mm256_cmp_pd(t, last, _CMP_LE_OQ));
    if (within != 0xF) return b + __builtin_popcount(static_cast<unsigned>(within));
    m = _mm256_add_pd(m, _mm256_set1_pd(4.0));
  }
  for (; b < most; ++b) {
    const double t = (mStart + b) * r;
    if (!(t <= lastTap)) break;
    const double ready = std::max(firstTap, std::ceil(t));
    times[b] = t;
    readyAt[b] = ready + kReach;
    maker[b] = static_cast<int>(ready - firstTap);
  }
  return b;
}

void streamTimes(double first, double r, double offset, int count, double* out) noexcept {
  // first + i is exact (whole numbers below 2^53), as the scalar double(n).
  // x / r and x * (1 / r) are the same real number when 1 / r is exact, as
  // it is for a power of two, so they round alike; the product is the
  // cheaper of the two.
  int exponent = 0;
  const bool powerOfTwo = std::frexp(r, &exponent) == 0.5;
  const __m256d ratio = _mm256_set1_pd(r), reciprocal = _mm256_set1_pd(1.0 / r),
                shift = _mm256_set1_pd(offset);
  __m256d n = _mm256_add_pd(_mm256_set1_pd(first), _mm256_setr_pd(0.0, 1.0, 2.0, 3.0));
  int i = 0;
  if (powerOfTwo) {
    for (; i + 4 <= count; i += 4) {
      _mm256_storeu_pd(out + i, _mm256_sub_pd(_mm256_mul_pd(n, reciprocal), shift));
      n = _mm256_add_pd(n, _mm256_set1_pd(4.0));
    }
  } else {
    for (; i + 4 <= count; i += 4) {
      _mm256_storeu_pd(out + i, _mm256_sub_pd(_mm256_div_pd(n, ratio), shift));
      n = _mm256_add_pd(n, _mm256_set1_pd(4.0));
    }
  }
  for (; i < count; ++i) out[i] = (first + i) / r - offset;
}

void countsFrom(double base, const int* counts, int count, double* out) noexcept {
  // Whole stores, so that the kernel's four-wide loads of out take their
  // values straight from them rather than waiting for single ones to land.
  const __m256d start = _mm256_set1_pd(base);
  int i = 0;
  for (; i + 4 <= count; i += 4)
    _mm256_storeu_pd(out + i,
                     _mm256_add_pd(start, _mm256_cvtepi32_pd(_mm_loadu_si128(
                                              reinterpret_cast<const __m128i*>(counts + i)))));
  for (; i < count; ++i) out[i] = base + counts[i];
}

int convertedMix(const float* wet, const float* dry, MixValues mix, float* out, int count,
                 float& peak, bool& clip) noexcept {
  const __m256 absMask = _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF));
  const __m256 limit = _mm256_set1_ps(kSampleLimit), lowest = _mm256_set1_ps(-kSampleLimit),
               one = _mm256_set1_ps(1.0f),
               largest = _mm256_set1_ps(std::numeric_limits<float>::max());
  auto load = [&mix](const float* v, int i) {
    return mix.perSample ? _mm256_loadu_ps(v + i) : _mm256_set1_ps(v[0]);
  };
  __m256 top = _mm256_set1_ps(peak), clipMask = _mm256_setzero_ps();
  int k = 0;
  for (; k + 8 <= count; k += 8) {
    const __m256 d = _mm256_loadu_ps(dry + k), b = load(mix.bypass, k);
    __m256 o = _mm256_mul_ps(
        _mm256_add_ps(
            _mm256_mul_ps(_mm256_sub_ps(_mm256_loadu_ps(wet + k), d), load(mix.wetShare, k)), d),
        load(mix.gain, k));
    o = _mm256_add_ps(_mm256_mul_ps(o, _mm256_sub_ps(one, b)), _mm256_mul_ps(d, b));
    // Non-finite to 0, the rest clamped.
    const __m256 finite = _mm256_cmp_ps(_mm256_and_ps(o, absMask), largest, _CMP_LE_OQ);
    o = _mm256_and_ps(finite, _mm256_min_ps(_mm256_max_ps(o, lowest), limit));
    _mm256_storeu_ps(out + k, o);
    top = _mm256_max_ps(top, _mm256_and_ps(o, absMask));
    clipMask = _mm256_or_ps(clipMask, _mm256_cmp_ps(_mm256_and_ps(o, absMask), one, _CMP_GT_OQ));
  }
  if (k > 0) {
    float lanes[8];
    _mm256_storeu_ps(lanes, top);
    for (float v : lanes) peak = v > peak ? v : peak;
    clip |= _mm256_movemask_ps(clipMask) != 0;
  }
  return k;
}

float firSum(const float* centre, const float* taps) noexcept {
  const __m256i reverse = _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0);
  // x[95 + t] + x[95 - t] for taps t .. t + 7.
  auto pair = [centre, reverse](int t) {
    return _mm256_add_ps(_mm256_loadu_ps(centre + t),
                         _mm256_permutevar8x32_ps(_mm256_loadu_ps(centre - t - 7), reverse));
  };
  // Sums 0..7 and 8..15; tap 0, the centre, is not paired.
  __m256 acc0 = _mm256_blend_ps(_mm256_mul_ps(_mm256_loadu_ps(taps), pair(0)),
                                _mm256_set1_ps(taps[0] * centre[0]), 1);
  __m256 acc1 = _mm256_mul_ps(_mm256_loadu_ps(taps + 8), pair(8));
  for (int t = 16; t < kFirHalfTaps; t += 16) {
    acc0 = _mm256_add_ps(acc0, _mm256_mul_ps(_mm256_loadu_ps(taps + t), pair(t)));
    acc1 = _mm256_add_ps(acc1, _mm256_mul_ps(_mm256_loadu_ps(taps + t + 8), pair(t + 8)));
  }
  // (s0..3 + s8..11) + (s4..7 + s12..15), then pairwise.
  return pairwise(_mm256_add_ps(acc0, acc1));
}

bool firGlide(float* current, const float* target) noexcept {
  const __m256 tenth = _mm256_set1_ps(0.1f);
  __m256 moved = _mm256_setzero_ps();
  for (int t = 0; t < kFirHalfTaps; t += 8) {
    const __m256 c = _mm256_loadu_ps(current + t);
    const __m256 next =
        _mm256_add_ps(c, _mm256_mul_ps(_mm256_sub_ps(_mm256_loadu_ps(target + t), c), tenth));
    moved = _mm256_or_ps(moved, _mm256_cmp_ps(next, c, _CMP_NEQ_UQ));
    _mm256_storeu_ps(current + t, next);
  }
  return _mm256_movemask_ps(moved) != 0;
}

}  // namespace orvane::avx2
