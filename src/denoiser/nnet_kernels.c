/* The network kernels: the path chosen once per process, and the baseline
 * (SSE2) path. nnet_kernels.h states the arithmetic. */
#include "nnet_kernels.h"

#include <emmintrin.h>
#include <limits.h>
#include <stdatomic.h>
#include <stdint.h>
#include <string.h>

#include "nnet_kernels_impl.h"

#if !defined(__x86_64__)
#error "the network kernels reproduce the x86-64 build of RNNoise and need an x86-64 target"
#endif

/* ---- The path in use ---- */

static atomic_int currentPath = ORV_NNET_BASELINE;
static int avx2Available;
static int vnniAvailable;

/* Runs when the code is loaded, before any network evaluation (a call made
 * earlier would take the baseline path, with the same results).
 * __builtin_cpu_supports also checks that the system saves the AVX registers. */
__attribute__((constructor)) static void choosePath(void) {
  __builtin_cpu_init();
  avx2Available = __builtin_cpu_supports("avx2") != 0;
  vnniAvailable =
      avx2Available && __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vnni");
  atomic_store_explicit(&currentPath,
                        vnniAvailable   ? ORV_NNET_VNNI
                        : avx2Available ? ORV_NNET_AVX2
                                        : ORV_NNET_BASELINE,
                        memory_order_relaxed);
}

OrvNnetPath orvane_nnet_path(void) {
  return (OrvNnetPath)atomic_load_explicit(&currentPath, memory_order_relaxed);
}

int orvane_nnet_select(OrvNnetPath path) {
  if (path != ORV_NNET_BASELINE && !(path == ORV_NNET_AVX2 && avx2Available) &&
      !(path == ORV_NNET_VNNI && vnniAvailable))
    return 0;
  atomic_store_explicit(&currentPath, path, memory_order_relaxed);
  return 1;
}

void rnn_compute_linear_c(const LinearLayer* layer, float* out, const float* in) {
  switch (orvane_nnet_path()) {
    case ORV_NNET_VNNI:
      orv_linear_vnni(layer, out, in);
      break;
    case ORV_NNET_AVX2:
      orv_linear_avx2(layer, out, in);
      break;
    default:
      orv_linear_baseline(layer, out, in);
  }
}

void rnn_compute_activation_c(float* out, const float* in, int n, int activation) {
  if (orvane_nnet_path() != ORV_NNET_BASELINE) {
    orv_activation_avx2(out, in, n, activation);
  } else {
    orv_activation_baseline(out, in, n, activation);
  }
}

/* ---- Linear layers ---- */

/* Eight outputs of one block, written only as far as the layer has outputs. */
static void storeBlock(float* out, int count, __m128 lo, __m128 hi) {
  if (count >= 8) {
    _mm_storeu_ps(out, lo);
    _mm_storeu_ps(out + 4, hi);
    return;
  }
  float all[8];
  _mm_storeu_ps(all, lo);
  _mm_storeu_ps(all + 4, hi);
  memcpy(out, all, (size_t)count * sizeof(float));
}

static void floatDense(const float* w, int M, int N, float* out, const float* in) {
  int i = 0;
  /* Sixteen outputs at a time: four independent sums keep the adder busy. */
  for (; i + 16 <= N; i += 16) {
    __m128 a0 = _mm_setzero_ps(), a1 = a0, a2 = a0, a3 = a0;
    for (int j = 0; j < M; j++) {
      const float* row = w + (size_t)j * N + i;
      const __m128 x = _mm_set1_ps(in[j]);
      a0 = _mm_add_ps(a0, _mm_mul_ps(_mm_loadu_ps(row), x));
      a1 = _mm_add_ps(a1, _mm_mul_ps(_mm_loadu_ps(row + 4), x));
      a2 = _mm_add_ps(a2, _mm_mul_ps(_mm_loadu_ps(row + 8), x));
      a3 = _mm_add_ps(a3, _mm_mul_ps(_mm_loadu_ps(row + 12), x));
    }
    _mm_storeu_ps(out + i, a0);
    _mm_storeu_ps(out + i + 4, a1);
    _mm_storeu_ps(out + i + 8, a2);
    _mm_storeu_ps(out + i + 12, a3);
  }
  for (; i + 4 <= N; i += 4) {
    __m128 a = _mm_setzero_ps();
    for (int j = 0; j < M; j++) {
      a = _mm_add_ps(a, _mm_mul_ps(_mm_loadu_ps(w + (size_t)j * N + i), _mm_set1_ps(in[j])));
    }
    _mm_storeu_ps(out + i, a);
  }
  for (; i < N; i++) {
    float a = 0.f;
    for (int j = 0; j < M; j++) a += w[(size_t)j * N + i] * in[j];
    out[i] = a;
  }
}

