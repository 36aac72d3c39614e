// Engine lifecycle: construction, prepare, the two resets and set().
#include "engine/engine.h"

#include <rnnoise.h>

#include <cmath>
#include <new>

#include "denoiser/orvane_analyze.h"
#include "engine/fp_mode.h"

namespace orvane {

namespace {

// Pass band of both converter directions: 94 % of the lower Nyquist frequency.
constexpr double kPassBand = 0.94;
// Headroom (48 kHz samples) that keeps the up-converter's newest tap behind
// the newest chain output; part of the reported latency.
constexpr double kUpConverterLag = 18.0;

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

}  // namespace

const DenoiserCalls& libraryDenoiserCalls() noexcept {
  return kLibraryCalls;
}

Engine::Engine(const DenoiserCalls& denoiser) noexcept : calls(denoiser) {
  for (auto& ch : channelStates) clearChannel(ch);
  target = Defaults;
  smoothed = Defaults;
  deriveParams();
}

Engine::~Engine() {
  for (auto& ch : channelStates)
    if (ch.denoiser) calls.destroy(ch.denoiser);
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
    downKernel = std::move(down);
    upKernel = std::move(up);
  }
  if (neural && live) basis.prepare();
  denoiserUsable = !neural || calls.layoutOk();
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

void Engine::configureNeuralRate() noexcept {
  processRate = kNeuralRate;  // a host rate within 0.1 Hz of 48 kHz counts as 48 kHz
  resampling = std::fabs(sampleRate - kNeuralRate) > 0.1;
  // Converter latency: the down-converter's look-ahead, the chain's delay and
  // the up-converter's lag, in host samples, rounded up.
  latencySamples_ = resampling ? static_cast<std::int32_t>(std::ceil(
                                     (delayLength * sampleRate / kNeuralRate + kLookAhead) +
                                     kUpConverterLag * sampleRate / kNeuralRate))
                               : delayLength;
  computeCoefficients(kNeuralRate);
}

// Destroys every denoiser state and clears both channels, then creates a
// state for each channel in use. A partial set would never run, so one
// failure leaves none and turns the neural stage off.
void Engine::replaceDenoisers() {
  for (auto& ch : channelStates) {
    if (ch.denoiser) calls.destroy(ch.denoiser);
    ch.denoiser = nullptr;
    clearChannel(ch);
  }
  if (!neuralActive_) return;
  for (int c = 0; c < channelCount; ++c) {
    channelStates[c].denoiser = calls.create();
    if (channelStates[c].denoiser) continue;
    neuralActive_ = false;
    for (auto& ch : channelStates) {
      if (ch.denoiser) calls.destroy(ch.denoiser);
      ch.denoiser = nullptr;
    }
    return;
  }
}

// Without the network the engine is the Live DSP chain at the host rate.
void Engine::fallBackToDsp() noexcept {
  resampling = false;
  processRate = sampleRate;
  computeCoefficients(sampleRate);
  latencySamples_ = 0;
}

// The frame path runs a new or reinitialised denoiser once on silence,
// filling its overlap and look-ahead history, so that both resets leave it in
// the same condition.
void Engine::primeDenoiser(ChannelState& ch) noexcept {
  if (live) return;
  calls.processFrame(ch.denoiser, ch.outFrame.data(), ch.inFrame.data());
  ch.outFrame.fill(0.0f);
}

void Engine::reset() {
  ScopedFlushDenormals engineMode;
  clearSignalState();
  // The configuration prepare() asked for, tried afresh every time; it falls
  // back to Live DSP if the denoiser cannot run.
  neuralActive_ = neuralRequested && denoiserUsable;
  if (neuralActive_) configureNeuralRate();
  replaceDenoisers();
  if (!neuralActive_) {
    fallBackToDsp();
  } else {
    for (int c = 0; c < channelCount; ++c) primeDenoiser(channelStates[c]);
  }
  snapParameters();
}

void Engine::resetRealtime() noexcept {
  ScopedFlushDenormals engineMode;  // the denoiser priming computes
  clearSignalState();
  for (auto& ch : channelStates) {
    clearChannel(ch);
    if (!ch.denoiser) continue;
    calls.init(ch.denoiser);
    primeDenoiser(ch);
  }
  snapParameters();
}

void Engine::set(std::uint32_t index, float value) noexcept {
  if (index >= static_cast<std::uint32_t>(kEngineParamCount) || !std::isfinite(value)) return;
  target[index] = value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value);
  gliding = true;
}

}  // namespace orvane
