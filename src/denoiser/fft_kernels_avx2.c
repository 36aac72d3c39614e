/* The AVX2 path of RNNoise's FFT, for the library's built-in 960-point state.
 *
 * A vector holds four complex values, real and imaginary parts interleaved as
 * in memory. A pass does four butterflies at once: those at four consecutive
 * offsets j (radix 3, 4 and 5 with legs m apart, m a multiple of 4), or, for
 * the first radix-4 pass whose legs are adjacent, four whole butterflies
 * transposed into lanes. Every lane does the portable path's operations in the
 * portable path's order; the only rearrangements are exact ones (swapping real
 * and imaginary parts, flipping signs, commuting a product or a sum), so the
 * results are the same bits. Compiled with -mavx2 and called only where the
 * processor has it. */
#include <immintrin.h>
#include <stdatomic.h>

#include "fft_kernels.h"

#define ORV_FFT_PLAN_NFFT 960
#define ORV_FFT_PLAN_TWIDDLES (3 * 1 + 3 * 4 + 3 * 16 + 2 * 64 + 4 * 192)

/* rnn_kfft's passes, last radix first, with each pass's twiddles gathered
 * into runs that a vector load reads: for leg k of the butterfly at offset
 * j, twiddle k j stride. */
typedef struct {
  int radix, m, count, span;    /* legs m apart, count butterfly groups span apart */
  const kiss_fft_cpx* twiddles; /* (radix - 1) runs of m */
} Pass;

static struct {
  int stages;
  Pass passes[ORV_FFT_MAX_FACTORS];
  kiss_fft_cpx twiddles[ORV_FFT_PLAN_TWIDDLES];
  const kiss_fft_state* state;
} plan;
static atomic_int planReady;

/* Builds the plan for rnn_kfft when the code is loaded (the table is the
 * archive's constant data). Any other state, or a layout this path does not
 * cover, leaves the plan empty and the portable path in use. */
__attribute__((constructor)) static void buildPlan(void) {
  const kiss_fft_state* st = &rnn_kfft;
  if (st->nfft != ORV_FFT_PLAN_NFFT || st->shift > 0) return;
  int stride[ORV_FFT_MAX_FACTORS + 1];
  int complete;
  const int stages = orv_fft_strides(st, stride, &complete);
  if (!complete) return;
  size_t used = 0;
  int m = 1;
  for (int s = stages - 1, p = 0; s >= 0; s--, p++) {
    const int radix = st->factors[2 * s];
    const int mm = s != 0 ? st->factors[2 * s - 1] : 1;
    Pass* pass = &plan.passes[p];
    pass->radix = radix;
    pass->m = m;
    pass->count = stride[s];
    pass->span = mm;
    if (radix < 3 || radix > 5) return;
    if (m == 1 ? radix != 4 || stride[s] % 4 != 0 : m % 4 != 0) return;
    if (used + (size_t)(radix - 1) * (size_t)m > ORV_FFT_PLAN_TWIDDLES) return;
    pass->twiddles = plan.twiddles + used;
    for (int k = 1; k < radix; k++)
      for (int j = 0; j < m; j++) plan.twiddles[used++] = st->twiddles[k * j * stride[s]];
    m = mm;
  }
  plan.stages = stages;
  plan.state = st;
  atomic_store_explicit(&planReady, 1, memory_order_release);
}

/* ---- Lane operations ---- */

static inline __m256 swapParts(__m256 a) {
  return _mm256_permute_ps(a, 0xB1);
}
static inline __m256 negate(__m256 a) {
  return _mm256_xor_ps(a, _mm256_set1_ps(-0.f));
}
/* Real lanes of a, imaginary lanes of b. */
static inline __m256 realsImags(__m256 a, __m256 b) {
  return _mm256_blend_ps(a, b, 0xAA);
}
/* Sign flip for the imaginary lanes. */
#define IMAG_SIGN _mm256_setr_ps(0.f, -0.f, 0.f, -0.f, 0.f, -0.f, 0.f, -0.f)

/* a b: re = a.r b.r - a.i b.i, im = a.i b.r + a.r b.i (the sum commuted). */
static inline __m256 cmul(__m256 a, __m256 b) {
  const __m256 t1 = _mm256_mul_ps(a, _mm256_moveldup_ps(b));
  const __m256 t2 = _mm256_mul_ps(swapParts(a), _mm256_movehdup_ps(b));
  return _mm256_addsub_ps(t1, t2);
}
/* (a.r + b.i, a.i - b.r): a - i b. addsub subtracts in real lanes, and
 * x - (-y) is x + y to the bit. */
static inline __m256 minusIb(__m256 a, __m256 b) {
  return _mm256_addsub_ps(a, negate(swapParts(b)));
}
/* (a.r - b.i, a.i + b.r): a + i b. */
static inline __m256 plusIb(__m256 a, __m256 b) {
  return _mm256_addsub_ps(a, swapParts(b));
}

