// The clean-up engine: lifecycle, the per-sample chain and the rate converter.
#include "engine/engine.h"

#include <rnnoise.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "denoiser/orvane_analyze.h"
#include "engine/fp_mode.h"

#if defined(__SSE__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace orvane {

namespace {

// Audio limits: samples are clamped to +-4 (12 dB above full scale) at every
// stage, so a runaway filter or a hot input can never reach the host as a
// non-finite or huge value.
constexpr float kSampleLimit = 4.0f;
// The denoiser reads and writes 16-bit full scale.
constexpr float kToDenoiser = 32768.0f;
constexpr float kFromDenoiser = 1.0f / 32768.0f;

// Conversion window: the down-converter's newest tap is this many host
// samples ahead of its read position.
constexpr int kLookAhead = ResamplerKernel::kTaps - 1 - ResamplerKernel::kCentreTap;  // 16
// Pass band of both converter directions: 94 % of the lower Nyquist frequency.
constexpr double kPassBand = 0.94;
// Headroom (48 kHz samples) that keeps the up-converter's newest tap behind
// the newest chain output; part of the reported latency.
constexpr double kUpConverterLag = 18.0;

// Branch-free minimum and maximum for finite operands: the gate and the
// meters compare values that flip unpredictably from sample to sample.
// (Written as instructions: the compiler turns the plain conditional into a
// branch once several of them chain.)
#if defined(__SSE__) && defined(__GNUC__)
inline float minf(float a, float b) noexcept {
  __asm__("minss %1, %0" : "+x"(a) : "x"(b));
  return a;
}
inline float maxf(float a, float b) noexcept {
  __asm__("maxss %1, %0" : "+x"(a) : "x"(b));
  return a;
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
inline float conditioned(float x) noexcept {
  return std::isfinite(x) ? clampSample(x) : 0.0f;
}

DenoiseState* createDefault() {
  return rnnoise_create(nullptr);
}
void initDefault(DenoiseState* st) {
  rnnoise_init(st, nullptr);
}
bool layoutOkOnce() {
  static const bool ok = orvane_denoiser_layout_ok() != 0;
  return ok;
}

constexpr DenoiserCalls kLibraryCalls{&createDefault,         &rnnoise_destroy, &initDefault,
                                      &rnnoise_process_frame, &orvane_analyze,  &layoutOkOnce};
// Constant-initialised: no guard, safe to read from the audio thread.
DenoiserCalls gDenoiserCalls = kLibraryCalls;

// floor() for stream positions, exact for |t| < 2^63, without a library
// call.
inline std::int64_t floorToInt(double t) noexcept {
  const auto i = static_cast<std::int64_t>(t);  // toward zero
  return double(i) > t ? i - 1 : i;
}

// Reads 32 consecutive ring samples starting at stream index `first`, with
// samples outside [lowest, highest] given as 0 (left out of the sum). The
// fast case, a window wholly inside the valid range, points into the ring.
inline const float* ringWindow(const std::array<float, 2 * Engine::kRing>& ring, std::int64_t first,
                               std::int64_t lowest, std::int64_t highest, float* scratch) noexcept {
  constexpr std::int64_t kMask = Engine::kRing - 1;
  if (first >= lowest && first + ResamplerKernel::kTaps - 1 <= highest)
    return ring.data() + (first & kMask);
  for (int k = 0; k < ResamplerKernel::kTaps; ++k) {
    const std::int64_t i = first + k;
    scratch[k] = (i >= lowest && i <= highest) ? ring[i & kMask] : 0.0f;
  }
  return scratch;
}

}  // namespace

DenoiserCalls& denoiserCalls() noexcept {
  return gDenoiserCalls;
}

DenoiserCalls defaultDenoiserCalls() noexcept {
  return kLibraryCalls;
}

Engine::Engine() noexcept {
  for (auto& ch : channelStates) clearChannel(ch);
  target = Defaults;
  smoothed = Defaults;
  deriveParams();
}

Engine::~Engine() {
  for (auto& ch : channelStates)
    if (ch.denoiser) gDenoiserCalls.destroy(ch.denoiser);
}

bool Engine::prepare(double rate, int channels, bool neural, bool isLive) {
  // Tables and coefficients come out the same whatever the caller's
  // floating-point mode.
  ScopedFlushDenormals engineMode;
  if (!std::isfinite(rate) || rate < 8000.0 || rate > 192000.0 || (channels != 1 && channels != 2))
    return false;

  // Kernels are built before anything changes, so that running out of memory
  // leaves the engine as it was.
  const bool convert = neural && std::fabs(rate - kNeuralRate) > 0.1;
  ResamplerKernel down, up;
  if (convert) {
    try {
      down.prepare(rate > kNeuralRate ? kPassBand * (kNeuralRate / rate) : kPassBand);
      up.prepare(rate < kNeuralRate ? kPassBand * (rate / kNeuralRate) : kPassBand);
    } catch (const std::bad_alloc&) {
      return false;
    }
  }

  sampleRate = rate;
  live = isLive;
  delayLength = live ? kLiveDelay : kClassicDelay;
  channelCount = channels;
  neuralRequested = neural;
  if (convert) {
    downKernel.rows.swap(down.rows);
    upKernel.rows.swap(up.rows);
  }
  if (neural && live) basis.prepare();
  denoiserUsable = !neural || gDenoiserCalls.layoutOk();
  reset();
  return true;
}

void Engine::computeCoefficients(double rate) noexcept {
  // One-pole coefficients 1 - exp(-1 / (tau * rate)), in single precision with
  // the denominator rounded to float.
  smoothCoef = 1.0f - std::exp(-1.0f / static_cast<float>(0.01 * rate));   // 10 ms
  attackCoef = 1.0f - std::exp(-1.0f / static_cast<float>(0.002 * rate));  // 2 ms
  releaseCoef = 1.0f - std::exp(-1.0f / static_cast<float>(0.15 * rate));  // 150 ms
  bodyCoef = 1.0f - std::exp(-1382.30078125f / static_cast<float>(rate));  // 2 pi 220 Hz
}

void Engine::clearChannel(ChannelState& ch) noexcept {
  DenoiseState* keep = ch.denoiser;
  ch.~ChannelState();
  new (&ch) ChannelState();
  ch.denoiser = keep;
  ch.fir.reset();
}

void Engine::clearSignalState() noexcept {
  inputCount = 0;
  neuralCount = 0;
  for (auto& ring : inRing) ring.fill(0.0f);
  for (auto& ring : outRing) ring.fill(0.0f);
  for (auto& ring : dryRing) ring.fill(0.0f);
}

void Engine::snapParameters() noexcept {
  smoothed = target;
  lastFocus = -1.0f;
  lastGain = -1.0f;
  deriveParams();
  gliding = false;  // a smoothing step from here changes nothing
  inputPeak = outputPeak = reduction = 0.0f;
  clipping = neuralFault = false;
}

void Engine::reset() {
  ScopedFlushDenormals engineMode;
  clearSignalState();

  // The configuration prepare() asked for; reset() falls back from it below
  // if the denoiser cannot run, and tries it afresh every time.
  neuralActive = neuralRequested && denoiserUsable;
  if (neuralActive) {
    processRate = kNeuralRate;  // a host rate within 0.1 Hz of 48 kHz counts as 48 kHz
    resampling = std::fabs(sampleRate - kNeuralRate) > 0.1;
    // Converter latency: the down-converter's look-ahead, the chain's delay
    // and the up-converter's lag, in host samples, rounded up.
    latencySamples = resampling ? static_cast<std::int32_t>(std::ceil(
                                      (delayLength * sampleRate / kNeuralRate + kLookAhead) +
                                      kUpConverterLag * sampleRate / kNeuralRate))
                                : delayLength;
    computeCoefficients(kNeuralRate);
  }

  for (auto& ch : channelStates) {
    if (ch.denoiser) gDenoiserCalls.destroy(ch.denoiser);
    ch.denoiser = nullptr;
    clearChannel(ch);
  }
  if (neuralActive) {
    for (int c = 0; c < channelCount; ++c) {
      channelStates[c].denoiser = gDenoiserCalls.create();
      if (!channelStates[c].denoiser) {
        neuralActive = false;
        break;
      }
    }
  }
  if (!neuralActive) {
    // A partial set of states would never run; do not keep one around.
    for (auto& ch : channelStates) {
      if (ch.denoiser) gDenoiserCalls.destroy(ch.denoiser);
      ch.denoiser = nullptr;
    }
    // Without the network the engine is the Live DSP chain at the host rate.
    resampling = false;
    processRate = sampleRate;
    computeCoefficients(sampleRate);
    latencySamples = 0;
  } else if (!live) {
    // The frame path runs each new denoiser once on silence, filling its
    // overlap and look-ahead history; the realtime reset does the same, so
    // both resets leave the denoiser in the same condition.
    for (int c = 0; c < channelCount; ++c) {
      ChannelState& ch = channelStates[c];
      gDenoiserCalls.processFrame(ch.denoiser, ch.outFrame.data(), ch.inFrame.data());
      ch.outFrame.fill(0.0f);
    }
  }
  snapParameters();
}

void Engine::resetRealtime() noexcept {
  ScopedFlushDenormals engineMode;  // the denoiser priming computes
  clearSignalState();
  for (auto& ch : channelStates) {
    clearChannel(ch);
    if (!ch.denoiser) continue;
    gDenoiserCalls.init(ch.denoiser);
    if (!live) {
      gDenoiserCalls.processFrame(ch.denoiser, ch.outFrame.data(), ch.inFrame.data());
      ch.outFrame.fill(0.0f);
    }
  }
  snapParameters();
}

void Engine::set(std::uint32_t index, float value) noexcept {
  if (index >= static_cast<std::uint32_t>(kEngineParamCount) || !std::isfinite(value)) return;
  target[index] = value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value);
  gliding = true;
}

