// The per-sample clean-up chain at processRate: input conditioning,
// high-pass, gate, the neural stage, body restore and the output stage.
#include <algorithm>
#include <cmath>

#include "engine/engine.h"
#include "engine/fp_mode.h"
#include "engine/vector_mix.h"

namespace orvane {

namespace {

// The denoiser reads and writes 16-bit full scale.
constexpr float kToDenoiser = 32768.0f;
constexpr float kFromDenoiser = 1.0f / 32768.0f;

}  // namespace

// Neural Live: the network's band gains for the frame, conditioned and shaped
// by the profile's exponent, become the FIR's new target taps.
void Engine::analyzeFrame(ChannelState& ch, float bandExponent) noexcept {
  calls.analyze(ch.denoiser, ch.bandGains.data(), ch.inFrame.data());
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
}

// Neural Classic: the denoiser's cleaned frame, read out over the next 480
// samples, and the voice-activity gain.
void Engine::denoiseFrame(ChannelState& ch) noexcept {
  const float p = calls.processFrame(ch.denoiser, ch.outFrame.data(), ch.inFrame.data());
  if (!std::isfinite(p)) {
    // A non-finite probability would poison vadGain for good; treat it as the
    // network failing.
    ch.fault = true;
  } else {
    // Full at a probability of 0.35 or more, down to 0.08 for silence; opens
    // within a frame, closes over about 12 frames.
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

namespace {

// First-order high-pass ("Frequency focus").
inline float highPass(float& in, float& out, float x, float coef) noexcept {
  const float y = (out + x - in) * coef;
  in = x;
  out = y;
  return y;
}

// Downward expander: the gain follows envelope / threshold (1:2 below the
// threshold) down to a floor of 0.15 (-16.5 dB), opening fast and closing
// slowly. Each one-pole computes its step before choosing the coefficient,
// which keeps the choice off the chain that carries the state from sample
// to sample.
inline float gate(float& env, float& gain, float y, float threshold, float depth, float attack,
                  float release) noexcept {
  const float level = std::fabs(y);
  const float envStep = level - env;
  env = level > env ? env + envStep * attack : env + envStep * release;
  const float ratio = maxf(minf(env / threshold, 1.0f), 0.15f);
  const float gainStep = ratio - gain;
  gain = ratio > gain ? gain + gainStep * attack : gain + gainStep * release;
  return (1.0f - depth * (1.0f - gain)) * y;
}

// Body restore: up to +35 % of the band below 220 Hz.
inline float bodyRestore(float& state, float wet, float coef, float amount) noexcept {
  state += (wet - state) * coef;
  return wet + state * amount * 0.35f;
}

}  // namespace

// The neural stage of one sample: the dry sample and the gate output `g`
// delayed by the stage's latency, the network's sample (for Neural Live, the
// FIR's output `filtered`) mixed over the delayed gate output, and the frame
// collected for the denoiser (which hears the high-passed signal `y` before
// the gate).
template <Engine::Path P>
inline void Engine::neuralStage(ChannelState& ch, float x, float y, float g, float filtered,
                                const ChainParams& p, float& wet, float& dry,
                                bool& fault) noexcept {
  const int pos = ch.delayPos;
  dry = ch.dryDelay[pos];
  ch.dryDelay[pos] = x;
  const float d = ch.dspDelay[pos];
  ch.dspDelay[pos] = g;
  ch.delayPos = pos + 1 == delayLength ? 0 : pos + 1;

  float n, depth;
  if constexpr (P == Path::Live) {
    n = filtered;
    depth = 0.0f;
  } else {
    n = ch.outFrame[ch.framePos] * kFromDenoiser;
    depth = p.vadDepth;
  }
  ch.inFrame[ch.framePos] = y * kToDenoiser;

  if (ch.fault) {
    wet = d;
    if (++ch.framePos == kFrameSize) ch.framePos = 0;
  } else {
    const float m = conditioned(n * (1.0f - depth * (1.0f - ch.vadGain)));
    wet = d + (m - d) * p.neuralMix;
    if (++ch.framePos == kFrameSize) {
      if constexpr (P == Path::Live)
        analyzeFrame(ch, p.bandExponent);
      else
        denoiseFrame(ch);
      ch.framePos = 0;
    }
  }
  fault |= ch.fault;
}

// One channel over `count` samples, in chunks: first the recursive part of
// the chain with its states in locals, then the output stage for the chunk.
// With ParamSource::Track, sample k takes its parameters from track[k]
// (count is at most kChunk); otherwise from `params`, which do not move. The
// chain is the same whether one sample or a block goes through here, so
// block size never changes the result.
template <Engine::Path P, Engine::OutputMix M, Engine::ParamSource S>
void Engine::channelRun(ChannelState& ch, const float* in, float* out, int count,
                        const ChainParams* track, RunMeters& meters) noexcept {
  constexpr bool kMixInChain = M == OutputMix::InChain;
  const ChainParams steady = params;
  const float attack = attackCoef, release = releaseCoef, body = bodyCoef;
  FilterStates f = ch.filters;
  float inChunk[kChunk], wetChunk[kChunk], dryChunk[kChunk];
  float highChunk[kChunk], firChunk[kChunk];  // Neural Live: high-passed and filtered

  for (int chunkStart = 0; chunkStart < count; chunkStart += kChunk) {
    const int chunk = std::min(kChunk, count - chunkStart);
    conditionRun(in ? in + chunkStart : nullptr, inChunk, chunk, meters.inPeak);
    // Neural Live filters the high-passed chunk ahead, in runs up to each
    // frame's end, where the network's new gains reach the FIR: a run stores
    // its samples before summing, where a sum per sample would wait for its
    // own sample's store.
    if constexpr (P == Path::Live) {
      for (int k = 0; k < chunk; ++k) {
        const ChainParams& p = S == ParamSource::Track ? track[k] : steady;
        highChunk[k] = highPass(f.hpIn, f.hpOut, inChunk[k], p.highPass);
      }
    }
    for (int runStart = 0; runStart < chunk;) {
      int runEnd = chunk;
      if constexpr (P == Path::Live) {
        runEnd = std::min(chunk, runStart + (kFrameSize - ch.framePos));
        ch.fir.processRun(highChunk + runStart, firChunk + runStart, runEnd - runStart);
      }
      for (int k = runStart; k < runEnd; ++k) {
        const ChainParams& p = S == ParamSource::Track ? track[k] : steady;
        const float x = inChunk[k];
        const float y = P == Path::Live ? highChunk[k] : highPass(f.hpIn, f.hpOut, x, p.highPass);
        const float g =
            gate(f.gateEnv, f.gateGain, y, p.gateThreshold, p.gateDepth, attack, release);
        float wet = g, dry = x;
        if constexpr (P != Path::Dsp) {
          const float filtered = P == Path::Live ? firChunk[k] : 0.0f;
          neuralStage<P>(ch, x, y, g, filtered, p, wet, dry, meters.fault);
        }
        wetChunk[k] = bodyRestore(f.bodyState, wet, body, p.bodyAmount);
        dryChunk[k] = dry;
      }
      runStart = runEnd;
    }

    float* const dest = out + chunkStart;
    if constexpr (S == ParamSource::Track) {
      for (int k = 0; k < chunk; ++k) {
        const ChainParams& p = track[k];
        const float o =
            kMixInChain ? mixSample(wetChunk[k], dryChunk[k], p.wetShare, p.outputGain, p.bypass)
                        : wetChunk[k];
        finishSample(o, dryChunk[k], dest[k], meters);
      }
    } else {
      finishRun<kMixInChain>(wetChunk, dryChunk, dest, chunk, steady.wetShare, steady.outputGain,
                             steady.bypass, meters);
    }
  }

  ch.filters = f;
}

// Samples outer, channels inner, as far as the results go: while parameters
// glide, their values for the next chunk are computed first and every channel
// runs that chunk with them; once the glides rest, each channel runs the rest
// of the block on its own.
template <Engine::Path P, Engine::OutputMix M>
void Engine::runChain(const float* const* inputs, float* const* outputs, int channels, int frames,
                      ChainParams* paramsOut) noexcept {
  RunMeters meters;
  auto input = [inputs](int c, int offset) {
    return inputs && inputs[c] ? inputs[c] + offset : nullptr;
  };
  int i = 0;
  while (i < frames && gliding) {
    const int count = std::min(kChunk, frames - i);
    for (int k = 0; k < count; ++k) {
      if (gliding) advanceParameters();
      paramTrack[k] = params;
    }
    for (int c = 0; c < channels; ++c)
      if (outputs[c])
        channelRun<P, M, ParamSource::Track>(channelStates[c], input(c, i), outputs[c] + i, count,
                                             paramTrack.data(), meters);
    if (paramsOut) std::copy(paramTrack.begin(), paramTrack.begin() + count, paramsOut + i);
    i += count;
  }
  if (i < frames) {
    for (int c = 0; c < channels; ++c)
      if (outputs[c])
        channelRun<P, M, ParamSource::Steady>(channelStates[c], input(c, i), outputs[c] + i,
                                              frames - i, nullptr, meters);
    if (paramsOut) std::fill(paramsOut + i, paramsOut + frames, params);
  }

  meters_.inputPeak = meters.inPeak;
  meters_.outputPeak = meters.outPeak;
  meters_.clipping = meters.clip;
  meters_.neuralFault = meters.fault;
  meters_.reduction =
      frames > 0 ? static_cast<float>(meters.reductionSum / (double(frames) * channels)) : 0.0f;
}

void Engine::processNative(const float* const* inputs, float* const* outputs, int channels,
                           int frames, ChainParams* paramsOut) noexcept {
  if (!outputs || channels <= 0 || frames < 0 || channels > channelCount) return;
  if (!neuralActive_) {
    runChain<Path::Dsp, OutputMix::InChain>(inputs, outputs, channels, frames, paramsOut);
  } else if (live) {
    if (resampling)
      runChain<Path::Live, OutputMix::ByConverter>(inputs, outputs, channels, frames, paramsOut);
    else
      runChain<Path::Live, OutputMix::InChain>(inputs, outputs, channels, frames, paramsOut);
  } else {
    if (resampling)
      runChain<Path::Classic, OutputMix::ByConverter>(inputs, outputs, channels, frames, paramsOut);
    else
      runChain<Path::Classic, OutputMix::InChain>(inputs, outputs, channels, frames, paramsOut);
  }
}

void Engine::process(const float* const* inputs, float* const* outputs, int channels,
                     int frames) noexcept {
  ScopedFlushDenormals flushDenormals;
  if (!resampling || !neuralActive_)
    processNative(inputs, outputs, channels, frames);
  else if (outputs && channels > 0 && frames >= 0 && channels <= channelCount)
    processConverted(inputs, outputs, channels, frames);
}

}  // namespace orvane
