/* The AVX2 sums of RNNoise's pitch analysis: eight correlations at once, one
 * per lane, each summed over the signal in index order from 0, with separate
 * products and sums, as the portable path does one at a time. Compiled with
 * -mavx2 and called only where the processor has it. */
#include <immintrin.h>
#include <string.h>

#include "pitch_kernels.h"

/* Lanes below n set. */
static inline __m256i firstLanes(int n) {
  return _mm256_cmpgt_epi32(_mm256_set1_epi32(n), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
}

#define ORV_INLINE static inline __attribute__((always_inline))

/* Up to 32 lags: `vectors` vectors of eight, the last masked to the lags
 * that remain, so y is read only where a lag needs it. Independent vectors
 * keep independent chains of additions in flight. */
ORV_INLINE void xcorrBlock(const float* x, const float* y, float* xcorr, int len, int lags,
                           int vectors) {
  __m256i mask[4];
  for (int v = 0; v < 4; v++) mask[v] = firstLanes(lags - 8 * v);
  __m256 a[4] = {_mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps(),
                 _mm256_setzero_ps()};
  for (int j = 0; j < len; j++) {
    const __m256 v = _mm256_broadcast_ss(x + j);
    for (int k = 0; k < vectors; k++)
      a[k] = _mm256_add_ps(a[k], _mm256_mul_ps(v, _mm256_maskload_ps(y + j + 8 * k, mask[k])));
  }
  for (int k = 0; k < vectors; k++) _mm256_maskstore_ps(xcorr + 8 * k, mask[k], a[k]);
}

void orv_pitch_xcorr_avx2(const float* x, const float* y, float* xcorr, int len, int max_pitch) {
  for (int i = 0; i < max_pitch; i += 32) {
    const int lags = max_pitch - i < 32 ? max_pitch - i : 32;
    if (lags == 32) {
      /* The full block without masks. */
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
    } else if (lags > 16) {
      xcorrBlock(x, y + i, xcorr + i, len, lags, 3);
    } else if (lags > 8) {
      xcorrBlock(x, y + i, xcorr + i, len, lags, 2);
    } else {
      xcorrBlock(x, y + i, xcorr + i, len, lags, 1);
    }
  }
}

/* 8 x 8 transpose: v[k] lane s becomes v[s] lane k. */
ORV_INLINE void transpose8(__m256* v) {
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

/* Eight sums, lanes past `lanes` following offset 0 (always readable). */
typedef struct {
  const float* rows[8];
  int offsets[8];
  __m256 sum;
} Group;

static void startGroup(Group* g, const float* y, const int* offsets, int lanes) {
  for (int k = 0; k < 8; k++) {
    g->offsets[k] = k < lanes ? offsets[k] : 0;
    g->rows[k] = y + g->offsets[k];
  }
  g->sum = _mm256_setzero_ps();
}

/* Samples i .. i + 7 into the group's sums: row k of the loads holds sum k's
 * eight samples; transposed, vector j holds sample i + j of every sum, added
 * in order. */
ORV_INLINE void addEight(Group* g, const float* x, int i) {
  __m256 v[8];
  for (int k = 0; k < 8; k++) v[k] = _mm256_loadu_ps(g->rows[k] + i);
  transpose8(v);
  for (int j = 0; j < 8; j++)
    g->sum = _mm256_add_ps(g->sum, _mm256_mul_ps(_mm256_broadcast_ss(x + i + j), v[j]));
}

static void finishGroup(Group* g, const float* x, const float* y, int from, int n, float* out,
                        int lanes) {
  const __m256i index = _mm256_loadu_si256((const __m256i*)g->offsets);
  for (int i = from; i < n; i++)
    g->sum = _mm256_add_ps(
        g->sum, _mm256_mul_ps(_mm256_broadcast_ss(x + i), _mm256_i32gather_ps(y + i, index, 4)));
  float sums[8];
  _mm256_storeu_ps(sums, g->sum);
  for (int k = 0; k < lanes; k++) out[k] = sums[k];
}

void orv_pitch_offset_sums_avx2(const float* x, const float* y, int n, const int* offsets,
                                int count, float* out) {
  /* Two groups at a time, so that two chains of additions are in flight. */
  for (int s = 0; s < count; s += 16) {
    const int lanesA = count - s < 8 ? count - s : 8;
    const int lanesB = count - s - 8 < 8 ? count - s - 8 : 8;
    Group a, b;
    startGroup(&a, y, offsets + s, lanesA);
    startGroup(&b, y, offsets + s + 8, lanesB > 0 ? lanesB : 0);
    int i = 0;
    for (; i + 8 <= n; i += 8) {
      addEight(&a, x, i);
      if (lanesB > 0) addEight(&b, x, i);
    }
    finishGroup(&a, x, y, i, n, out + s, lanesA);
    if (lanesB > 0) finishGroup(&b, x, y, i, n, out + s + 8, lanesB);
  }
}

void orv_pitch_fir5_avx2(float* x, int n, const float* num) {
  /* The inputs go through a copy, a chunk at a time: x[start + i] at
   * m[8 + i], the five before it below, so the outputs can be written in
   * place. */
  enum { kHistory = 8, kChunk = 256 };
  float m[kHistory + kChunk] = {0.f, 0.f, 0.f, 0.f, 0.f, 0.f, 0.f, 0.f};
  const __m256 n0 = _mm256_set1_ps(num[0]), n1 = _mm256_set1_ps(num[1]),
               n2 = _mm256_set1_ps(num[2]), n3 = _mm256_set1_ps(num[3]),
               n4 = _mm256_set1_ps(num[4]);
  for (int start = 0; start < n; start += kChunk) {
    const int count = n - start < kChunk ? n - start : kChunk;
    memcpy(m + kHistory, x + start, (size_t)count * sizeof(float));
    const float* v = m + kHistory;
    int i = 0;
    for (; i + 8 <= count; i += 8) {
      __m256 sum =
          _mm256_add_ps(_mm256_loadu_ps(v + i), _mm256_mul_ps(n0, _mm256_loadu_ps(v + i - 1)));
      sum = _mm256_add_ps(sum, _mm256_mul_ps(n1, _mm256_loadu_ps(v + i - 2)));
      sum = _mm256_add_ps(sum, _mm256_mul_ps(n2, _mm256_loadu_ps(v + i - 3)));
      sum = _mm256_add_ps(sum, _mm256_mul_ps(n3, _mm256_loadu_ps(v + i - 4)));
      _mm256_storeu_ps(x + start + i,
                       _mm256_add_ps(sum, _mm256_mul_ps(n4, _mm256_loadu_ps(v + i - 5))));
    }
    for (; i < count; i++) {
      float sum = v[i] + num[0] * v[i - 1];
      sum = sum + num[1] * v[i - 2];
      sum = sum + num[2] * v[i - 3];
      sum = sum + num[3] * v[i - 4];
      x[start + i] = sum + num[4] * v[i - 5];
    }
    memmove(m + kHistory - 5, m + kHistory + count - 5, 5 * sizeof(float));
  }
}