static void floatSparse(const float* w, const int* idx, int M, int N, float* out, const float* in) {
  for (int i = 0; i < N; i += 8) {
    __m128 lo = _mm_setzero_ps(), hi = lo;
    const int tiles = *idx++;
    for (int t = 0; t < tiles; t++, w += 32) {
      const unsigned p = (unsigned)*idx++;
      for (unsigned c = 0; c < 4; c++) {
        if (p + c >= (unsigned)M) continue;
        const __m128 x = _mm_set1_ps(in[p + c]);
        lo = _mm_add_ps(lo, _mm_mul_ps(_mm_loadu_ps(w + 8 * c), x));
        hi = _mm_add_ps(hi, _mm_mul_ps(_mm_loadu_ps(w + 8 * c + 4), x));
      }
    }
    storeBlock(out + i, N - i, lo, hi);
  }
}

/* The input byte 127 + round(127 x), widened to 16 bits. round(v) is
 * floor(v + 1/2) in double, converted by truncation: outside the int range
 * (and for NaN) that gives INT_MIN, as it does in the library; only the low 8
 * bits are kept. floor comes from the truncation itself (one less for a
 * negative non-integer), which agrees with the library's floor-then-convert
 * everywhere, INT_MIN cases included, without a library call. */
static uint16_t quantise(float x) {
  const double v = 0.5 + (double)(127.f * x);
  int q = _mm_cvttsd_si32(_mm_set_sd(v));
  if (q != INT_MIN && (double)q > v) q -= 1;
  return (uint8_t)(127u + (unsigned)q);
}

/* A block's sums: each vector holds two rows, each row as two partial sums
 * (columns 0-1 and 2-3). The sums are exact integers, kept modulo 2^32 like
 * the library's. */
typedef struct {
  __m128i rows01, rows23, rows45, rows67;
} Int8Sums;

/* One 8 x 4 tile: 32 signed weight bytes, rows of four, times the four input
 * bytes at u (as 16-bit values). */
static inline void int8Tile(const signed char* w, const uint16_t* u, Int8Sums* s) {
  int64_t four;
  memcpy(&four, u, sizeof four);
  const __m128i x = _mm_set1_epi64x(four);
  const __m128i a = _mm_loadu_si128((const __m128i*)w);
  const __m128i b = _mm_loadu_si128((const __m128i*)(w + 16));
  /* Each byte paired with itself then shifted right arithmetically: the
   * weights sign-extended to 16 bits. */
  s->rows01 =
      _mm_add_epi32(s->rows01, _mm_madd_epi16(_mm_srai_epi16(_mm_unpacklo_epi8(a, a), 8), x));
  s->rows23 =
      _mm_add_epi32(s->rows23, _mm_madd_epi16(_mm_srai_epi16(_mm_unpackhi_epi8(a, a), 8), x));
  s->rows45 =
      _mm_add_epi32(s->rows45, _mm_madd_epi16(_mm_srai_epi16(_mm_unpacklo_epi8(b, b), 8), x));
  s->rows67 =
      _mm_add_epi32(s->rows67, _mm_madd_epi16(_mm_srai_epi16(_mm_unpackhi_epi8(b, b), 8), x));
}

/* Four rows' totals from two vectors of partial sums. */
static inline __m128 rowTotals(__m128i ab, __m128i cd) {
  const __m128 x = _mm_castsi128_ps(ab), y = _mm_castsi128_ps(cd);
  const __m128i first = _mm_castps_si128(_mm_shuffle_ps(x, y, _MM_SHUFFLE(2, 0, 2, 0)));
  const __m128i second = _mm_castps_si128(_mm_shuffle_ps(x, y, _MM_SHUFFLE(3, 1, 3, 1)));
  return _mm_cvtepi32_ps(_mm_add_epi32(first, second));
}

/* The block of outputs from i: its totals times the scale. */
static void storeInt8Block(const LinearLayer* l, int i, int N, float* out, const Int8Sums* s) {
  __m128 lo = rowTotals(s->rows01, s->rows23), hi = rowTotals(s->rows45, s->rows67);
  if (l->scale && i + 8 <= N) {
    lo = _mm_mul_ps(lo, _mm_loadu_ps(l->scale + i));
    hi = _mm_mul_ps(hi, _mm_loadu_ps(l->scale + i + 4));
  }
  storeBlock(out + i, N - i, lo, hi);
  for (int r = i; l->scale && i + 8 > N && r < N; r++) out[r] *= l->scale[r];
}

