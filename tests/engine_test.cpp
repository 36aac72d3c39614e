#include "engine/engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "engine/fp_mode.h"
#include "engine_harness.h"
#include "support/speech.h"

namespace orvane {
namespace {

using test::EngineConfig;
using test::kAllConfigs;
using test::kLiveDsp;
using test::kNeuralClassic;
using test::kNeuralLive;
using test::makeEngine;
using test::run;
using test::Signal;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr double kPi = 3.14159265358979323846;

// A signal that makes every stage work: noise bursts with pauses (the gate
// opens and closes) and a steady tone, long enough for several frame steps
// at every rate.
Signal busySignal(int channels, std::size_t n, unsigned seed) {
  Signal s = test::noise(channels, n, 0.3f, seed);
  for (int c = 0; c < channels; ++c)
    for (std::size_t i = 0; i < n; ++i) {
      const bool burst = (i / 1500) % 3 != 2;
      s[c][i] = (burst ? s[c][i] : 0.001f * s[c][i]) + 0.2f * std::sin(0.03 * i * (c + 1));
    }
  return s;
}

// ---------------------------------------------------------------------------

TEST(EngineLifecycle, PrepareRejectsOutOfRangeArgumentsAndKeepsItsConfiguration) {
  auto e = makeEngine(kNeuralClassic, 44100, 1);
  ASSERT_TRUE(e);
  for (double rate : {7999.0, 192001.0, double(kNaN), double(kInf), 0.0, -48000.0})
    EXPECT_FALSE(e->prepare(rate, 1, true, true)) << rate;
  for (int channels : {0, 3, -1}) EXPECT_FALSE(e->prepare(48000, channels, true, true));
  EXPECT_EQ(e->sampleRate, 44100);
  EXPECT_EQ(e->channelCount, 1);
  EXPECT_FALSE(e->live);
  EXPECT_EQ(e->latencySamples, 1356);
  EXPECT_TRUE(e->neuralActive);
  EXPECT_TRUE(e->prepare(8000, 2, false, false));
  EXPECT_TRUE(e->prepare(192000, 2, true, true));
}

TEST(EngineLifecycle, MonoEngineCreatesOneDenoiser) {
  auto e = makeEngine(kNeuralClassic, 44100, 1);
  EXPECT_TRUE(e->neuralActive);
  EXPECT_NE(e->channelStates[0].denoiser, nullptr);
  EXPECT_EQ(e->channelStates[1].denoiser, nullptr);
  // Re-preparing as stereo replaces the states; Live DSP holds none.
  ASSERT_TRUE(e->prepare(48000, 2, true, true));
  EXPECT_NE(e->channelStates[1].denoiser, nullptr);
  ASSERT_TRUE(e->prepare(48000, 2, false, false));
  EXPECT_EQ(e->channelStates[0].denoiser, nullptr);
  EXPECT_FALSE(e->neuralActive);
}

TEST(EngineLifecycle, SetIgnoresBadIndicesAndNonFiniteValuesAndClamps) {
  Engine e;
  const auto before = e.target;
  e.set(9, 0.3f);
  e.set(0xFFFFFFFFu, 0.3f);
  e.set(2, kNaN);
  e.set(2, kInf);
  e.set(2, -kInf);
  EXPECT_EQ(e.target, before);
  e.set(2, -0.3f);
  EXPECT_EQ(e.target[2], 0.0f);
  e.set(2, 7.0f);
  EXPECT_EQ(e.target[2], 1.0f);
  e.set(8, 0.25f);
  EXPECT_EQ(e.target[8], 0.25f);
}

// A new output gain reaches the audio at once after a realtime reset and
// through the 10 ms glide otherwise.
TEST(EngineLifecycle, ParametersGlideUnlessSnappedByRealtimeReset) {
  const Signal in(1, std::vector<float>(960, 0.1f));
  auto snapped = makeEngine(kLiveDsp, 48000, 1, {{DryWet, 0.0f}, {OutputGain, 1.0f}});
  EXPECT_NEAR(run(*snapped, in)[0][0], 0.1f * 7.943282f, 1e-6);

  auto gliding = makeEngine(kLiveDsp, 48000, 1, {{DryWet, 0.0f}});
  gliding->set(OutputGain, 1.0f);
  const auto out = run(*gliding, in)[0];
  EXPECT_LT(out[0], 0.1f * 1.01f);
  // The normalised value is 1 - 0.5 exp(-t / 10 ms): 5 ms gives +7.1 dB,
  // 20 ms +15.6 dB.
  EXPECT_NEAR(out[239], 0.1f * 2.26f, 0.01f);
  EXPECT_NEAR(out[959], 0.1f * 6.02f, 0.02f);
}

// ---------------------------------------------------------------------------

struct LatencyCase {
  double rate;
  int live, classic;
};

TEST(Latency, ReportedLatencyPerRateAndConfiguration) {
  const LatencyCase cases[] = {{8000, 35, 259},    {32000, 92, 988},     {44100, 120, 1356},
                               {48000, 95, 1440},  {48000.05, 95, 1440}, {48000.2, 130, 1475},
                               {96000, 242, 2932}, {192000, 468, 5848}};
  for (const auto& c : cases) {
    for (int channels : {1, 2}) {
      auto liveEngine = makeEngine(kNeuralLive, c.rate, channels);
      auto classicEngine = makeEngine(kNeuralClassic, c.rate, channels);
      auto dspEngine = makeEngine(kLiveDsp, c.rate, channels);
      EXPECT_EQ(liveEngine->latencySamples, c.live) << c.rate;
      EXPECT_EQ(classicEngine->latencySamples, c.classic) << c.rate;
      EXPECT_EQ(dspEngine->latencySamples, 0) << c.rate;
      EXPECT_TRUE(liveEngine->neuralActive && classicEngine->neuralActive);
      EXPECT_FALSE(dspEngine->neuralActive || dspEngine->resampling);
      EXPECT_EQ(liveEngine->resampling, std::fabs(c.rate - 48000) > 0.1) << c.rate;
    }
  }
}

// With Bypass at 1 the output is the input delayed by exactly the reported
// latency, bit for bit, silent before it.
TEST(Latency, BypassGivesTheInputDelayedByTheReportedLatency) {
  for (const EngineConfig& cfg : kAllConfigs)
    for (double rate : {8000.0, 44100.0, 48000.0, 96000.0, 192000.0})
      for (int channels : {1, 2}) {
        auto e = makeEngine(cfg, rate, channels, {{Bypass, 1.0f}});
        const Signal in = busySignal(channels, 8000, 3);
        const Signal out = run(*e, in, {441});
        const int L = e->latencySamples;
        for (int c = 0; c < channels; ++c)
          for (int i = 0; i < 8000; ++i)
            ASSERT_EQ(out[c][i], i >= L ? in[c][i - L] : 0.0f)
                << cfg.name << " " << rate << " ch " << c << " sample " << i;
      }
}

// Dry/Wet at 0: the latency-aligned input scaled by the output gain.
TEST(Latency, FullyDryOutputIsTheDelayedInputTimesOutputGain) {
  for (const EngineConfig& cfg : kAllConfigs)
    for (double rate : {44100.0, 48000.0}) {
      auto e = makeEngine(cfg, rate, 1, {{DryWet, 0.0f}, {OutputGain, 0.25f}});
      const Signal in = busySignal(1, 6000, 4);
      const Signal out = run(*e, in);
      const int L = e->latencySamples;
      const float gain = std::pow(10.0f, -9.0f / 20.0f);
      for (int i = L; i < 6000; ++i)
        ASSERT_NEAR(out[0][i], in[0][i - L] * gain, 1e-6f) << cfg.name << " " << rate << " " << i;
    }
}

// The processed path, not only the dry one, lines up with the reported
// latency: with the gate and the network mixed out, the output is the
// high-passed input, so it must correlate best with the input delayed by
// exactly the latency. A converter that reads the 48 kHz stream at the wrong
// time shifts this peak.
TEST(Latency, ProcessedPathLinesUpWithTheReportedLatency) {
  for (const EngineConfig& cfg : kAllConfigs)
    for (double rate : {8000.0, 44100.0, 48000.0, 96000.0, 192000.0}) {
      auto e = makeEngine(cfg, rate, 1, {{NoiseReduction, 0.0f}, {FrequencyFocus, 0.0f}});
      const int L = e->latencySamples;
      const int n = L + 8000;
      Signal in(1, std::vector<float>(n));
      const double top = std::min(0.1 * rate, 9000.0);
      for (int i = 0; i < n; ++i)
        in[0][i] = 0.3f * std::sin(2 * kPi * top / 1.9 * i / rate) +
                   0.2f * std::sin(2 * kPi * top / 1.3 * i / rate) +
                   0.2f * std::sin(2 * kPi * top * i / rate);
      const Signal out = run(*e, in);
      auto correlation = [&](int lag) {
        double xy = 0, xx = 0, yy = 0;
        for (int i = L + 2000; i < n - 2; ++i) {
          const double x = in[0][i - L - lag], y = out[0][i];
          xy += x * y, xx += x * x, yy += y * y;
        }
        return xy / std::sqrt(xx * yy);
      };
      const double atLatency = correlation(0);
      EXPECT_GT(atLatency, 0.99) << cfg.name << " " << rate;
      for (int lag : {-2, -1, 1, 2})
        EXPECT_LT(correlation(lag), atLatency) << cfg.name << " " << rate;
    }
}

// ---------------------------------------------------------------------------

// Frame boundaries and converter positions carry across calls: any split of
// the signal into blocks, with parameter changes at the same samples, gives
// the same output bit for bit, in place or not.
TEST(BlockInvariance, SplitBlocksMatchOneBlock) {
  for (const EngineConfig& cfg : kAllConfigs)
    for (double rate : {44100.0, 48000.0, 96000.0}) {
      const Signal in = busySignal(2, 9000, 5);
      auto runSplit = [&](const std::vector<int>& pattern, bool inPlace) {
        auto e = makeEngine(cfg, rate, 2, {{CleanupProfile, 1.0f}, {BodyRestore, 0.7f}});
        Signal head(2), tail(2);
        for (int c = 0; c < 2; ++c) {
          head[c].assign(in[c].begin(), in[c].begin() + 4100);
          tail[c].assign(in[c].begin() + 4100, in[c].end());
        }
        Signal out = run(*e, head, pattern, inPlace);
        e->set(CleanupProfile, 0.0f);
        e->set(FrequencyFocus, 0.8f);
        e->set(OutputGain, 0.7f);
        const Signal rest = run(*e, tail, pattern, inPlace);
        for (int c = 0; c < 2; ++c) out[c].insert(out[c].end(), rest[c].begin(), rest[c].end());
        return out;
      };
      const Signal whole = runSplit({1 << 20}, false);
      EXPECT_EQ(runSplit({1, 7, 480}, false), whole) << cfg.name << " " << rate;
      EXPECT_EQ(runSplit({480, 7, 1}, true), whole) << cfg.name << " " << rate;
    }
}

// ---------------------------------------------------------------------------

// Non-finite input is processed as silence and input beyond +-4 as +-4: the
// output is the same as for the cleaned-up input, finite and within +-4.
TEST(Robustness, NonFiniteAndOutOfRangeInput) {
  for (const EngineConfig& cfg : kAllConfigs)
    for (double rate : {44100.0, 48000.0}) {
      Signal dirty = busySignal(2, 4000, 6), clean = dirty;
      const float bad[] = {kNaN, kInf, -kInf, 10.0f, -10.0f, 1e30f};
      const float good[] = {0.0f, 0.0f, 0.0f, 4.0f, -4.0f, 4.0f};
      for (int k = 0; k < 6; ++k)
        for (int i = 100 + 500 * k; i < 110 + 500 * k; ++i) {
          dirty[k % 2][i] = bad[k];
          clean[k % 2][i] = good[k];
        }
      auto a = makeEngine(cfg, rate, 2, {{OutputGain, 1.0f}});
      auto b = makeEngine(cfg, rate, 2, {{OutputGain, 1.0f}});
      const Signal outDirty = run(*a, dirty, {4000});
      EXPECT_EQ(a->inputPeak, 4.0f);
      EXPECT_TRUE(a->clipping);
      EXPECT_FALSE(a->neuralFault);
      EXPECT_EQ(outDirty, run(*b, clean, {4000})) << cfg.name << " " << rate;
      for (const auto& ch : outDirty)
        for (float v : ch) ASSERT_TRUE(std::isfinite(v) && std::fabs(v) <= 4.0f);
    }
}

// A null input array, or a null channel entry, is silence.
TEST(Robustness, NullInputsAreSilence) {
  for (const EngineConfig& cfg : kAllConfigs)
    for (double rate : {44100.0, 48000.0}) {
      auto a = makeEngine(cfg, rate, 2), b = makeEngine(cfg, rate, 2), c = makeEngine(cfg, rate, 2);
      const Signal zeros(2, std::vector<float>(2000, 0.0f));
      const Signal expected = run(*a, zeros);
      Signal got(2, std::vector<float>(2000, 1.0f));
      float* outs[2] = {got[0].data(), got[1].data()};
      b->process(nullptr, outs, 2, 2000);
      EXPECT_EQ(got, expected) << cfg.name << " " << rate;
      const float* ins[2] = {zeros[0].data(), nullptr};
      c->process(ins, outs, 2, 2000);
      EXPECT_EQ(got, expected) << cfg.name << " " << rate;
    }
}

// A channel without an output buffer is left alone and does not disturb the
// other channel; its input counts in the peak only when converting.
TEST(Robustness, ChannelWithNullOutputIsSkipped) {
  for (const EngineConfig& cfg : kAllConfigs)
    for (double rate : {44100.0, 48000.0}) {
      Signal in = busySignal(2, 3000, 7);
      in[0][10] = 0.25f;
      in[1][10] = 0.9f;
      auto full = makeEngine(cfg, rate, 2), skipped = makeEngine(cfg, rate, 2);
      const Signal expected = run(*full, in, {3000});
      std::vector<float> left(3000, 0.0f);
      const float* ins[2] = {in[0].data(), in[1].data()};
      float* outs[2] = {left.data(), nullptr};
      skipped->process(ins, outs, 2, 3000);
      EXPECT_EQ(left, expected[0]) << cfg.name << " " << rate;
      const bool converting = skipped->resampling;
      const float leftPeak = *std::max_element(
          in[0].begin(), in[0].end(), [](float x, float y) { return std::fabs(x) < std::fabs(y); });
      EXPECT_EQ(skipped->inputPeak, converting ? full->inputPeak : std::fabs(leftPeak)) << cfg.name;
    }
}

// Calls outside the contract change nothing: not the buffers, not the meters,
// not the signal state (the next valid block comes out as if they never
// happened).
TEST(Robustness, InvalidCallsHaveNoEffect) {
  for (const EngineConfig& cfg : kAllConfigs)
    for (double rate : {44100.0, 48000.0}) {
      const Signal in = busySignal(2, 1000, 8);
      auto a = makeEngine(cfg, rate, 1), b = makeEngine(cfg, rate, 1);
      const Signal mono{in[0]};
      run(*a, mono);
      run(*b, mono);
      const float peak = b->inputPeak;
      std::vector<float> l(100, 5.0f), r(100, 5.0f);
      const float* ins[2] = {in[0].data(), in[1].data()};
      float* outs[2] = {l.data(), r.data()};
      b->process(ins, nullptr, 1, 100);
      b->process(ins, outs, 0, 100);
      b->process(ins, outs, 2, 100);  // more channels than prepared
      b->process(ins, outs, 1, -1);
      EXPECT_EQ(l, std::vector<float>(100, 5.0f));
      EXPECT_EQ(b->inputPeak, peak);
      EXPECT_EQ(run(*a, mono), run(*b, mono)) << cfg.name << " " << rate;
    }
}

TEST(Robustness, EmptyBlockZeroesTheMeters) {
  for (const EngineConfig& cfg : kAllConfigs)
    for (double rate : {44100.0, 48000.0}) {
      auto e = makeEngine(cfg, rate, 1, {{OutputGain, 1.0f}});
      run(*e, Signal{std::vector<float>(3000, 0.5f)});
      ASSERT_GT(e->inputPeak, 0.0f);
      float* outs[1] = {nullptr};
      e->process(nullptr, outs, 1, 0);
      EXPECT_EQ(e->inputPeak, 0.0f);
      EXPECT_EQ(e->outputPeak, 0.0f);
      EXPECT_EQ(e->reduction, 0.0f);
      EXPECT_FALSE(e->clipping || e->neuralFault);
    }
}

// Silence, DC, full-scale square waves and every parameter extreme at every
// rate: the output stays finite and within +-4.
TEST(Robustness, OutputStaysBoundedAtParameterExtremes) {
  Signal in(2, std::vector<float>(6000));
  for (int i = 0; i < 6000; ++i) {
    in[0][i] = i < 2000 ? 0.0f : (i < 4000 ? 1.0f : ((i / 37) % 2 ? 4.0f : -4.0f));
    in[1][i] = (i / 3) % 2 ? 1.0f : -1.0f;
  }
  for (const EngineConfig& cfg : kAllConfigs)
    for (double rate : {8000.0, 22050.0, 44100.0, 48000.0, 96000.0, 192000.0})
      for (float v : {0.0f, 1.0f}) {
        auto e = makeEngine(cfg, rate, 2);
        for (ParamId p = 0; p < kEngineParamCount; ++p) e->set(p, v);
        e->set(Bypass, 0.0f);
        const Signal out = run(*e, in);
        for (const auto& ch : out)
          for (float x : ch)
            ASSERT_TRUE(std::isfinite(x) && std::fabs(x) <= 4.0f) << cfg.name << " " << rate;
      }
}

// ---------------------------------------------------------------------------

// Replaces the library calls for one test and puts them back afterwards.
class DenoiserFailure : public ::testing::Test {
 protected:
  void TearDown() override { denoiserCalls() = defaultDenoiserCalls(); }

