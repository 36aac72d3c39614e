#include <gtest/gtest.h>

#include <cstring>

#include "controller/controller.h"
#include "params/parameters.h"
#include "processor/processor.h"
#include "support/state_bytes.h"
#include "support/vst_helpers.h"

namespace orvane {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

// Stands between the two objects as a host's message channel does, counting
// what passes through.
class CountingChannel : public IConnectionPoint {
 public:
  explicit CountingChannel(IConnectionPoint* destination) : target(destination) {}
  tresult PLUGIN_API queryInterface(const TUID, void** obj) override {
    *obj = nullptr;
    return kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return 1; }
  uint32 PLUGIN_API release() override { return 1; }
  tresult PLUGIN_API connect(IConnectionPoint*) override { return kResultOk; }
  tresult PLUGIN_API disconnect(IConnectionPoint*) override { return kResultOk; }
  tresult PLUGIN_API notify(IMessage* message) override {
    ids.emplace_back(message->getMessageID());
    return target->notify(message);
  }
  IConnectionPoint* target;
  std::vector<std::string> ids;
};

TEST(ComponentAndController, ModeChangeRoundTrip) {
  IPtr<Processor> processor = owned(new Processor(kDefaultMode));
  IPtr<Controller> controller = owned(new Controller);
  ASSERT_EQ(processor->initialize(test::hostContext()), kResultOk);
  ASSERT_EQ(controller->initialize(test::hostContext()), kResultOk);
  CountingChannel toComponent(processor), toController(controller);
  controller->connect(&toComponent);
  processor->connect(&toController);
  test::RecordingHandler handler;
  controller->setComponentHandler(&handler);
  ProcessSetup setup{kRealtime, kSample32, 512, 44100.0};
  ASSERT_EQ(processor->setupProcessing(setup), kResultOk);
  EXPECT_EQ(processor->getLatencySamples(), 1356u);

  for (double value : {0.0, 1.0, 0.5}) {
    toComponent.ids.clear();
    toController.ids.clear();
    handler.restarts.clear();
    ASSERT_EQ(controller->setParamNormalized(ProcessingMode, value), kResultOk);
    EXPECT_EQ(toComponent.ids, std::vector<std::string>{"ProcessingMode"});
    EXPECT_EQ(toController.ids, std::vector<std::string>{"ProcessingModeState"});
    EXPECT_EQ(processor->requestedModeIndex(), modeFromNormalized(value));
    EXPECT_EQ(controller->getParamNormalized(ProcessingMode), value);
    EXPECT_EQ(handler.restarts, std::vector<int32>{kLatencyChanged});
  }
  EXPECT_EQ(processor->getLatencySamples(), 1356u);
  controller->setParamNormalized(ProcessingMode, 0.0);
  EXPECT_EQ(processor->getLatencySamples(), 120u) << "what the host reads after the restart";

  // An older state on both sides: the controller asks, the component answers
  // with the mode of its class, and the controller follows.
  const auto v1 = test::stateBytes(1, {1, 0, 1, 0, 0.1f, 1, 0.5f, 0, 0.5f});
  test::MemoryStream a(v1), b(v1);
  ASSERT_EQ(processor->setState(&a), kResultOk);
  toComponent.ids.clear();
  toController.ids.clear();
  ASSERT_EQ(controller->setComponentState(&b), kResultOk);
  EXPECT_EQ(toComponent.ids, std::vector<std::string>{"RequestProcessingMode"});
  EXPECT_EQ(toController.ids, std::vector<std::string>{"ProcessingModeState"});
  EXPECT_EQ(controller->getParamNormalized(ProcessingMode), 0.5);

  controller->disconnect(&toComponent);
  processor->disconnect(&toController);
  controller->terminate();
  processor->terminate();
}

}  // namespace
}  // namespace orvane
