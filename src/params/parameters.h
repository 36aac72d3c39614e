// The parameter set: identifiers, the one table every layer reads, defaults and
// the normalised/plain conversions. Free of VST 3 headers so the engine can use
// it; the flag values equal the VST 3 ParameterInfo flags.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

namespace orvane {

using ParamId = std::uint32_t;

// Writable parameters, in the order the host sees them.
inline constexpr ParamId CleanAmount = 0;
inline constexpr ParamId OriginalAmbience = 1;
inline constexpr ParamId NoiseReduction = 2;
inline constexpr ParamId BodyRestore = 3;
inline constexpr ParamId FrequencyFocus = 4;
inline constexpr ParamId DryWet = 5;
inline constexpr ParamId OutputGain = 6;
inline constexpr ParamId Bypass = 7;
inline constexpr ParamId CleanupProfile = 8;
// Has static storage: output parameter queues are added by its address.
inline constexpr ParamId ProcessingMode = 9;

// Read-only meters written back by the audio component every block.
inline constexpr ParamId InputPeak = 100;
inline constexpr ParamId OutputPeak = 101;
inline constexpr ParamId Reduction = 102;
inline constexpr ParamId NeuralActive = 103;
inline constexpr ParamId Clipping = 104;

// Identifiers 0..8 are the ones the engines take through set().
inline constexpr int kEngineParamCount = 9;

// Normalised defaults of identifiers 0..8.
inline constexpr std::array<float, kEngineParamCount> Defaults{1.0f, 0.0f, 1.0f, 0.0f, 0.1f,
                                                               1.0f, 0.5f, 0.0f, 0.5f};

enum class Mode : int { NeuralLive = 0, NeuralClassic = 1, LiveDsp = 2 };
inline constexpr int kModeCount = 3;
inline constexpr int kDefaultMode = static_cast<int>(Mode::NeuralClassic);

namespace flags {
inline constexpr std::int32_t kCanAutomate = 1;
inline constexpr std::int32_t kIsReadOnly = 2;
inline constexpr std::int32_t kIsList = 8;
inline constexpr std::int32_t kIsBypass = 1 << 16;
}  // namespace flags

enum class ParamKind { Range, Plain, StringList };

struct ParamInfo {
  ParamId id;
  const char* title;  // English placeholder; the controller retitles it
  int key;            // text-catalog key of the localised title
  ParamKind kind;
  const char* units;
  double minPlain;
  double maxPlain;
  double defaultNorm;
  int stepCount;
  std::int32_t flags;
  std::array<const char*, 3> entries;  // string lists only
};

// clang-format off
inline constexpr ParamInfo kParams[] = {
    {CleanAmount, "Clean Amount", 0, ParamKind::Range, "%", 0, 100, Defaults[0], 0, flags::kCanAutomate, {}},
    {OriginalAmbience, "Original Ambience", 1, ParamKind::Range, "%", 0, 100, Defaults[1], 0, flags::kCanAutomate, {}},
    {NoiseReduction, "Noise Reduction", 2, ParamKind::Range, "%", 0, 100, Defaults[2], 0, flags::kCanAutomate, {}},
    {BodyRestore, "Body Restore", 3, ParamKind::Range, "%", 0, 100, Defaults[3], 0, flags::kCanAutomate, {}},
    // 0.1 in double, not Defaults[4] widened: the declared default is exactly 49.5 Hz.
    {FrequencyFocus, "Frequency Focus", 4, ParamKind::Range, "Hz", 35, 180, 0.1, 0, flags::kCanAutomate, {}},
    {DryWet, "Dry / Wet", 5, ParamKind::Range, "%", 0, 100, Defaults[5], 0, flags::kCanAutomate, {}},
    {OutputGain, "Output Gain", 6, ParamKind::Range, "dB", -18, 18, Defaults[6], 0, flags::kCanAutomate, {}},
    {Bypass, "Bypass", 7, ParamKind::Plain, "", 0, 1, Defaults[7], 1, flags::kCanAutomate | flags::kIsBypass, {}},
    {CleanupProfile, "Cleanup Profile", 8, ParamKind::StringList, "", 0, 2, Defaults[8], 2,
     flags::kCanAutomate | flags::kIsList, {"Live", "Broadcast", "Studio"}},
    {ProcessingMode, "Processing Mode", 9, ParamKind::StringList, "", 0, 2, 0.5, 2, flags::kIsList,
     {"Neural Live", "Neural Classic", "Live DSP"}},
    {InputPeak, "Input Peak", 10, ParamKind::Plain, "", 0, 1, 0.0, 0, flags::kIsReadOnly, {}},
    {OutputPeak, "Output Peak", 11, ParamKind::Plain, "", 0, 1, 0.0, 0, flags::kIsReadOnly, {}},
    {Reduction, "Reduction", 12, ParamKind::Plain, "", 0, 1, 0.0, 0, flags::kIsReadOnly, {}},
    {NeuralActive, "Neural Active", 13, ParamKind::Plain, "", 0, 1, 0.5, 0, flags::kIsReadOnly, {}},
    {Clipping, "Clipping", 14, ParamKind::Plain, "", 0, 1, 0.0, 0, flags::kIsReadOnly, {}},
};
// clang-format on
inline constexpr int kParamCount = static_cast<int>(std::size(kParams));

// The writable identifiers 0..9 are their own positions in kParams.
constexpr bool writableIdsArePositions() noexcept {
  for (ParamId id = CleanAmount; id <= ProcessingMode; ++id)
    if (kParams[id].id != id) return false;
  return true;
}
static_assert(writableIdsArePositions(), "kParams[id] must be the entry of parameter id (0..9)");

// The stable English key of a title or list entry ("Dry / Wet" -> "dry-wet"):
// lower-case ASCII letters and digits, each run of anything else one
// separator. The host tool's names use '-', the LV2 port symbols '_'; hosts
// and scripts store both, so the rule lives in one place.
inline std::string keyFromTitle(std::string_view asciiTitle, char separator = '-') {
  std::string key;
  bool gap = false;
  for (const char ch : asciiTitle) {
    const bool letter = (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9');
    const bool capital = ch >= 'A' && ch <= 'Z';
    if (letter || capital) {
      if (gap && !key.empty()) key += separator;
      key += capital ? static_cast<char>(ch - 'A' + 'a') : ch;
      gap = false;
    } else {
      gap = true;
    }
  }
  return key;
}

// Range parameters: plain = min + norm x (max - min).
constexpr double toPlain(const ParamInfo& p, double norm) noexcept {
  return p.minPlain + norm * (p.maxPlain - p.minPlain);
}

constexpr bool bypassOn(double norm) noexcept {
  return norm > 0.5;
}

// What the Neural Active meter reads for a block: the neural path off, on, or
// on with a fault in that block (a channel's fault latch set, or an output
// that was not finite). Readers classify by the midpoints.
inline constexpr float kNeuralOffValue = 0.0f;
inline constexpr float kNeuralFaultValue = 0.75f;
inline constexpr float kNeuralOnValue = 1.0f;
enum class NeuralState { Off, Fault, On };
constexpr NeuralState neuralStateFromMeter(double v) noexcept {
  if (!(v >= (kNeuralOffValue + kNeuralFaultValue) / 2)) return NeuralState::Off;
  return v < (kNeuralFaultValue + kNeuralOnValue) / 2 ? NeuralState::Fault : NeuralState::On;
}

// The Clipping meter reads 1 for a block whose output passed full scale, else 0.
constexpr bool clippingFromMeter(double v) noexcept {
  return v > 0.5;
}

// Processing-mode index from any normalised value: below 0.25 Neural Live, from
// 0.25 up to 0.75 Neural Classic, from 0.75 Live DSP. NaN, which callers reject
// before this, maps to the default mode rather than to an undefined conversion.
constexpr int modeFromNormalized(double v) noexcept {
  if (!(v == v)) return kDefaultMode;
  v = v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v);
  return static_cast<int>(2.0 * v + 0.5);  // NOLINT(bugprone-incorrect-roundings): v >= 0
}
constexpr double modeToNormalized(int mode) noexcept {
  return mode * 0.5;
}

// An incoming value for identifiers 0..8: false for a non-finite value (to be
// ignored), else the value clamped to [0, 1] as the engines store it.
inline bool acceptNormalized(double v, float& out) noexcept {
  if (!std::isfinite(v)) return false;
  out = static_cast<float>(v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v));
  return true;
}

}  // namespace orvane