void Engine::advanceParameters() noexcept {
  bool moved = false;
  for (int k = 0; k < kEngineParamCount; ++k) {
    const float s = smoothed[k] + (target[k] - smoothed[k]) * smoothCoef;
    moved |= s != smoothed[k];
    smoothed[k] = s;
  }
  deriveParams();
  gliding = moved;
}

void Engine::deriveParams() noexcept {
  const auto& s = smoothed;
  // Profile 0 / 1 / 2 ("Live", "Broadcast", "Studio"), gliding in between.
  const float prof = 2.0f * s[8];
  // Gate threshold 0.001 plus up to 0.009 x 0.6 / 1.0 / 1.4 (about -44, -40
  // and -37 dBFS at full noise reduction).
  const float thresholdScale = 0.6f + 0.4f * prof;
  params.gateThreshold = 0.001f + thresholdScale * 0.009f * s[2];
  params.gateDepth = s[2] * s[0];
  // The gentle profile keeps 15 % of the gate signal under the network's.
  const float profileFactor = prof <= 1.0f ? 0.85f + 0.15f * prof : 1.0f;
  params.neuralMix = (1.0f - 0.25f * s[1]) * (s[2] * s[0]) * profileFactor;
  params.vadDepth = std::max(prof - 1.0f, 0.0f);  // voice-activity gating only toward "Studio"
  params.bandExponent = 0.25f + 0.05f * prof;     // gentler band gains for lower profiles
  params.bodyAmount = s[3];
  params.wetShare = s[5];
  params.bypass = s[7];

  if (s[4] != lastFocus) {
    lastFocus = s[4];
    // High-pass corner 35..180 Hz; the constant is 2 pi in single precision.
    hpCoef = std::exp((145.0f * s[4] + 35.0f) * -6.2831855f / static_cast<float>(processRate));
  }
  if (s[6] != lastGain) {
    lastGain = s[6];
    outGain = std::pow(10.0f, (36.0f * s[6] - 18.0f) / 20.0f);  // -18..+18 dB
  }
  params.highPass = hpCoef;
  params.outputGain = outGain;
}

