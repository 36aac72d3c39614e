// The clean-up engine: one mono or stereo signal path in one of the three
// processing configurations (Neural Live, Neural Classic, Live DSP).
#pragma once

#include <array>
#include <cstdint>

#include "engine/neural_fir.h"
#include "engine/resampler_kernel.h"
#include "params/parameters.h"

// RNNoise's state type; the library header stays out of the engine's interface.
struct DenoiseState;

namespace orvane {

// The denoiser library calls an engine makes. An engine is handed them at
// construction, so that a test can give it a library that fails to create a
// state, has an unexpected internal layout, or returns non-finite data. They
// are called on the audio thread (init, processFrame, analyze) and on the main
// thread (create, destroy, layoutOk).
struct DenoiserCalls {
  DenoiseState* (*create)();       // rnnoise_create with the built-in model
  void (*destroy)(DenoiseState*);  // rnnoise_destroy
  void (*init)(DenoiseState*);     // rnnoise_init in place, built-in model
  float (*processFrame)(DenoiseState*, float* out, const float* in);  // rnnoise_process_frame
  float (*analyze)(DenoiseState*, float* gains, const float* in);     // orvane_analyze
  bool (*layoutOk)();  // orvane_denoiser_layout_ok, evaluated once per process
};

// The linked RNNoise library with its built-in model.
const DenoiserCalls& libraryDenoiserCalls() noexcept;

struct RunMeters;  // vector_mix.h

// Threads: prepare() and reset() run on the main thread (they allocate);
// set(), resetRealtime() and process() may run on the audio thread and neither
// allocate, lock nor call the system. One thread at a time, by the host's
// contract. An engine is about 120 kB: keep it on the heap.
//
// Order of calls: prepare; nine set() calls and resetRealtime() on activation
// or on a switch to this engine's mode; then per block any set() calls
// followed by process(), each followed by reading meters().
//
// The implementation is split by concern: engine.cpp (lifecycle),
// engine_params.cpp (glides and the parameter mapping), engine_chain.cpp
// (the per-sample chain), engine_converter.cpp (the rate converter) and
// vector_mix.* (input conditioning and the output stage they share).
class Engine {
 public:
  static constexpr int kMaxChannels = 2;
  static constexpr int kLiveDelay = kFirDelay;  // 95: the FIR's centre tap
  static constexpr int kClassicDelay = 1440;    // frame collection + the denoiser's two frames

  // Readings of the last process() call; all zero after a reset.
  struct Meters {
    float inputPeak = 0.0f;   // largest conditioned input magnitude (<= 4)
    float outputPeak = 0.0f;  // largest output magnitude (<= 4)
    float reduction = 0.0f;  // mean max(|dry| - |out|, 0) per sample and channel; 0 when converting
    bool clipping = false;   // some output exceeded 1.0 before the final clamp
    bool neuralFault = false;  // a channel's fault latch was set, or an output was non-finite
  };

  explicit Engine(const DenoiserCalls& calls = libraryDenoiserCalls()) noexcept;
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Configures the engine for a host rate (8 to 192 kHz) and 1 or 2 channels
  // and resets it. `neural` selects a neural configuration, `live` its FIR
  // path (Neural Live) rather than the denoiser's own output (Neural Classic).
  // Returns false and changes nothing when the arguments are out of range.
  bool prepare(double sampleRate, int channels, bool neural, bool live);

  // Full reset: recreates the denoiser states and clears all signal state.
  // A neural engine whose states cannot be created processes like Live DSP.
  void reset();

  // Clears all signal state and reinitialises the existing denoiser states in
  // place. Snaps the smoothed parameters to their targets.
  void resetRealtime() noexcept;

  // Stores a normalised target for parameter `index` (0..8), clamped to
  // [0, 1]; an index beyond 8 or a non-finite value is ignored. The value
  // reaches the audio through a 10 ms glide that ends exactly on it.
  void set(std::uint32_t index, float value) noexcept;

  // Processes one block. `inputs` (or any entry) may be null: silence.
  // `outputs` entries may be null: that channel is not written. In-place
  // processing (outputs[c] == inputs[c]) is allowed. Like prepare() and the
  // resets, runs in the engine's own floating-point mode (flush-to-zero,
  // denormals-are-zero, round to nearest) and restores the caller's.
  // A call with no output array, channels outside 1..channelCount or a
  // negative frame count does nothing.
  void process(const float* const* inputs, float* const* outputs, int channels,
               int frames) noexcept;

