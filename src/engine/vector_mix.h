// Sample conditioning and the output stage shared by the chain and the rate
// converter: input conditioning for a run, the dry/wet, gain and bypass mix,
// the safety clamp and the output meters, in scalar and four-wide form.
// Internal to the engine library.
#pragma once

#include <cmath>

#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

namespace orvane {

// Samples are clamped to +-4 (12 dB above full scale) at every stage, so a
// runaway filter or a hot input can never reach the host as a non-finite or
// huge value.
inline constexpr float kSampleLimit = 4.0f;

// Branch-free minimum and maximum for finite operands: the gate and the
// meters compare values that flip unpredictably from sample to sample, and
// the compiler turns a plain conditional into a branch once several chain.
// Both return `a` < `b` ? `a` : `b` (or >), like the instructions they are.
#if defined(__SSE__) || defined(_M_X64)
inline float minf(float a, float b) noexcept {
  return _mm_cvtss_f32(_mm_min_ss(_mm_set_ss(a), _mm_set_ss(b)));
}
inline float maxf(float a, float b) noexcept {
  return _mm_cvtss_f32(_mm_max_ss(_mm_set_ss(a), _mm_set_ss(b)));
}
#else
inline float minf(float a, float b) noexcept {
  return a < b ? a : b;
}
inline float maxf(float a, float b) noexcept {
  return a > b ? a : b;
}
#endif

inline float clampSample(float x) noexcept {
  return minf(maxf(x, -kSampleLimit), kSampleLimit);
}

// Input conditioning: non-finite to 0, the rest clamped to +-4.
inline float conditioned(float x) noexcept {
  return std::isfinite(x) ? clampSample(x) : 0.0f;
}

// Output-side readings of a run of samples (the input peak is taken where
// the input is conditioned).
struct RunMeters {
  float inPeak = 0.0f;
  float outPeak = 0.0f;
  bool clip = false;
  bool fault = false;
  double reductionSum = 0.0;
};

// Dry/wet, output gain, then the crossfade toward dry by `bypass`, written so
// that a bypass of exactly 1 yields the dry sample bit for bit.
inline float mixSample(float wet, float dry, float wetShare, float gain, float bypass) noexcept {
  const float o = ((wet - dry) * wetShare + dry) * gain;
  return o * (1.0f - bypass) + dry * bypass;
}

// A non-finite output is replaced by the dry sample (and reported); then the
// clip flag, the clamp, the output peak and the reduction sum.
inline void finishSample(float o, float dry, float& out, RunMeters& meters) noexcept {
  if (!std::isfinite(o)) {
    meters.fault = true;
    o = dry;
  }
  const float magnitude = minf(std::fabs(o), kSampleLimit);
  meters.clip |= std::fabs(o) > 1.0f;
  out = clampSample(o);
  meters.outPeak = maxf(meters.outPeak, magnitude);
  meters.reductionSum += maxf(std::fabs(dry) - magnitude, 0.0f);
}

// finishSample over a run whose mix values do not move, with mixSample
// applied first when `ApplyMix` (otherwise `wet` is already the output).
// Element by element the four-wide and the scalar forms do the same
// arithmetic; only the order in which the reduction sum is added differs.
template <bool ApplyMix>
void finishRun(const float* wet, const float* dry, float* out, int count, float wetShare,
               float gain, float bypass, RunMeters& meters) noexcept;

// The mix values of a run: per sample (entry k for sample k) or, when not
// perSample, one value each (entry 0) for every sample.
struct MixValues {
  const float* wetShare;
  const float* gain;
  const float* bypass;
  bool perSample;
};

// The rate converter's output stage: mixSample with each sample's mix
// values, a non-finite result replaced by 0, the clamp; raises `peak` to the
// largest output magnitude and sets `clip` when one exceeds 1. The four-wide
// and the scalar forms do the same arithmetic element by element.
void convertedMixRun(const float* wet, const float* dry, MixValues mix, float* out, int count,
                     float& peak, bool& clip) noexcept;

// Conditions `count` input samples into `x` and raises `peak` to their
// largest magnitude; a null input is silence.
void conditionRun(const float* in, float* x, int count, float& peak) noexcept;

}  // namespace orvane
