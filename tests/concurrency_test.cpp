// Mode requests and state loads and saves on the user-interface thread while
// the audio thread runs the process loop. Meant to run under ThreadSanitizer
// (scripts/test.sh --tsan).
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "engine_harness.h"
#include "params/parameters.h"
#include "processor/processor.h"
#include "support/component.h"
#include "support/state_bytes.h"

namespace orvane {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

// Project loads, undo, autosave and mode requests during playback: every
// save is one whole record, never a mix of two, and the last load is what the
// audio ends with.
TEST(Concurrency, StateWhileProcessing) {
  test::Component comp;
  Processor* processor = comp.processor;
  const std::vector<std::uint8_t> records[2] = {
      test::stateBytes(2, {0.9f, 0.1f, 0.8f, 0.2f, 0.3f, 0.7f, 0.6f, 0.0f, 1.0f, 1.0f}),
      test::stateBytes(2, {0.2f, 0.7f, 0.1f, 0.9f, 0.6f, 0.4f, 0.3f, 1.0f, 0.0f, 0.0f})};
  std::atomic<bool> done{false};
  int loads = 0, strangeSaves = 0;
  std::thread ui([&] {
    auto load = [&](int r) {
      const int64 mode = (loads + 1) % 3;
      processor->notify(test::makeMessage("ProcessingMode", &mode));
      test::MemoryStream in(records[r]), out;
      processor->setState(&in);
      processor->getState(&out);
      strangeSaves += out.data != records[0] && out.data != records[1];
      ++loads;
    };
    while (!done.load()) load(loads % 2);
    load(1);
  });
  const test::Signal in = test::noise(2, 64, 0.5f, 2);
  for (int b = 0; b < 4000; ++b) ASSERT_EQ(comp.play(in).result, kResultOk);
  done = true;
  ui.join();
  EXPECT_EQ(strangeSaves, 0);
  EXPECT_GT(loads, 10);
  ASSERT_EQ(comp.play(in).result, kResultOk);
  EXPECT_EQ(processor->activeModeIndex(), 0);
  for (int i = 0; i < kEngineParamCount; ++i) {
    float loaded;
    std::memcpy(&loaded, records[1].data() + 4 + 4 * i, 4);
    EXPECT_EQ(processor->parameterValues()[i], loaded) << i;
  }
}

}  // namespace
}  // namespace orvane
