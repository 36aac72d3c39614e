// The rate converter of a neural engine at a host rate other than 48 kHz:
// host rate -> 48 kHz -> chain -> host rate, with the output mix at the host
// rate against the dry input delayed by the reported latency.
//
// The 48 kHz stream sample m sits at host time m * r; it is produced once
// host sample m * r + 16 has arrived (the down-converter's newest tap). The
// output reads the processed stream at the 48 kHz time of host sample
// n - latency plus the chain's delay, and mixes it with the dry input delayed
// by the same latency, so both paths line up.
//
// Host samples go in short chunks: the 48 kHz samples a chunk makes
// computable are converted, run through the chain as one batch and stored,
// then the chunk's outputs are read back. Every sample sees exactly what it
// would see one host sample at a time: the rings hold a chunk plus the kernel
// windows, a batch never outruns the up-converter's reads, and each host
// sample mixes with the parameter values of its own time. The kernel reads
// go in groups (ResamplerKernel's three steps), each with the bits of a
// single read().
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "engine/avx2_kernels.h"
#include "engine/engine.h"
#include "engine/vector_mix.h"

namespace orvane {

namespace {

// The stream samples a ring can give a window: sample indices [lowest,
// highest[i]] for read i (whole numbers, exact in double precision).
struct RingSpan {
  double lowest;
  const double* highest;
};

// floor() for stream positions, exact for |t| < 2^63, without a library call.
inline std::int64_t floorToInt(double t) noexcept {
  const auto i = static_cast<std::int64_t>(t);  // toward zero
  return double(i) > t ? i - 1 : i;
}

// Copies x[0..count-1] to the slots of stream samples start.. of a ring of
// `size` (a power of two) samples.
inline void storeRing(float* ring, std::int64_t size, std::int64_t start, const float* x,
                      int count) noexcept {
  const std::int64_t slot = start & (size - 1);
  const int head = static_cast<int>(std::min<std::int64_t>(count, size - slot));
  std::memcpy(ring + slot, x, head * sizeof(float));
  std::memcpy(ring, x + head, (count - head) * sizeof(float));
}

// The opposite copy: x[0..count-1] from the slots of stream samples start..
inline void loadRing(const float* ring, std::int64_t size, std::int64_t start, float* x,
                     int count) noexcept {
  const std::int64_t slot = start & (size - 1);
  const int head = static_cast<int>(std::min<std::int64_t>(count, size - slot));
  std::memcpy(x, ring + slot, head * sizeof(float));
  std::memcpy(x + head, ring, (count - head) * sizeof(float));
}

// Positions a power of two apart, as at 12, 24, 96 and 192 kHz: every
// `period` reads the fractions past the whole sample repeat, so the kernel
// rows do too. A period of 0: no such pattern.
struct Stride {
  double step = 0.0;
  int period = 0;
};

// Most reads readEvenly() takes at once: a converter chunk's.
constexpr int kMostEvenReads = 128;

// The stride of positions `step` apart, for steps of 1/4 to 4.
Stride strideOf(double step) noexcept {
  for (int shift = 0; shift <= 2; ++shift) {
    const int n = 1 << shift;
    if (step == n) return {step, 1};
    if (step * n == 1.0) return {step, n};  // exact: n is a power of two
  }
  return {};
}

// readRings() for positions t[k] = t[0] + k * stride.step: the first
// period's rows serve every read, with the bits a read of each position
// gives, each row's taps loaded once for eight reads, and the windows' slots
// come eight at a time. Returns false, having read nothing, unless every
// position is exactly that and every window lies within the span; the
// general path then reads them.
template <std::size_t N>
bool readEvenly(ResamplerKernel& kernel, const double* t, int count,
                const std::array<std::array<float, N>, 2>& rings, int channels, RingSpan span,
                Stride stride, float* const* out) noexcept {
  const int period = stride.period;
  int slot[kMostEvenReads];
  if (period == 0 || count < period || count > kMostEvenReads || !avx2::available() ||
      !avx2::evenSlots(t, count, stride.step, N / 2, span.highest, slot))
    return false;
  // The first period's windows start lowest: later ones lie whole samples on.
  int phase[4], firstSlot[4];
  float mu[4];
  const float* periodRows[4];
  ResamplerKernel::Row spare[4];
  if (!ResamplerKernel::locateMany(t, period, N / 2, span.lowest, span.highest, phase, mu,
                                   firstSlot))
    return false;
  kernel.rowsFor(phase, mu, period, periodRows, spare);
  for (int c = 0; c < channels; ++c)
    if (out[c])
      avx2::resamplerDotsRepeating(periodRows, period, rings[c].data(), slot, out[c], count);
  return true;
}

// Reads `kernel` at stream positions t[0..count-1] from each channel's ring
// into out[c][i] (channels whose out[c] is null are skipped). The window of
// 32 samples around a position points into the ring, which holds every
// sample twice (slot s and s + N / 2); samples outside the span are given as
// 0 in a copy, which leaves them out of the sum exactly, as read() requires.
// The positions, and so the rows and the windows' places, are the same for
// every channel.
template <std::size_t N>
void readRings(ResamplerKernel& kernel, const double* t, int count,
               const std::array<std::array<float, N>, 2>& rings, int channels, RingSpan span,
               Stride stride, float* const* out) noexcept {
  if (readEvenly(kernel, t, count, rings, channels, span, stride, out)) return;
  constexpr int kGroup = ResamplerKernel::kGroup;
  constexpr int kTaps = ResamplerKernel::kTaps;
  constexpr std::int64_t kMask = N / 2 - 1;
  ResamplerKernel::Row spare[kGroup];
  float scratch[kGroup * kTaps];
  for (int g = 0; g < count; g += kGroup) {
    const int size = std::min(kGroup, count - g);
    int phase[kGroup], slot[kGroup], scratchOffset[kGroup];
    float mu[kGroup];
    const float* rows[kGroup];
    const bool inside = ResamplerKernel::locateMany(t + g, size, N / 2, span.lowest,
                                                    span.highest + g, phase, mu, slot);
    kernel.rowsFor(phase, mu, size, rows, spare);
    for (int c = 0; c < channels; ++c) {
      if (!out[c]) continue;
      if (inside) {
        ResamplerKernel::dot(rows, rings[c].data(), slot, out[c] + g, size);
        continue;
      }
      for (int i = 0; i < size; ++i) {
        const std::int64_t first = floorToInt(t[g + i]) - ResamplerKernel::kCentreTap;
        for (int k = 0; k < kTaps; ++k) {
          const std::int64_t s = first + k;
          scratch[i * kTaps + k] = (double(s) >= span.lowest && double(s) <= span.highest[g + i])
                                       ? rings[c][s & kMask]
                                       : 0.0f;
        }
        scratchOffset[i] = i * kTaps;
      }
      ResamplerKernel::dot(rows, scratch, scratchOffset, out[c] + g, size);
    }
  }
}

}  // namespace

void Engine::processConverted(const float* const* inputs, float* const* outputs, int channels,
                              int frames) noexcept {
  const double r = sampleRate / kNeuralRate;  // host samples per 48 kHz sample
  const int hostChunk = std::max(1, std::min(kBatch, static_cast<int>(kBatch * r) - 1));
  float inPeak = 0.0f, outPeak = 0.0f;
  bool clip = false, fault = false;
  ConverterChunk& chunk = converterChunk;

  for (int first = 0; first < frames; first += hostChunk) {
    const int count = std::min(hostChunk, frames - first);
    chunk.mStart = neuralCount;
    const std::int64_t m = convertDown(inputs, channels, first, count, chunk, inPeak);
    runConvertedBatch(channels, chunk, static_cast<int>(m - chunk.mStart));
    fault |= meters_.neuralFault;
    convertUpAndMix(outputs, channels, first, count, chunk, outPeak, clip);
    inputCount += count;
    neuralCount = m;
  }

  meters_.inputPeak = inPeak;
  meters_.outputPeak = outPeak;
  meters_.reduction = 0.0f;
  meters_.clipping = clip;
  meters_.neuralFault = fault;
}

// Stores host samples first..first+count-1 in the rings and down-converts
// every 48 kHz sample they make computable into chunk.chainIn. Returns the
// new 48 kHz sample count.
std::int64_t Engine::convertDown(const float* const* inputs, int channels, int first, int count,
                                 ConverterChunk& chunk, float& inPeak) noexcept {
  constexpr std::int64_t kRingMask = kRing - 1;
  const double r = sampleRate / kNeuralRate;
  // The whole chunk goes into the rings before any read: a 48 kHz sample's
  // window ends at the host sample that made it computable and starts at
  // most 33 before it, and the chunk writes at most 128 ahead into a ring of
  // 256, so every read sees what it would have seen at its own time.
  for (int c = 0; c < channels; ++c) {
    float x[kBatch];
    conditionRun(inputs && inputs[c] ? inputs[c] + first : nullptr, x, count, inPeak);
    storeRing(inRing[c].data(), kRing, inputCount, x, count);
    storeRing(inRing[c].data() + kRing, kRing, inputCount, x, count);
    storeRing(dryRing[c].data(), kDryRing, inputCount, x, count);
  }
  // 48 kHz sample m sits at host time m * r and is computable once host
  // sample m * r + 16 has arrived. (The chunk length keeps a batch under
  // kBatch samples; the bound only guards the buffers.)
  // Counts are whole numbers below 2^53: double(m) + 1 is double(m + 1).
  double times[kBatch];
  double readyAt[kBatch];  // the host sample that made each computable
  int maker[kBatch];       // and its place in the chunk
  static_assert(kBatch <= kMostEvenReads, "a chunk's reads go evenly in one piece");
  const double mStart = double(chunk.mStart);
  const double firstTap = double(inputCount - kLookAhead);  // host sample 0's newest tap
  const double lastTap = firstTap + (count - 1);
  int batch = 0;
  if (avx2::available()) {
    batch = avx2::streamSchedule(mStart, r, firstTap, lastTap, kBatch, times, readyAt, maker);
  } else {
    double newestTap = firstTap;
    for (double next = mStart * r; batch < kBatch && next <= lastTap; next = (mStart + batch) * r) {
      while (newestTap < next) newestTap += 1.0;
      times[batch] = next;
      readyAt[batch] = newestTap + kLookAhead;
      maker[batch] = static_cast<int>(newestTap - firstTap);
      ++batch;
    }
  }
  // What each host sample made, summed: the samples host sample j has seen.
  int made[kBatch] = {};
  for (int b = 0; b < batch; ++b) ++made[maker[b]];
  int seen = 0;
  for (int j = 0; j < count; ++j) chunk.seen[j] = seen += made[j];
  float* dest[kMaxChannels] = {chunk.chainIn[0], chunk.chainIn[1]};
  const std::int64_t newest = inputCount + count - 1;
  readRings(downKernel, times, batch, inRing, channels,
            {double(std::max<std::int64_t>(0, newest - kRingMask)), readyAt}, strideOf(r), dest);
  return chunk.mStart + batch;
}

// The chain at 48 kHz over the batch, keeping each sample's mix values for
// the output, and the results in the output rings.
void Engine::runConvertedBatch(int channels, ConverterChunk& chunk, int batch) noexcept {
  const float* chainInputs[kMaxChannels] = {chunk.chainIn[0], chunk.chainIn[1]};
  float* chainOutputs[kMaxChannels] = {chunk.chainOut[0], chunk.chainOut[1]};
  chunk.mixAfter[0] = params;
  // Values move only while they glide: a batch that starts at rest keeps them.
  chunk.steady = !gliding;
  processNative(chainInputs, chainOutputs, channels, batch,
                chunk.steady ? nullptr : chunk.mixAfter + 1);
  for (int c = 0; c < channels; ++c) {
    storeRing(outRing[c].data(), kRing, chunk.mStart, chunk.chainOut[c], batch);
    storeRing(outRing[c].data() + kRing, kRing, chunk.mStart, chunk.chainOut[c], batch);
  }
}

// Up-converts the processed stream for host samples first..first+count-1 and
// mixes it with the delayed dry input into the outputs.
void Engine::convertUpAndMix(float* const* outputs, int channels, int first, int count,
                             const ConverterChunk& chunk, float& outPeak, bool& clip) noexcept {
  constexpr std::int64_t kDryMask = kDryRing - 1;
  const double r = sampleRate / kNeuralRate;
  const double offset = latencySamples_ / r - delayLength;  // in 48 kHz samples
  // Host sample n reads the processed stream at 48 kHz time n / r - offset,
  // from what the chain had produced by then.
  double times[kBatch], highest[kBatch];
  if (avx2::available()) {
    avx2::streamTimes(double(inputCount), r, offset, count, times);
  } else {
    for (int j = 0; j < count; ++j) times[j] = double(inputCount + j) / r - offset;
  }
  const double newestBefore = double(chunk.mStart - 1);
  if (avx2::available()) {
    avx2::countsFrom(newestBefore, chunk.seen, count, highest);
  } else {
    for (int j = 0; j < count; ++j) highest[j] = newestBefore + chunk.seen[j];
  }
  float wets[kMaxChannels][kBatch];
  float* dest[kMaxChannels] = {outputs[0] ? wets[0] : nullptr,
                               channels > 1 && outputs[1] ? wets[1] : nullptr};
  const std::int64_t newest = chunk.mStart + chunk.seen[count - 1] - 1;
  readRings(upKernel, times, count, outRing, channels,
            {double(std::max<std::int64_t>(0, newest - (kRing - 1))), highest}, strideOf(1.0 / r),
            dest);

  // Each host sample mixes with the parameter values after the last 48 kHz
  // sample it has seen; they are all the same when the batch ran steady.
  float share[kBatch], gain[kBatch], bypass[kBatch], dry[kBatch];
  if (chunk.steady) {
    share[0] = chunk.mixAfter[0].wetShare;
    gain[0] = chunk.mixAfter[0].outputGain;
    bypass[0] = chunk.mixAfter[0].bypass;
  } else {
    for (int j = 0; j < count; ++j) {
      const ChainParams& mix = chunk.mixAfter[chunk.seen[j]];
      share[j] = mix.wetShare;
      gain[j] = mix.outputGain;
      bypass[j] = mix.bypass;
    }
  }
  // The dry input delayed by the latency; silence before the stream's start.
  const std::int64_t dryStart = inputCount - latencySamples_;
  for (int c = 0; c < channels; ++c) {
    if (!outputs[c]) continue;
    if (dryStart >= 0) {
      loadRing(dryRing[c].data(), kDryRing, dryStart, dry, count);
    } else {
      for (int j = 0; j < count; ++j)
        dry[j] = dryStart + j >= 0 ? dryRing[c][(dryStart + j) & kDryMask] : 0.0f;
    }
    convertedMixRun(wets[c], dry, {share, gain, bypass, !chunk.steady}, outputs[c] + first, count,
                    outPeak, clip);
  }
}

}  // namespace orvane