  const Meters& meters() const noexcept { return meters_; }

  // Whether the neural stage runs: a neural configuration whose denoiser
  // states exist for every channel. Settled by prepare() and reset().
  bool neuralActive() const noexcept { return neuralActive_; }

  // Host-rate samples by which the output trails the input: 0 whenever the
  // neural stage does not run.
  std::int32_t latencySamples() const noexcept { return latencySamples_; }

 private:
  static constexpr int kFrameSize = 480;  // denoiser frame, samples at 48 kHz
  static constexpr double kNeuralRate = 48000.0;
  static constexpr int kDelayCapacity = kClassicDelay;
  static constexpr int kRing = 256;      // covers a converter chunk, a 32-tap window and the lag
  static constexpr int kDryRing = 8192;  // covers the largest latency, 5848 at 192 kHz
  // The down-converter's newest tap is this many host samples ahead of its
  // read position.
  static constexpr int kLookAhead = ResamplerKernel::kReach;
  // While parameters glide, the chain takes them from a per-sample track
  // computed ahead for a chunk (the glides do not depend on the audio).
  static constexpr int kChunk = 64;

  // The recursive filter states of one channel, copied into a local while a
  // run goes through the chain.
  struct FilterStates {
    float hpIn = 0.0f;   // previous input of the high-pass
    float hpOut = 0.0f;  // previous output of the high-pass
    float gateEnv = 0.0f;
    float gateGain = 1.0f;
    float bodyState = 0.0f;  // the 220 Hz low-pass of the body restore
  };

  struct ChannelState {
    DenoiseState* denoiser = nullptr;  // owned; null when not neural or creation failed
    NeuralFir fir;
    std::array<float, kNeuralBands> bandGains{};   // last frame's gains, shaped for the FIR
    std::array<float, kFrameSize> inFrame{};       // frame being collected, 16-bit full scale
    std::array<float, kFrameSize> outFrame{};      // previous frame's denoiser output (Classic)
    std::array<float, kDelayCapacity> dryDelay{};  // conditioned input
    std::array<float, kDelayCapacity> dspDelay{};  // gate output
    std::int32_t framePos = 0;
    std::int32_t delayPos = 0;
    FilterStates filters;
    float vadGain = 1.0f;
    bool fault = false;  // non-finite network data since the last reset: network calls stop
  };

  // What the chain uses at one sample, all from the smoothed parameters.
  struct ChainParams {
    float gateThreshold = 0.0f;
    float gateDepth = 0.0f;  // noise reduction x clean amount
    float neuralMix = 0.0f;
    float vadDepth = 0.0f;
    float bandExponent = 0.0f;
    float bodyAmount = 0.0f;  // body restore, 0..1
    float wetShare = 0.0f;    // dry / wet
    float bypass = 0.0f;
    float highPass = 0.0f;    // hpCoef
    float outputGain = 1.0f;  // outGain
  };

  // The neural stage a chain runs.
  enum class Path { Dsp, Live, Classic };
  // Where dry/wet, output gain and bypass are applied: in the chain, or at
  // the host rate by the converter (the chain then passes its wet signal).
  enum class OutputMix { InChain, ByConverter };
  // Where a run takes its parameter values: per sample from a track computed
  // ahead while they glide, or the one set of values they rest at.
  enum class ParamSource { Track, Steady };

  // At most this many 48 kHz samples per converter chunk: with the kernel
  // window and the converter's lag they fit the 256-sample rings. Long enough
  // that the chain's cost per call is spread over many samples.
  static constexpr int kBatch = 128;

  // What one chunk of host samples carries from the down-conversion through
  // the chain to the up-conversion.
  struct ConverterChunk {
    std::int64_t mStart = 0;  // neuralCount before the chunk
    float chainIn[kMaxChannels][kBatch];
    float chainOut[kMaxChannels][kBatch];
    // Parameter values after each 48 kHz sample of the batch (entry 0: before
    // it; the rest only filled when the batch did not run steady).
    ChainParams mixAfter[kBatch + 1];
    int seen[kBatch];     // the batch's samples made by each host sample's time
    bool steady = false;  // no parameter moved during the batch
  };

