/* Our definitions of RNNoise's pitch analysis, faster than the archive's own
 * and bit for bit equal to them.
 *
 * Per frame the library downsamples the pitch buffer, searches it for the
 * period (a cross-correlation over 147 lags, then a finer one around the two
 * best) and checks the period against its fractions (remove_doubling); its LPC
 * analysis also calls rnn_pitch_xcorr for the autocorrelation. These
 * definitions replace every global symbol of the archive's member pitch.o, so
 * that member is never taken (cmake/RnnoiseKernels.cmake).
 *
 * Every correlation here is a sum over the signal in index order, from 0,
 * each product and sum rounded to single precision, never fused; the
 * decisions between them are the library's, operation for operation. The
 * sums are independent of one another, so the AVX2 path computes eight at
 * once, one per lane, each in that order; the portable path interleaves a few
 * in scalar code. The path is the network kernels' (orvane_nnet_path).
 * All functions are real-time safe: no allocation, no lock, no system call;
 * about 7 kB of stack. */
#ifndef ORVANE_PITCH_KERNELS_H
#define ORVANE_PITCH_KERNELS_H

#ifdef __cplusplus
extern "C" {
#endif

/* The library's limits for the fixed buffers below (its 960-sample pitch
 * frame and 768-sample longest period at 48 kHz). */
#define ORV_PITCH_MAX_FRAME 960
#define ORV_PITCH_MAX_PERIOD 768

/* xcorr[i] = sum over j < len of x[j] y[i + j], for i < max_pitch. y holds
 * len + max_pitch - 1 values. */
void rnn_pitch_xcorr(const float* x, const float* y, float* xcorr, int len, int max_pitch);

/* x_lp[0 .. len/2) = the channels x[0 .. C) (len samples each, C = 1 or 2)
 * halved in rate with a [1/4 1/2 1/4] filter, summed, then whitened by a
 * fourth-order LPC filter fitted to them with a zero added at 0.8. */
void rnn_pitch_downsample(float* x[], float* x_lp, int len, int C);

/* *pitch = the lag below max_pitch (len <= 960, max_pitch <= 768) where the
 * len samples x_lp correlate best with y (len + max_pitch samples), searched
 * at a quarter and then at half the rate, refined by interpolation. */
void rnn_pitch_search(const float* x_lp, float* y, int len, int max_pitch, int* pitch);

/* Checks whether a fraction T0/k (k = 2..15) of the period *T0_ found in x
 * (maxperiod <= 1536 samples of history before it, N after) correlates well
 * enough to be the true period, favouring one near prev_period; *T0_ becomes
 * the chosen period (at least minperiod). Returns its gain in [0, 1]. */
float rnn_remove_doubling(float* x, int maxperiod, int minperiod, int N, int* T0_, int prev_period,
                          float prev_gain);

/* The AVX2 sums, as the functions above use them. orv_pitch_offset_sums_avx2:
 * out[s] = sum over i < n of x[i] y[i + offsets[s]], for s < count. */
void orv_pitch_xcorr_avx2(const float* x, const float* y, float* xcorr, int len, int max_pitch);
void orv_pitch_offset_sums_avx2(const float* x, const float* y, int n, const int* offsets,
                                int count, float* out);
/* x[i] = x[i] + num[0] x[i-1] + ... + num[4] x[i-5] for i < n, from the
 * values before the call (zeros before x[0]), summed in that order: the
 * downsampler's last filter, eight outputs at once. */
void orv_pitch_fir5_avx2(float* x, int n, const float* num);

#ifdef __cplusplus
}
#endif

#endif
