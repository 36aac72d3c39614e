/* The AVX2 sums of RNNoise's pitch analysis: eight correlations at once, one
 * per lane, each summed over the signal in index order from 0, with separate
 * products and sums, as the portable path does one at a time. Compiled with
 * -mavx2 and called only where the processor has it. */
#include <immintrin.h>

#include "pitch_kernels.h"

/* Lanes below n set. */
static inline __m256i firstLanes(int n) {
  return _mm256_cmpgt_epi32(_mm256_set1_epi32(n), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
}

void orv_pitch_xcorr_avx2(const float* x, const float* y, float* xcorr, int len, int max_pitch) {
  int i = 0;
  /* 32 lags at a time: four independent chains of additions. */
  for (; i + 32 <= max_pitch; i += 32) {
    __m256 a0 = _mm256_setzero_ps(), a1 = a0, a2 = a0, a3 = a0;
    const float* yi = y + i;
    for (int j = 0; j < len; j++) {
      const __m256 v = _mm256_broadcast_ss(x + j);
      a0 = _mm256_add_ps(a0, _mm256_mul_ps(v, _mm256_loadu_ps(yi + j)));
      a1 = _mm256_add_ps(a1, _mm256_mul_ps(v, _mm256_loadu_ps(yi + j + 8)));
      a2 = _mm256_add_ps(a2, _mm256_mul_ps(v, _mm256_loadu_ps(yi + j + 16)));
      a3 = _mm256_add_ps(a3, _mm256_mul_ps(v, _mm256_loadu_ps(yi + j + 24)));
    }
    _mm256_storeu_ps(xcorr + i, a0);
    _mm256_storeu_ps(xcorr + i + 8, a1);
    _mm256_storeu_ps(xcorr + i + 16, a2);
    _mm256_storeu_ps(xcorr + i + 24, a3);
  }
  /* Then eight at a time, the last group masked: y is read only where a lag
   * of the group needs it. */
  for (; i < max_pitch; i += 8) {
    const __m256i mask = firstLanes(max_pitch - i);
    __m256 a = _mm256_setzero_ps();
    for (int j = 0; j < len; j++)
      a = _mm256_add_ps(
          a, _mm256_mul_ps(_mm256_broadcast_ss(x + j), _mm256_maskload_ps(y + i + j, mask)));
    _mm256_maskstore_ps(xcorr + i, mask, a);
  }
}

void orv_pitch_lag_sums_avx2(const float* x, int n, const int* lags, int count, float* out) {
  for (int s = 0; s < count; s += 8) {
    const __m256i mask = firstLanes(count - s);
    /* Offsets -lags[s + k] from x[i], for the lanes in use. */
    const __m256i offsets =
        _mm256_sub_epi32(_mm256_setzero_si256(), _mm256_maskload_epi32(lags + s, mask));
    const __m256 maskPs = _mm256_castsi256_ps(mask);
    __m256 a = _mm256_setzero_ps();
    for (int i = 0; i < n; i++) {
      const __m256 lagged =
          _mm256_mask_i32gather_ps(_mm256_setzero_ps(), x + i, offsets, maskPs, 4);
      a = _mm256_add_ps(a, _mm256_mul_ps(_mm256_broadcast_ss(x + i), lagged));
    }
    _mm256_maskstore_ps(out + s, mask, a);
  }
}
