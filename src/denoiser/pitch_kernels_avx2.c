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

/* 8 x 8 transpose: v[k] lane s becomes v[s] lane k. */
static inline void transpose8(__m256* v) {
  __m256 t[8], u[8];
  for (int k = 0; k < 8; k += 2) {
    t[k] = _mm256_unpacklo_ps(v[k], v[k + 1]);
    t[k + 1] = _mm256_unpackhi_ps(v[k], v[k + 1]);
  }
  for (int k = 0; k < 8; k += 4) {
    u[k] = _mm256_shuffle_ps(t[k], t[k + 2], _MM_SHUFFLE(1, 0, 1, 0));
    u[k + 1] = _mm256_shuffle_ps(t[k], t[k + 2], _MM_SHUFFLE(3, 2, 3, 2));
    u[k + 2] = _mm256_shuffle_ps(t[k + 1], t[k + 3], _MM_SHUFFLE(1, 0, 1, 0));
    u[k + 3] = _mm256_shuffle_ps(t[k + 1], t[k + 3], _MM_SHUFFLE(3, 2, 3, 2));
  }
  for (int k = 0; k < 4; k++) {
    v[k] = _mm256_permute2f128_ps(u[k], u[k + 4], 0x20);
    v[k + 4] = _mm256_permute2f128_ps(u[k], u[k + 4], 0x31);
  }
}

void orv_pitch_lag_sums_avx2(const float* x, int n, const int* lags, int count, float* out) {
  for (int s = 0; s < count; s += 8) {
    const int lanes = count - s < 8 ? count - s : 8;
    /* Lanes past the last sum follow lag 0, which is always readable. */
    const float* lagged[8];
    int offsets[8];
    for (int k = 0; k < 8; k++) {
      offsets[k] = k < lanes ? -lags[s + k] : 0;
      lagged[k] = x + offsets[k];
    }
    __m256 a = _mm256_setzero_ps();
    int i = 0;
    /* Eight samples at a time: row k of the loads holds sum k's eight lagged
     * samples; transposed, vector j holds sample i + j of every sum, added
     * in order. */
    for (; i + 8 <= n; i += 8) {
      __m256 v[8];
      for (int k = 0; k < 8; k++) v[k] = _mm256_loadu_ps(lagged[k] + i);
      transpose8(v);
      for (int j = 0; j < 8; j++)
        a = _mm256_add_ps(a, _mm256_mul_ps(_mm256_broadcast_ss(x + i + j), v[j]));
    }
    const __m256i index = _mm256_loadu_si256((const __m256i*)offsets);
    for (; i < n; i++)
      a = _mm256_add_ps(
          a, _mm256_mul_ps(_mm256_broadcast_ss(x + i), _mm256_i32gather_ps(x + i, index, 4)));
    float sums[8];
    _mm256_storeu_ps(sums, a);
    for (int k = 0; k < lanes; k++) out[s + k] = sums[k];
  }
}