void Engine::frameStep(ChannelState& ch, float bandExponent) noexcept {
  if (live) {
    gDenoiserCalls.analyze(ch.denoiser, ch.bandGains.data(), ch.inFrame.data());
    for (float& g : ch.bandGains) {
      float v = g;
      if (!std::isfinite(v)) {
        ch.fault = true;
        v = 1.0f;
      } else {
        v = v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
      }
      g = std::pow(v, bandExponent);
    }
    ch.fir.update(basis, ch.bandGains);
  } else {
    const float p = gDenoiserCalls.processFrame(ch.denoiser, ch.outFrame.data(), ch.inFrame.data());
    if (!std::isfinite(p)) {
      // A non-finite probability would poison vadGain for good; treat it as
      // the network failing.
      ch.fault = true;
    } else {
      // Voice-activity gain: full at a probability of 0.35 or more, down to
      // 0.08 for silence; opens within a frame, closes over about 12 frames.
      float t = p / 0.35f;
      t = t > 1.0f ? 1.0f : t;
      t = t < 0.08f ? 0.08f : t;
      ch.vadGain += (t - ch.vadGain) * (t > ch.vadGain ? 0.85f : 0.08f);
    }
    for (float& v : ch.outFrame) {
      if (!std::isfinite(v)) {
        v = 0.0f;
        ch.fault = true;
      }
    }
  }
  ch.framePos = 0;
}