  // The engine must then process exactly like a Live DSP engine.
  static void expectDspBehaviour(const EngineConfig& cfg, double rate, int channels) {
    auto e = makeEngine(cfg, rate, channels, {{BodyRestore, 0.5f}});
    auto dsp = makeEngine(kLiveDsp, rate, channels, {{BodyRestore, 0.5f}});
    EXPECT_FALSE(e->neuralActive);
    EXPECT_FALSE(e->resampling);
    EXPECT_EQ(e->latencySamples, 0);
    EXPECT_EQ(e->channelStates[0].denoiser, nullptr);
    const Signal in = busySignal(channels, 3000, 9);
    EXPECT_EQ(run(*e, in, {1, 7, 480}), run(*dsp, in)) << cfg.name << " " << rate;
  }
  static inline int creations = 0;
};

TEST_F(DenoiserFailure, FailedCreationFallsBackToDsp) {
  denoiserCalls().create = [] { return static_cast<DenoiseState*>(nullptr); };
  for (const EngineConfig& cfg : {kNeuralLive, kNeuralClassic})
    for (double rate : {44100.0, 48000.0}) expectDspBehaviour(cfg, rate, 2);
}

TEST_F(DenoiserFailure, FailedSecondChannelFallsBackToDsp) {
  creations = 0;
  denoiserCalls().create = []() -> DenoiseState* {
    return ++creations % 2 == 0 ? nullptr : defaultDenoiserCalls().create();
  };
  expectDspBehaviour(kNeuralClassic, 44100, 2);
}

// A later full reset tries the neural path again.
TEST_F(DenoiserFailure, FullResetRetriesAfterAFailedCreation) {
  denoiserCalls().create = [] { return static_cast<DenoiseState*>(nullptr); };
  auto e = makeEngine(kNeuralClassic, 44100, 2);
  ASSERT_FALSE(e->neuralActive);
  denoiserCalls() = defaultDenoiserCalls();
  e->reset();
  EXPECT_TRUE(e->neuralActive && e->resampling);
  EXPECT_EQ(e->latencySamples, 1356);
  auto fresh = makeEngine(kNeuralClassic, 44100, 2);
  const Signal in = busySignal(2, 3000, 14);
  EXPECT_EQ(run(*e, in), run(*fresh, in));
}

TEST_F(DenoiserFailure, UnexpectedLibraryLayoutFallsBackToDsp) {
  denoiserCalls().layoutOk = [] { return false; };
  for (const EngineConfig& cfg : {kNeuralLive, kNeuralClassic}) expectDspBehaviour(cfg, 96000, 1);
}

// Non-finite network output latches the channel's fault: the network is not
// called again, the neural stage passes the delayed gate signal, the meter
// reports it, and a realtime reset clears it.
TEST_F(DenoiserFailure, NonFiniteNetworkDataLatchesTheFault) {
  creations = 0;
  denoiserCalls().analyze = [](DenoiseState*, float* gains, const float*) {
    ++creations;
    for (int b = 0; b < 32; ++b) gains[b] = b == 5 ? kNaN : 0.5f;
    return 0.9f;
  };
  denoiserCalls().processFrame = [](DenoiseState*, float* out, const float*) {
    ++creations;
    for (int i = 0; i < 480; ++i) out[i] = i == 7 ? kInf : 0.0f;
    return 0.9f;
  };
  for (const EngineConfig& cfg : {kNeuralLive, kNeuralClassic})
    for (double rate : {44100.0, 48000.0}) {
      auto e = makeEngine(cfg, rate, 1);
      const Signal in = busySignal(1, 4800, 10);
      creations = 0;
      run(*e, Signal{std::vector<float>(in[0].begin(), in[0].begin() + 2400)});
      const int calls = creations;
      EXPECT_EQ(calls, 1) << cfg.name;
      EXPECT_TRUE(e->neuralFault);
      const Signal out = run(*e, Signal{std::vector<float>(in[0].begin() + 2400, in[0].end())});
      EXPECT_EQ(creations, calls);
      EXPECT_TRUE(e->neuralFault);
      for (float v : out[0]) ASSERT_TRUE(std::isfinite(v));
      e->resetRealtime();
      EXPECT_FALSE(e->channelStates[0].fault);
    }
}

TEST_F(DenoiserFailure, NonFiniteVoiceProbabilityLatchesTheFault) {
  denoiserCalls().processFrame = [](DenoiseState* st, float* out, const float* in) {
    defaultDenoiserCalls().processFrame(st, out, in);
    return kNaN;
  };
  auto e = makeEngine(kNeuralClassic, 48000, 1, {{CleanupProfile, 1.0f}});
  const Signal out = run(*e, busySignal(1, 2000, 11));
  EXPECT_TRUE(e->neuralFault);
  EXPECT_TRUE(std::isfinite(e->channelStates[0].vadGain));
  for (float v : out[0]) ASSERT_TRUE(std::isfinite(v));
}

// ---------------------------------------------------------------------------

#if defined(__SSE__)
// The caller's MXCSR comes back unchanged from every path through process(),
// and flush-to-zero / denormals-are-zero are in force while it runs (a
// denormal input passed straight through by the bypass comes out as 0).
TEST(FloatingPointState, FlushToZeroDuringTheBlockAndCallerStateRestored) {
  const unsigned original = _mm_getcsr();
  const unsigned callerState = (original & ~0x8040u & ~0x6000u) | 0x6000u;  // round toward zero
  const float denormal = 1e-40f;
  ASSERT_NE(denormal, 0.0f);
  for (const EngineConfig& cfg : kAllConfigs)
    for (double rate : {44100.0, 48000.0}) {
      auto e = makeEngine(cfg, rate, 1, {{Bypass, 1.0f}});
      std::vector<float> in(4000, denormal), out(4000, 1.0f);
      const float* ins[1] = {in.data()};
      float* outs[1] = {out.data()};
      _mm_setcsr(callerState);
      e->process(ins, outs, 1, 4000);
      const unsigned afterBlock = _mm_getcsr();
      e->process(ins, nullptr, 1, 10);
      e->process(ins, outs, 2, 10);
      const unsigned afterInvalid = _mm_getcsr();
      _mm_setcsr(original);
      EXPECT_EQ(afterBlock, callerState) << cfg.name << " " << rate;
      EXPECT_EQ(afterInvalid, callerState) << cfg.name << " " << rate;
      for (float v : out) ASSERT_EQ(v, 0.0f) << cfg.name << " " << rate;
    }
}

// The engine computes in its own rounding mode: a host running with another
// one gets the same output.
TEST(FloatingPointState, OutputDoesNotDependOnTheCallersRoundingMode) {
  const unsigned original = _mm_getcsr();
  for (const EngineConfig& cfg : kAllConfigs) {
    const Signal in = busySignal(1, 3000, 13);
    auto a = makeEngine(cfg, 44100, 1), b = makeEngine(cfg, 44100, 1);
    const Signal expected = run(*a, in);
    _mm_setcsr((original & ~0x6000u) | 0x2000u);  // round down
    const Signal got = run(*b, in);
    _mm_setcsr(original);
    EXPECT_EQ(got, expected) << cfg.name;
  }
}
#endif

// ---------------------------------------------------------------------------

// Stage behaviour in the DSP chain, against first principles.
TEST(ChainResponse, HighPassCornerFollowsFrequencyFocus) {
  // Corner 35 + 145 x focus Hz: a first-order high-pass is 3 dB down there
  // and passes 1 kHz almost unchanged.
  for (float focus : {0.1f, 1.0f}) {
    const double corner = 35.0 + 145.0 * focus;
    for (double f : {corner, 1000.0}) {
      auto e = makeEngine(kLiveDsp, 48000, 1, {{NoiseReduction, 0.0f}, {FrequencyFocus, focus}});
      Signal in(1, std::vector<float>(48000));
      for (int i = 0; i < 48000; ++i) in[0][i] = 0.5f * std::sin(2 * kPi * f * i / 48000);
      const Signal out = run(*e, in);
      const double gain =
          test::rms(out[0].data() + 24000, 24000) / test::rms(in[0].data() + 24000, 24000);
      // Within 3 %: the matched one-pole sits a little below the analogue response.
      EXPECT_NEAR(gain, f == 1000.0 ? std::cos(std::atan(corner / f)) : std::sqrt(0.5), 0.03)
          << focus << " " << f;
    }
  }
}

// Quiet noise under the gate threshold settles at the 0.15 floor (-16.5 dB)
// at full clean-up; with clean-up at 0 the gate does nothing.
TEST(ChainResponse, GateFloorAndDepth) {
  for (float amount : {1.0f, 0.0f}) {
    auto e = makeEngine(kLiveDsp, 48000, 1, {{CleanAmount, amount}});
    const Signal in = test::noise(1, 96000, 0.0005f, 12);
    const Signal out = run(*e, in);
    const double gain =
        test::rms(out[0].data() + 72000, 24000) / test::rms(in[0].data() + 72000, 24000);
    EXPECT_NEAR(gain, amount == 1.0f ? 0.15 : 1.0, 0.02) << amount;
  }
}

}  // namespace
}  // namespace orvane