static void int8Layer(const LinearLayer* l, int M, int N, float* out, const float* in) {
  /* Quantised once per call, with zeros past the last input for the tiles
   * that reach beyond it. */
  uint16_t u[ORV_NNET_MAX_QUANTISED + 4];
  for (int j = 0; j < M; j++) u[j] = quantise(in[j]);
  memset(u + M, 0, 4 * sizeof u[0]);
  const signed char* w = l->weights;
  const int* idx = l->weights_idx;
  for (int i = 0; i < N; i += 8) {
    Int8Sums s = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128(),
                  _mm_setzero_si128()};
    if (idx) {
      const int tiles = *idx++;
      int t = 0;
      /* Two tiles per step: less loop work for each. */
      for (; t + 2 <= tiles; t += 2, idx += 2, w += 64) {
        const unsigned p0 = (unsigned)idx[0], p1 = (unsigned)idx[1];
        if (p0 < (unsigned)M) int8Tile(w, u + p0, &s);
        if (p1 < (unsigned)M) int8Tile(w + 32, u + p1, &s);
      }
      for (; t < tiles; t++, idx++, w += 32) {
        if ((unsigned)*idx < (unsigned)M) int8Tile(w, u + *idx, &s);
      }
    } else {
      for (int p = 0; p < M; p += 4, w += 32) int8Tile(w, u + p, &s);
    }
    storeInt8Block(l, i, N, out, &s);
  }
}

/* Layers wider than the buffer: each tile's inputs are quantised as it is
 * used. */
static void int8LayerWide(const LinearLayer* l, int M, int N, float* out, const float* in) {
  const signed char* w = l->weights;
  const int* idx = l->weights_idx;
  for (int i = 0; i < N; i += 8) {
    Int8Sums s = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128(),
                  _mm_setzero_si128()};
    const int tiles = idx ? *idx++ : (M + 3) / 4;
    for (int t = 0; t < tiles; t++, w += 32) {
      const unsigned p = idx ? (unsigned)*idx++ : 4u * (unsigned)t;
      if (p >= (unsigned)M) continue;
      uint16_t q[4];
      for (unsigned c = 0; c < 4; c++) q[c] = p + c < (unsigned)M ? quantise(in[p + c]) : 0;
      int8Tile(w, q, &s);
    }
    storeInt8Block(l, i, N, out, &s);
  }
}

void orv_linear_finish(const LinearLayer* l, float* out, const float* in) {
  const int M = l->nb_inputs > 0 ? l->nb_inputs : 0;
  const int N = l->nb_outputs > 0 ? l->nb_outputs : 0;
  /* int8 weights come with the bias that the input offset of 127 needs. */
  const float* bias = !l->float_weights && l->weights ? l->subias : l->bias;
  int i = 0;
  if (bias) {
    for (; i + 4 <= N; i += 4) {
      _mm_storeu_ps(out + i, _mm_add_ps(_mm_loadu_ps(out + i), _mm_loadu_ps(bias + i)));
    }
    for (; i < N; i++) out[i] += bias[i];
  }
  if (l->diag) {
    for (i = 0; i + 4 <= M; i += 4) {
      const __m128 x = _mm_loadu_ps(in + i);
      for (int k = 0; k < 3; k++) {
        float* o = out + i + k * M;
        _mm_storeu_ps(
            o, _mm_add_ps(_mm_loadu_ps(o), _mm_mul_ps(_mm_loadu_ps(l->diag + i + k * M), x)));
      }
    }
    for (; i < M; i++) {
      for (int k = 0; k < 3; k++) out[i + k * M] += l->diag[i + k * M] * in[i];
    }
  }
}

void orv_linear_baseline(const LinearLayer* l, float* out, const float* in) {
  const int M = l->nb_inputs > 0 ? l->nb_inputs : 0;
  const int N = l->nb_outputs > 0 ? l->nb_outputs : 0;
  if (l->float_weights && l->weights_idx) {
    floatSparse(l->float_weights, l->weights_idx, M, N, out, in);
  } else if (l->float_weights) {
    floatDense(l->float_weights, M, N, out, in);
  } else if (l->weights && M <= ORV_NNET_MAX_QUANTISED) {
    int8Layer(l, M, N, out, in);
  } else if (l->weights) {
    int8LayerWide(l, M, N, out, in);
  } else if (N > 0) {
    memset(out, 0, (size_t)N * sizeof(float));
  }
  orv_linear_finish(l, out, in);
}

/* ---- Activations ---- */

static inline __m128 tanhApprox(__m128 x) {
  const __m128 x2 = _mm_mul_ps(x, x);
  __m128 num = _mm_add_ps(_mm_mul_ps(x2, _mm_set1_ps(ORV_TANH_N2)), _mm_set1_ps(ORV_TANH_N1));
  num = _mm_mul_ps(_mm_add_ps(_mm_mul_ps(num, x2), _mm_set1_ps(ORV_TANH_N0)), x);
  __m128 den = _mm_add_ps(_mm_mul_ps(x2, _mm_set1_ps(ORV_TANH_D2)), _mm_set1_ps(ORV_TANH_D1));
  den = _mm_add_ps(_mm_mul_ps(den, x2), _mm_set1_ps(ORV_TANH_D0));
  const __m128 y = _mm_mul_ps(num, _mm_rcp_ps(den));
  /* min and max in this operand order let NaN through, as the library does. */
  return _mm_max_ps(_mm_set1_ps(-1.f), _mm_min_ps(_mm_set1_ps(1.f), y));
}