namespace {

// Output mix (dry/wet, output gain, bypass crossfade toward dry), non-finite
// output replaced by dry, clip flag, clamp and meters, for a run of chain
// samples with fixed mix values. Element by element the vector and the
// scalar forms do the same arithmetic; only the order in which the reduction
// meter is summed differs. The crossfade is written so that a bypass of
// exactly 1 yields the dry sample bit for bit.
template <bool MixHere>
inline float mixSample(float wet, float dry, float wetShare, float gain, float bypass) noexcept {
  if constexpr (!MixHere) return wet;
  const float o = ((wet - dry) * wetShare + dry) * gain;
  return o * (1.0f - bypass) + dry * bypass;
}

inline void finishSample(float o, float dry, float& out, float& outPeak, bool& clip, bool& fault,
                         double& reductionSum) noexcept {
  if (!std::isfinite(o)) {
    fault = true;
    o = dry;
  }
  const float magnitude = minf(std::fabs(o), kSampleLimit);
  clip |= std::fabs(o) > 1.0f;
  out = clampSample(o);
  outPeak = maxf(outPeak, magnitude);
  reductionSum += maxf(std::fabs(dry) - magnitude, 0.0f);
}

template <bool MixHere>
void finishRun(const float* wetIn, const float* dryIn, float* out, int count, float wetShare,
               float gain, float bypass, float& outPeak, bool& clip, bool& fault,
               double& reductionSum) noexcept {
  int k = 0;
#if defined(__SSE__) || defined(_M_X64)
  if (count >= 4) {
    const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    const __m128 largest = _mm_set1_ps(std::numeric_limits<float>::max());
    const __m128 limit = _mm_set1_ps(kSampleLimit), one = _mm_set1_ps(1.0f),
                 zero = _mm_setzero_ps();
    const __m128 share = _mm_set1_ps(wetShare), g = _mm_set1_ps(gain), b = _mm_set1_ps(bypass),
                 keep = _mm_set1_ps(1.0f - bypass);
    __m128 peak = _mm_set1_ps(outPeak), reduced = zero, clipMask = zero, badMask = zero;
    for (; k + 4 <= count; k += 4) {
      const __m128 wet = _mm_loadu_ps(wetIn + k), dry = _mm_loadu_ps(dryIn + k);
      __m128 o = wet;
      if constexpr (MixHere) {
        o = _mm_mul_ps(_mm_add_ps(_mm_mul_ps(_mm_sub_ps(wet, dry), share), dry), g);
        o = _mm_add_ps(_mm_mul_ps(o, keep), _mm_mul_ps(dry, b));
      }
      const __m128 finite = _mm_cmple_ps(_mm_and_ps(o, absMask), largest);  // false for NaN, inf
      badMask = _mm_or_ps(badMask, _mm_cmpeq_ps(finite, zero));
      o = _mm_or_ps(_mm_and_ps(finite, o), _mm_andnot_ps(finite, dry));
      const __m128 magnitude = _mm_min_ps(_mm_and_ps(o, absMask), limit);
      clipMask = _mm_or_ps(clipMask, _mm_cmpgt_ps(_mm_and_ps(o, absMask), one));
      _mm_storeu_ps(out + k, _mm_min_ps(_mm_max_ps(o, _mm_sub_ps(zero, limit)), limit));
      peak = _mm_max_ps(peak, magnitude);
      reduced =
          _mm_add_ps(reduced, _mm_max_ps(_mm_sub_ps(_mm_and_ps(dry, absMask), magnitude), zero));
    }
    float lanes[4];
    _mm_storeu_ps(lanes, peak);
    outPeak = maxf(maxf(lanes[0], lanes[1]), maxf(lanes[2], lanes[3]));
    _mm_storeu_ps(lanes, reduced);
    reductionSum += (double(lanes[0]) + lanes[1]) + (double(lanes[2]) + lanes[3]);
    clip |= _mm_movemask_ps(clipMask) != 0;
    fault |= _mm_movemask_ps(badMask) != 0;
  }
#endif
  for (; k < count; ++k)
    finishSample(mixSample<MixHere>(wetIn[k], dryIn[k], wetShare, gain, bypass), dryIn[k], out[k],
                 outPeak, clip, fault, reductionSum);
}

// Input conditioning for a run (non-finite to 0, the rest clamped to +-4)
// with the largest magnitude; a null input is silence.
void conditionRun(const float* in, float* x, int count, float& peak) noexcept {
  if (!in) {
    std::fill(x, x + count, 0.0f);
    return;
  }
  int k = 0;
#if defined(__SSE__) || defined(_M_X64)
  if (count >= 4) {
    const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    const __m128 largest = _mm_set1_ps(std::numeric_limits<float>::max());
    const __m128 limit = _mm_set1_ps(kSampleLimit), lowest = _mm_set1_ps(-kSampleLimit);
    __m128 top = _mm_set1_ps(peak);
    for (; k + 4 <= count; k += 4) {
      const __m128 v = _mm_loadu_ps(in + k);
      const __m128 finite = _mm_cmple_ps(_mm_and_ps(v, absMask), largest);
      const __m128 c = _mm_and_ps(finite, _mm_min_ps(_mm_max_ps(v, lowest), limit));
      _mm_storeu_ps(x + k, c);
      top = _mm_max_ps(top, _mm_and_ps(c, absMask));
    }
    float lanes[4];
    _mm_storeu_ps(lanes, top);
    peak = maxf(maxf(lanes[0], lanes[1]), maxf(lanes[2], lanes[3]));
  }
#endif
  for (; k < count; ++k) {
    x[k] = conditioned(in[k]);
    peak = maxf(peak, std::fabs(x[k]));
  }
}

}  // namespace

