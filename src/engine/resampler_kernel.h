// Windowed-sinc interpolation table shared by both directions of the engine's
// rate converter (host rate <-> 48 kHz).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace orvane {

// 32 taps tabulated at 1024 fractional positions (plus one closing row so
// that rows p and p + 1 always exist), read with linear interpolation between
// neighbouring rows: converting a sample needs no trigonometry.
//
// Tap k weighs the source sample at offset k - 15 from the integer part of
// the read position. prepare() allocates and runs on the main thread; read(),
// locateMany(), rowsFor() and dot() are allocation-free and may run on the
// audio thread.
class ResamplerKernel {
 public:
  static constexpr int kTaps = 32;
  static constexpr int kCentreTap = 15;  // the tap on the read position's integer part
  // The window's last tap lies this many samples past its centre tap.
  static constexpr int kReach = kTaps - 1 - kCentreTap;  // 16
  static constexpr int kPhases = 1024;
  static constexpr int kRows = kPhases + 1;
  // Most positions rowsFor() takes at once.
  static constexpr int kGroup = 32;

  using Row = std::array<float, kTaps>;

  // Builds the table for a pass-band edge `cutoff`, a fraction of the Nyquist
  // frequency of the stream being read. Weights are Hann-windowed sinc values
  // computed in double precision; every row is normalised to sum to 1 (unity
  // gain at DC). Replaces any previous table and empties the row cache.
  void prepare(double cutoff);

  // Interpolated read at fractional position `frac` in [0, 1) past the sample
  // that window[kCentreTap] holds; window[k] is the source sample at offset
  // k - 15. Absent source samples must be passed as 0, which leaves them out
  // of the sum exactly. Requires a prepared table.
  float read(double frac, const float* window) const noexcept;

  // A read in three steps, the same bits as read():
  // 1. locateMany() splits stream positions t[i] (|t| < 2^52) whose windows
  //    lie in a ring of `ringSize` samples (a power of two, at most 2^30):
  //    row phase[i] and weight mu[i] of the fraction past floor(t), as read()
  //    splits t - floor(t), and slot[i], the ring slot of the window's first
  //    sample floor(t) - 15. Returns whether every window lies within the
  //    sample indices [lowest, highest[i]].
  static bool locateMany(const double* t, int count, int ringSize, double lowest,
                         const double* highest, int* phase, float* mu, int* slot) noexcept;
  // 2. rowsFor() gives the interpolated rows (row p + (row p+1 - row p) * mu)
  //    for up to kGroup coordinates. Rows recently asked for come from a cache
  //    that prepare() allocates, one entry per phase, refilled on a miss; a
  //    phase that comes twice in one call with different weights is computed
  //    into `spare` the second time. The pointers stay valid until the next
  //    rowsFor() or prepare().
  void rowsFor(const int* phase, const float* mu, int count, const float** rows,
               Row* spare) noexcept;
  // 3. dot() weighs the window at windows + offsets[i] with rows[i] into
  //    out[i], summed as read() sums, several reads side by side on AVX2.
  static void dot(const float* const* rows, const float* windows, const int* offsets, float* out,
                  int count) noexcept;

  // The table: kRows rows after prepare(), none before.
  const std::vector<Row>& rows() const noexcept { return rows_; }

 private:
  struct alignas(32) CachedRow {
    Row weights;
  };

  void interpolate(int phase, float mu, float* out) const noexcept;

  std::vector<Row> rows_;
  std::vector<CachedRow> cache_;       // by phase
  std::vector<std::uint32_t> muBits_;  // the weight each entry was computed for
};

}  // namespace orvane
