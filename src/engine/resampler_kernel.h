// Windowed-sinc interpolation table shared by both directions of the engine's
// rate converter (host rate <-> 48 kHz).
#pragma once

#include <array>
#include <vector>

namespace orvane {

// 32 taps tabulated at 1024 fractional positions (plus one closing row so
// that rows p and p + 1 always exist), read with linear interpolation between
// neighbouring rows: converting a sample needs no trigonometry.
//
// Tap k weighs the source sample at offset k - 15 from the integer part of
// the read position. prepare() allocates and runs on the main thread; read()
// is allocation-free and may run on the audio thread.
class ResamplerKernel {
 public:
  static constexpr int kTaps = 32;
  static constexpr int kCentreTap = 15;  // the tap on the read position's integer part
  static constexpr int kPhases = 1024;
  static constexpr int kRows = kPhases + 1;

  using Row = std::array<float, kTaps>;

  // Builds the table for a pass-band edge `cutoff`, a fraction of the Nyquist
  // frequency of the stream being read. Weights are Hann-windowed sinc values
  // computed in double precision; every row is normalised to sum to 1 (unity
  // gain at DC). Replaces any previous table.
  void prepare(double cutoff);

  // Interpolated read at fractional position `frac` in [0, 1) past the sample
  // that window[kCentreTap] holds; window[k] is the source sample at offset
  // k - 15. Absent source samples must be passed as 0, which leaves them out
  // of the sum exactly. Requires a prepared table.
  float read(double frac, const float* window) const noexcept;
  // out[i] = read(fracs[i], windows[i]) for i < count, the same bits, with
  // independent reads overlapped.
  void readMany(const double* fracs, const float* const* windows, float* out,
                int count) const noexcept;

  // The table: kRows rows after prepare(), none before.
  const std::vector<Row>& rows() const noexcept { return rows_; }

 private:
  std::vector<Row> rows_;
};

}  // namespace orvane
