// The engine's AVX2 inner loops: the same operations in the same order as
// the SSE forms beside their callers (ResamplerKernel, NeuralFir), eight
// lanes wide, so every result is the same bits. Compiled with -mavx2 and
// called only when available() says the processor runs it.
#pragma once

namespace orvane::avx2 {

// True when the denoiser's kernels run their AVX2 path (chosen once per
// process from the processor; tests switch it with orvane_nnet_select).
bool available() noexcept;

// ResamplerKernel::read's sum: the row a + (b - a) mu, tap by tap, times the
// 32-sample window, in eight running sums added pairwise.
float resamplerRead(const float* a, const float* b, float mu, const float* window) noexcept;
// Four such reads at once (rows a[i], b[i], position mu[i], window[i]) into
// out[0..3]: their sums run side by side instead of one after the other.
void resamplerReadFour(const float* const* a, const float* const* b, const float* mu,
                       const float* const* window, float* out) noexcept;

// NeuralFir's symmetric sum over its 96 taps around centre, in sixteen
// running sums added pairwise.
float firSum(const float* centre, const float* taps) noexcept;
// One glide step of the 96 taps a tenth of the way to target; false when
// none moved.
bool firGlide(float* current, const float* target) noexcept;

}  // namespace orvane::avx2
