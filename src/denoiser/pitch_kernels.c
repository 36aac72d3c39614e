/* RNNoise's pitch analysis: the decisions, and the portable sums.
 * pitch_kernels.h states the arithmetic. */
#include "pitch_kernels.h"

#include <math.h>
#include <stdlib.h>

#include "nnet_kernels.h"

/* The library's LPC helpers (celt_lpc.o). */
int rnn_autocorr(const float* x, float* ac, const float* window, int overlap, int lag, int n);
void rnn_lpc(float* lpc, const float* ac, int p);

static int useAvx2(void) {
  return orvane_nnet_path() != ORV_NNET_BASELINE;
}

/* ---- Sums ---- */

static void xcorrPortable(const float* x, const float* y, float* xcorr, int len, int maxPitch) {
  int i = 0;
  /* Four lags at a time: four independent sums. */
  for (; i + 4 <= maxPitch; i += 4) {
    float s0 = 0.f, s1 = 0.f, s2 = 0.f, s3 = 0.f;
    for (int j = 0; j < len; j++) {
      const float v = x[j];
      s0 = s0 + v * y[i + j];
      s1 = s1 + v * y[i + j + 1];
      s2 = s2 + v * y[i + j + 2];
      s3 = s3 + v * y[i + j + 3];
    }
    xcorr[i] = s0;
    xcorr[i + 1] = s1;
    xcorr[i + 2] = s2;
    xcorr[i + 3] = s3;
  }
  for (; i < maxPitch; i++) {
    float s = 0.f;
    for (int j = 0; j < len; j++) s = s + x[j] * y[i + j];
    xcorr[i] = s;
  }
}

void rnn_pitch_xcorr(const float* x, const float* y, float* xcorr, int len, int max_pitch) {
  if (useAvx2()) {
    orv_pitch_xcorr_avx2(x, y, xcorr, len, max_pitch);
  } else {
    xcorrPortable(x, y, xcorr, len, max_pitch);
  }
}

/* out[s] = sum over i < n of x[i] y[i + offsets[s]]: correlations at lags
 * that need not be neighbours. */
static void offsetSums(const float* x, const float* y, int n, const int* offsets, int count,
                       float* out) {
  if (useAvx2()) {
    orv_pitch_offset_sums_avx2(x, y, n, offsets, count, out);
    return;
  }
  int s = 0;
  for (; s + 2 <= count; s += 2) {
    const float *a = y + offsets[s], *b = y + offsets[s + 1];
    float sa = 0.f, sb = 0.f;
    for (int i = 0; i < n; i++) {
      sa = sa + x[i] * a[i];
      sb = sb + x[i] * b[i];
    }
    out[s] = sa;
    out[s + 1] = sb;
  }
  for (; s < count; s++) {
    const float* a = y + offsets[s];
    float sa = 0.f;
    for (int i = 0; i < n; i++) sa = sa + x[i] * a[i];
    out[s] = sa;
  }
}

/* ---- Downsampling ---- */

void rnn_pitch_downsample(float* x[], float* x_lp, int len, int C) {
  const int half = len >> 1;
  for (int i = 1; i < half; i++)
    x_lp[i] = .5f * (.5f * (x[0][2 * i - 1] + x[0][2 * i + 1]) + x[0][2 * i]);
  x_lp[0] = .5f * (.5f * x[0][1] + x[0][0]);
  if (C == 2) {
    for (int i = 1; i < half; i++)
      x_lp[i] += .5f * (.5f * (x[1][2 * i - 1] + x[1][2 * i + 1]) + x[1][2 * i]);
    x_lp[0] += .5f * (.5f * x[1][1] + x[1][0]);
  }
  float ac[5];
  rnn_autocorr(x_lp, ac, NULL, 0, 4, half);
  ac[0] *= 1.0001f; /* a noise floor 40 dB down */
  /* Lag window: a Gaussian of 0.008 (in units of the sample rate) per lag,
   * to first order. */
  for (int i = 1; i <= 4; i++) ac[i] -= ac[i] * (.008f * (float)i) * (.008f * (float)i);
  float lpc[4];
  rnn_lpc(lpc, ac, 4);
  /* Bandwidth expansion by 0.9 per coefficient. */
  float g = 1.f;
  for (int i = 0; i < 4; i++) {
    g = .9f * g;
    lpc[i] = lpc[i] * g;
  }
  /* A zero at z = -0.8 folded in: five taps. */
  const float c1 = .8f;
  const float num[5] = {lpc[0] + .8f, lpc[1] + c1 * lpc[0], lpc[2] + c1 * lpc[1],
                        lpc[3] + c1 * lpc[2], c1 * lpc[3]};
  if (useAvx2()) {
    orv_pitch_fir5_avx2(x_lp, half, num);
    return;
  }
  float m0 = 0.f, m1 = 0.f, m2 = 0.f, m3 = 0.f, m4 = 0.f;
  for (int i = 0; i < half; i++) {
    const float v = x_lp[i];
    float sum = v + num[0] * m0;
    sum = sum + num[1] * m1;
    sum = sum + num[2] * m2;
    sum = sum + num[3] * m3;
    sum = sum + num[4] * m4;
    m4 = m3;
    m3 = m2;
    m2 = m1;
    m1 = m0;
    m0 = v;
    x_lp[i] = sum;
  }
}