static inline __m128 sigmoidApprox(__m128 x) {
  const __m128 x2 = _mm_mul_ps(x, x);
  __m128 num = _mm_add_ps(_mm_mul_ps(x2, _mm_set1_ps(ORV_SIGMOID_N2)), _mm_set1_ps(ORV_SIGMOID_N1));
  num = _mm_mul_ps(_mm_add_ps(_mm_mul_ps(num, x2), _mm_set1_ps(ORV_SIGMOID_N0)), x);
  __m128 den = _mm_add_ps(_mm_mul_ps(x2, _mm_set1_ps(ORV_SIGMOID_D2)), _mm_set1_ps(ORV_SIGMOID_D1));
  den = _mm_add_ps(_mm_mul_ps(den, x2), _mm_set1_ps(ORV_SIGMOID_D0));
  const __m128 y = _mm_add_ps(_mm_mul_ps(num, _mm_rcp_ps(den)), _mm_set1_ps(.5f));
  return _mm_max_ps(_mm_setzero_ps(), _mm_min_ps(_mm_set1_ps(1.f), y));
}

static inline __m128 expApprox(__m128 x) {
  __m128 t = _mm_mul_ps(x, _mm_set1_ps(ORV_LOG2_E));
  t = _mm_max_ps(_mm_set1_ps(-ORV_EXP2_LIMIT), _mm_min_ps(_mm_set1_ps(ORV_EXP2_LIMIT), t));
  /* Rounded in the current rounding mode, as the library's conversion is. */
  const __m128i i = _mm_cvtps_epi32(_mm_add_ps(t, _mm_set1_ps(-.5f)));
  const __m128 f = _mm_sub_ps(t, _mm_cvtepi32_ps(i));
  __m128 p = _mm_add_ps(_mm_mul_ps(f, _mm_set1_ps(ORV_EXP2_C3)), _mm_set1_ps(ORV_EXP2_C2));
  p = _mm_add_ps(_mm_mul_ps(p, f), _mm_set1_ps(ORV_EXP2_C1));
  p = _mm_add_ps(_mm_mul_ps(p, f), _mm_set1_ps(ORV_EXP2_C0));
  const __m128i bits = _mm_add_epi32(_mm_castps_si128(p), _mm_slli_epi32(i, 23));
  return _mm_castsi128_ps(_mm_and_si128(bits, _mm_set1_epi32(0x7fffffff)));
}

static inline __m128 activate(__m128 x, int activation) {
  switch (activation) {
    case ORV_ACTIVATION_SIGMOID:
      return sigmoidApprox(x);
    case ORV_ACTIVATION_TANH:
      return tanhApprox(x);
    /* Zero where x < 0: -0 and NaN pass. */
    case ORV_ACTIVATION_RELU:
      return _mm_andnot_ps(_mm_cmplt_ps(x, _mm_setzero_ps()), x);
    case ORV_ACTIVATION_SOFTMAX:
      return expApprox(x);
    case ORV_ACTIVATION_SWISH:
      return _mm_mul_ps(x, sigmoidApprox(x));
    default:
      return x;
  }
}

void orv_activation_baseline(float* out, const float* in, int n, int activation) {
  if (n <= 0) return;
  if (activation < ORV_ACTIVATION_SIGMOID || activation > ORV_ACTIVATION_SWISH) {
    if (out != in) memmove(out, in, (size_t)n * sizeof(float));
    return;
  }
  int i = 0;
  for (; i + 4 <= n; i += 4) _mm_storeu_ps(out + i, activate(_mm_loadu_ps(in + i), activation));
  if (i < n) {
    float rest[4] = {0.f, 0.f, 0.f, 0.f};
    memcpy(rest, in + i, (size_t)(n - i) * sizeof(float));
    _mm_storeu_ps(rest, activate(_mm_loadu_ps(rest), activation));
    memcpy(out + i, rest, (size_t)(n - i) * sizeof(float));
  }
  if (activation == ORV_ACTIVATION_SOFTMAX) {
    /* Normalised by the float sum in order; the reciprocal in double with a
     * tiny offset so that an all-zero vector stays finite. */
    float sum = 0.f;
    for (i = 0; i < n; i++) sum += out[i];
    const float scale = (float)(1.0 / ((double)sum + 1e-30));
    for (i = 0; i < n; i++) out[i] *= scale;
  }
}
