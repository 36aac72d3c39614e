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
// sample mixes with the parameter values of its own time.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "engine/engine.h"
#include "engine/vector_mix.h"

namespace orvane {

namespace {

// The down-converter's newest tap is this many host samples ahead of its
// read position.
constexpr int kLookAhead = ResamplerKernel::kTaps - 1 - ResamplerKernel::kCentreTap;  // 16
// At most this many 48 kHz samples per chunk: with the kernel window and the
// converter's lag they fit the 128-sample rings.
constexpr int kBatch = 48;

// floor() for stream positions, exact for |t| < 2^63, without a library call.
inline std::int64_t floorToInt(double t) noexcept {
  const auto i = static_cast<std::int64_t>(t);  // toward zero
  return double(i) > t ? i - 1 : i;
}

// Reads 32 consecutive ring samples starting at stream index `first`, with
// samples outside [lowest, highest] given as 0 (left out of the sum). The
// fast case, a window wholly inside the valid range, points into the ring,
// which holds every sample twice (slot s and s + N / 2).
template <std::size_t N>
inline const float* ringWindow(const std::array<float, N>& ring, std::int64_t first,
                               std::int64_t lowest, std::int64_t highest, float* scratch) noexcept {
  constexpr std::int64_t kMask = N / 2 - 1;
  if (first >= lowest && first + ResamplerKernel::kTaps - 1 <= highest)
    return ring.data() + (first & kMask);
  for (int k = 0; k < ResamplerKernel::kTaps; ++k) {
    const std::int64_t i = first + k;
    scratch[k] = (i >= lowest && i <= highest) ? ring[i & kMask] : 0.0f;
  }
  return scratch;
}

// Kernel reads collected over a chunk and done together, so that their sums
// overlap: each one's position, window and destination.
struct PendingReads {
  static constexpr int kMax = 2 * kBatch;  // a batch or a chunk, two channels
  double frac[kMax];
  const float* window[kMax];
  float* dest[kMax];
  float value[kMax];
  int count = 0;

