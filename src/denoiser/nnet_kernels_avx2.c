/* The AVX2 path of the network kernels: the baseline path's operations eight
 * lanes wide, for the layers and activations the model uses (dense float and
 * int8 layers; sigmoid, tanh, ReLU). Everything else goes to the baseline path.
 * This file alone is compiled with -mavx2 and is called only after the
 * processor was found to have AVX2. No FMA: every product and sum is rounded
 * on its own, as in the library. */
#include <immintrin.h>
#include <stdint.h>
#include <string.h>

#include "nnet_kernels.h"
#include "nnet_kernels_impl.h"

/* ---- Linear layers ---- */

static void floatDense(const float* w, int M, int N, float* out, const float* in) {
  int i = 0;
  /* 32 outputs at a time: four independent sums keep the adders busy. */
  for (; i + 32 <= N; i += 32) {
    __m256 a0 = _mm256_setzero_ps(), a1 = a0, a2 = a0, a3 = a0;
    for (int j = 0; j < M; j++) {
      const float* row = w + (size_t)j * N + i;
      const __m256 x = _mm256_set1_ps(in[j]);
      a0 = _mm256_add_ps(a0, _mm256_mul_ps(_mm256_loadu_ps(row), x));
      a1 = _mm256_add_ps(a1, _mm256_mul_ps(_mm256_loadu_ps(row + 8), x));
      a2 = _mm256_add_ps(a2, _mm256_mul_ps(_mm256_loadu_ps(row + 16), x));
      a3 = _mm256_add_ps(a3, _mm256_mul_ps(_mm256_loadu_ps(row + 24), x));
    }
    _mm256_storeu_ps(out + i, a0);
    _mm256_storeu_ps(out + i + 8, a1);
    _mm256_storeu_ps(out + i + 16, a2);
    _mm256_storeu_ps(out + i + 24, a3);
  }
  for (; i + 8 <= N; i += 8) {
    __m256 a = _mm256_setzero_ps();
    for (int j = 0; j < M; j++) {
      a = _mm256_add_ps(
          a, _mm256_mul_ps(_mm256_loadu_ps(w + (size_t)j * N + i), _mm256_set1_ps(in[j])));
    }
    _mm256_storeu_ps(out + i, a);
  }
  for (; i < N; i++) {
    float a = 0.f;
    for (int j = 0; j < M; j++) a += w[(size_t)j * N + i] * in[j];
    out[i] = a;
  }
}

/* Eight input bytes 127 + round(127 x) (see the baseline path), as 16-bit
 * values. floor and the truncating conversion behave as the library's scalar
 * ones do, INT_MIN for anything outside the int range included. */
static inline void quantise8(uint16_t* u, __m256 x) {
  const __m256 s = _mm256_mul_ps(x, _mm256_set1_ps(127.f));
  const __m256d half = _mm256_set1_pd(.5);
  const __m256d lo =
      _mm256_floor_pd(_mm256_add_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(s)), half));
  const __m256d hi =
      _mm256_floor_pd(_mm256_add_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(s, 1)), half));
  __m256i q = _mm256_set_m128i(_mm256_cvttpd_epi32(hi), _mm256_cvttpd_epi32(lo));
  q = _mm256_and_si256(_mm256_add_epi32(q, _mm256_set1_epi32(127)), _mm256_set1_epi32(0xff));
  _mm_storeu_si128((__m128i*)u,
                   _mm_packus_epi32(_mm256_castsi256_si128(q), _mm256_extracti128_si256(q, 1)));
}

/* All M inputs quantised, once per call, with zeros in the four slots past
 * the last input for the tiles that reach beyond it. */
static void quantiseInputs(const float* in, int M, uint16_t* u) {
  int j = 0;
  for (; j + 8 <= M; j += 8) quantise8(u + j, _mm256_loadu_ps(in + j));
  if (j < M) {
    float rest[8] = {0.f, 0.f, 0.f, 0.f, 0.f, 0.f, 0.f, 0.f};
    uint16_t q[8];
    memcpy(rest, in + j, (size_t)(M - j) * sizeof(float));
    quantise8(q, _mm256_loadu_ps(rest));
    memcpy(u + j, q, (size_t)(M - j) * sizeof q[0]);
  }
  memset(u + M, 0, 4 * sizeof u[0]);
}

