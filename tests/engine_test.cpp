#include "engine/engine.h"

#include <gtest/gtest.h>
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "denoiser/nnet_kernels.h"
#include "engine/fp_mode.h"
#include "engine_harness.h"
#include "support/speech.h"

namespace orvane {
namespace {

using namespace test;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr double kPi = 3.14159265358979323846;
constexpr double kRates[] = {44100.0, 48000.0};  // converting and native

// Noise bursts with near-silent gaps (the gate opens and closes) over a
// steady tone, long enough for several frame steps at every rate.
Signal busySignal(int channels, std::size_t n, unsigned seed) {
  Signal s = test::noise(channels, n, 0.3f, seed);
  for (int c = 0; c < channels; ++c)
    for (std::size_t i = 0; i < n; ++i)
      s[c][i] =
          ((i / 1500) % 3 != 2 ? s[c][i] : 0.001f * s[c][i]) + 0.2f * std::sin(0.03 * i * (c + 1));
  return s;
}

// The sum of sines at `freqs`, each of amplitude `amplitude`, mono.
Signal sines(std::initializer_list<double> freqs, float amplitude, double rate, int n) {
  Signal s(1, std::vector<float>(n));
  for (int i = 0; i < n; ++i)
    for (double f : freqs) s[0][i] += amplitude * std::sin(2 * kPi * f * i / rate);
  return s;
}

// Output over input level over the second half of a mono signal.
double steadyGain(const Signal& out, const Signal& in) {
  const std::size_t half = in[0].size() / 2;
  return test::rms(out[0].data() + half, half) / test::rms(in[0].data() + half, half);
}

// Counts the denoiser states the library has handed out and not taken back.
struct StateCount {
  static inline int live = 0;
  static DenoiserCalls calls() {
    DenoiserCalls c = libraryDenoiserCalls();
    c.create = [] {
      DenoiseState* st = libraryDenoiserCalls().create();
      live += st != nullptr;
      return st;
    };
    c.destroy = [](DenoiseState* st) {
      --live;
      libraryDenoiserCalls().destroy(st);
    };
    return c;
  }
};

// A rejected prepare keeps the mono Neural Classic set-up at 44.1 kHz: its
// latency, its one denoiser state, its refusal of a second channel and its
// output.
TEST(EngineLifecycle, PrepareRejectsOutOfRangeArgumentsAndKeepsItsConfiguration) {
  StateCount::live = 0;
  auto e = makeEngine(kNeuralClassic, 44100, 1, {}, StateCount::calls());
  EXPECT_EQ(StateCount::live, 1) << "only channel 0 gets a denoiser state";
  for (double rate : {7999.0, 192001.0, double(kNaN), double(kInf)})
    EXPECT_FALSE(e->prepare(rate, 1, true, true)) << rate;
  for (int channels : {0, 3}) EXPECT_FALSE(e->prepare(48000, channels, true, true));
  EXPECT_EQ(e->latencySamples(), 1356);
  EXPECT_TRUE(e->neuralActive());
  EXPECT_EQ(StateCount::live, 1);

  const Signal in = busySignal(2, 3000, 15);
  EXPECT_EQ(run(*e, in), Signal(2, std::vector<float>(3000))) << "prepared for one channel";
  EXPECT_EQ(run(*e, Signal{in[0]}), run(*makeEngine(kNeuralClassic, 44100, 1), Signal{in[0]}));
  e = nullptr;  // the engine frees its state
  EXPECT_EQ(StateCount::live, 0);
}

// A bad index or value changes nothing; an out-of-range value acts as the
// end of the range it left.
TEST(EngineLifecycle, SetIgnoresBadIndicesAndNonFiniteValuesAndClamps) {
  const Signal in = busySignal(1, 3000, 16);
  auto output = [&](std::initializer_list<std::pair<std::uint32_t, float>> sets) {
    auto e = makeEngine(kLiveDsp, 48000, 1);
    for (const auto& [index, value] : sets) e->set(index, value);
    e->resetRealtime();
    return run(*e, in);
  };
  const Signal untouched = output({});
  EXPECT_EQ(output({{9u, 0.3f}, {0xFFFFFFFFu, 0.3f}, {2, kNaN}, {2, kInf}, {2, -kInf}}), untouched);
  EXPECT_EQ(output({{2, -0.3f}}), output({{2, 0.0f}}));
  EXPECT_EQ(output({{2, 7.0f}}), output({{2, 1.0f}}));
  EXPECT_NE(output({{2, 0.0f}}), untouched) << "noise reduction must reach the output";
}

// A new output gain applies at once after a realtime reset and through the
// 10 ms glide otherwise: 1 - 0.5 exp(-t / 10 ms) gives +7.1 dB after 5 ms.
TEST(EngineLifecycle, ParametersGlideUnlessSnappedByRealtimeReset) {
  const Signal in(1, std::vector<float>(960, 0.1f));
  auto snapped = makeEngine(kLiveDsp, 48000, 1, {{DryWet, 0.0f}, {OutputGain, 1.0f}});
  EXPECT_NEAR(run(*snapped, in)[0][0], 0.1f * 7.943282f, 1e-6);
  auto gliding = makeEngine(kLiveDsp, 48000, 1, {{DryWet, 0.0f}});
  gliding->set(OutputGain, 1.0f);
  const auto out = run(*gliding, in)[0];
  EXPECT_LT(out[0], 0.101f);
  EXPECT_NEAR(out[239], 0.1f * 2.26f, 0.01f);
  // Bypass glides the same way: switched on, it starts from the processed signal.
  auto bypassing = makeEngine(kLiveDsp, 48000, 1, {{DryWet, 0.0f}, {OutputGain, 1.0f}});
  bypassing->set(Bypass, 1.0f);
  const auto crossfade = run(*bypassing, in)[0];
  EXPECT_GT(crossfade[0], 0.1f * 7.5f);
  EXPECT_NEAR(crossfade[239], 0.1f + 0.1f * (7.943282f - 1) * 0.6065f, 0.02f);
}

// Every glide ends exactly on its target. Dry/wet, output gain and bypass
// act after the recursive part of the chain, so once their glides have
// ended an engine that glided to new values gives the same samples as one
// that started at them.
TEST(EngineLifecycle, GlidesEndExactlyOnTheirTargets) {
  for (const EngineConfig& cfg : kAllConfigs)
    for (double rate : kRates) {
      const Signal in = busySignal(1, 24000, 17);
      auto glided = makeEngine(cfg, rate, 1);
      for (const auto& [id, v] : {std::pair{DryWet, 0.3f}, {OutputGain, 0.8f}, {Bypass, 0.6f}})
        glided->set(id, v);
      auto snapped = makeEngine(cfg, rate, 1, {{DryWet, 0.3f}, {OutputGain, 0.8f}, {Bypass, 0.6f}});
      const Signal a = run(*glided, in), b = run(*snapped, in);
      for (int i = 12000; i < 24000; ++i)
        ASSERT_EQ(a[0][i], b[0][i]) << cfg.name << " " << rate << " " << i;
    }
}

TEST(Latency, ReportedLatencyPerRateAndConfiguration) {
  struct Case {
    double rate;
    int live, classic;
  };
  for (const Case& c :
       {Case{8000, 35, 259}, Case{32000, 92, 988}, Case{44100, 120, 1356}, Case{48000, 95, 1440},
        Case{48000.05, 95, 1440}, Case{48000.2, 130, 1475}, Case{48050, 130, 1476},
        Case{48200, 130, 1481}, Case{96000, 242, 2932}, Case{192000, 468, 5848}})
    for (int channels : {1, 2}) {
      const int expected[] = {c.live, c.classic, 0};
      for (int k = 0; k < 3; ++k)
        EXPECT_EQ(makeEngine(kAllConfigs[k], c.rate, channels)->latencySamples(), expected[k])
            << kAllConfigs[k].name << " " << c.rate;
      // The reduction meter reads 0 exactly when the engine converts rates.
      auto e = makeEngine(kNeuralLive, c.rate, channels);
      run(*e, test::noise(channels, 1024, 0.3f, 2));
      EXPECT_EQ(e->meters().reduction == 0.0f, std::fabs(c.rate - 48000) > 0.1) << c.rate;
    }
}

// Both paths line up with the reported latency. With Bypass at 1 the output
// is the input delayed by exactly the latency, bit for bit, and silent before
// it. With the gate and the network mixed out the output is the high-passed
// input, which must correlate best with the input delayed by the latency.
TEST(Latency, BypassAndProcessedPathsLineUpWithTheReportedLatency) {
  for (const EngineConfig& cfg : kAllConfigs)
    for (double rate : {8000.0, 44100.0, 48000.0, 96000.0, 192000.0}) {
      for (int channels : {1, 2}) {
        auto e = makeEngine(cfg, rate, channels, {{Bypass, 1.0f}});
        const Signal in = busySignal(channels, 8000, 3);
        const Signal out = run(*e, in, {441});
        const int lat = e->latencySamples();
        for (int c = 0; c < channels; ++c)
          for (int i = 0; i < 8000; ++i)
            ASSERT_EQ(out[c][i], i >= lat ? in[c][i - lat] : 0.0f)
                << cfg.name << " " << rate << " " << i;
      }
      auto e = makeEngine(cfg, rate, 1, {{NoiseReduction, 0.0f}, {FrequencyFocus, 0.0f}});
      const int lat = e->latencySamples(), n = lat + 8000;
      const double top = std::min(0.1 * rate, 9000.0);
      const Signal in = sines({top / 1.9, top / 1.3, top}, 0.2f, rate, n);
      const Signal out = run(*e, in);
      auto correlation = [&](int lag) {
        double xy = 0, xx = 0, yy = 0;
        for (int i = lat + 2000; i < n - 2; ++i) {
          const double x = in[0][i - lat - lag], y = out[0][i];
          xy += x * y, xx += x * x, yy += y * y;
        }
        return xy / std::sqrt(xx * yy);
      };
      EXPECT_GT(correlation(0), 0.99) << cfg.name << " " << rate;
      for (int lag : {-2, -1, 1, 2})
        EXPECT_LT(correlation(lag), correlation(0)) << cfg.name << rate;
    }
}

// Frame positions and converter positions carry across calls: any split into
// blocks, with parameter changes at the same samples, gives the same output
// bit for bit, in place or not.
TEST(BlockInvariance, SplitBlocksMatchOneBlock) {
  for (const EngineConfig& cfg : kAllConfigs)
    for (double rate : {8000.0, 44100.0, 48000.0, 96000.0, 192000.0}) {
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

// FNV-1a over 32-bit words.
struct Fnv1a {
  std::uint64_t hash = 14695981039346656037ull;
  void add(float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    hash = (hash ^ bits) * 1099511628211ull;
  }
};

// A hash of the bits the processor's approximate reciprocal gives over one
// octave. The network's activations divide through it (RNNoise's own code
// and ours alike), and its bits differ between processor makers, so the
// neural output is exact per maker, not across makers.
std::uint64_t reciprocalFingerprint() {
  Fnv1a fnv;
  for (std::uint32_t mantissa = 0; mantissa < (1u << 23); mantissa += 1u << 11) {
    const std::uint32_t in = 0x3f800000u | mantissa;
    float x;
    std::memcpy(&x, &in, sizeof x);
    fnv.add(_mm_cvtss_f32(_mm_rcp_ss(_mm_set_ss(x))));
  }
  return fnv.hash;
}

// The whole output of every mode at a converting, the native and a doubled
// rate, mono and stereo, hashed bit for bit: recorded before the FFT, the
// pitch search, the FIR and the converter took their vector forms, which
// must change no bit of it. The input is speech over pink noise with a
// full-scale stretch and a stretch in the denormal range. The neural modes
// were recorded from the same code on an AMD processor and on an Intel one
// (whose reciprocal gives the fingerprint below).
TEST(BitExact, OutputOfEveryModeRateAndLayoutIsUnchanged) {
  constexpr std::uint64_t kIntelReciprocal = 11278789083805393701ull;
  const std::uint64_t fingerprint = reciprocalFingerprint();
  const bool intel = fingerprint == kIntelReciprocal;
  // [AMD, Intel][Neural Live, Neural Classic][44.1, 48, 96 kHz][mono, stereo]
  const std::uint64_t neural[2][2][3][2] = {{{{17616198449832765658ull, 3811936231998530885ull},
                                              {16059583248678024473ull, 16359450817040596600ull},
                                              {7624413217121198964ull, 245308611402312359ull}},
                                             {{5863516322968013969ull, 8906014065108846706ull},
                                              {3541740462283682191ull, 15505296822534204786ull},
                                              {17903590741909388554ull, 8421177597965255220ull}}},
                                            {{{10939657476564655006ull, 4532350900993530294ull},
                                              {10171238676318423362ull, 17382406489781850114ull},
                                              {8146371921326285036ull, 15571576671200966247ull}},
                                             {{17667781484341094739ull, 16164880587497674830ull},
                                              {15517568305901687837ull, 10069215224723796640ull},
                                              {7611654606288128751ull, 5994928937816193780ull}}}};
  // Live DSP runs no network: one table for every processor.
  const std::uint64_t liveDsp[3][2] = {{1173200986981208621ull, 7930369312777625784ull},
                                       {14390792188468372043ull, 8748734003630130295ull},
                                       {4387635183496443930ull, 6941804697130138097ull}};
  for (int m = 0; m < 3; ++m)
    for (int r = 0; r < 3; ++r)
      for (int channels = 1; channels <= 2; ++channels) {
        const double rate = std::array{44100.0, 48000.0, 96000.0}[r];
        const std::vector<float>& voice = voiceRecordings()[0];
        const std::size_t n = std::min<std::size_t>(voice.size(), 30000);
        Signal in(channels);
        for (int c = 0; c < channels; ++c) {
          const std::vector<float> hiss = pinkNoise(n, 0.02f, 7 + c);
          for (std::size_t i = 0; i < n; ++i)
            in[c].push_back(i / 2000 == 6   ? (i & 1 ? 1.0f : -1.0f)
                            : i / 2000 == 9 ? 1e-39f * hiss[i]
                                            : voice[(i + 700 * c) % n] + hiss[i]);
        }
        // The converter's portable form too, where it runs.
        const OrvNnetPath chosen = orvane_nnet_path();
        for (OrvNnetPath path : {chosen, ORV_NNET_BASELINE}) {
          if (path != chosen && (m == 2 || r == 1)) continue;
          orvane_nnet_select(path);
          auto e =
              makeEngine(kAllConfigs[m], rate, channels,
                         {{CleanupProfile, 1.0f}, {BodyRestore, 0.6f}, {FrequencyFocus, 0.3f}});
          Fnv1a output;
          for (const auto& ch : run(*e, in, {331, 480, 17}))
            for (float v : ch) output.add(v);
          orvane_nnet_select(chosen);
          EXPECT_EQ(output.hash,
                    m < 2 ? neural[intel][m][r][channels - 1] : liveDsp[r][channels - 1])
              << kAllConfigs[m].name << " " << rate << " Hz, " << channels << " channels, path "
              << path << ", " << (intel ? "Intel" : "AMD") << " table, reciprocal fingerprint "
              << fingerprint;
        }
      }
}

// Non-finite input is processed as silence and input beyond +-4 as +-4; the
// output stays within +-4 and its meter reads the loudest output sample, on
// the vector path and the portable one. (Missing input and output buffers:
// the component's bus tests.)
TEST(Robustness, NonFiniteAndOutOfRangeInput) {
  const OrvNnetPath chosen = orvane_nnet_path();
  for (OrvNnetPath path : {chosen, ORV_NNET_BASELINE})
    for (const EngineConfig& cfg : kAllConfigs)
      for (double rate : kRates) {
        orvane_nnet_select(path);
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
        const Signal out = run(*a, dirty, {4000}), expected = run(*b, clean, {4000});
        orvane_nnet_select(chosen);
        EXPECT_EQ(a->meters().inputPeak, 4.0f);
        EXPECT_TRUE(a->meters().clipping && !a->meters().neuralFault);
        EXPECT_EQ(out, expected) << cfg.name << " " << rate << " path " << path;
        float loudest = 0.0f;
        for (const auto& ch : out)
          for (float v : ch) {
            ASSERT_TRUE(std::isfinite(v) && std::fabs(v) <= 4.0f);
            loudest = std::max(loudest, std::fabs(v));
          }
        EXPECT_EQ(a->meters().outputPeak, loudest) << cfg.name << " " << rate << " path " << path;
      }
}

// A channel without an output buffer is left alone and does not disturb the
// other one (its input counts in the peak only when converting); calls
// outside the contract change no buffer, meter or state; an empty block
// zeroes the meters.
TEST(Robustness, NullOutputChannelInvalidAndEmptyCalls) {
  for (const EngineConfig& cfg : kAllConfigs)
    for (double rate : kRates) {
      Signal in = busySignal(2, 3000, 7);
      in[1][10] = 0.9f;
      auto full = makeEngine(cfg, rate, 2), skipped = makeEngine(cfg, rate, 2);
      const Signal expected = run(*full, in, {3000});
      std::vector<float> left(3000, 0.0f), right(3000, 5.0f);
      const float* ins[2] = {in[0].data(), in[1].data()};
      float* leftOnly[2] = {left.data(), nullptr};
      skipped->process(ins, leftOnly, 2, 3000);
      EXPECT_EQ(left, expected[0]) << cfg.name << " " << rate;
      float leftPeak = 0.0f;
      for (float v : in[0]) leftPeak = std::max(leftPeak, std::fabs(v));
      const bool converting = cfg.neural && rate != 48000.0;
      EXPECT_EQ(skipped->meters().inputPeak, converting ? full->meters().inputPeak : leftPeak);

      const float peak = skipped->meters().inputPeak;
      float* outs[2] = {left.data(), right.data()};
      skipped->process(ins, nullptr, 1, 100);
      skipped->process(ins, outs, 0, 100);
      skipped->process(ins, outs, 3, 100);
      skipped->process(ins, outs, 1, -1);
      EXPECT_EQ(skipped->meters().inputPeak, peak);
      EXPECT_EQ(right, std::vector<float>(3000, 5.0f));
      EXPECT_EQ(run(*skipped, Signal{in[0]}), run(*full, Signal{in[0]})) << cfg.name << " " << rate;

      skipped->process(ins, outs, 2, 0);
      const Engine::Meters& m = skipped->meters();
      EXPECT_EQ(m.inputPeak + m.outputPeak + m.reduction, 0.0f);
      EXPECT_FALSE(m.clipping || m.neuralFault);
    }
}

// Engines handed a denoiser library that fails in one way.
class DenoiserFailure : public ::testing::Test {
 protected:
  void SetUp() override {
    calls = 0;
    failCreate = false;
    StateCount::live = 0;
  }

  // The engine must then process exactly like a Live DSP engine, no latency,
  // and keep no denoiser state.
  static void expectDspBehaviour(const EngineConfig& cfg, double rate, int channels,
                                 const DenoiserCalls& library) {
    auto e = makeEngine(cfg, rate, channels, {{BodyRestore, 0.5f}}, library);
    auto dsp = makeEngine(kLiveDsp, rate, channels, {{BodyRestore, 0.5f}});
    EXPECT_FALSE(e->neuralActive());
    EXPECT_EQ(e->latencySamples(), 0);
    EXPECT_EQ(StateCount::live, 0);
    const Signal in = busySignal(channels, 3000, 9);
    EXPECT_EQ(run(*e, in, {1, 7, 480}), run(*dsp, in)) << cfg.name << " " << rate;
  }
  static inline int calls = 0;
  static inline bool failCreate = false;
};

TEST_F(DenoiserFailure, FailedCreationFallsBackToDspAndAFullResetRetries) {
  DenoiserCalls library = StateCount::calls();
  library.create = [] { return static_cast<DenoiseState*>(nullptr); };
  for (const EngineConfig& cfg : {kNeuralLive, kNeuralClassic})
    for (double rate : kRates) expectDspBehaviour(cfg, rate, 2, library);
  // Only the second channel's state failing is a failure too.
  library.create = []() -> DenoiseState* {
    return ++calls % 2 == 0 ? nullptr : StateCount::calls().create();
  };
  expectDspBehaviour(kNeuralClassic, 44100, 2, library);

  library.create = []() -> DenoiseState* {
    return failCreate ? nullptr : StateCount::calls().create();
  };
  failCreate = true;
  auto e = makeEngine(kNeuralClassic, 44100, 2, {}, library);
  EXPECT_FALSE(e->neuralActive());
  failCreate = false;
  e->reset();
  EXPECT_TRUE(e->neuralActive());
  EXPECT_EQ(e->latencySamples(), 1356);
  EXPECT_EQ(StateCount::live, 2);
  const Signal in = busySignal(2, 3000, 14);
  EXPECT_EQ(run(*e, in), run(*makeEngine(kNeuralClassic, 44100, 2), in));
}

TEST_F(DenoiserFailure, UnexpectedLibraryLayoutFallsBackToDsp) {
  DenoiserCalls library = StateCount::calls();
  library.layoutOk = [] { return false; };
  for (const EngineConfig& cfg : {kNeuralLive, kNeuralClassic})
    expectDspBehaviour(cfg, 96000, 1, library);
}

// Non-finite network output latches the channel's fault: the network is not
// called again, the output stays finite, the meter reports it, and a
// realtime reset clears it.
TEST_F(DenoiserFailure, NonFiniteNetworkDataLatchesTheFault) {
  DenoiserCalls library = libraryDenoiserCalls();
  library.analyze = [](DenoiseState*, float* gains, const float*) {
    ++calls;
    for (int b = 0; b < 32; ++b) gains[b] = b == 5 ? kNaN : 0.5f;
    return 0.9f;
  };
  library.processFrame = [](DenoiseState*, float* out, const float*) {
    ++calls;
    for (int i = 0; i < 480; ++i) out[i] = i == 7 ? kInf : 0.0f;
    return 0.9f;
  };
  for (const EngineConfig& cfg : {kNeuralLive, kNeuralClassic})
    for (double rate : kRates) {
      auto e = makeEngine(cfg, rate, 1, {}, library);
      calls = 0;
      const Signal out = run(*e, busySignal(1, 4800, 10), {2400});
      EXPECT_EQ(calls, 1) << cfg.name << " " << rate;
      EXPECT_TRUE(e->meters().neuralFault);
      for (float v : out[0]) ASSERT_TRUE(std::isfinite(v));
      e->resetRealtime();
      calls = 0;
      run(*e, busySignal(1, 100, 10));
      EXPECT_FALSE(e->meters().neuralFault) << cfg.name << " " << rate;
      run(*e, busySignal(1, 4800, 10), {2400});
      EXPECT_EQ(calls, 1) << "the network runs again after the reset";
    }
}

// A non-finite voice probability would otherwise turn the voice-activity
// gain into NaN for good and, at full depth, silence the neural output
// without a trace; latched as a fault, the delayed gate output carries on.
TEST_F(DenoiserFailure, NonFiniteVoiceProbabilityLatchesTheFault) {
  DenoiserCalls library = libraryDenoiserCalls();
  library.processFrame = [](DenoiseState* st, float* out, const float* in) {
    libraryDenoiserCalls().processFrame(st, out, in);
    return kNaN;
  };
  auto e = makeEngine(kNeuralClassic, 48000, 1, {{CleanupProfile, 1.0f}}, library);
  const Signal out = run(*e, busySignal(1, 2000, 11));
  EXPECT_TRUE(e->meters().neuralFault);
  for (float v : out[0]) ASSERT_TRUE(std::isfinite(v));
  EXPECT_GT(test::rms(out[0].data() + 1500, 500), 0.01f);
}

#if defined(__SSE__)
// The caller's MXCSR comes back unchanged from every path through process(),
// flush-to-zero / denormals-are-zero are in force inside (a denormal input
// passed through by the bypass comes out as 0), and the caller's rounding
// mode does not reach the arithmetic.
TEST(FloatingPointState, EngineModeInsideCallerStateRestored) {
  const unsigned original = _mm_getcsr();
  const unsigned roundDown = (original & ~0x8040u & ~0x6000u) | 0x2000u;
  for (const EngineConfig& cfg : kAllConfigs)
    for (double rate : kRates) {
      auto e = makeEngine(cfg, rate, 1, {{Bypass, 1.0f}});
      std::vector<float> in(4000, 1e-40f), out(4000, 1.0f);
      const float* ins[1] = {in.data()};
      float* outs[1] = {out.data()};
      _mm_setcsr(roundDown);
      e->process(ins, outs, 1, 4000);
      const unsigned afterBlock = _mm_getcsr();
      e->process(ins, outs, 2, 10);
      const unsigned afterInvalid = _mm_getcsr();
      const Signal speech = busySignal(1, 3000, 13);
      const Signal rounded = run(*makeEngine(cfg, rate, 1), speech);
      _mm_setcsr(original);
      EXPECT_EQ(afterBlock, roundDown) << cfg.name << " " << rate;
      EXPECT_EQ(afterInvalid, roundDown) << cfg.name << " " << rate;
      for (float v : out) ASSERT_EQ(v, 0.0f) << cfg.name << " " << rate;
      EXPECT_EQ(rounded, run(*makeEngine(cfg, rate, 1), speech)) << cfg.name << " " << rate;
    }
}
#endif

// A first-order high-pass is 3 dB down at its corner, 35 + 145 x focus Hz,
// and passes 1 kHz almost unchanged (within 3 %: the matched one-pole sits a
// little below the analogue response).
TEST(ChainResponse, HighPassCornerFollowsFrequencyFocus) {
  for (float focus : {0.1f, 1.0f}) {
    const double corner = 35.0 + 145.0 * focus;
    for (double f : {corner, 1000.0}) {
      auto e = makeEngine(kLiveDsp, 48000, 1, {{NoiseReduction, 0.0f}, {FrequencyFocus, focus}});
      const Signal in = sines({f}, 0.5f, 48000, 48000);
      EXPECT_NEAR(steadyGain(run(*e, in), in), f / std::hypot(f, corner), 0.03)
          << focus << " " << f;
    }
  }
}

// Under its threshold the gate holds a floor of -16.5 dB rather than closing
// to silence; body restore lifts the band below 220 Hz; a converting engine
// keeps out what its 48 kHz stream cannot hold; the reduction meter is an
// average over the channels.
TEST(ChainResponse, GateFloorBodyRestoreAndReductionMeter) {
  const Signal quiet = sines({1000}, 1e-4f, 48000, 48000), low = sines({100}, 0.3f, 48000, 48000);
  EXPECT_NEAR(steadyGain(run(*makeEngine(kLiveDsp, 48000, 1), quiet), quiet), 0.15, 0.02);
  EXPECT_GT(steadyGain(run(*makeEngine(kLiveDsp, 48000, 1, {{BodyRestore, 1.0f}}), low), low),
            1.2f * steadyGain(run(*makeEngine(kLiveDsp, 48000, 1), low), low));

  // Above 48 kHz, what lies beyond 24 kHz is removed, not folded into the band.
  const Signal ultrasonic = sines({35000}, 0.5f, 96000, 96000);
  const Signal folded =
      run(*makeEngine(kNeuralClassic, 96000, 1, {{NoiseReduction, 0.0f}}), ultrasonic);
  EXPECT_LT(steadyGain(folded, ultrasonic), 0.015);

  const Signal x = test::noise(1, 4800, 0.3f, 2);
  auto mono = makeEngine(kNeuralLive, 48000, 1), stereo = makeEngine(kNeuralLive, 48000, 2);
  run(*mono, x);
  run(*stereo, Signal{x[0], x[0]});
  EXPECT_GT(mono->meters().reduction, 0.0f);
  EXPECT_FLOAT_EQ(stereo->meters().reduction, mono->meters().reduction);
}

}  // namespace
}  // namespace orvane
