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

// The denoiser library calls the engine makes. They all go through this one
// process-wide table so that tests can simulate a library that fails to
// create a state, has an unexpected internal layout, or returns non-finite
// data. Nothing else replaces them. Entries are read on the audio thread;
// replace them only while no engine is processing.
struct DenoiserCalls {
  DenoiseState* (*create)();       // rnnoise_create with the built-in model
  void (*destroy)(DenoiseState*);  // rnnoise_destroy
  void (*init)(DenoiseState*);     // rnnoise_init in place, built-in model
  float (*processFrame)(DenoiseState*, float* out, const float* in);  // rnnoise_process_frame
  float (*analyze)(DenoiseState*, float* gains, const float* in);     // orvane_analyze
  bool (*layoutOk)();  // orvane_denoiser_layout_ok, evaluated once per process
};
DenoiserCalls& denoiserCalls() noexcept;
DenoiserCalls defaultDenoiserCalls() noexcept;

// Threads: prepare() and reset() run on the main thread (they allocate);
// set(), resetRealtime() and process() may run on the audio thread and neither
// allocate, lock nor call the system. One thread at a time, by the host's
// contract. An engine is about 120 kB: keep it on the heap.
//
// Order of calls: prepare; nine set() calls and resetRealtime() on activation
// or on a switch to this engine's mode; then per block any set() calls
// followed by process().
class Engine {
 public:
  static constexpr int kMaxChannels = 2;
  static constexpr int kFrameSize = 480;  // denoiser frame, samples at 48 kHz
  static constexpr double kNeuralRate = 48000.0;
  static constexpr int kLiveDelay = kFirDelay;  // 95: the FIR's centre tap
  static constexpr int kClassicDelay = 1440;    // frame collection + the denoiser's two frames
  static constexpr int kDelayCapacity = kClassicDelay;
  static constexpr int kRing = 128;      // covers a 32-tap window plus the converter's lag
  static constexpr int kDryRing = 8192;  // covers the largest latency, 5848 at 192 kHz

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
    float hpIn = 0.0f;
    float hpOut = 0.0f;
    float gateEnv = 0.0f;
    float bodyState = 0.0f;
    float gateGain = 1.0f;
    float vadGain = 1.0f;
    bool fault = false;  // non-finite network data since the last reset: network calls stop
  };

  Engine() noexcept;
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
  // [0, 1]; an index beyond 8 or a non-finite value is ignored.
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

  // The per-sample chain at processRate; called by process().
  void processNative(const float* const* inputs, float* const* outputs, int channels,
                     int frames) noexcept;

  // Meters of the last process() call.
  float inputPeak = 0.0f;    // largest conditioned input magnitude (<= 4)
  float outputPeak = 0.0f;   // largest output magnitude (<= 4)
  float reduction = 0.0f;    // mean max(|dry| - |out|, 0) per sample and channel; 0 when converting
  bool clipping = false;     // some output exceeded 1.0 before the final clamp
  bool neuralFault = false;  // a channel's fault latch was set, or an output was non-finite

  std::array<ChannelState, kMaxChannels> channelStates;
  std::array<float, kEngineParamCount> target;    // normalised targets
  std::array<float, kEngineParamCount> smoothed;  // per-sample one-pole glides of target

  double processRate = kNeuralRate;
  float smoothCoef = 0.0f;   // 10 ms, parameter glides
  float attackCoef = 0.0f;   // 2 ms, gate opening
  float releaseCoef = 0.0f;  // 150 ms, gate closing
  float bodyCoef = 0.0f;     // 220 Hz low-pass of the body restore
  float lastFocus = -1.0f;   // s[4] that hpCoef was computed for; -1 forces a refresh
  float lastGain = -1.0f;    // s[6] that outGain was computed for
  float hpCoef = 0.0f;
  float outGain = 1.0f;
  ResamplerKernel downKernel;  // host rate -> 48 kHz
  ResamplerKernel upKernel;    // 48 kHz -> host rate
  NeuralFirBasis basis;
  bool live = true;
  std::int32_t delayLength = kLiveDelay;
  bool neuralActive = false;  // the neural stage runs (denoiser state for every channel)
  bool neuralRequested = true;
  std::int32_t channelCount = 2;
  double sampleRate = kNeuralRate;
  // Host-rate samples by which the output trails the input: 0 whenever the
  // neural stage does not run.
  std::int32_t latencySamples = 0;
  bool resampling = false;       // neural engine at a host rate other than 48 kHz
  std::int64_t inputCount = 0;   // host samples consumed since the last reset
  std::int64_t neuralCount = 0;  // 48 kHz samples produced since the last reset
  // Converter histories, each ring stored twice (slot s and s + kRing) so a
  // 32-tap window reads contiguously without a wrap test.
  std::array<std::array<float, 2 * kRing>, kMaxChannels> inRing{};   // host-rate input
  std::array<std::array<float, 2 * kRing>, kMaxChannels> outRing{};  // 48 kHz chain output
  std::array<std::array<float, kDryRing>, kMaxChannels> dryRing{};   // host-rate dry path

 private:
  // What the chain uses at one sample, all from the smoothed parameters.
  struct ChainParams {
    float gateThreshold = 0.0f;
    float gateDepth = 0.0f;  // s[2] s[0]
    float neuralMix = 0.0f;
    float vadDepth = 0.0f;
    float bandExponent = 0.0f;
    float bodyAmount = 0.0f;  // s[3]
    float wetShare = 0.0f;    // s[5]
    float bypass = 0.0f;      // s[7]
    float highPass = 0.0f;    // hpCoef
    float outputGain = 1.0f;  // outGain
  };
  // While parameters glide, the chain takes them from a per-sample track
  // computed ahead for a chunk (the glides do not depend on the audio).
  static constexpr int kChunk = 64;
  struct RunMeters {
    float inPeak = 0.0f;
    float outPeak = 0.0f;
    bool clip = false;
    bool fault = false;
    double reductionSum = 0.0;
  };
  enum class Path { Dsp, Live, Classic };

  void computeCoefficients(double rate) noexcept;
  void clearChannel(ChannelState& ch) noexcept;
  void clearSignalState() noexcept;
  void snapParameters() noexcept;
  void advanceParameters() noexcept;
  void deriveParams() noexcept;
  void frameStep(ChannelState& ch, float bandExponent) noexcept;
  template <Path P, bool MixHere, bool Track>
  void channelRun(ChannelState& ch, const float* in, float* out, int count,
                  const ChainParams* track, RunMeters& meters) noexcept;
  template <Path P, bool MixHere>
  void runChain(const float* const* inputs, float* const* outputs, int channels, int frames,
                ChainParams* paramsOut) noexcept;
  void runNative(const float* const* inputs, float* const* outputs, int channels, int frames,
                 ChainParams* paramsOut) noexcept;
  void processConverted(const float* const* inputs, float* const* outputs, int channels,
                        int frames) noexcept;

  ChainParams params;  // values at the last smoothing step
  // Set when a target moves; cleared once a smoothing step changes no value
  // (a fixed point: further steps cannot change them either).
  bool gliding = false;
  bool denoiserUsable = true;  // the library passed the layout check
};

}  // namespace orvane