#define LOAD(p) _mm256_loadu_ps((const float*)(p))
#define STORE(p, v) _mm256_storeu_ps((float*)(p), v)

/* ---- Passes ---- */

/* 4 x 4 transpose of complex values (64-bit lanes). */
static inline void transpose(__m256* v) {
  const __m256d t0 = _mm256_unpacklo_pd(_mm256_castps_pd(v[0]), _mm256_castps_pd(v[1]));
  const __m256d t1 = _mm256_unpackhi_pd(_mm256_castps_pd(v[0]), _mm256_castps_pd(v[1]));
  const __m256d t2 = _mm256_unpacklo_pd(_mm256_castps_pd(v[2]), _mm256_castps_pd(v[3]));
  const __m256d t3 = _mm256_unpackhi_pd(_mm256_castps_pd(v[2]), _mm256_castps_pd(v[3]));
  v[0] = _mm256_castpd_ps(_mm256_permute2f128_pd(t0, t2, 0x20));
  v[1] = _mm256_castpd_ps(_mm256_permute2f128_pd(t1, t3, 0x20));
  v[2] = _mm256_castpd_ps(_mm256_permute2f128_pd(t0, t2, 0x31));
  v[3] = _mm256_castpd_ps(_mm256_permute2f128_pd(t1, t3, 0x31));
}

/* Radix 4 with adjacent legs and no twiddles: four butterflies per round. */
static void radix4Adjacent(kiss_fft_cpx* f, int count) {
  for (int i = 0; i < count; i += 4, f += 16) {
    __m256 v[4] = {LOAD(f), LOAD(f + 4), LOAD(f + 8), LOAD(f + 12)};
    transpose(v);
    const __m256 s0 = _mm256_sub_ps(v[0], v[2]);
    __m256 f0 = _mm256_add_ps(v[0], v[2]);
    __m256 s1 = _mm256_add_ps(v[1], v[3]);
    v[2] = _mm256_sub_ps(f0, s1);
    v[0] = _mm256_add_ps(f0, s1);
    s1 = _mm256_sub_ps(v[1], v[3]);
    v[1] = minusIb(s0, s1);
    v[3] = plusIb(s0, s1);
    transpose(v);
    STORE(f, v[0]);
    STORE(f + 4, v[1]);
    STORE(f + 8, v[2]);
    STORE(f + 12, v[3]);
  }
}

static void radix4(kiss_fft_cpx* base, const Pass* p) {
  const int m = p->m;
  const kiss_fft_cpx* tw = p->twiddles;
  for (int i = 0; i < p->count; i++) {
    kiss_fft_cpx* f = base + i * p->span;
    for (int j = 0; j < m; j += 4, f += 4) {
      const __m256 s0 = cmul(LOAD(f + m), LOAD(tw + j));
      const __m256 s1 = cmul(LOAD(f + 2 * m), LOAD(tw + m + j));
      const __m256 s2 = cmul(LOAD(f + 3 * m), LOAD(tw + 2 * m + j));
      __m256 f0 = LOAD(f);
      const __m256 s5 = _mm256_sub_ps(f0, s1);
      f0 = _mm256_add_ps(f0, s1);
      const __m256 s3 = _mm256_add_ps(s0, s2), s4 = _mm256_sub_ps(s0, s2);
      STORE(f + 2 * m, _mm256_sub_ps(f0, s3));
      STORE(f, _mm256_add_ps(f0, s3));
      STORE(f + m, minusIb(s5, s4));
      STORE(f + 3 * m, plusIb(s5, s4));
    }
  }
}

static void radix3(kiss_fft_cpx* base, const Pass* p, const kiss_fft_state* st, int stride) {
  const int m = p->m;
  const kiss_fft_cpx* tw = p->twiddles;
  const __m256 sin3 = _mm256_set1_ps(st->twiddles[stride * m].i);
  const __m256 half = _mm256_set1_ps(.5f);
  for (int i = 0; i < p->count; i++) {
    kiss_fft_cpx* f = base + i * p->span;
    for (int j = 0; j < m; j += 4, f += 4) {
      const __m256 s1 = cmul(LOAD(f + m), LOAD(tw + j));
      const __m256 s2 = cmul(LOAD(f + 2 * m), LOAD(tw + m + j));
      const __m256 s3 = _mm256_add_ps(s1, s2);
      const __m256 s0 = _mm256_mul_ps(_mm256_sub_ps(s1, s2), sin3);
      const __m256 f0 = LOAD(f);
      const __m256 fm = _mm256_sub_ps(f0, _mm256_mul_ps(s3, half));
      STORE(f, _mm256_add_ps(f0, s3));
      STORE(f + 2 * m, minusIb(fm, s0));
      STORE(f + m, plusIb(fm, s0));
    }
  }
}

