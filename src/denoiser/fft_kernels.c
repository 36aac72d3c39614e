/* RNNoise's FFT: the state's construction, the portable passes and the
 * choice of path. fft_kernels.h states the arithmetic. */
#include "fft_kernels.h"

#include <math.h>
#include <stdlib.h>

#include "nnet_kernels.h"

/* ---- Construction ---- */

/* Splits n into radices: 4s first, then 2s, 3s and odd numbers up to 5, a 2
 * found after the first two radices moved to second place (the radix-2 pass
 * assumes it follows a radix-4 one), then the whole list reversed. Each pair
 * is (radix, n divided by this and every earlier radix). 0 when n has a
 * prime factor above 5. */
static int factorise(int n, short* factors) {
  const int total = n;
  int p = 4, stages = 0;
  do {
    while (n % p) {
      p = p == 4 ? 2 : p == 2 ? 3 : p + 2;
      if (p > 32000 || p * p > n) p = n;
    }
    n /= p;
    if (p > 5 || stages >= ORV_FFT_MAX_FACTORS) return 0;
    factors[2 * stages] = (short)p;
    if (p == 2 && stages > 1) {
      factors[2 * stages] = 4;
      factors[2] = 2;
    }
    stages++;
  } while (n > 1);
  for (int i = 0; i < stages / 2; i++) {
    const short t = factors[2 * i];
    factors[2 * i] = factors[2 * (stages - i - 1)];
    factors[2 * (stages - i - 1)] = t;
  }
  n = total;
  for (int i = 0; i < stages; i++) {
    n /= factors[2 * i];
    factors[2 * i + 1] = (short)n;
  }
  return 1;
}

/* Where input k goes: digit reversal in the mixed radix of the factors. */
static void digitReversal(int out, int* table, int stride, const short* factors) {
  const int p = factors[0], m = factors[1];
  for (int j = 0; j < p; j++, table += stride, out += m) {
    if (m == 1) {
      *table = out;
    } else {
      digitReversal(out, table, stride * p, factors + 2);
    }
  }
}

kiss_fft_state* rnn_fft_alloc_twiddles(int nfft, void* mem, size_t* lenmem,
                                       const kiss_fft_state* base, int arch) {
  (void)arch;
  kiss_fft_state* st = NULL;
  const int own = lenmem == NULL;
  if (own) {
    st = calloc(1, sizeof *st);
  } else {
    if (mem != NULL && *lenmem >= sizeof *st) st = mem;
    *lenmem = sizeof *st;
  }
  if (st == NULL) return NULL;
  st->nfft = nfft;
  st->scale = 1.f / (float)nfft;
  st->bitrev = NULL;
  st->twiddles = NULL;
  st->arch_fft = NULL;
  int* bitrev = NULL;
  kiss_fft_cpx* twiddles = NULL;
  if (base != NULL) {
    st->shift = 0;
    while (nfft > 0 && st->shift < 32 && ((long long)nfft << st->shift) != base->nfft) st->shift++;
    if (st->shift >= 32) goto fail;
    st->twiddles = base->twiddles;
  } else {
    st->shift = -1;
    if (nfft <= 0 || !(twiddles = malloc(sizeof *twiddles * (size_t)nfft))) goto fail;
    for (int k = 0; k < nfft; k++) {
      const double phase = (-2 * 3.14159265358979323846264338327 / nfft) * k;
      twiddles[k].r = (float)cos(phase);
      twiddles[k].i = (float)sin(phase);
    }
    st->twiddles = twiddles;
  }
  if (nfft <= 0 || !factorise(nfft, st->factors)) goto fail;
  if (!(bitrev = malloc(sizeof *bitrev * (size_t)nfft))) goto fail;
  digitReversal(0, bitrev, 1, st->factors);
  st->bitrev = bitrev;
  return st;
fail:
  free(twiddles);
  free(bitrev);
  if (own) free(st);
  return NULL;
}

kiss_fft_state* rnn_fft_alloc(int nfft, void* mem, size_t* lenmem, int arch) {
  return rnn_fft_alloc_twiddles(nfft, mem, lenmem, NULL, arch);
}

int rnn_fft_alloc_arch_c(kiss_fft_state* st) {
  (void)st;
  return 0;
}

void rnn_fft_free_arch_c(kiss_fft_state* st) {
  (void)st;
}

