// Mode requests arriving on the message thread while the audio thread runs the
// process loop. Meant to run under ThreadSanitizer (scripts/test.sh --tsan).
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include "params/parameters.h"
#include "processor/processor.h"
#include "support/process_harness.h"
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

}  // namespace
}  // namespace orvane