static void radix5(kiss_fft_cpx* base, const Pass* p, const kiss_fft_state* st, int stride) {
  const int m = p->m;
  const kiss_fft_cpx* tw = p->twiddles;
  const kiss_fft_cpx ya = st->twiddles[stride * m], yb = st->twiddles[stride * 2 * m];
  const __m256 yar = _mm256_set1_ps(ya.r), yai = _mm256_set1_ps(ya.i);
  const __m256 ybr = _mm256_set1_ps(yb.r), ybi = _mm256_set1_ps(yb.i);
  for (int i = 0; i < p->count; i++) {
    kiss_fft_cpx* f = base + i * p->span;
    for (int u = 0; u < m; u += 4, f += 4) {
      const __m256 s0 = LOAD(f);
      const __m256 s1 = cmul(LOAD(f + m), LOAD(tw + u));
      const __m256 s2 = cmul(LOAD(f + 2 * m), LOAD(tw + m + u));
      const __m256 s3 = cmul(LOAD(f + 3 * m), LOAD(tw + 2 * m + u));
      const __m256 s4 = cmul(LOAD(f + 4 * m), LOAD(tw + 3 * m + u));
      const __m256 s7 = _mm256_add_ps(s1, s4), s10 = _mm256_sub_ps(s1, s4);
      const __m256 s8 = _mm256_add_ps(s2, s3), s9 = _mm256_sub_ps(s2, s3);
      STORE(f, _mm256_add_ps(s0, _mm256_add_ps(s7, s8)));
      const __m256 s5 =
          _mm256_add_ps(s0, _mm256_add_ps(_mm256_mul_ps(s7, yar), _mm256_mul_ps(s8, ybr)));
      /* s6 = (v.i, -v.r) with v = s10 ya.i + s9 yb.i. */
      const __m256 v = _mm256_add_ps(_mm256_mul_ps(s10, yai), _mm256_mul_ps(s9, ybi));
      const __m256 s6 = _mm256_xor_ps(swapParts(v), IMAG_SIGN);
      STORE(f + m, _mm256_sub_ps(s5, s6));
      STORE(f + 4 * m, _mm256_add_ps(s5, s6));
      const __m256 s11 =
          _mm256_add_ps(s0, _mm256_add_ps(_mm256_mul_ps(s7, ybr), _mm256_mul_ps(s8, yar)));
      /* s12 = (P.i - Q.i, Q.r - P.r) with P = s9 ya.i, Q = s10 yb.i: both
       * differences as written, so that a zero keeps its sign. */
      const __m256 pp = _mm256_mul_ps(s9, yai), q = _mm256_mul_ps(s10, ybi);
      const __m256 s12 = swapParts(realsImags(_mm256_sub_ps(q, pp), _mm256_sub_ps(pp, q)));
      STORE(f + 2 * m, _mm256_add_ps(s11, s12));
      STORE(f + 3 * m, _mm256_sub_ps(s11, s12));
    }
  }
}

static void passes(const kiss_fft_state* st, kiss_fft_cpx* f) {
  int stride = ORV_FFT_PLAN_NFFT;
  for (int s = 0; s < plan.stages; s++) {
    const Pass* p = &plan.passes[s];
    stride /= p->radix;
    switch (p->radix) {
      case 3:
        radix3(f, p, st, stride);
        break;
      case 4:
        if (p->m == 1) {
          radix4Adjacent(f, p->count);
        } else {
          radix4(f, p);
        }
        break;
      default:
        radix5(f, p, st, stride);
        break;
    }
  }
}

int orv_fft_avx2(const kiss_fft_state* st, const kiss_fft_cpx* fin, kiss_fft_cpx* fout,
                 int inverse) {
  if (!atomic_load_explicit(&planReady, memory_order_acquire) || st != plan.state) return 0;
  const __m256 imagSign = IMAG_SIGN; /* conjugates, for the inverse */
  if (fin != NULL) {
    /* Digit-reversed copy, four values at a time: scaled forward, conjugated
     * for the inverse. */
    const __m256 scale = _mm256_set1_ps(st->scale);
    const int* rev = st->bitrev;
    for (int k = 0; k < ORV_FFT_PLAN_NFFT; k += 4) {
      const __m256 x =
          inverse ? _mm256_xor_ps(LOAD(fin + k), imagSign) : _mm256_mul_ps(LOAD(fin + k), scale);
      const __m128 lo = _mm256_castps256_ps128(x), hi = _mm256_extractf128_ps(x, 1);
      _mm_storel_pi((__m64*)(fout + rev[k]), lo);
      _mm_storeh_pi((__m64*)(fout + rev[k + 1]), lo);
      _mm_storel_pi((__m64*)(fout + rev[k + 2]), hi);
      _mm_storeh_pi((__m64*)(fout + rev[k + 3]), hi);
    }
  }
  passes(st, fout);
  if (inverse && fin != NULL) {
    for (int k = 0; k < ORV_FFT_PLAN_NFFT; k += 4)
      STORE(fout + k, _mm256_xor_ps(LOAD(fout + k), imagSign));
  }
  return 1;
}