// One channel over `count` samples, in chunks: first the recursive part of
// the chain with its states in registers, then the output stage for the
// chunk. With `Track`, sample k takes its parameters from track[k] (count is
// at most kChunk); otherwise from `params`, which do not move. The chain is
// the same whether one sample or a block goes through here, so block size
// never changes the result.
template <Engine::Path P, bool MixHere, bool Track>
void Engine::channelRun(ChannelState& ch, const float* in, float* out, int count,
                        const ChainParams* track, RunMeters& meters) noexcept {
  const ChainParams steady = params;
  const float attack = attackCoef, release = releaseCoef, body = bodyCoef;
  float hpIn = ch.hpIn, hpOut = ch.hpOut, gateEnv = ch.gateEnv, gateGain = ch.gateGain,
        bodyState = ch.bodyState;
  float inPeak = meters.inPeak;
  bool fault = meters.fault;
  float inChunk[kChunk], wetChunk[kChunk], dryChunk[kChunk];

  for (int chunkStart = 0; chunkStart < count; chunkStart += kChunk) {
    const int chunk = std::min(kChunk, count - chunkStart);
    conditionRun(in ? in + chunkStart : nullptr, inChunk, chunk, inPeak);
    for (int k = 0; k < chunk; ++k) {
      const ChainParams& p = Track ? track[k] : steady;
      const float x = inChunk[k];

      // First-order high-pass ("Frequency focus").
      const float y = (hpOut + x - hpIn) * p.highPass;
      hpIn = x;
      hpOut = y;

      // Downward expander: the gain follows envelope / threshold (1:2 below
      // the threshold) down to a floor of 0.15 (-16.5 dB), opening fast and
      // closing slowly.
      const float level = std::fabs(y);
      // Both candidates first, then the choice: the choice stays off the
      // multiply-add chain that carries the state from sample to sample.
      const float envStep = level - gateEnv;
      gateEnv = level > gateEnv ? gateEnv + envStep * attack : gateEnv + envStep * release;
      const float ratio = maxf(minf(gateEnv / p.gateThreshold, 1.0f), 0.15f);
      const float gainStep = ratio - gateGain;
      gateGain = ratio > gateGain ? gateGain + gainStep * attack : gateGain + gainStep * release;
      const float g = (1.0f - p.gateDepth * (1.0f - gateGain)) * y;

      float wet, dry;
      if constexpr (P == Path::Dsp) {
        wet = g;
        dry = x;
      } else {
        // Dry and gate paths delayed by the neural stage's latency.
        const int pos = ch.delayPos;
        dry = ch.dryDelay[pos];
        ch.dryDelay[pos] = x;
        const float d = ch.dspDelay[pos];
        ch.dspDelay[pos] = g;
        ch.delayPos = pos + 1 == delayLength ? 0 : pos + 1;

        float n, depth;
        if constexpr (P == Path::Live) {
          n = ch.fir.process(y);
          depth = 0.0f;
        } else {
          n = ch.outFrame[ch.framePos] * kFromDenoiser;
          depth = p.vadDepth;
        }
        // The denoiser hears the high-passed signal before the gate.
        ch.inFrame[ch.framePos] = y * kToDenoiser;

        if (ch.fault) {
          wet = d;
          if (++ch.framePos == kFrameSize) ch.framePos = 0;
        } else {
          const float m = conditioned(n * (1.0f - depth * (1.0f - ch.vadGain)));
          wet = d + (m - d) * p.neuralMix;
          if (++ch.framePos == kFrameSize) frameStep(ch, p.bandExponent);
        }
        fault |= ch.fault;
      }

      // Body restore: up to +35 % of the band below 220 Hz.
      bodyState += (wet - bodyState) * body;
      wetChunk[k] = wet + bodyState * p.bodyAmount * 0.35f;
      dryChunk[k] = dry;
    }
    float* const dest = out + chunkStart;
    if constexpr (Track) {
      for (int k = 0; k < chunk; ++k) {
        const ChainParams& p = track[k];
        finishSample(
            mixSample<MixHere>(wetChunk[k], dryChunk[k], p.wetShare, p.outputGain, p.bypass),
            dryChunk[k], dest[k], meters.outPeak, meters.clip, fault, meters.reductionSum);
      }
    } else {
      finishRun<MixHere>(wetChunk, dryChunk, dest, chunk, steady.wetShare, steady.outputGain,
                         steady.bypass, meters.outPeak, meters.clip, fault, meters.reductionSum);
    }
  }

  ch.hpIn = hpIn;
  ch.hpOut = hpOut;
  ch.gateEnv = gateEnv;
  ch.gateGain = gateGain;
  ch.bodyState = bodyState;
  meters.inPeak = inPeak;
  meters.fault = fault;
}