/* Outputs i..i+7 (as far as the layer has them) from their integer sums v,
 * times the layer's scale. */
static inline void storeRows(const LinearLayer* l, __m256 v, int i, int N, float* out) {
  if (i + 8 <= N) {
    if (l->scale) v = _mm256_mul_ps(v, _mm256_loadu_ps(l->scale + i));
    _mm256_storeu_ps(out + i, v);
  } else {
    float all[8];
    _mm256_storeu_ps(all, v);
    for (int r = i; r < N; r++) out[r] = l->scale ? all[r - i] * l->scale[r] : all[r - i];
  }
}

/* One 8 x 4 tile (rows of four signed bytes) times its four input values,
 * which u holds: rows 0-3 go to a, rows 4-7 to b, each row as two partial sums
 * (columns 0-1 and 2-3), exact integers kept modulo 2^32 like the library's. */
static inline void int8Tile(const signed char* w, const uint16_t* u, __m256i* a, __m256i* b) {
  int64_t four;
  memcpy(&four, u, sizeof four);
  const __m256i x = _mm256_set1_epi64x(four);
  const __m256i w03 = _mm256_cvtepi8_epi16(_mm_loadu_si128((const __m128i*)w));
  const __m256i w47 = _mm256_cvtepi8_epi16(_mm_loadu_si128((const __m128i*)(w + 16)));
  *a = _mm256_add_epi32(*a, _mm256_madd_epi16(w03, x));
  *b = _mm256_add_epi32(*b, _mm256_madd_epi16(w47, x));
}

static void int8Layer(const LinearLayer* l, int M, int N, float* out, const float* in) {
  uint16_t u[ORV_NNET_MAX_QUANTISED + 8];
  quantiseInputs(in, M, u);

  const signed char* w = l->weights;
  const int* idx = l->weights_idx;
  for (int i = 0; i < N; i += 8) {
    __m256i a = _mm256_setzero_si256(), b = a;
    if (idx) {
      const int tiles = *idx++;
      int t = 0;
      /* Two tiles per step: less loop work for each. */
      for (; t + 2 <= tiles; t += 2, idx += 2, w += 64) {
        /* Both positions in one load (see int8LayerVnni). */
        uint64_t two;
        memcpy(&two, idx, sizeof two);
        const unsigned p0 = (uint32_t)two, p1 = (uint32_t)(two >> 32);
        if (p0 < (unsigned)M) int8Tile(w, u + p0, &a, &b);
        if (p1 < (unsigned)M) int8Tile(w + 32, u + p1, &a, &b);
      }
      for (; t < tiles; t++, idx++, w += 32) {
        if ((unsigned)*idx < (unsigned)M) int8Tile(w, u + *idx, &a, &b);
      }
    } else {
      for (int p = 0; p < M; p += 4, w += 32) int8Tile(w, u + p, &a, &b);
    }
    /* Pairs summed: rows 0 1 4 5 2 3 6 7, then put in order. */
    const __m256i rows = _mm256_permute4x64_epi64(_mm256_hadd_epi32(a, b), _MM_SHUFFLE(3, 1, 2, 0));
    storeRows(l, _mm256_cvtepi32_ps(rows), i, N, out);
  }
}

/* The int8 products with AVX-512 VNNI: one instruction multiplies a tile's
 * four input bytes (unsigned) with each row's four weights (signed) and adds
 * the four products to that row's 32-bit sum, so a tile is one load and one
 * instruction, with the rows' sums already in order. The sums are exact
 * integers, wrapping like the library's, so the order of the additions cannot
 * change a bit. Runs only where the processor has AVX-512 VL and VNNI. */
/* One tile: its rows' products with the four bytes at u + first, added to
 * *sum; a tile listed outside the inputs adds nothing. */
