/* Our definitions of RNNoise's FFT, faster than the archive's own and bit for
 * bit equal to them.
 *
 * The library transforms three 960-sample windows per frame (the input and
 * the pitch-delayed signal forward, and the synthesis, which it also runs
 * forward on a mirrored spectrum) with rnn_fft_c on its one built-in state,
 * rnn_kfft (radices 4, 4, 4, 3, 5). These definitions replace every global
 * symbol of the archive's member kiss_fft.o, so that member is never taken
 * (cmake/RnnoiseKernels.cmake links them ahead of the archive, as it does the
 * network kernels).
 *
 * Arithmetic, as in the library's mixed-radix transform: the input is copied
 * in digit-reversed order (times `scale` on the forward path), then one pass
 * per radix, from the last factor to the first, each butterfly with its
 * complex products (re = a.r b.r - a.i b.i, im = a.r b.i + a.i b.r) and sums
 * rounded to single precision one operation at a time, never fused.
 *
 * Two paths, chosen with the network kernels' path (orvane_nnet_path): the
 * AVX2 one does four butterflies of a pass at once, each lane in the order
 * above, for the library's own state; the portable C one does one at a time,
 * for any state and any processor. Transforms are real-time safe: no
 * allocation, no lock, no system call. */
#ifndef ORVANE_FFT_KERNELS_H
#define ORVANE_FFT_KERNELS_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#include "rnnoise_internal.h"

#define ORV_FFT_MAX_FACTORS 8

typedef struct {
  int is_supported;
  void* priv;
} arch_fft_state;

/* The library's transform state (72 bytes): size, forward scale (1/nfft),
 * twiddle stride as a power of two (-1 when it owns its twiddles), the
 * factors as (radix, remaining length) pairs, first radix first, the
 * digit-reversal table and the twiddles exp(-2 pi i k / n), k < n. */
typedef struct kiss_fft_state {
  int nfft;
  float scale;
  int shift;
  short factors[2 * ORV_FFT_MAX_FACTORS];
  const int* bitrev;
  const kiss_fft_cpx* twiddles;
  arch_fft_state* arch_fft;
} kiss_fft_state;

ORV_STATIC_ASSERT(sizeof(kiss_fft_state) == 72, "kiss_fft_state layout");

/* The strides of the state's passes, first radix first: stride[0] = 1 and
 * stride[s + 1] = stride[s] times radix s. Returns the number of passes;
 * *complete says whether the factors end (remaining length 1) within
 * ORV_FFT_MAX_FACTORS. */
static inline int orv_fft_strides(const kiss_fft_state* st, int stride[ORV_FFT_MAX_FACTORS + 1],
                                  int* complete) {
  int stages = 0, m;
  stride[0] = 1;
  do {
    stride[stages + 1] = stride[stages] * st->factors[2 * stages];
    m = st->factors[2 * stages + 1];
    stages++;
  } while (m != 1 && stages < ORV_FFT_MAX_FACTORS);
  *complete = m == 1;
  return stages;
}

/* The library's built-in 960-point state (defined by the archive). */
extern const kiss_fft_state rnn_kfft;

/* Allocates a state for nfft points, with its own twiddles or, with `base`,
 * those of a state 2^k times longer. With lenmem non-NULL the state goes into
 * mem when *lenmem is large enough, and *lenmem is set to the size needed.
 * NULL when nfft has a prime factor above 5 or base does not fit. */
kiss_fft_state* rnn_fft_alloc_twiddles(int nfft, void* mem, size_t* lenmem,
                                       const kiss_fft_state* base, int arch);
kiss_fft_state* rnn_fft_alloc(int nfft, void* mem, size_t* lenmem, int arch);
int rnn_fft_alloc_arch_c(kiss_fft_state* st);
/* Frees the tables and the state itself (also one placed in caller memory,
 * as the library does: such a state must not be freed). */
void rnn_fft_free(const kiss_fft_state* st, int arch);
void rnn_fft_free_arch_c(kiss_fft_state* st);

/* fout = the forward transform of fin, times st->scale. fin and fout: nfft
 * values each, not overlapping. */
void rnn_fft_c(const kiss_fft_state* st, const kiss_fft_cpx* fin, kiss_fft_cpx* fout);
/* fout = the unscaled inverse transform of fin (conjugate, forward passes,
 * conjugate). */
void rnn_ifft_c(const kiss_fft_state* st, const kiss_fft_cpx* fin, kiss_fft_cpx* fout);
/* The passes alone, in place, on data already in digit-reversed order. */
void rnn_fft_impl(const kiss_fft_state* st, kiss_fft_cpx* fout);

/* The paths themselves. orv_fft_avx2 returns 0 (and does nothing) for a state
 * it has no plan for; it plans for rnn_kfft only. */
void orv_fft_impl_portable(const kiss_fft_state* st, kiss_fft_cpx* fout);
int orv_fft_avx2(const kiss_fft_state* st, const kiss_fft_cpx* fin, kiss_fft_cpx* fout,
                 int inverse);

#ifdef __cplusplus
}
#endif

#endif