// Samples outer, channels inner, as far as the results go: while parameters
// glide, their values for the next chunk are computed first and every channel
// runs that chunk with them; once the glides rest, each channel runs the rest
// of the block on its own. `paramsOut`, when given, receives the parameter
// values of every sample.
template <Engine::Path P, bool MixHere>
void Engine::runChain(const float* const* inputs, float* const* outputs, int channels, int frames,
                      ChainParams* paramsOut) noexcept {
  RunMeters meters;
  ChainParams track[kChunk];
  int i = 0;
  while (i < frames && gliding) {
    const int count = std::min(kChunk, frames - i);
    for (int k = 0; k < count; ++k) {
      if (gliding) advanceParameters();
      track[k] = params;
    }
    for (int c = 0; c < channels; ++c)
      if (outputs[c])
        channelRun<P, MixHere, true>(channelStates[c],
                                     inputs && inputs[c] ? inputs[c] + i : nullptr, outputs[c] + i,
                                     count, track, meters);
    if (paramsOut) std::copy(track, track + count, paramsOut + i);
    i += count;
  }
  if (i < frames) {
    for (int c = 0; c < channels; ++c)
      if (outputs[c])
        channelRun<P, MixHere, false>(channelStates[c],
                                      inputs && inputs[c] ? inputs[c] + i : nullptr, outputs[c] + i,
                                      frames - i, nullptr, meters);
    if (paramsOut) std::fill(paramsOut + i, paramsOut + frames, params);
  }

  inputPeak = meters.inPeak;
  outputPeak = meters.outPeak;
  clipping = meters.clip;
  neuralFault = meters.fault;
  reduction =
      frames > 0 ? static_cast<float>(meters.reductionSum / (double(frames) * channels)) : 0.0f;
}