__attribute__((target("avx512vl,avx512vnni"))) static inline void tileVnni(__m256i* sum,
                                                                           const uint8_t* u,
                                                                           unsigned first, int M,
                                                                           const signed char* w) {
  if (first >= (unsigned)M) return;
  int32_t four;
  memcpy(&four, u + first, sizeof four);
  *sum = _mm256_dpbusd_epi32(*sum, _mm256_set1_epi32(four), _mm256_loadu_si256((const __m256i*)w));
}

__attribute__((target("avx512vl,avx512vnni"))) static void int8LayerVnni(const LinearLayer* l,
                                                                         int M, int N, float* out,
                                                                         const float* in) {
  /* The bytes of int8Layer's quantised inputs, zeros past the last one
   * included. */
  uint16_t wide[ORV_NNET_MAX_QUANTISED + 8];
  uint8_t u[ORV_NNET_MAX_QUANTISED + 8];
  quantiseInputs(in, M, wide);
  int j = 0;
  for (; j + 8 <= M + 4; j += 8) {
    const __m128i q = _mm_loadu_si128((const __m128i*)(wide + j));
    _mm_storel_epi64((__m128i*)(u + j), _mm_packus_epi16(q, q));
  }
  for (; j < M + 4; j++) u[j] = (uint8_t)wide[j];

  const signed char* w = l->weights;
  const int* idx = l->weights_idx;
  for (int i = 0; i < N; i += 8) {
    /* Four sums, so consecutive tiles do not wait for each other. */
    __m256i a = _mm256_setzero_si256(), b = a, c = a, d = a;
    if (idx) {
      const int tiles = *idx++;
      int t = 0;
      for (; t + 4 <= tiles; t += 4, idx += 4, w += 128) {
        /* The four positions in two loads instead of four: the loads (a
         * position, its four input bytes, the tile), not the arithmetic,
         * bound this loop. */
        uint64_t first, second;
        memcpy(&first, idx, sizeof first);
        memcpy(&second, idx + 2, sizeof second);
        tileVnni(&a, u, (uint32_t)first, M, w);
        tileVnni(&b, u, (uint32_t)(first >> 32), M, w + 32);
        tileVnni(&c, u, (uint32_t)second, M, w + 64);
        tileVnni(&d, u, (uint32_t)(second >> 32), M, w + 96);
      }
      for (; t < tiles; t++, idx++, w += 32) tileVnni(&a, u, (unsigned)*idx, M, w);
    } else {
      int p = 0;
      for (; p + 16 <= M; p += 16, w += 128) {
        /* The sixteen inputs in one load, spread in registers. */
        const __m256i x = _mm256_broadcastsi128_si256(_mm_loadu_si128((const __m128i*)(u + p)));
        a = _mm256_dpbusd_epi32(a, _mm256_shuffle_epi32(x, 0x00),
                                _mm256_loadu_si256((const __m256i*)w));
        b = _mm256_dpbusd_epi32(b, _mm256_shuffle_epi32(x, 0x55),
                                _mm256_loadu_si256((const __m256i*)(w + 32)));
        c = _mm256_dpbusd_epi32(c, _mm256_shuffle_epi32(x, 0xAA),
                                _mm256_loadu_si256((const __m256i*)(w + 64)));
        d = _mm256_dpbusd_epi32(d, _mm256_shuffle_epi32(x, 0xFF),
                                _mm256_loadu_si256((const __m256i*)(w + 96)));
      }
      for (; p < M; p += 4, w += 32) tileVnni(&a, u, (unsigned)p, M, w);
    }
    a = _mm256_add_epi32(_mm256_add_epi32(a, b), _mm256_add_epi32(c, d));
    storeRows(l, _mm256_cvtepi32_ps(a), i, N, out);
  }
}

static void linear(const LinearLayer* l, float* out, const float* in, int vnni) {
  const int M = l->nb_inputs > 0 ? l->nb_inputs : 0;
  const int N = l->nb_outputs > 0 ? l->nb_outputs : 0;
  if (l->float_weights && !l->weights_idx) {
    floatDense(l->float_weights, M, N, out, in);
  } else if (!l->float_weights && l->weights && M <= ORV_NNET_MAX_QUANTISED) {
    if (vnni) {
      int8LayerVnni(l, M, N, out, in);
    } else {
      int8Layer(l, M, N, out, in);
    }
  } else {
    orv_linear_baseline(l, out, in);
    return;
  }
  orv_linear_finish(l, out, in);
}