void rnn_fft_free(const kiss_fft_state* st, int arch) {
  (void)arch;
  if (st == NULL) return;
  free((void*)st->bitrev);
  if (st->shift < 0) free((void*)st->twiddles);
  free((void*)st);
}

/* ---- The portable passes ---- */

static inline kiss_fft_cpx cmul(kiss_fft_cpx a, kiss_fft_cpx b) {
  kiss_fft_cpx m = {a.r * b.r - a.i * b.i, a.r * b.i + a.i * b.r};
  return m;
}
static inline kiss_fft_cpx cadd(kiss_fft_cpx a, kiss_fft_cpx b) {
  kiss_fft_cpx s = {a.r + b.r, a.i + b.i};
  return s;
}
static inline kiss_fft_cpx csub(kiss_fft_cpx a, kiss_fft_cpx b) {
  kiss_fft_cpx d = {a.r - b.r, a.i - b.i};
  return d;
}

/* Radix 2 after a radix-4 pass (m = 4): the twiddles are 1, e^-i pi/4, -i and
 * e^-3i pi/4, written out with sqrt(1/2) rounded to float. */
static void radix2(kiss_fft_cpx* f, int n) {
  const float h = 0.7071067812f;
  for (int i = 0; i < n; i++, f += 8) {
    kiss_fft_cpx* g = f + 4;
    kiss_fft_cpx t[4] = {g[0],
                         {(g[1].r + g[1].i) * h, (g[1].i - g[1].r) * h},
                         {g[2].i, -g[2].r},
                         {(g[3].i - g[3].r) * h, -(g[3].i + g[3].r) * h}};
    for (int k = 0; k < 4; k++) {
      g[k] = csub(f[k], t[k]);
      f[k] = cadd(f[k], t[k]);
    }
  }
}

static void radix4(kiss_fft_cpx* base, const kiss_fft_cpx* tw, int stride, int m, int n, int mm) {
  for (int i = 0; i < n; i++) {
    kiss_fft_cpx* f = base + (m == 1 ? 4 * i : i * mm);
    for (int j = 0; j < m; j++, f++) {
      const kiss_fft_cpx s0 = m == 1 ? f[m] : cmul(f[m], tw[j * stride]);
      const kiss_fft_cpx s1 = m == 1 ? f[2 * m] : cmul(f[2 * m], tw[2 * j * stride]);
      const kiss_fft_cpx s2 = m == 1 ? f[3 * m] : cmul(f[3 * m], tw[3 * j * stride]);
      const kiss_fft_cpx s5 = csub(f[0], s1);
      f[0] = cadd(f[0], s1);
      const kiss_fft_cpx s3 = cadd(s0, s2), s4 = csub(s0, s2);
      f[2 * m] = csub(f[0], s3);
      f[0] = cadd(f[0], s3);
      f[m].r = s5.r + s4.i;
      f[m].i = s5.i - s4.r;
      f[3 * m].r = s5.r - s4.i;
      f[3 * m].i = s5.i + s4.r;
    }
  }
}

static void radix3(kiss_fft_cpx* base, const kiss_fft_cpx* tw, int stride, int m, int n, int mm) {
  const float sin3 = tw[stride * m].i; /* -sin(2 pi / 3) */
  for (int i = 0; i < n; i++) {
    kiss_fft_cpx* f = base + i * mm;
    for (int j = 0; j < m; j++, f++) {
      const kiss_fft_cpx s1 = cmul(f[m], tw[j * stride]);
      const kiss_fft_cpx s2 = cmul(f[2 * m], tw[2 * j * stride]);
      const kiss_fft_cpx s3 = cadd(s1, s2);
      kiss_fft_cpx s0 = csub(s1, s2);
      f[m].r = f[0].r - s3.r * .5f;
      f[m].i = f[0].i - s3.i * .5f;
      s0.r *= sin3;
      s0.i *= sin3;
      f[0] = cadd(f[0], s3);
      f[2 * m].r = f[m].r + s0.i;
      f[2 * m].i = f[m].i - s0.r;
      f[m].r = f[m].r - s0.i;
      f[m].i = f[m].i + s0.r;
    }
  }
}