void Engine::runNative(const float* const* inputs, float* const* outputs, int channels, int frames,
                       ChainParams* paramsOut) noexcept {
  if (!outputs || channels <= 0 || frames < 0 || channels > channelCount) return;
  if (!neuralActive) {
    runChain<Path::Dsp, true>(inputs, outputs, channels, frames, paramsOut);
  } else if (live) {
    if (resampling)
      runChain<Path::Live, false>(inputs, outputs, channels, frames, paramsOut);
    else
      runChain<Path::Live, true>(inputs, outputs, channels, frames, paramsOut);
  } else {
    if (resampling)
      runChain<Path::Classic, false>(inputs, outputs, channels, frames, paramsOut);
    else
      runChain<Path::Classic, true>(inputs, outputs, channels, frames, paramsOut);
  }
}

void Engine::processNative(const float* const* inputs, float* const* outputs, int channels,
                           int frames) noexcept {
  runNative(inputs, outputs, channels, frames, nullptr);
}

void Engine::process(const float* const* inputs, float* const* outputs, int channels,
                     int frames) noexcept {
  ScopedFlushDenormals flushDenormals;
  if (!resampling || !neuralActive)
    processNative(inputs, outputs, channels, frames);
  else if (outputs && channels > 0 && frames >= 0 && channels <= channelCount)
    processConverted(inputs, outputs, channels, frames);
}