void orv_linear_avx2(const LinearLayer* l, float* out, const float* in) {
  linear(l, out, in, 0);
}

void orv_linear_vnni(const LinearLayer* l, float* out, const float* in) {
  linear(l, out, in, 1);
}

/* ---- Activations ---- */

static inline __m256 tanhApprox(__m256 x) {
  const __m256 x2 = _mm256_mul_ps(x, x);
  __m256 num =
      _mm256_add_ps(_mm256_mul_ps(x2, _mm256_set1_ps(ORV_TANH_N2)), _mm256_set1_ps(ORV_TANH_N1));
  num = _mm256_mul_ps(_mm256_add_ps(_mm256_mul_ps(num, x2), _mm256_set1_ps(ORV_TANH_N0)), x);
  __m256 den =
      _mm256_add_ps(_mm256_mul_ps(x2, _mm256_set1_ps(ORV_TANH_D2)), _mm256_set1_ps(ORV_TANH_D1));
  den = _mm256_add_ps(_mm256_mul_ps(den, x2), _mm256_set1_ps(ORV_TANH_D0));
  const __m256 y = _mm256_mul_ps(num, _mm256_rcp_ps(den));
  return _mm256_max_ps(_mm256_set1_ps(-1.f), _mm256_min_ps(_mm256_set1_ps(1.f), y));
}

static inline __m256 sigmoidApprox(__m256 x) {
  const __m256 x2 = _mm256_mul_ps(x, x);
  __m256 num = _mm256_add_ps(_mm256_mul_ps(x2, _mm256_set1_ps(ORV_SIGMOID_N2)),
                             _mm256_set1_ps(ORV_SIGMOID_N1));
  num = _mm256_mul_ps(_mm256_add_ps(_mm256_mul_ps(num, x2), _mm256_set1_ps(ORV_SIGMOID_N0)), x);
  __m256 den = _mm256_add_ps(_mm256_mul_ps(x2, _mm256_set1_ps(ORV_SIGMOID_D2)),
                             _mm256_set1_ps(ORV_SIGMOID_D1));
  den = _mm256_add_ps(_mm256_mul_ps(den, x2), _mm256_set1_ps(ORV_SIGMOID_D0));
  const __m256 y = _mm256_add_ps(_mm256_mul_ps(num, _mm256_rcp_ps(den)), _mm256_set1_ps(.5f));
  return _mm256_max_ps(_mm256_setzero_ps(), _mm256_min_ps(_mm256_set1_ps(1.f), y));
}

static inline __m256 activate(__m256 x, int activation) {
  switch (activation) {
    case ORV_ACTIVATION_SIGMOID:
      return sigmoidApprox(x);
    case ORV_ACTIVATION_TANH:
      return tanhApprox(x);
    default:
      return _mm256_andnot_ps(_mm256_cmp_ps(x, _mm256_setzero_ps(), _CMP_LT_OQ), x);
  }
}

void orv_activation_avx2(float* out, const float* in, int n, int activation) {
  if (activation != ORV_ACTIVATION_SIGMOID && activation != ORV_ACTIVATION_TANH &&
      activation != ORV_ACTIVATION_RELU) {
    orv_activation_baseline(out, in, n, activation);
    return;
  }
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    _mm256_storeu_ps(out + i, activate(_mm256_loadu_ps(in + i), activation));
  }
  if (i < n) {
    float rest[8] = {0.f, 0.f, 0.f, 0.f, 0.f, 0.f, 0.f, 0.f};
    memcpy(rest, in + i, (size_t)(n - i) * sizeof(float));
    _mm256_storeu_ps(rest, activate(_mm256_loadu_ps(rest), activation));
    memcpy(out + i, rest, (size_t)(n - i) * sizeof(float));
  }
}
