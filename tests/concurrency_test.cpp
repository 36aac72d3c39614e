// Mode requests and state loads and saves on the user-interface thread while
// the audio thread runs the process loop. Meant to run under ThreadSanitizer
// (scripts/test.sh --tsan).
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include "params/parameters.h"
#include "processor/processor.h"
#include "support/process_harness.h"
#include "support/state_bytes.h"
#include "support/vst_helpers.h"

namespace orvane {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

TEST(Concurrency, ModeMessagesDuringProcessing) {
  IPtr<Processor> processor = owned(new Processor(kDefaultMode));
  ASSERT_EQ(processor->initialize(test::hostContext()), kResultOk);
  test::RecordingPeer peer;
  processor->connect(&peer);
  ProcessSetup setup{kRealtime, kSample32, 256, 44100.0};
  ASSERT_EQ(processor->setupProcessing(setup), kResultOk);
  ASSERT_EQ(processor->setActive(true), kResultOk);

  std::atomic<bool> done{false};
  std::thread messages([&] {
    int i = 0;
    while (!done.load()) {
      const int64 mode = i++ % 3;
      processor->notify(test::makeMessage("ProcessingMode", &mode));
      processor->getLatencySamples();
    }
  });

  test::ProcessHarness host(processor, 2);
  std::mt19937 rng(1);
  std::uniform_real_distribution<float> u(-0.5f, 0.5f);
  std::vector<std::vector<float>> block(2, std::vector<float>(256));
  for (int b = 0; b < 300; ++b) {
    for (auto& ch : block)
      for (auto& v : ch) v = u(rng);
    const auto r = host.run(block);
    ASSERT_EQ(r.result, kResultOk);
    for (const auto& ch : r.out)
      for (float v : ch) ASSERT_TRUE(std::isfinite(v));
  }
  done = true;
  messages.join();
  EXPECT_GT(peer.messages.size(), 0u);
  processor->setActive(false);
  processor->disconnect(&peer);
  processor->terminate();
}

// Project loads, undo and autosave during playback: every save is one whole
// record, never a mix of two, and the last load is what the audio ends with.
TEST(Concurrency, StateWhileProcessing) {
  IPtr<Processor> processor = owned(new Processor(kDefaultMode));
  ASSERT_EQ(processor->initialize(test::hostContext()), kResultOk);
  ProcessSetup setup{kRealtime, kSample32, 64, 48000.0};
  ASSERT_EQ(processor->setupProcessing(setup), kResultOk);
  ASSERT_EQ(processor->setActive(true), kResultOk);
  const float values[2][10] = {{0.9f, 0.1f, 0.8f, 0.2f, 0.3f, 0.7f, 0.6f, 0.0f, 1.0f, 1.0f},
                               {0.2f, 0.7f, 0.1f, 0.9f, 0.6f, 0.4f, 0.3f, 1.0f, 0.0f, 0.0f}};
  std::vector<std::uint8_t> records[2];
  for (int r = 0; r < 2; ++r)
    for (float v : values[r]) test::putF32(records[r], v);
  for (auto& record : records) record.insert(record.begin(), {2, 0, 0, 0});

  std::atomic<bool> done{false};
  int loads = 0, strangeSaves = 0;
  std::thread ui([&] {
    auto load = [&](int r) {
      test::MemoryStream in(records[r]), out;
      processor->setState(&in);
      processor->getState(&out);
      if (out.data != records[0] && out.data != records[1]) ++strangeSaves;
      ++loads;
    };
    while (!done.load()) load(loads % 2);
    load(1);  // bypassed, Neural Live: the audio shows whether it arrived
  });
  test::ProcessHarness host(processor, 2);
  std::mt19937 rng(2);
  std::uniform_real_distribution<float> u(-0.5f, 0.5f);
  std::vector<float> x(64 * 4200);
  for (auto& v : x) v = u(rng);
  std::vector<float> y;
  auto play = [&](int b) {
    const std::vector<float> block(x.begin() + 64 * b, x.begin() + 64 * (b + 1));
    const auto r = host.run({block, block});
    y.insert(y.end(), r.out[0].begin(), r.out[0].end());
    return r.result;
  };
  int b = 0;
  for (; b < 4000; ++b) ASSERT_EQ(play(b), kResultOk);
  done = true;
  ui.join();
  EXPECT_EQ(strangeSaves, 0);
  EXPECT_GT(loads, 10);

  // After the glides (10 ms), a bypassed output is the input delayed by the latency.
  for (; b < 4200; ++b) ASSERT_EQ(play(b), kResultOk);
  const std::size_t latency = processor->getLatencySamples();
  for (std::size_t n = y.size() - 64; n < y.size(); ++n)
    ASSERT_NEAR(y[n], x[n - latency], 1e-4) << n;
  for (int i = 0; i < kEngineParamCount; ++i)
    EXPECT_EQ(processor->parameterValues()[i], values[1][i]) << i;
  processor->setActive(false);
  processor->terminate();
}

}  // namespace
}  // namespace orvane
