// Mode requests and state loads and saves on the user-interface thread while
// the audio thread runs the process loop. Meant to run under ThreadSanitizer
// (scripts/test.sh --tsan).
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
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
// record, never a mix of two, and the last load is what the engine ends with.
TEST(Concurrency, StateWhileProcessing) {
  IPtr<Processor> processor = owned(new Processor(kDefaultMode));
  ASSERT_EQ(processor->initialize(test::hostContext()), kResultOk);
  ProcessSetup setup{kRealtime, kSample32, 64, 48000.0};
  ASSERT_EQ(processor->setupProcessing(setup), kResultOk);
  ASSERT_EQ(processor->setActive(true), kResultOk);
  const std::vector<std::uint8_t> records[2] = {
      test::stateBytes(2, {0.9f, 0.1f, 0.8f, 0.2f, 0.3f, 0.7f, 0.6f, 0.0f, 1.0f, 1.0f}),
      test::stateBytes(2, {0.2f, 0.7f, 0.1f, 0.9f, 0.6f, 0.4f, 0.3f, 1.0f, 0.0f, 0.0f}),
  };

  std::atomic<bool> done{false};
  int loads = 0, strangeSaves = 0;
  std::thread ui([&] {
    while (!done.load()) {
      test::MemoryStream in(records[loads++ % 2]), out;
      processor->setState(&in);
      processor->getState(&out);
      if (out.data != records[0] && out.data != records[1]) ++strangeSaves;
    }
  });
  test::ProcessHarness host(processor, 2);
  const std::vector<std::vector<float>> block(2, std::vector<float>(64, 0.1f));
  for (int b = 0; b < 4000; ++b) ASSERT_EQ(host.run(block).result, kResultOk);
  done = true;
  ui.join();
  EXPECT_EQ(strangeSaves, 0);
  EXPECT_GT(loads, 10);

  ASSERT_EQ(host.run(block).result, kResultOk);
  const auto& last = records[(loads - 1) % 2];
  test::MemoryStream saved;
  processor->getState(&saved);
  EXPECT_EQ(saved.data, last);
  float values[kEngineParamCount];
  std::memcpy(values, last.data() + 4, sizeof values);
  const Engine& engine = processor->engine(processor->activeModeIndex());
  for (int i = 0; i < kEngineParamCount; ++i) {
    EXPECT_EQ(processor->parameterValues()[i], values[i]) << i;
    EXPECT_EQ(engine.target[i], values[i]) << i;
  }
  processor->setActive(false);
  processor->terminate();
}

}  // namespace
}  // namespace orvane
