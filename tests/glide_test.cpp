// Parameter glides seen from the host: a value switched during playback
// glides for a few tens of milliseconds and then holds its target exactly.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "params/parameters.h"
#include "processor/processor.h"
#include "support/process_harness.h"
#include "support/vst_helpers.h"

namespace orvane {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

// A host switches Bypass on in the middle of a block during playback: after
// the glide the output is the input delayed by the reported latency, bit for
// bit, in every mode, whether or not the engine converts rates.
TEST(ParameterGlide, BypassSwitchedOnMidStreamEndsOnTheDelayedInput) {
  constexpr int kBlock = 512, kBlocks = 60, kSwitchBlock = 10, kSwitchOffset = 100;
  for (double rate : {44100.0, 48000.0})
    for (int mode = 0; mode < kModeCount; ++mode) {
      IPtr<Processor> p = owned(new Processor(kDefaultMode));
      ASSERT_EQ(p->initialize(test::hostContext()), kResultOk);
      SpeakerArrangement in = SpeakerArr::kStereo, out = SpeakerArr::kStereo;
      ASSERT_EQ(p->setBusArrangements(&in, 1, &out, 1), kResultTrue);
      ProcessSetup setup{kRealtime, kSample32, kBlock, rate};
      ASSERT_EQ(p->setupProcessing(setup), kResultOk);
      ASSERT_EQ(p->setActive(true), kResultOk);

      std::mt19937 rng(7);
      std::uniform_real_distribution<float> u(-0.3f, 0.3f);
      std::vector<std::vector<float>> input(2), output(2);
      test::ProcessHarness host(p, 2);
      int latency = 0;
      for (int b = 0; b < kBlocks; ++b) {
        if (b == 0) host.change(ProcessingMode, 0, modeToNormalized(mode));
        if (b == kSwitchBlock) host.change(Bypass, kSwitchOffset, 1.0);
        std::vector<std::vector<float>> block(2, std::vector<float>(kBlock));
        for (auto& ch : block)
          for (float& v : ch) v = u(rng);
        const test::BlockResult r = host.run(block);
        ASSERT_EQ(r.result, kResultOk);
        if (b == 0) latency = static_cast<int>(p->getLatencySamples());
        for (int c = 0; c < 2; ++c) {
          input[c].insert(input[c].end(), block[c].begin(), block[c].end());
          output[c].insert(output[c].end(), r.out[c].begin(), r.out[c].end());
        }
      }

      const int switchAt = kSwitchBlock * kBlock + kSwitchOffset;
      const int settled = switchAt + static_cast<int>(0.25 * rate);
      int gliding = 0;
      for (int c = 0; c < 2; ++c) {
        for (int i = switchAt + latency; i < settled; ++i)
          gliding += output[c][i] != input[c][i - latency];
        for (int i = settled; i < kBlocks * kBlock; ++i)
          ASSERT_EQ(output[c][i], input[c][i - latency])
              << "mode " << mode << " at " << rate << " Hz, sample " << i;
      }
      EXPECT_GT(gliding, 100) << "the switch still glides; mode " << mode << " at " << rate;
      p->setActive(false);
      p->terminate();
    }
}

}  // namespace
}  // namespace orvane