  void add(double f, const float* w, float* d) noexcept {
    frac[count] = f;
    window[count] = w;
    dest[count] = d;
    ++count;
  }
  void run(const ResamplerKernel& kernel) noexcept {
    kernel.readMany(frac, window, value, count);
    for (int i = 0; i < count; ++i) *dest[i] = value[i];
  }
};

}  // namespace

// What one chunk of host samples carries from the down-conversion through
// the chain to the up-conversion.
struct Engine::ConverterChunk {
  std::int64_t mStart = 0;  // neuralCount before the chunk
  float chainIn[kMaxChannels][kBatch];
  float chainOut[kMaxChannels][kBatch];
  // Parameter values after each 48 kHz sample of the batch (entry 0: before it).
  ChainParams mixAfter[kBatch + 1];
  std::int64_t producedBy[kBatch];  // neuralCount after each host sample's down-conversion
};

void Engine::processConverted(const float* const* inputs, float* const* outputs, int channels,
                              int frames) noexcept {
  const double r = sampleRate / kNeuralRate;  // host samples per 48 kHz sample
  const int hostChunk = std::max(1, std::min(kBatch, static_cast<int>(kBatch * r) - 1));
  float inPeak = 0.0f, outPeak = 0.0f;
  bool clip = false, fault = false;
  ConverterChunk chunk;

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
  constexpr std::int64_t kDryMask = kDryRing - 1;
  const double r = sampleRate / kNeuralRate;
  float scratch[ResamplerKernel::kTaps];
  PendingReads pending;
  std::int64_t m = chunk.mStart;
  for (int j = 0; j < count; ++j) {
    const std::int64_t n = inputCount + j;
    const std::int64_t slot = n & kRingMask;
    for (int c = 0; c < channels; ++c) {
      const float* const in = inputs ? inputs[c] : nullptr;
      const float x = conditioned(in ? in[first + j] : 0.0f);
      inRing[c][slot] = x;
      inRing[c][slot + kRing] = x;
      dryRing[c][n & kDryMask] = x;
      inPeak = maxf(inPeak, std::fabs(x));
    }
    // (The chunk length keeps a batch under kBatch samples; the bound only
    // guards the buffers.)
    for (; double(m) * r <= double(n - kLookAhead) && m - chunk.mStart < kBatch; ++m) {
      const double t = double(m) * r;
      const std::int64_t whole = floorToInt(t);
      const std::int64_t start = whole - ResamplerKernel::kCentreTap;
      const std::int64_t lowest = std::max<std::int64_t>(0, n - kRingMask);
      for (int c = 0; c < channels; ++c) {
        float* const dest = &chunk.chainIn[c][m - chunk.mStart];
        const float* w = ringWindow(inRing[c], start, lowest, n, scratch);
        if (w == scratch) {
          // A window at the stream's start, copied out: read now.
          *dest = downKernel.read(t - double(whole), w);
        } else {
          // Inside the ring, which the rest of the chunk does not reach: its
          // newest sample is at most 18 before n, and the chunk writes at
          // most 48 after n into a ring of 128.
          pending.add(t - double(whole), w, dest);
        }
      }
    }
    chunk.producedBy[j] = m;
  }
  pending.run(downKernel);
  return m;
}

// The chain at 48 kHz over the batch, keeping each sample's mix values for
// the output, and the results in the output rings.
void Engine::runConvertedBatch(int channels, ConverterChunk& chunk, int batch) noexcept {
  constexpr std::int64_t kRingMask = kRing - 1;
  const float* chainInputs[kMaxChannels] = {chunk.chainIn[0], chunk.chainIn[1]};
  float* chainOutputs[kMaxChannels] = {chunk.chainOut[0], chunk.chainOut[1]};
  chunk.mixAfter[0] = params;
  processNative(chainInputs, chainOutputs, channels, batch, chunk.mixAfter + 1);
  for (int k = 0; k < batch; ++k) {
    const std::int64_t outSlot = (chunk.mStart + k) & kRingMask;
    for (int c = 0; c < channels; ++c) {
      outRing[c][outSlot] = chunk.chainOut[c][k];
      outRing[c][outSlot + kRing] = chunk.chainOut[c][k];
    }
  }
}

// Up-converts the processed stream for host samples first..first+count-1 and
// mixes it with the delayed dry input into the outputs.
void Engine::convertUpAndMix(float* const* outputs, int channels, int first, int count,
                             const ConverterChunk& chunk, float& outPeak, bool& clip) noexcept {
  constexpr std::int64_t kDryMask = kDryRing - 1;
  const double r = sampleRate / kNeuralRate;
  const double offset = latencySamples_ / r - delayLength;  // in 48 kHz samples
  float scratch[ResamplerKernel::kTaps];
  // First every wet sample of the chunk, the reads done together; then the
  // mix.
  float wets[kMaxChannels][kBatch];
  PendingReads pending;
  for (int j = 0; j < count; ++j) {
    const std::int64_t n = inputCount + j;
    const std::int64_t mNow = chunk.producedBy[j];
    const double u = double(n) / r - offset;
    const std::int64_t whole = floorToInt(u);
    const std::int64_t start = whole - ResamplerKernel::kCentreTap;
    for (int c = 0; c < channels; ++c) {
      if (!outputs[c]) continue;
      const float* w =
          ringWindow(outRing[c], start, std::max<std::int64_t>(0, mNow - kRing), mNow - 1, scratch);
      if (w == scratch) {
        wets[c][j] = upKernel.read(u - double(whole), w);
      } else {
        pending.add(u - double(whole), w, &wets[c][j]);
      }
    }
  }
  pending.run(upKernel);
  float peak = outPeak;  // kept in registers, not through the references
  bool clipped = clip;
  for (int j = 0; j < count; ++j) {
    const std::int64_t n = inputCount + j;
    const ChainParams& mix = chunk.mixAfter[chunk.producedBy[j] - chunk.mStart];
    for (int c = 0; c < channels; ++c) {
      float* const out = outputs[c];
      if (!out) continue;
      const float wet = wets[c][j];
      const float dry = n >= latencySamples_ ? dryRing[c][(n - latencySamples_) & kDryMask] : 0.0f;
      float o = mixSample(wet, dry, mix.wetShare, mix.outputGain, mix.bypass);
      o = std::isfinite(o) ? clampSample(o) : 0.0f;
      out[first + j] = o;
      peak = maxf(peak, std::fabs(o));
      clipped |= std::fabs(o) > 1.0f;
    }
  }
  outPeak = peak;
  clip = clipped;
}

}  // namespace orvane
