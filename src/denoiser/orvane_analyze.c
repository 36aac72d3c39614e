/* orvane_analyze: RNNoise's per-frame analysis without synthesis. */
#include "orvane_analyze.h"

#include "rnnoise_internal.h"

/* The library's input high-pass (rnn_biquad with its own coefficients):
 * numerator {-2, 1}, denominator {-1.99599, 0.996}, as single-precision
 * constants evaluated in double, in the library's order of operations so the
 * memories evolve bit for bit as in rnnoise_process_frame. */
static void high_pass(float* y, float mem[2], const float* x) {
  static const float b[2] = {-2.f, 1.f};
  static const float a[2] = {-1.99599f, .996f};
  for (int i = 0; i < ORV_FRAME_SIZE; i++) {
    float xi = x[i];
    float yi = x[i] + mem[0];
    mem[0] = (float)(mem[1] + (b[0] * (double)xi - a[0] * (double)yi));
    mem[1] = (float)(b[1] * (double)xi - a[1] * (double)yi);
    y[i] = yi;
  }
}

float orvane_analyze(DenoiseState* st, float* gains, const float* in) {
  kiss_fft_cpx X[ORV_FREQ_SIZE];
  kiss_fft_cpx P[ORV_FREQ_SIZE];
  float Ex[ORV_NB_BANDS], Ep[ORV_NB_BANDS], Exp[ORV_NB_BANDS];
  float features[ORV_NB_FEATURES];
  float x[ORV_FRAME_SIZE];
  float g[ORV_NB_BANDS];
  float vad = 0.f;

  high_pass(x, st->mem_hp_x, in);
  if (rnn_compute_frame_features(st, X, P, Ex, Ep, Exp, features, x)) {
    /* Silent frame: the network does not run and its state does not advance. */
    for (int b = 0; b < ORV_NB_BANDS; b++) {
      st->lastg[b] = 0.f;
      gains[b] = 0.f;
    }
    return 0.f;
  }
  compute_rnn(&st->model, &st->rnn, g, &vad, features, st->arch);
  /* Release cap: a band may rise freely but falls to no less than 30 % of its
   * previous gain per 10 ms frame, which keeps the live FIR from pumping on
   * short gaps. (rnnoise_process_frame uses 60 % here.) */
  for (int b = 0; b < ORV_NB_BANDS; b++) {
    float floor_gain = .3f * st->lastg[b];
    float h = g[b] > floor_gain ? g[b] : floor_gain;
    st->lastg[b] = h;
    gains[b] = h;
  }
  return vad;
}
