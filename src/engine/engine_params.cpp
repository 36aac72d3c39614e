// Parameter glides and the mapping of the nine smoothed values to what the
// chain uses.
#include <algorithm>
#include <cmath>

#include "engine/engine.h"

namespace orvane {

namespace {

// A range parameter's plain value in single precision, span x value + minimum,
// with the range read from the parameter table.
struct PlainRange {
  float span;
  float minimum;
  constexpr float at(float norm) const noexcept { return span * norm + minimum; }
};
constexpr PlainRange plainRange(ParamId id) noexcept {
  const ParamInfo& p = kParams[id];
  return {static_cast<float>(p.maxPlain - p.minPlain), static_cast<float>(p.minPlain)};
}
constexpr PlainRange kFocusHz = plainRange(FrequencyFocus);
constexpr PlainRange kOutputGainDb = plainRange(OutputGain);
constexpr PlainRange kProfile = plainRange(CleanupProfile);  // 0 Live, 1 Broadcast, 2 Studio

}  // namespace

void Engine::snapParameters() noexcept {
  smoothed = target;
  lastFocus = -1.0f;
  lastGain = -1.0f;
  deriveParams();
  gliding = false;  // a smoothing step from here changes nothing
  meters_ = Meters{};
}

// One step of every 10 ms one-pole glide. Rounding would stall a glide short
// of its target once the step falls under half a unit in the last place of
// the value (near 1.0 that is about 1.4e-5 away, which would leave a Bypass
// switched on at 0.99998 of the dry signal for good). A step that no longer
// changes the value therefore lands it on its target; every step before that
// is the plain one-pole step.
void Engine::advanceParameters() noexcept {
  bool moved = false;
  for (int k = 0; k < kEngineParamCount; ++k) {
    float s = smoothed[k] + (target[k] - smoothed[k]) * smoothCoef;
    if (s == smoothed[k]) s = target[k];
    moved |= s != smoothed[k];
    smoothed[k] = s;
  }
  deriveParams();
  gliding = moved;
}

void Engine::deriveParams() noexcept {
  const auto& s = smoothed;
  // Gliding between the profiles as their value glides.
  const float prof = kProfile.at(s[CleanupProfile]);
  // Gate threshold 0.001 plus up to 0.009 x 0.6 / 1.0 / 1.4 (about -44, -40
  // and -37 dBFS at full noise reduction).
  const float thresholdScale = 0.6f + 0.4f * prof;
  params.gateThreshold = 0.001f + thresholdScale * 0.009f * s[NoiseReduction];
  params.gateDepth = s[NoiseReduction] * s[CleanAmount];
  // The gentle profile keeps 15 % of the gate signal under the network's.
  const float profileFactor = prof <= 1.0f ? 0.85f + 0.15f * prof : 1.0f;
  params.neuralMix =
      (1.0f - 0.25f * s[OriginalAmbience]) * (s[NoiseReduction] * s[CleanAmount]) * profileFactor;
  params.vadDepth = std::max(prof - 1.0f, 0.0f);  // voice-activity gating only toward "Studio"
  params.bandExponent = 0.25f + 0.05f * prof;     // gentler band gains for lower profiles
  params.bodyAmount = s[BodyRestore];
  params.wetShare = s[DryWet];
  params.bypass = s[Bypass];

  // The exponential and the power are evaluated only while their value moves.
  if (s[FrequencyFocus] != lastFocus) {
    lastFocus = s[FrequencyFocus];
    // The constant is 2 pi in single precision.
    hpCoef =
        std::exp(kFocusHz.at(s[FrequencyFocus]) * -6.2831855f / static_cast<float>(processRate));
  }
  if (s[OutputGain] != lastGain) {
    lastGain = s[OutputGain];
    outGain = std::pow(10.0f, kOutputGainDb.at(s[OutputGain]) / 20.0f);
  }
  params.highPass = hpCoef;
  params.outputGain = outGain;
}

}  // namespace orvane
