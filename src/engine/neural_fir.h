// The live path's filter: the denoiser's 32 band gains applied through a
// 191-tap linear-phase FIR at 48 kHz, a 95-sample delay.
#pragma once

#include <array>
#include <cstdint>

namespace orvane {

inline constexpr int kFirHalfTaps = 96;  // distinct taps of the symmetric filter
inline constexpr int kFirDelay = 95;     // samples; the filter spans 2 x 95 + 1
inline constexpr int kNeuralBands = 32;

// Bin (of a 960-point spectrum at 48 kHz, 50 Hz each) where band b's gain
// applies fully: the points at which RNNoise itself anchors its band gains.
inline constexpr std::array<int, kNeuralBands> kBandAnchorBins{
    2,  4,  6,  8,  10, 12,  15,  18,  21,  24,  28,  32,  36,  41,  47,  53,
    60, 68, 77, 87, 98, 110, 124, 140, 157, 176, 198, 223, 251, 282, 317, 356};

// Maps the 32 band gains linearly to the 96 taps: piecewise-linear gain curve
// over the bins, inverse real DFT of length 960 and a taper window, folded into
// one matrix so a per-frame redesign is a 96 x 32 product.
// Built once by prepare() (main thread, 92k cosines); read-only afterwards.
// Stored band by band, so that a redesign runs all 96 taps' sums side by side.
struct NeuralFirBasis {
  std::array<std::array<float, kFirHalfTaps>, kNeuralBands> basis{};  // [band][tap]

  void prepare() noexcept;
};

// One channel's filter. Audio thread only; no allocation.
class NeuralFir {
 public:
  // Pure 95-sample delay: history 0, tap 0 = 1, all other taps 0. The sample
  // counter starts at `startCount` (0 but in a test of its wrap-around).
  void reset(std::uint32_t startCount = 0) noexcept;

  // Sets the target taps from band gains in [0, 1]; the taps in use glide to
  // them over the following samples.
  void update(const NeuralFirBasis& basis, const std::array<float, kNeuralBands>& gains) noexcept;

  // Filters one sample: the taps take one glide step, then the symmetric sum.
  float process(float x) noexcept;
  // Filters x[0..count-1] into out[], the same as process() on each in turn.
  // The run's samples are stored before any sum, so no sum waits on a store
  // just before it; runs longer than kMaxRun go in pieces.
  static constexpr int kMaxRun = 256;
  void processRun(const float* x, float* out, int count) noexcept;

 private:
  static constexpr int kRing = 512;
  // Later samples of a run land in slots that earlier windows do not reach.
  static_assert(kMaxRun + 2 * kFirDelay + 1 <= kRing);

  // The glide step and the sum for the next sample, already in the history.
  float filterNext() noexcept;

  // Ring of 512 samples stored twice (p and p + 512), so any run of up to 512
  // past samples reads in both directions without a wrap test.
  std::array<float, 2 * kRing> history{};
  // Tap 0 is the centre; tap t for t >= 1 applies on both sides of it.
  std::array<float, kFirHalfTaps> current{};  // taps in use
  std::array<float, kFirHalfTaps> target{};   // taps set by the last update
  std::uint32_t counter = 0;  // samples filtered; wraps freely (2^32 is a multiple of 512)
  // False once a glide step left every tap unchanged: the taps sit at a fixed
  // point of the glide and further steps are skipped until the next update.
  bool gliding = true;
};

}  // namespace orvane
