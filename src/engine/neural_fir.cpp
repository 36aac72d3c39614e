#include "engine/neural_fir.h"

#include <algorithm>
#include <cmath>

#include "engine/avx2_kernels.h"

#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

namespace orvane {

namespace {
constexpr int kBins = 481;  // bins 0..480 of the 960-point spectrum
constexpr double kDftLength = 960.0;
constexpr double kPi = 3.14159265358979323846;
}  // namespace

void NeuralFirBasis::prepare() noexcept {
  for (auto& row : basis) row.fill(0.0f);

  for (int k = 0; k < kBins; ++k) {
    // Band b: the last anchor strictly below bin k (band 0 for k <= 2).
    int b = 0;
    for (int j = 0; j < kNeuralBands; ++j)
      if (kBandAnchorBins[j] < k) b = j;

    double f = 1.0;  // weight of band b + 1 (unused for the top band)
    if (b < kNeuralBands - 1) {
      f = double(k - kBandAnchorBins[b]) / double(kBandAnchorBins[b + 1] - kBandAnchorBins[b]);
      f = std::clamp(f, 0.0, 1.0);
    }
    // Inverse real DFT weights: DC and Nyquist once, every other bin twice.
    const double s = (k == 0 || k == kBins - 1 ? 1.0 : 2.0) / kDftLength;

    for (int n = 0; n < kFirHalfTaps; ++n) {
      // Taper: 1.0 at the centre tap, 0.8 at tap 95.
      const double window = 0.9 + 0.1 * std::cos(kPi * n / kFirDelay);
      const double term = std::cos(n * (2.0 * kPi * k) / kDftLength) * s * window;
      if (b == kNeuralBands - 1) {
        basis[b][n] += static_cast<float>(term);
      } else {
        basis[b][n] += static_cast<float>((1.0 - f) * term);
        basis[b + 1][n] += static_cast<float>(f * term);
      }
    }
  }
}

void NeuralFir::reset(std::uint32_t startCount) noexcept {
  history.fill(0.0f);
  current.fill(0.0f);
  target.fill(0.0f);
  current[0] = 1.0f;
  target[0] = 1.0f;
  counter = startCount;
  gliding = true;
}

void NeuralFir::update(const NeuralFirBasis& basis,
                       const std::array<float, kNeuralBands>& gains) noexcept {
  // Each tap's sum runs over the bands in order, from zero; the taps' sums
  // are independent, so they go side by side. (In a local array: summed in
  // `target`, which the compiler cannot tell apart from the basis, the loop
  // stays one tap at a time.)
  std::array<float, kFirHalfTaps> acc{};
  for (int b = 0; b < kNeuralBands; ++b) {
    const float g = gains[b];
    const auto& row = basis.basis[b];
    for (int n = 0; n < kFirHalfTaps; ++n) acc[n] += row[n] * g;
  }
  target = acc;
  gliding = true;
}

float NeuralFir::process(float x) noexcept {
  float y;
  processRun(&x, &y, 1);
  return y;
}

void NeuralFir::processRun(const float* x, float* out, int count) noexcept {
  for (int start = 0; start < count; start += kMaxRun) {
    const int run = std::min(kMaxRun, count - start);
    for (int i = 0; i < run; ++i) {
      const std::uint32_t p = (counter + i) % kRing;
      history[p] = x[start + i];
      history[p + kRing] = x[start + i];
    }
    for (int i = 0; i < run; ++i) out[start + i] = filterNext();
  }
}

float NeuralFir::filterNext() noexcept {
  const std::uint32_t p = counter % kRing;
  const bool wide = avx2::available();
  if (gliding && wide) {
    gliding = avx2::firGlide(current.data(), target.data());
  } else if (gliding) {
    int moved = 0;
    for (int t = 0; t < kFirHalfTaps; ++t) {
      const float c = current[t] + (target[t] - current[t]) * 0.1f;
      moved |= c != current[t];
      current[t] = c;
    }
    gliding = moved != 0;
  }

  // x[d], the sample d steps before the newest, sits at history[p + 512 - d];
  // the centre x[95] is at c, and x[95 -/+ t] at c + t and c - t.
  const float* centre = history.data() + p + kRing - kFirDelay;
  // Sixteen running sums, tap t feeding sum t mod 16, then added pairwise: a
  // fixed order, the same in the vector and the scalar form, whose four
  // four-wide accumulators do not wait on one another.
  ++counter;
  if (wide) return avx2::firSum(centre, current.data());
#if defined(__SSE__) || defined(_M_X64)
  // pair(t) = x[95 + t] + x[95 - t] for taps t .. t + 3; the backward run is
  // loaded from centre - t - 3 and reversed.
  auto pair = [centre](int t) {
    const __m128 back = _mm_loadu_ps(centre - t - 3);
    return _mm_add_ps(_mm_loadu_ps(centre + t),
                      _mm_shuffle_ps(back, back, _MM_SHUFFLE(0, 1, 2, 3)));
  };
  const float* c = current.data();
  // Tap 0, the centre, is not paired.
  __m128 acc0 = _mm_move_ss(_mm_mul_ps(_mm_loadu_ps(c), pair(0)), _mm_set_ss(c[0] * centre[0]));
  __m128 acc1 = _mm_mul_ps(_mm_loadu_ps(c + 4), pair(4));
  __m128 acc2 = _mm_mul_ps(_mm_loadu_ps(c + 8), pair(8));
  __m128 acc3 = _mm_mul_ps(_mm_loadu_ps(c + 12), pair(12));
  for (int t = 16; t < kFirHalfTaps; t += 16) {
    acc0 = _mm_add_ps(acc0, _mm_mul_ps(_mm_loadu_ps(c + t), pair(t)));
    acc1 = _mm_add_ps(acc1, _mm_mul_ps(_mm_loadu_ps(c + t + 4), pair(t + 4)));
    acc2 = _mm_add_ps(acc2, _mm_mul_ps(_mm_loadu_ps(c + t + 8), pair(t + 8)));
    acc3 = _mm_add_ps(acc3, _mm_mul_ps(_mm_loadu_ps(c + t + 12), pair(t + 12)));
  }
  float acc[4];
  _mm_storeu_ps(acc, _mm_add_ps(_mm_add_ps(acc0, acc2), _mm_add_ps(acc1, acc3)));
#else
  float acc[16] = {current[0] * centre[0]};
  for (int t = 1; t < 16; ++t) acc[t] = current[t] * (centre[t] + centre[-t]);
  for (int t = 16; t < kFirHalfTaps; t += 16) {
    for (int j = 0; j < 16; ++j) acc[j] += current[t + j] * (centre[t + j] + centre[-(t + j)]);
  }
  for (int j = 0; j < 8; ++j) acc[j] += acc[j + 8];
  for (int j = 0; j < 4; ++j) acc[j] += acc[j + 4];
#endif
  return (acc[0] + acc[1]) + (acc[2] + acc[3]);
}

}  // namespace orvane
