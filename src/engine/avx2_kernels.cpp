#include "engine/avx2_kernels.h"

#include <immintrin.h>

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

}  // namespace

float resamplerRead(const float* a, const float* b, float mu, const float* window) noexcept {
  const __m256 m = _mm256_set1_ps(mu);
  __m256 acc = _mm256_setzero_ps();
  for (int k = 0; k < ResamplerKernel::kTaps; k += 8) {
    const __m256 ak = _mm256_loadu_ps(a + k);
    const __m256 h = _mm256_add_ps(ak, _mm256_mul_ps(_mm256_sub_ps(_mm256_loadu_ps(b + k), ak), m));
    acc = _mm256_add_ps(acc, _mm256_mul_ps(h, _mm256_loadu_ps(window + k)));
  }
  return pairwise(acc);
}

void resamplerReadFour(const float* const* a, const float* const* b, const float* mu,
                       const float* const* window, float* out) noexcept {
  __m128 pairs[4];
  for (int i = 0; i < 4; ++i) {
    const __m256 m = _mm256_set1_ps(mu[i]);
    __m256 acc = _mm256_setzero_ps();
    for (int k = 0; k < ResamplerKernel::kTaps; k += 8) {
      const __m256 ak = _mm256_loadu_ps(a[i] + k);
      const __m256 h =
          _mm256_add_ps(ak, _mm256_mul_ps(_mm256_sub_ps(_mm256_loadu_ps(b[i] + k), ak), m));
      acc = _mm256_add_ps(acc, _mm256_mul_ps(h, _mm256_loadu_ps(window[i] + k)));
    }
    pairs[i] = _mm_add_ps(_mm256_castps256_ps128(acc), _mm256_extractf128_ps(acc, 1));
  }
  // Transposed, row j holds sum j of each read: (s0 + s1) + (s2 + s3) for
  // all four in three additions.
  _MM_TRANSPOSE4_PS(pairs[0], pairs[1], pairs[2], pairs[3]);
  _mm_storeu_ps(out, _mm_add_ps(_mm_add_ps(pairs[0], pairs[1]), _mm_add_ps(pairs[2], pairs[3])));
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