static void radix5(kiss_fft_cpx* base, const kiss_fft_cpx* tw, int stride, int m, int n, int mm) {
  const kiss_fft_cpx ya = tw[stride * m], yb = tw[stride * 2 * m];
  for (int i = 0; i < n; i++) {
    kiss_fft_cpx* f = base + i * mm;
    for (int u = 0; u < m; u++, f++) {
      const kiss_fft_cpx s0 = f[0];
      const kiss_fft_cpx s1 = cmul(f[m], tw[u * stride]);
      const kiss_fft_cpx s2 = cmul(f[2 * m], tw[2 * u * stride]);
      const kiss_fft_cpx s3 = cmul(f[3 * m], tw[3 * u * stride]);
      const kiss_fft_cpx s4 = cmul(f[4 * m], tw[4 * u * stride]);
      const kiss_fft_cpx s7 = cadd(s1, s4), s10 = csub(s1, s4);
      const kiss_fft_cpx s8 = cadd(s2, s3), s9 = csub(s2, s3);
      f[0].r = f[0].r + (s7.r + s8.r);
      f[0].i = f[0].i + (s7.i + s8.i);
      const kiss_fft_cpx s5 = {s0.r + (s7.r * ya.r + s8.r * yb.r),
                               s0.i + (s7.i * ya.r + s8.i * yb.r)};
      const kiss_fft_cpx s6 = {s10.i * ya.i + s9.i * yb.i, -(s10.r * ya.i + s9.r * yb.i)};
      f[m] = csub(s5, s6);
      f[4 * m] = cadd(s5, s6);
      const kiss_fft_cpx s11 = {s0.r + (s7.r * yb.r + s8.r * ya.r),
                                s0.i + (s7.i * yb.r + s8.i * ya.r)};
      const kiss_fft_cpx s12 = {s9.i * ya.i - s10.i * yb.i, s10.r * yb.i - s9.r * ya.i};
      f[2 * m] = cadd(s11, s12);
      f[3 * m] = csub(s11, s12);
    }
  }
}

void orv_fft_impl_portable(const kiss_fft_state* st, kiss_fft_cpx* fout) {
  const int shift = st->shift > 0 ? st->shift : 0;
  int stride[ORV_FFT_MAX_FACTORS + 1];
  int complete;
  const int stages = orv_fft_strides(st, stride, &complete);
  /* Last radix first; m is the length each butterfly's legs are apart. */
  int m = 1;
  for (int s = stages - 1; s >= 0; s--) {
    const int mm = s != 0 ? st->factors[2 * s - 1] : 1;
    const int tws = stride[s] << shift;
    switch (st->factors[2 * s]) {
      case 2:
        radix2(fout, stride[s]);
        break;
      case 3:
        radix3(fout, st->twiddles, tws, m, stride[s], mm);
        break;
      case 4:
        radix4(fout, st->twiddles, tws, m, stride[s], mm);
        break;
      case 5:
        radix5(fout, st->twiddles, tws, m, stride[s], mm);
        break;
      default:
        break;
    }
    m = mm;
  }
}

/* ---- Entry points and the choice of path ---- */

void rnn_fft_impl(const kiss_fft_state* st, kiss_fft_cpx* fout) {
  if (orvane_nnet_path() != ORV_NNET_BASELINE && orv_fft_avx2(st, NULL, fout, 0)) return;
  orv_fft_impl_portable(st, fout);
}

void rnn_fft_c(const kiss_fft_state* st, const kiss_fft_cpx* fin, kiss_fft_cpx* fout) {
  if (orvane_nnet_path() != ORV_NNET_BASELINE && orv_fft_avx2(st, fin, fout, 0)) return;
  const float scale = st->scale;
  for (int k = 0; k < st->nfft; k++) {
    fout[st->bitrev[k]].r = scale * fin[k].r;
    fout[st->bitrev[k]].i = scale * fin[k].i;
  }
  orv_fft_impl_portable(st, fout);
}

void rnn_ifft_c(const kiss_fft_state* st, const kiss_fft_cpx* fin, kiss_fft_cpx* fout) {
  if (orvane_nnet_path() != ORV_NNET_BASELINE && orv_fft_avx2(st, fin, fout, 1)) return;
  for (int k = 0; k < st->nfft; k++) fout[st->bitrev[k]] = fin[k];
  for (int k = 0; k < st->nfft; k++) fout[k].i = -fout[k].i;
  orv_fft_impl_portable(st, fout);
  for (int k = 0; k < st->nfft; k++) fout[k].i = -fout[k].i;
}
