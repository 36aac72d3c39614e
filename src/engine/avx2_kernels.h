// The engine's AVX2 inner loops: the same operations in the same order as
// the SSE forms beside their callers (ResamplerKernel, NeuralFir), eight
// lanes wide, so every result is the same bits. Compiled with -mavx2 and
// called only when available() says the processor runs it.
#pragma once

#include <cstdint>

#include "engine/vector_mix.h"

namespace orvane::avx2 {

// True when the denoiser's kernels run their AVX2 path (chosen once per
// process from the processor; tests switch it with orvane_nnet_select).
bool available() noexcept;

// ResamplerKernel::dot: out[i] is row[i] times the window at window +
// offset[i], in eight running sums added pairwise; eight reads run side by
// side, and a last group of fewer is padded to eight.
void resamplerDots(const float* const* row, const float* window, const int* offset, float* out,
                   int count) noexcept;
// resamplerDots for reads whose rows repeat every `period` (1, 2 or 4)
// reads: read i's row is rows[i % period], its taps loaded once for eight.
void resamplerDotsRepeating(const float* const* rows, int period, const float* window,
                            const int* offset, float* out, int count) noexcept;
// ResamplerKernel::locateMany for the first count rounded down to a multiple
// of four positions, four at a time; returns how many it did, and clears
// `inside` if one of their windows is not within its bounds.
int resamplerLocate(const double* t, int count, int ringSize, double lowest, const double* highest,
                    int* phase, float* mu, int* slot, bool& inside) noexcept;
// ResamplerKernel::rowsFor when every row is cached: rows[i] is the cache
// entry of phase[i] (entries kCacheEntryBytes apart from `cache`) for
// i < count. Returns false, with rows[] undefined, unless muBits[phase[i]]
// holds the bits of mu[i] for every i.
inline constexpr int kCacheEntryBytes = 128;
bool resamplerCachedRows(const int* phase, const float* mu, int count, const std::uint32_t* muBits,
                         const char* cache, const float** rows) noexcept;
// For positions t[i] = t[0] + i * step: true when every t[i] is exactly that
// and floor(t[i]) + 16, the last sample of its window, is at most
// highest[i]; slot[i] is then the ring slot of the window's first sample,
// as ResamplerKernel::locateMany gives it.
bool evenSlots(const double* t, int count, double step, int ringSize, const double* highest,
               int* slot) noexcept;
// The converter's schedule for a chunk: times[b] = (mStart + b) * r for as
// long as that is at most lastTap (and b < most); readyAt[b], the newest
// host sample once each is computable, max(firstTap, ceil(times[b])) + 16;
// and maker[b], that sample's place in the chunk. Returns how many.
int streamSchedule(double mStart, double r, double firstTap, double lastTap, int most,
                   double* times, double* readyAt, int* maker) noexcept;
// out[i] = (first + i) / r - offset for i < count, four at a time. Each is
// a division, or, when r is a power of two, the product with its reciprocal,
// which is the same number.
void streamTimes(double first, double r, double offset, int count, double* out) noexcept;
// out[i] = base + counts[i] for i < count, four at a time.
void countsFrom(double base, const int* counts, int count, double* out) noexcept;

// The rate converter's output stage (convertedMixRun) for the first count
// rounded down to a multiple of eight samples, eight at a time; returns how
// many it did.
int convertedMix(const float* wet, const float* dry, MixValues mix, float* out, int count,
                 float& peak, bool& clip) noexcept;

// NeuralFir's symmetric sum over its 96 taps around centre, in sixteen
// running sums added pairwise.
float firSum(const float* centre, const float* taps) noexcept;
// One glide step of the 96 taps a tenth of the way to target; false when
// none moved.
bool firGlide(float* current, const float* target) noexcept;

}  // namespace orvane::avx2