/* ---- Search ---- */

/* The two lags below maxPitch with the largest xcorr^2 / energy of the len
 * samples of y at that lag (positive xcorr only, scaled by 1e-12 against
 * overflow); best[0] the better. */
static void findBestPitch(const float* xcorr, const float* y, int len, int maxPitch, int* best) {
  float syy = 1.f;
  float bestNum[2] = {-1.f, -1.f}, bestDen[2] = {0.f, 0.f};
  best[0] = 0;
  best[1] = 1;
  for (int j = 0; j < len; j++) syy = syy + y[j] * y[j];
  for (int i = 0; i < maxPitch; i++) {
    if (xcorr[i] > 0) {
      const float scaled = xcorr[i] * 1e-12f;
      const float num = scaled * scaled;
      if (num * bestDen[1] > bestNum[1] * syy) {
        if (num * bestDen[0] > bestNum[0] * syy) {
          bestNum[1] = bestNum[0];
          bestDen[1] = bestDen[0];
          best[1] = best[0];
          bestNum[0] = num;
          bestDen[0] = syy;
          best[0] = i;
        } else {
          bestNum[1] = num;
          bestDen[1] = syy;
          best[1] = i;
        }
      }
    }
    syy += y[i + len] * y[i + len] - y[i] * y[i];
    syy = 1.f > syy ? 1.f : syy;
  }
}

/* -1, 0 or 1: where the peak b between neighbours a and c leans. */
static int interpolationOffset(float a, float b, float c) {
  if ((c - a) > .7f * (b - a)) return 1;
  if ((a - c) > .7f * (b - c)) return -1;
  return 0;
}

void rnn_pitch_search(const float* x_lp, float* y, int len, int max_pitch, int* pitch) {
  /* Cleared, though every value read is written first: the static analyser
   * cannot follow the lengths. */
  float x4[ORV_PITCH_MAX_FRAME >> 2] = {0};
  float y4[(ORV_PITCH_MAX_FRAME + ORV_PITCH_MAX_PERIOD) >> 2] = {0};
  float xcorr[ORV_PITCH_MAX_PERIOD >> 1];
  const int lag = len + max_pitch;
  int best[2] = {0, 0};
  /* Outside the buffers' sizes the library would write past them; here the
   * search finds nothing. */
  if (len <= 0 || max_pitch <= 0 || len > ORV_PITCH_MAX_FRAME || max_pitch > ORV_PITCH_MAX_PERIOD) {
    *pitch = 0;
    return;
  }

  /* At a quarter of the rate. */
  for (int j = 0; j < len >> 2; j++) x4[j] = x_lp[2 * j];
  for (int j = 0; j < lag >> 2; j++) y4[j] = y[2 * j];
  rnn_pitch_xcorr(x4, y4, xcorr, len >> 2, max_pitch >> 2);
  findBestPitch(xcorr, y4, len >> 2, max_pitch >> 2, best);

  /* At half the rate, only within two lags of the two best: runs of
   * neighbouring lags go through the cross-correlation together. */
  const int half = max_pitch >> 1;
  for (int i = 0; i < half;) {
    if (abs(i - 2 * best[0]) > 2 && abs(i - 2 * best[1]) > 2) {
      xcorr[i++] = 0;
      continue;
    }
    int end = i + 1;
    while (end < half && (abs(end - 2 * best[0]) <= 2 || abs(end - 2 * best[1]) <= 2)) end++;
    rnn_pitch_xcorr(x_lp, y + i, xcorr + i, len >> 1, end - i);
    for (; i < end; i++) xcorr[i] = -1 > xcorr[i] ? -1 : xcorr[i];
  }
  findBestPitch(xcorr, y, len >> 1, half, best);

  int offset = 0;
  if (best[0] > 0 && best[0] < half - 1)
    offset = interpolationOffset(xcorr[best[0] - 1], xcorr[best[0]], xcorr[best[0] + 1]);
  *pitch = 2 * best[0] - offset;
}

/* ---- Period doubling ---- */

