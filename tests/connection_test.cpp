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
class CountingChannel : public test::Counted<IConnectionPoint> {
 public:
  explicit CountingChannel(IConnectionPoint* destination) : target(destination) {}
  tresult PLUGIN_API connect(IConnectionPoint*) override { return kResultOk; }
  tresult PLUGIN_API disconnect(IConnectionPoint*) override { return kResultOk; }
  tresult PLUGIN_API notify(IMessage* message) override {
    ids.emplace_back(message->getMessageID());
    return target->notify(message);
  }
  IConnectionPoint* target;
  std::vector<std::string> ids;
};

// A component and a controller connected through counting channels, with a
// recording component handler, as a host sets them up.
struct ConnectedPair {
  ConnectedPair()
      : processor(owned(new Processor(kDefaultMode))),
        controller(owned(new Controller)),
        toComponent(processor),
        toController(controller) {
    EXPECT_EQ(processor->initialize(test::hostContext()), kResultOk);
    EXPECT_EQ(controller->initialize(test::hostContext()), kResultOk);
    controller->connect(&toComponent);
    processor->connect(&toController);
    controller->setComponentHandler(&handler);
    ProcessSetup setup{kRealtime, kSample32, 512, 44100.0};
    EXPECT_EQ(processor->setupProcessing(setup), kResultOk);
  }
  ~ConnectedPair() {
    controller->disconnect(&toComponent);
    processor->disconnect(&toController);
    controller->terminate();
    processor->terminate();
  }
  // The same record into both sides, as a host loads a project or a preset.
  void load(const std::vector<std::uint8_t>& record) {
    test::MemoryStream a(record), b(record);
    EXPECT_EQ(processor->setState(&a), kResultOk);
    EXPECT_EQ(controller->setComponentState(&b), kResultOk);
  }

  IPtr<Processor> processor;
  IPtr<Controller> controller;
  CountingChannel toComponent, toController;
  test::RecordingHandler handler;
};

// A mode picked in the controller reaches the component and comes back as its
// answer, which asks the host to re-read the latency.
TEST(ComponentAndController, ModeChangeRoundTrip) {
  ConnectedPair pair;
  for (double value : {0.0, 1.0, 0.5}) {
    pair.toComponent.ids.clear();
    pair.toController.ids.clear();
    pair.handler.restarts.clear();
    ASSERT_EQ(pair.controller->setParamNormalized(ProcessingMode, value), kResultOk);
    EXPECT_EQ(pair.toComponent.ids, std::vector<std::string>{"ProcessingMode"});
    EXPECT_EQ(pair.toController.ids, std::vector<std::string>{"ProcessingModeState"});
    EXPECT_EQ(pair.processor->requestedModeIndex(), modeFromNormalized(value));
    EXPECT_EQ(pair.controller->getParamNormalized(ProcessingMode), value);
    EXPECT_EQ(pair.handler.restarts, std::vector<int32>{kLatencyChanged});
  }

  // An older state on both sides: the controller asks, the component answers
  // with the mode of its class, and the controller follows.
  pair.controller->setParamNormalized(ProcessingMode, 0.0);
  pair.toComponent.ids.clear();
  pair.toController.ids.clear();
  pair.load(test::olderState());
  EXPECT_EQ(pair.toComponent.ids, std::vector<std::string>{"RequestProcessingMode"});
  EXPECT_EQ(pair.toController.ids, std::vector<std::string>{"ProcessingModeState"});
  EXPECT_EQ(pair.controller->getParamNormalized(ProcessingMode), 0.5);
}

// The host is asked to re-read the latency exactly when the mode it knows
// changes: some hosts hang when asked from inside setComponentState.
TEST(ComponentAndController, LatencyRestartOnlyWhenTheModeChanges) {
  ConnectedPair pair;
  pair.load(test::stateWith(0, 0.3f));
  pair.load(test::olderState());
  EXPECT_TRUE(pair.handler.restarts.empty()) << "the mode the host already knows";
  pair.load(test::stateWith(9, 1.0f));
  EXPECT_EQ(pair.handler.restarts, std::vector<int32>{kLatencyChanged});
  pair.load(test::stateWith(9, 1.0f));
  EXPECT_EQ(pair.handler.restarts.size(), 1u);

  // Picked by the user: parameter 9 holds the new mode before the component
  // answers, and the answer brings the one restart.
  pair.handler.restarts.clear();
  pair.controller->disconnect(&pair.toComponent);
  pair.controller->setParamNormalized(ProcessingMode, 0.0);
  EXPECT_TRUE(pair.handler.restarts.empty()) << "no answer yet";
  pair.controller->connect(&pair.toComponent);
  pair.controller->setParamNormalized(ProcessingMode, 0.5);
  EXPECT_EQ(pair.handler.restarts, std::vector<int32>{kLatencyChanged});
}

}  // namespace
}  // namespace orvane