  // Lifecycle (engine.cpp).
  void computeCoefficients(double rate) noexcept;
  void clearChannel(ChannelState& ch) noexcept;
  void clearSignalState() noexcept;
  void configureNeuralRate() noexcept;
  void replaceDenoisers();
  void fallBackToDsp() noexcept;
  void primeDenoiser(ChannelState& ch) noexcept;

  // Parameter glides and their mapping to chain values (engine_params.cpp).
  void snapParameters() noexcept;
  void advanceParameters() noexcept;
  void deriveParams() noexcept;

  // The per-sample chain (engine_chain.cpp).
  void analyzeFrame(ChannelState& ch, float bandExponent) noexcept;
  void denoiseFrame(ChannelState& ch) noexcept;
  template <Path P>
  void neuralStage(ChannelState& ch, float x, float y, float g, float filtered,
                   const ChainParams& p, float& wet, float& dry, bool& fault) noexcept;
  template <Path P, OutputMix M, ParamSource S>
  void channelRun(ChannelState& ch, const float* in, float* out, int count,
                  const ChainParams* track, RunMeters& meters) noexcept;
  template <Path P, OutputMix M>
  void runChain(const float* const* inputs, float* const* outputs, int channels, int frames,
                ChainParams* paramsOut) noexcept;
  // The chain at processRate. `paramsOut`, when given, receives the
  // parameter values of every sample.
  void processNative(const float* const* inputs, float* const* outputs, int channels, int frames,
                     ChainParams* paramsOut = nullptr) noexcept;

  // The rate converter (engine_converter.cpp).
  void processConverted(const float* const* inputs, float* const* outputs, int channels,
                        int frames) noexcept;
  std::int64_t convertDown(const float* const* inputs, int channels, int first, int count,
                           ConverterChunk& chunk, float& inPeak) noexcept;
  void runConvertedBatch(int channels, ConverterChunk& chunk, int batch) noexcept;
  void convertUpAndMix(float* const* outputs, int channels, int first, int count,
                       const ConverterChunk& chunk, float& outPeak, bool& clip) noexcept;

  DenoiserCalls calls;
  Meters meters_;

  std::array<ChannelState, kMaxChannels> channelStates;
  std::array<float, kEngineParamCount> target;    // normalised targets
  std::array<float, kEngineParamCount> smoothed;  // per-sample one-pole glides of target
  ChainParams params;                             // values at the last smoothing step
  // Set when a target moves; cleared once a smoothing step changes no value
  // (every glide has arrived: further steps cannot change them either).
  bool gliding = false;

  double processRate = kNeuralRate;
  float smoothCoef = 0.0f;   // 10 ms, parameter glides
  float attackCoef = 0.0f;   // 2 ms, gate opening
  float releaseCoef = 0.0f;  // 150 ms, gate closing
  float bodyCoef = 0.0f;     // 220 Hz low-pass of the body restore
  float lastFocus = -1.0f;   // smoothed focus that hpCoef was computed for; -1 forces a refresh
  float lastGain = -1.0f;    // smoothed output gain that outGain was computed for
  float hpCoef = 0.0f;
  float outGain = 1.0f;
  ResamplerKernel downKernel;  // host rate -> 48 kHz
  ResamplerKernel upKernel;    // 48 kHz -> host rate
  NeuralFirBasis basis;
  bool live = true;
  std::int32_t delayLength = kLiveDelay;
  bool neuralActive_ = false;
  bool neuralRequested = true;
  bool denoiserUsable = true;  // the library passed the layout check
  std::int32_t channelCount = 2;
  double sampleRate = kNeuralRate;
  std::int32_t latencySamples_ = 0;
  bool resampling = false;       // neural engine at a host rate other than 48 kHz
  std::int64_t inputCount = 0;   // host samples consumed since the last reset
  std::int64_t neuralCount = 0;  // 48 kHz samples produced since the last reset
  // Converter histories, each ring stored twice (slot s and s + kRing) so a
  // 32-tap window reads contiguously without a wrap test.
  std::array<std::array<float, 2 * kRing>, kMaxChannels> inRing{};   // host-rate input
  std::array<std::array<float, 2 * kRing>, kMaxChannels> outRing{};  // 48 kHz chain output
  std::array<std::array<float, kDryRing>, kMaxChannels> dryRing{};   // host-rate dry path
  // Working space of one call, kept here so that a call does not set it up
  // afresh: the converter's chunk, and the chain's parameter track.
  ConverterChunk converterChunk;
  std::array<ChainParams, kChunk> paramTrack;
};

}  // namespace orvane
