// Windowed-sinc interpolation table of the rate converter.
#include "engine/resampler_kernel.h"

#include <cmath>

namespace orvane {

namespace {
constexpr double kPi = 3.14159265358979323846;
// Half the kernel span in source samples: the Hann window reaches zero here.
constexpr double kHalfSpan = 16.0;
}  // namespace

void ResamplerKernel::prepare(double cutoff) {
  // Built aside and swapped in, so a failed allocation leaves the old table.
  std::vector<Row> table(kRows);
  for (int p = 0; p < kRows; ++p) {
    const double f = double(p) / kPhases;
    double weights[kTaps];
    double sum = 0.0;
    for (int k = 0; k < kTaps; ++k) {
      // Distance from the interpolated position to the tap's sample.
      const double d = f - (k - kCentreTap);
      double w = 0.0;
      if (std::fabs(d) < kHalfSpan) {
        const double arg = kPi * cutoff * d;
        const double sinc = std::fabs(arg) < 1e-10 ? 1.0 : std::sin(arg) / arg;
        const double window = 0.5 + 0.5 * std::cos(kPi * d / kHalfSpan);
        w = window * cutoff * sinc;
      }
      weights[k] = w;
      sum += w;
    }
    // Unity gain at DC for every position: each stored weight is the float
    // weight widened and divided by the row's double sum.
    for (int k = 0; k < kTaps; ++k)
      table[p][k] = static_cast<float>(double(static_cast<float>(weights[k])) / sum);
  }
  rows.swap(table);
}

float ResamplerKernel::read(double frac, const float* window) const noexcept {
  const double x = frac * kPhases;
  int p = static_cast<int>(x);
  if (p > kPhases - 1) p = kPhases - 1;
  const float mu = static_cast<float>(x - p);
  const float* a = rows[p].data();
  const float* b = rows[p + 1].data();
  // Eight running sums (tap k feeds sum k mod 8), added pairwise at the end:
  // a fixed order that maps onto vector arithmetic.
  float acc[8] = {};
  for (int k = 0; k < kTaps; k += 8) {
    for (int j = 0; j < 8; ++j) {
      const float h = a[k + j] + (b[k + j] - a[k + j]) * mu;
      acc[j] += h * window[k + j];
    }
  }
  return ((acc[0] + acc[4]) + (acc[1] + acc[5])) + ((acc[2] + acc[6]) + (acc[3] + acc[7]));
}

}  // namespace orvane