// Host rate -> 48 kHz -> chain -> host rate. The 48 kHz stream sample m sits
// at host time m * r; it is produced once host sample m * r + 16 has arrived
// (the down-converter's newest tap). The output reads the processed stream
// at the 48 kHz time of host sample n - latency plus the chain's delay, and
// mixes it with the dry input delayed by the same latency, so both paths
// line up.
//
// Host samples go in short chunks: the 48 kHz samples a chunk makes
// computable are converted, run through the chain as one batch and stored,
// then the chunk's outputs are read back. Every sample sees exactly what it
// would see one host sample at a time: the rings hold a chunk plus the
// kernel windows, a batch never outruns the up-converter's reads, and each
// host sample mixes with the parameter values of its own time.
void Engine::processConverted(const float* const* inputs, float* const* outputs, int channels,
                              int frames) noexcept {
  constexpr std::int64_t kRingMask = kRing - 1;
  constexpr std::int64_t kDryMask = kDryRing - 1;
  // At most this many 48 kHz samples per chunk: with the kernel window and
  // the converter's lag they fit the 128-sample rings.
  constexpr int kBatch = 48;
  const double r = sampleRate / kNeuralRate;  // host samples per 48 kHz sample
  const double offset = latencySamples / r - delayLength;
  const int hostChunk = std::max(1, std::min(kBatch, static_cast<int>(kBatch * r) - 1));

  float inPeak = 0.0f, outPeak = 0.0f;
  bool clip = false, fault = false;
  float chainIn[kMaxChannels][kBatch], chainOut[kMaxChannels][kBatch];
  // Parameter values after each 48 kHz sample of the batch (entry 0: before it).
  ChainParams mixAfter[kBatch + 1];
  std::int64_t producedBy[kBatch];  // neuralCount after each host sample's down-conversion
  float scratch[ResamplerKernel::kTaps];

  for (int j0 = 0; j0 < frames; j0 += hostChunk) {
    const int count = std::min(hostChunk, frames - j0);
    const std::int64_t mStart = neuralCount;

    // Input, and the down-conversion of every 48 kHz sample now computable.
    std::int64_t m = mStart;
    for (int j = 0; j < count; ++j) {
      const std::int64_t n = inputCount + j;
      const std::int64_t slot = n & kRingMask;
      for (int c = 0; c < channels; ++c) {
        const float* const in = inputs ? inputs[c] : nullptr;
        const float x = conditioned(in ? in[j0 + j] : 0.0f);
        inRing[c][slot] = x;
        inRing[c][slot + kRing] = x;
        dryRing[c][n & kDryMask] = x;
        inPeak = maxf(inPeak, std::fabs(x));
      }
      // (The chunk length keeps a batch under kBatch samples; the bound only
      // guards the buffers.)
      for (; double(m) * r <= double(n - kLookAhead) && m - mStart < kBatch; ++m) {
        const double t = double(m) * r;
        const std::int64_t whole = floorToInt(t);
        const std::int64_t first = whole - ResamplerKernel::kCentreTap;
        for (int c = 0; c < channels; ++c) {
          const float* w =
              ringWindow(inRing[c], first, std::max<std::int64_t>(0, n - kRingMask), n, scratch);
          chainIn[c][m - mStart] = downKernel.read(t - double(whole), w);
        }
      }
      producedBy[j] = m;
    }

    // The chain at 48 kHz, keeping each sample's mix values for the output.
    const int batch = static_cast<int>(m - mStart);
    const float* chainInputs[kMaxChannels] = {chainIn[0], chainIn[1]};
    float* chainOutputs[kMaxChannels] = {chainOut[0], chainOut[1]};
    mixAfter[0] = params;
    runNative(chainInputs, chainOutputs, channels, batch, mixAfter + 1);
    fault |= neuralFault;
    for (int k = 0; k < batch; ++k) {
      const std::int64_t outSlot = (mStart + k) & kRingMask;
      for (int c = 0; c < channels; ++c) {
        outRing[c][outSlot] = chainOut[c][k];
        outRing[c][outSlot + kRing] = chainOut[c][k];
      }
    }

    // Up-conversion and the output mix at the host rate.
    for (int j = 0; j < count; ++j) {
      const std::int64_t n = inputCount + j;
      const std::int64_t mNow = producedBy[j];
      const double u = double(n) / r - offset;
      const std::int64_t whole = floorToInt(u);
      const std::int64_t first = whole - ResamplerKernel::kCentreTap;
      const ChainParams& mix = mixAfter[mNow - mStart];
      for (int c = 0; c < channels; ++c) {
        float* const out = outputs[c];
        if (!out) continue;
        const float* w = ringWindow(outRing[c], first, std::max<std::int64_t>(0, mNow - kRing),
                                    mNow - 1, scratch);
        const float wet = upKernel.read(u - double(whole), w);
        const float dry = n >= latencySamples ? dryRing[c][(n - latencySamples) & kDryMask] : 0.0f;
        float o = mixSample<true>(wet, dry, mix.wetShare, mix.outputGain, mix.bypass);
        o = std::isfinite(o) ? clampSample(o) : 0.0f;
        out[j0 + j] = o;
        outPeak = maxf(outPeak, std::fabs(o));
        clip |= std::fabs(o) > 1.0f;
      }
    }
    inputCount += count;
    neuralCount = m;
  }

  inputPeak = inPeak;
  outputPeak = outPeak;
  reduction = 0.0f;
  clipping = clip;
  neuralFault = fault;
}

}  // namespace orvane
