#include "engine/vector_mix.h"

#include <algorithm>
#include <limits>

#include "engine/avx2_kernels.h"

#if defined(__SSE__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace orvane {

#if defined(__SSE__) || defined(_M_X64)
namespace {

// |v| <= largest finite float: false for NaN and infinities.
inline __m128 finiteMask(__m128 v, __m128 absMask) noexcept {
  return _mm_cmple_ps(_mm_and_ps(v, absMask), _mm_set1_ps(std::numeric_limits<float>::max()));
}

inline float largestLane(__m128 v) noexcept {
  float lanes[4];
  _mm_storeu_ps(lanes, v);
  return maxf(maxf(lanes[0], lanes[1]), maxf(lanes[2], lanes[3]));
}

}  // namespace
#endif

template <bool ApplyMix>
void finishRun(const float* wetIn, const float* dryIn, float* out, int count, float wetShare,
               float gain, float bypass, RunMeters& meters) noexcept {
  int k = 0;
#if defined(__SSE__) || defined(_M_X64)
  if (count >= 4) {
    const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    const __m128 limit = _mm_set1_ps(kSampleLimit), one = _mm_set1_ps(1.0f),
                 zero = _mm_setzero_ps();
    const __m128 share = _mm_set1_ps(wetShare), g = _mm_set1_ps(gain), b = _mm_set1_ps(bypass),
                 keep = _mm_set1_ps(1.0f - bypass);
    __m128 peak = _mm_set1_ps(meters.outPeak), reduced = zero, clipMask = zero, badMask = zero;
    for (; k + 4 <= count; k += 4) {
      const __m128 wet = _mm_loadu_ps(wetIn + k), dry = _mm_loadu_ps(dryIn + k);
      __m128 o = wet;
      if constexpr (ApplyMix) {
        o = _mm_mul_ps(_mm_add_ps(_mm_mul_ps(_mm_sub_ps(wet, dry), share), dry), g);
        o = _mm_add_ps(_mm_mul_ps(o, keep), _mm_mul_ps(dry, b));
      }
      const __m128 finite = finiteMask(o, absMask);
      badMask = _mm_or_ps(badMask, _mm_cmpeq_ps(finite, zero));
      o = _mm_or_ps(_mm_and_ps(finite, o), _mm_andnot_ps(finite, dry));
      const __m128 magnitude = _mm_min_ps(_mm_and_ps(o, absMask), limit);
      clipMask = _mm_or_ps(clipMask, _mm_cmpgt_ps(_mm_and_ps(o, absMask), one));
      _mm_storeu_ps(out + k, _mm_min_ps(_mm_max_ps(o, _mm_sub_ps(zero, limit)), limit));
      peak = _mm_max_ps(peak, magnitude);
      reduced =
          _mm_add_ps(reduced, _mm_max_ps(_mm_sub_ps(_mm_and_ps(dry, absMask), magnitude), zero));
    }
    meters.outPeak = largestLane(peak);
    float lanes[4];
    _mm_storeu_ps(lanes, reduced);
    meters.reductionSum += (double(lanes[0]) + lanes[1]) + (double(lanes[2]) + lanes[3]);
    meters.clip |= _mm_movemask_ps(clipMask) != 0;
    meters.fault |= _mm_movemask_ps(badMask) != 0;
  }
#endif
  for (; k < count; ++k) {
    const float o = ApplyMix ? mixSample(wetIn[k], dryIn[k], wetShare, gain, bypass) : wetIn[k];
    finishSample(o, dryIn[k], out[k], meters);
  }
}

template void finishRun<true>(const float*, const float*, float*, int, float, float, float,
                              RunMeters&) noexcept;
template void finishRun<false>(const float*, const float*, float*, int, float, float, float,
                               RunMeters&) noexcept;

namespace {

template <bool PerSample>
void convertedMix(const float* wet, const float* dry, MixValues mix, float* out, int count,
                  float& peak, bool& clip) noexcept {
  auto at = [](const float* v, int k) { return PerSample ? v[k] : v[0]; };
  int k = avx2::available() ? avx2::convertedMix(wet, dry, mix, out, count, peak, clip) : 0;
#if defined(__SSE__) || defined(_M_X64)
  if (count - k >= 4) {
    const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    const __m128 limit = _mm_set1_ps(kSampleLimit), lowest = _mm_set1_ps(-kSampleLimit),
                 one = _mm_set1_ps(1.0f);
    auto load = [](const float* v, int i) {
      return PerSample ? _mm_loadu_ps(v + i) : _mm_set1_ps(v[0]);
    };
    __m128 top = _mm_set1_ps(peak), clipMask = _mm_setzero_ps();
    for (; k + 4 <= count; k += 4) {
      const __m128 d = _mm_loadu_ps(dry + k), b = load(mix.bypass, k);
      __m128 o = _mm_mul_ps(
          _mm_add_ps(_mm_mul_ps(_mm_sub_ps(_mm_loadu_ps(wet + k), d), load(mix.wetShare, k)), d),
          load(mix.gain, k));
      o = _mm_add_ps(_mm_mul_ps(o, _mm_sub_ps(one, b)), _mm_mul_ps(d, b));
      o = _mm_and_ps(finiteMask(o, absMask), _mm_min_ps(_mm_max_ps(o, lowest), limit));
      _mm_storeu_ps(out + k, o);
      top = _mm_max_ps(top, _mm_and_ps(o, absMask));
      clipMask = _mm_or_ps(clipMask, _mm_cmpgt_ps(_mm_and_ps(o, absMask), one));
    }
    peak = largestLane(top);
    clip |= _mm_movemask_ps(clipMask) != 0;
  }
#endif
  for (; k < count; ++k) {
    float o = mixSample(wet[k], dry[k], at(mix.wetShare, k), at(mix.gain, k), at(mix.bypass, k));
    o = std::isfinite(o) ? clampSample(o) : 0.0f;
    out[k] = o;
    peak = maxf(peak, std::fabs(o));
    clip |= std::fabs(o) > 1.0f;
  }
}

}  // namespace

void convertedMixRun(const float* wet, const float* dry, MixValues mix, float* out, int count,
                     float& peak, bool& clip) noexcept {
  if (mix.perSample) {
    convertedMix<true>(wet, dry, mix, out, count, peak, clip);
  } else {
    convertedMix<false>(wet, dry, mix, out, count, peak, clip);
  }
}

void conditionRun(const float* in, float* x, int count, float& peak) noexcept {
  if (!in) {
    std::fill(x, x + count, 0.0f);
    return;
  }
  int k = 0;
#if defined(__SSE__) || defined(_M_X64)
  if (count >= 4) {
    const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    const __m128 limit = _mm_set1_ps(kSampleLimit), lowest = _mm_set1_ps(-kSampleLimit);
    __m128 top = _mm_set1_ps(peak);
    for (; k + 4 <= count; k += 4) {
      const __m128 v = _mm_loadu_ps(in + k);
      const __m128 c = _mm_and_ps(finiteMask(v, absMask), _mm_min_ps(_mm_max_ps(v, lowest), limit));
      _mm_storeu_ps(x + k, c);
      top = _mm_max_ps(top, _mm_and_ps(c, absMask));
    }
    peak = largestLane(top);
  }
#endif
  for (; k < count; ++k) {
    x[k] = conditioned(in[k]);
    peak = maxf(peak, std::fabs(x[k]));
  }
}

}  // namespace orvane
