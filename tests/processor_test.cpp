#include "processor/processor.h"

#include <gtest/gtest.h>
#include <pluginterfaces/vst/ivstmessage.h>

#include <cmath>
#include <limits>

#include "engine_harness.h"
#include "params/parameters.h"
#include "support/component.h"
#include "support/state_bytes.h"
#include "support/vst_helpers.h"

namespace orvane {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

constexpr int64 kLive = 0, kDsp = 2;  // mode indices
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<float> noise(std::size_t n, unsigned seed, float level = 0.3f) {
  return test::noise(1, n, level, seed)[0];
}

TEST(Setup, BusesSampleSizeAndRates) {
  IPtr<Processor> p = owned(new Processor(kDefaultMode));
  ASSERT_EQ(p->initialize(test::hostContext()), kResultOk);
  SpeakerArrangement mono = SpeakerArr::kMono, stereo = SpeakerArr::kStereo,
                     surround = SpeakerArr::k51, two[2] = {stereo, stereo};
  EXPECT_EQ(p->setBusArrangements(&mono, 1, &mono, 1), kResultTrue);
  EXPECT_EQ(p->setBusArrangements(&stereo, 1, &stereo, 1), kResultTrue);
  EXPECT_EQ(p->setBusArrangements(&mono, 1, &stereo, 1), kResultFalse);
  EXPECT_EQ(p->setBusArrangements(two, 2, two, 2), kResultFalse);
  EXPECT_EQ(p->setBusArrangements(&surround, 1, &surround, 1), kResultFalse);
  EXPECT_EQ(p->setBusArrangements(nullptr, 1, &stereo, 1), kResultFalse);
  BusInfo info{};
  ASSERT_EQ(p->getBusInfo(kAudio, kInput, 0, info), kResultOk);
  EXPECT_EQ(info.channelCount, 2) << "a refused request keeps the stereo arrangement";

  EXPECT_EQ(p->canProcessSampleSize(kSample32), kResultTrue);
  EXPECT_EQ(p->canProcessSampleSize(kSample64), kResultFalse);
  EXPECT_EQ(p->getLatencySamples(), 1440u) << "before any setup: Neural Classic at 48 kHz";
  const ProcessSetup refused[] = {{kRealtime, kSample32, 512, 7999.0},
                                  {kRealtime, kSample32, 512, 192001.0},
                                  {kRealtime, kSample32, 512, kNaN},
                                  {kRealtime, kSample64, 512, 48000.0},
                                  {kRealtime, kSample32, 0, 48000.0}};
  for (ProcessSetup s : refused) EXPECT_EQ(p->setupProcessing(s), kResultFalse) << s.sampleRate;
  for (double rate : {8000.0, 192000.0}) {
    ProcessSetup s{kRealtime, kSample32, 512, rate};
    EXPECT_EQ(p->setupProcessing(s), kResultOk) << rate;
  }
  p->terminate();
}

// The host reads the requested mode's latency (that engine's, at the set-up
// rate) as soon as the request arrives, before any block.
TEST(Latency, FollowsTheRequestedMode) {
  for (double rate : {44100.0, 96000.0}) {
    test::Component comp(SpeakerArr::kStereo, -1, rate);
    for (int64 mode : {int64{1}, kLive, kDsp}) {
      comp.send("ProcessingMode", &mode);
      EXPECT_EQ(comp.processor->getLatencySamples(),
                test::makeEngine(test::kAllConfigs[mode], rate, 2)->latencySamples())
          << rate << " " << mode;
    }
  }
}

TEST(ProcessLoop, ChangesApplyExactlyAtTheirSample) {
  // The component with points at 0, 100 and 300 must match an engine driven by
  // hand with calls of 100, 200 and 212 samples and the values set between them.
  test::Component comp(SpeakerArr::kMono, kDsp);
  const auto x = noise(512, 1);
  const std::pair<int, float> steps[] = {{0, 0.7f}, {100, 0.2f}, {300, 0.9f}, {512, 0}};
  for (int k = 0; k < 3; ++k) comp.block.change(OutputGain, steps[k].first, steps[k].second);
  const auto r = comp.play({x});
  ASSERT_EQ(r.result, kResultOk);

  auto engine = test::makeEngine(test::kLiveDsp, 48000.0, 1);
  std::vector<float> y(512);
  for (int k = 0; k < 3; ++k) {
    engine->set(OutputGain, steps[k].second);
    const float* in[1] = {x.data() + steps[k].first};
    float* out[1] = {y.data() + steps[k].first};
    engine->process(in, out, 1, steps[k + 1].first - steps[k].first);
  }
  EXPECT_EQ(r.out[0], y);
  EXPECT_FLOAT_EQ(comp.processor->parameterValues()[OutputGain], 0.9f);
}

TEST(ProcessLoop, PointsAtAndBeyondTheBlockEndNonFiniteAndOutOfRange) {
  test::Component comp(SpeakerArr::kMono);
  comp.block.change(BodyRestore, 512, 0.6);  // holds from the next block on
  comp.block.change(DryWet, 513, 0.1);       // never applied
  comp.block.change(NoiseReduction, 0, kNaN);
  comp.block.change(CleanAmount, 0, 1.7);
  ASSERT_EQ(comp.play({noise(512, 2)}).result, kResultOk);
  const auto& p = comp.processor->parameterValues();
  EXPECT_FLOAT_EQ(p[BodyRestore], 0.6f);
  EXPECT_FLOAT_EQ(p[DryWet], 1.0f);
  EXPECT_FLOAT_EQ(p[NoiseReduction], 1.0f) << "non-finite points are ignored";
  EXPECT_FLOAT_EQ(p[CleanAmount], 1.0f) << "clamped";

  // A block without audio applies the points at offset 0 only, and reports nothing.
  comp.block.change(OutputGain, 0, 0.25);
  comp.block.change(BodyRestore, 10, 0.8);
  const auto r = comp.play({{}});
  EXPECT_EQ(r.result, kResultOk);
  EXPECT_TRUE(r.changes.empty()) << "no meters for a block without audio";
  EXPECT_FLOAT_EQ(p[OutputGain], 0.25f);
  EXPECT_FLOAT_EQ(p[BodyRestore], 0.6f);
}

TEST(ProcessLoop, ModeQueueSwitchesFromTheFirstSampleAndIsReportedOnce) {
  test::Component comp;
  auto r = comp.play({noise(256, 3), noise(256, 4)});
  ASSERT_EQ(r.changes[ProcessingMode].size(), 1u) << "the first block reports the mode";
  EXPECT_EQ(r.changes[ProcessingMode][0].value, 0.5);
  EXPECT_EQ(r.changes[ProcessingMode][0].offset, 255);

  comp.block.change(ProcessingMode, 0, 0.0);
  comp.block.change(ProcessingMode, 200, 1.0);
  r = comp.play({noise(256, 5), noise(256, 6)});
  EXPECT_EQ(comp.processor->activeModeIndex(), 2);
  ASSERT_EQ(r.changes[ProcessingMode].size(), 1u);
  EXPECT_EQ(r.changes[ProcessingMode][0].value, 1.0);
  EXPECT_EQ(r.changes[NeuralActive][0].value, 0.0) << "Live DSP runs no network";
  EXPECT_EQ(comp.processor->getLatencySamples(), 0u);

  r = comp.play({noise(256, 7), noise(256, 8)});
  EXPECT_EQ(r.changes.count(ProcessingMode), 0u) << "no report until the mode changes again";
  EXPECT_EQ(r.outSilenceFlags, 0u);
}

TEST(Meters, MaximumOverSubBlocksAndNeuralState) {
  test::Component comp(SpeakerArr::kMono);
  std::vector<float> x(512, 0.05f);
  x[10] = 0.9f;
  comp.block.change(BodyRestore, 300, 0.5);  // a second sub-block whose peak is lower
  auto r = comp.play({x});
  ASSERT_EQ(r.changes[InputPeak].size(), 1u);
  EXPECT_FLOAT_EQ(static_cast<float>(r.changes[InputPeak][0].value), 0.9f);
  EXPECT_EQ(r.changes[InputPeak][0].offset, 511);
  EXPECT_EQ(r.changes[NeuralActive][0].value, 1.0) << "Neural Classic at 48 kHz";
  EXPECT_EQ(r.changes[Clipping][0].value, 0.0);

  std::vector<float> loud(512, 0.0f);
  loud[5] = 3.0f;  // the meters stop at 1.0
  comp.block.change(OutputGain, 0, 1.0);
  r = comp.play({loud});
  EXPECT_EQ(r.changes[InputPeak][0].value, 1.0);

  comp.send("ProcessingMode", &kLive);
  r = comp.play({x});
  EXPECT_EQ(r.changes[NeuralActive][0].value, 1.0) << "Neural Live at 48 kHz";
}

// Whatever buses and channels a host passes, every output sample it gave is
// written: the set-up's channels are processed (a missing input or input bus
// as silence), any others are silent; channel counts other than the set-up's
// are still answered with kResultFalse.
TEST(BusMismatch, ChannelsAndBuffersTheSetUpDoesNotHave) {
  const auto x = noise(256, 21), y = noise(256, 22);
  const std::vector<float> zeros(256, 0.0f);
  // A block by hand: `in` on the input bus (none when empty) and `outs` output
  // channels starting at -99, of which channel `missing` has no buffer.
  std::vector<float*> inPtrs, outPtrs;
  AudioBusBuffers inBus{}, outBus{};
  ProcessData data{};
  data.symbolicSampleSize = kSample32;
  data.numSamples = 256;
  data.inputs = &inBus;
  data.numOutputs = 1;
  data.outputs = &outBus;
  auto byHand = [&](Processor& p, test::Signal in, int outs, int missing = -1) {
    test::Signal out(outs, std::vector<float>(256, -99.0f));
    inPtrs.clear();
    outPtrs.clear();
    for (auto& c : in) inPtrs.push_back(c.data());
    for (auto& c : out) outPtrs.push_back(c.data());
    if (missing >= 0) outPtrs[missing] = nullptr;
    inBus.numChannels = static_cast<int32>(in.size());
    inBus.channelBuffers32 = inPtrs.data();
    outBus.numChannels = outs;
    outBus.channelBuffers32 = outPtrs.data();
    data.numInputs = in.empty() ? 0 : 1;
    EXPECT_EQ(p.process(data), kResultFalse);
    return out;
  };
  // No latency in Live DSP: processed audio shows in the first block.
  EXPECT_EQ(byHand(*test::Component(SpeakerArr::kStereo, kDsp).processor, {x}, 2),
            test::Component(SpeakerArr::kStereo, kDsp).play({x, zeros}).out)
      << "one input channel";
  test::Component comp(SpeakerArr::kMono, kDsp), twin(SpeakerArr::kMono, kDsp);
  host::ProcessBlock wide(2, 256, kRealtime), same(2, 256, kRealtime);
  const auto r = test::play(wide, *comp.processor, {x, y});
  EXPECT_EQ(r.result, kResultFalse);
  EXPECT_EQ(r.out[0], test::Component(SpeakerArr::kMono, kDsp).play({x}).out[0]);
  EXPECT_EQ(r.out[1], zeros) << "silence, not the input, which the output lags";
  EXPECT_EQ(r.outSilenceFlags, 2u);
  EXPECT_EQ(byHand(*comp.processor, {x, y}, 3)[2], zeros);

  // No input bus, then buses without buffers, then refused blocks.
  const auto left = byHand(*comp.processor, {}, 2, 1)[0];
  test::play(same, *twin.processor, {x, y});
  test::play(same, *twin.processor, {x, y});
  const auto tail = test::play(same, *twin.processor, {zeros, zeros}).out[0];
  EXPECT_EQ(left, tail) << "processed as silence, not skipped";
  EXPECT_NE(tail, zeros);
  outBus.channelBuffers32 = nullptr;
  inBus.numChannels = 2;
  inBus.channelBuffers32 = nullptr;
  data.numInputs = 1;
  EXPECT_EQ(comp.processor->process(data), kResultFalse);
  std::vector<float> right(256, -99.0f);
  float* rightOnly[2] = {nullptr, right.data()};
  outBus.channelBuffers32 = rightOnly;
  EXPECT_EQ(comp.processor->process(data), kResultFalse);
  EXPECT_EQ(right, zeros);
  data.symbolicSampleSize = kSample64;
  EXPECT_EQ(comp.processor->process(data), kResultFalse);
  data.symbolicSampleSize = kSample32;
  data.numSamples = -1;
  EXPECT_EQ(comp.processor->process(data), kResultFalse);
}

// The output's flags follow the output, not the input: a silent-flagged input
// is never read, and a latency still holding back the signal is silence too.
TEST(SilenceFlags, TellWhichOutputChannelsAreZero) {
  test::Component live(SpeakerArr::kStereo, kDsp);
  auto r = live.play({noise(256, 31, 0.9f), noise(256, 24)}, 1);
  EXPECT_EQ(r.out[0], std::vector<float>(256, 0.0f)) << "the flagged buffer is not read";
  EXPECT_EQ(r.outSilenceFlags, 1u);
  EXPECT_EQ(live.play({noise(256, 25), noise(256, 26)}).outSilenceFlags, 0u);

  test::Component classic;  // 1440 samples of latency at 48 kHz
  EXPECT_EQ(classic.play({noise(512, 27), noise(512, 28)}).outSilenceFlags, 3u);
  for (int b = 0; b < 3; ++b) r = classic.play({noise(512, 29), noise(512, 30)});
  EXPECT_EQ(r.outSilenceFlags, 0u) << "the delayed signal has arrived";
}

TEST(StateRoundTrip, WritesFortyFourBytesAndReadsThemBack) {
  test::Component comp;
  EXPECT_EQ(comp.getState(), test::stateWith(-1, 0)) << "a new instance saves the defaults";
  const auto custom = test::stateBytes(2, {0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 1, 0, 1.0f});
  ASSERT_EQ(comp.setState(custom), kResultOk);
  EXPECT_EQ(comp.getState(), custom);
  EXPECT_EQ(comp.processor->requestedModeIndex(), 2);
  EXPECT_EQ(comp.processor->activeModeIndex(), 1) << "the switch waits for the next block";
  for (const auto& [mode, index] : {std::pair{0.3f, 1}, {0.75f, 2}}) {
    ASSERT_EQ(comp.setState(test::stateWith(9, mode)), kResultOk);
    EXPECT_EQ(comp.processor->requestedModeIndex(), index) << mode;
  }
  // Saving right after a request that no block has applied stores the request.
  comp.send("ProcessingMode", &kLive);
  EXPECT_EQ(comp.getState(), test::stateWith(9, 0.0f));

  test::MemoryStream full;
  full.writeLimit = 20;
  EXPECT_EQ(comp.processor->getState(&full), kResultFalse) << "a short write is a failure";
  EXPECT_EQ(comp.processor->getState(nullptr), kInvalidArgument);
}

// A record loaded during playback is taken at the start of the next block,
// before that block's own points; a save after the block shows both.
TEST(StateRoundTrip, RecordLoadedDuringPlayback) {
  test::Component comp(SpeakerArr::kMono);
  ASSERT_EQ(comp.setState(test::stateWith(3, 0.5f)), kResultOk);
  EXPECT_EQ(comp.getState(), test::stateWith(3, 0.5f)) << "before any block has taken it";
  comp.block.change(OutputGain, 0, 0.25);
  comp.block.change(BodyRestore, 0, 0.75);
  ASSERT_EQ(comp.play({noise(64, 33)}).result, kResultOk);
  EXPECT_EQ(comp.getState(), test::stateBytes(2, {1, 0, 1, 0.75f, 0.1f, 1, 0.25f, 0, 0.5f, 0.5f}));
}

TEST(StateRoundTrip, RejectionsLeaveTheComponentUnchanged) {
  test::Component comp;
  const auto good = test::stateBytes(2, {0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 1, 0, 0.0f});
  ASSERT_EQ(comp.setState(good), kResultOk);
  auto version = [](std::uint8_t v) {
    auto bytes = test::stateWith(-1, 0);
    bytes[0] = v;
    return bytes;
  };
  const std::vector<std::uint8_t> bad[] = {{},
                                           {2, 0},
                                           std::vector<std::uint8_t>(good.begin(), good.end() - 1),
                                           version(0),
                                           version(3),
                                           test::stateWith(4, 1.0000001f),
                                           test::stateWith(8, -1e-9f),
                                           test::stateWith(3, NAN),
                                           test::stateWith(9, -INFINITY),
                                           test::stateWith(9, 2.0f)};
  for (std::size_t i = 0; i < std::size(bad); ++i) {
    EXPECT_EQ(comp.setState(bad[i]), kResultFalse) << i;
    EXPECT_EQ(comp.getState(), good) << i;
    EXPECT_EQ(comp.processor->requestedModeIndex(), 0) << i;
  }
  EXPECT_EQ(comp.processor->setState(nullptr), kInvalidArgument);
  auto longer = good;
  longer.push_back(7);
  EXPECT_EQ(comp.setState(longer), kResultOk) << "trailing bytes are not read";
}

TEST(ModeMessages, GoodAndMalformedRequests) {
  test::Component comp;
  const int64 two = 2, three = 3, minusOne = -1;
  EXPECT_EQ(comp.send("ProcessingMode", &two), kResultOk);
  ASSERT_EQ(comp.peer.messages.size(), 1u);
  EXPECT_EQ(comp.peer.messages[0].id, "ProcessingModeState");
  EXPECT_EQ(comp.peer.messages[0].mode, 2);
  for (const int64* bad : {&three, &minusOne, static_cast<const int64*>(nullptr)})
    EXPECT_EQ(comp.send("ProcessingMode", bad), kInvalidArgument);
  EXPECT_EQ(comp.peer.messages.size(), 1u) << "refused requests are not answered";
  EXPECT_EQ(comp.processor->requestedModeIndex(), 2);
  EXPECT_EQ(comp.processor->notify(nullptr), kInvalidArgument);
  EXPECT_NE(comp.send("Unrelated", &two), kResultOk) << "left to the base component";

  // Two requests before a block: the second wins and the block switches once.
  const int64 one = 1;
  comp.send("ProcessingMode", &kLive);
  comp.send("ProcessingMode", &one);
  auto r = comp.play({noise(128, 13), noise(128, 14)});
  EXPECT_EQ(comp.processor->activeModeIndex(), 1);
  ASSERT_EQ(r.changes[ProcessingMode].size(), 1u);
  EXPECT_EQ(r.changes[ProcessingMode][0].value, 0.5);
}

TEST(Activation, AdoptsARequestMadeWhileInactive) {
  test::Component comp;
  comp.processor->setActive(false);
  comp.send("ProcessingMode", &kLive);
  EXPECT_EQ(comp.processor->activeModeIndex(), 1);
  comp.processor->setActive(true);
  EXPECT_EQ(comp.processor->activeModeIndex(), 0);
}

}  // namespace
}  // namespace orvane