/* For each k, the multiple of T0 / k whose correlation backs up T0 / k. */
static const int kSecondCheck[16] = {0, 0, 3, 2, 3, 2, 5, 2, 3, 2, 3, 2, 5, 2, 3, 2};

/* In double from the float product and sum, as the library computes it. */
static float pitchGain(float xy, float xx, float yy) {
  return (float)((double)xy / sqrt((double)(1 + xx * yy)));
}

float rnn_remove_doubling(float* x, int maxperiod, int minperiod, int N, int* T0_, int prev_period,
                          float prev_gain) {
  const int minperiod0 = minperiod;
  maxperiod /= 2;
  minperiod /= 2;
  *T0_ /= 2;
  prev_period /= 2;
  N /= 2;
  x += maxperiod;
  if (*T0_ >= maxperiod) *T0_ = maxperiod - 1;
  const int T0 = *T0_;
  int T = T0;

  /* The candidates T0 / k and their checks, down to minperiod. */
  int candidates = 0;
  int t1s[15], t1bs[15];
  for (int k = 2; k <= 15; k++, candidates++) {
    const int t1 = (2 * T0 + k) / (2 * k);
    if (t1 < minperiod) break;
    t1s[candidates] = t1;
    if (k == 2) {
      t1bs[candidates] = t1 + T0 > maxperiod ? T0 : T0 + t1;
    } else {
      t1bs[candidates] = (2 * kSecondCheck[k] * T0 + k) / (2 * k);
    }
  }
  /* Every correlation with a lag they need, each distinct lag once (a check
   * is often another candidate or T0 itself), computed together. */
  int lags[2 + 2 * 15], where[2 + 2 * 15], distinct = 0;
  float sums[2 + 2 * 15];
  for (int c = -1; c < candidates; c++)
    for (int e = 0; e < 2; e++) {
      const int lag = c < 0 ? (e ? T0 : 0) : (e ? t1bs[c] : t1s[c]);
      int d = 0;
      while (d < distinct && lags[d] != lag) d++;
      if (d == distinct) lags[distinct++] = lag;
      where[2 * (c + 1) + e] = d;
    }
  int offsets[2 + 2 * 15];
  for (int d = 0; d < distinct; d++) offsets[d] = -lags[d];
  offsetSums(x, x, N, offsets, distinct, sums);
  const float xx = sums[where[0]];
  float xy = sums[where[1]];

  float yyLookup[ORV_PITCH_MAX_PERIOD + 1];
  float yy = xx;
  yyLookup[0] = xx;
  for (int i = 1; i <= maxperiod; i++) {
    yy = yy + x[-i] * x[-i] - x[N - i] * x[N - i];
    yyLookup[i] = 0 > yy ? 0 : yy;
  }
  yy = yyLookup[T0];
  float bestXy = xy, bestYy = yy;
  const float g0 = pitchGain(xy, xx, yy);
  float g = g0;

  for (int c = 0; c < candidates; c++) {
    const int k = c + 2, t1 = t1s[c], t1b = t1bs[c];
    xy = .5f * (sums[where[2 * c + 2]] + sums[where[2 * c + 3]]);
    yy = .5f * (yyLookup[t1] + yyLookup[t1b]);
    const float g1 = pitchGain(xy, xx, yy);
    float cont;
    if (abs(t1 - prev_period) <= 1) {
      cont = prev_gain;
    } else if (abs(t1 - prev_period) <= 2 && 5 * k * k < T0) {
      cont = .5f * prev_gain;
    } else {
      cont = 0;
    }
    float thresh;
    /* Short periods need more: short-term correlation fakes them. */
    if (t1 < 3 * minperiod) {
      const float t = .85f * g0 - cont;
      thresh = .4f > t ? .4f : t;
    } else if (t1 < 2 * minperiod) {
      const float t = .9f * g0 - cont;
      thresh = .5f > t ? .5f : t;
    } else {
      const float t = .7f * g0 - cont;
      thresh = .3f > t ? .3f : t;
    }
    if (g1 > thresh) {
      bestXy = xy;
      bestYy = yy;
      T = t1;
      g = g1;
    }
  }
  bestXy = 0 > bestXy ? 0 : bestXy;
  float pg = bestYy <= bestXy ? 1.f : bestXy / (bestYy + 1);

  /* Correlations at T + 1, T and T - 1 for the interpolation: neighbouring
   * lags, one cross-correlation. */
  float xcorr[3];
  rnn_pitch_xcorr(x, x - T - 1, xcorr, N, 3);
  const int offset = interpolationOffset(xcorr[2], xcorr[1], xcorr[0]);
  if (pg > g) pg = g;
  *T0_ = 2 * T + offset;
  if (*T0_ < minperiod0) *T0_ = minperiod0;
  return pg;
}
