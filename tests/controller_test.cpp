#include "controller/controller.h"

#include <gtest/gtest.h>

#include <cmath>
#include <mutex>

#include "i18n/i18n.h"
#include "params/parameters.h"
#include "support/component.h"
#include "support/state_bytes.h"
#include "support/vst_helpers.h"

namespace orvane {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

// A controller as a host sets it up: initialised with a host context, its
// messages going to a recording peer; the handler is added per test.
class ControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedLanguage = i18n::preference();
    i18n::setLanguage(0, false);
    ASSERT_EQ(controller->initialize(test::hostContext()), kResultOk);
    controller->connect(&peer);
  }
  void TearDown() override {
    controller->disconnect(&peer);
    controller->terminate();
    i18n::setLanguage(savedLanguage, false);
  }
  tresult loadState(std::vector<std::uint8_t> bytes) {
    test::MemoryStream stream(std::move(bytes));
    return controller->setComponentState(&stream);
  }
  std::vector<double> allValues() {
    std::vector<double> v;
    for (const ParamInfo& p : kParams) v.push_back(controller->getParamNormalized(p.id));
    return v;
  }
  std::string display(ParamID id, double v) {
    String128 s{};
    controller->getParamStringByValue(id, v, s);
    return test::toUtf8(s);
  }
  ParameterInfo info(int index) {
    ParameterInfo i{};
    EXPECT_EQ(controller->getParameterInfo(index, i), kResultOk);
    return i;
  }

  int savedLanguage = 1;
  IPtr<Controller> controller = owned(new Controller);
  test::RecordingPeer peer;
  test::RecordingHandler handler;
};

// The host sees the one parameter table, in its order, with the SDK's flags.
TEST_F(ControllerTest, RegistersTheParameterTable) {
  EXPECT_EQ(flags::kCanAutomate, ParameterInfo::kCanAutomate);
  EXPECT_EQ(flags::kIsReadOnly, ParameterInfo::kIsReadOnly);
  EXPECT_EQ(flags::kIsList, ParameterInfo::kIsList);
  EXPECT_EQ(flags::kIsBypass, ParameterInfo::kIsBypass);
  ASSERT_EQ(controller->getParameterCount(), kParamCount);
  for (int i = 0; i < kParamCount; ++i) {
    const ParameterInfo got = info(i);
    const ParamInfo& want = kParams[i];
    EXPECT_EQ(got.id, want.id) << i;
    EXPECT_EQ(got.flags, want.flags) << i;
    EXPECT_EQ(got.stepCount, want.stepCount) << i;
    EXPECT_EQ(got.unitId, 0) << i;
    EXPECT_EQ(test::toUtf8(got.units), want.units) << i;
    EXPECT_NEAR(got.defaultNormalizedValue, want.defaultNorm, 1e-12) << i;
    EXPECT_NEAR(controller->getParamNormalized(got.id), want.defaultNorm, 1e-12) << i;
  }
  EXPECT_NEAR(controller->normalizedParamToPlain(OutputGain, 0.25), -9.0, 1e-9);
  EXPECT_EQ(display(Bypass, 1.0), "On");
  EXPECT_EQ(display(Bypass, 0.0), "Off");
}

// Titles and list entries follow the language, and the host is told to
// re-read them.
TEST_F(ControllerTest, TitlesAndEntriesFollowTheLanguage) {
  controller->setComponentHandler(&handler);
  for (int language = 0; language < i18n::kLanguageCount; ++language) {
    handler.restarts.clear();
    i18n::setLanguage(language, false);
    controller->localizeParameters();
    EXPECT_EQ(handler.restarts, std::vector<int32>{kParamTitlesChanged});
    auto text = [&](i18n::Key key) { return i18n::catalog[int(key)][language].utf8; };
    for (int i = 0; i < kParamCount; ++i) {
      const ParameterInfo got = info(i);
      EXPECT_EQ(test::toUtf8(got.title), text(i18n::Key(kParams[i].key))) << language << " " << i;
      EXPECT_EQ(test::toUtf8(got.shortTitle), test::toUtf8(got.title));
    }
    for (int e = 0; e < 3; ++e) {
      EXPECT_EQ(display(CleanupProfile, e / 2.0), text(i18n::Key(int(i18n::Key::ProfileLive) + e)));
      EXPECT_EQ(display(ProcessingMode, e / 2.0), text(i18n::Key(int(i18n::Key::NeuralLive) + e)));
    }
  }
}

TEST_F(ControllerTest, NoRestartRequestedWithoutAHandler) {
  // Initialisation and state loads happen before hosts hand over a handler.
  controller->localizeParameters();
  EXPECT_EQ(loadState(test::stateWith(9, 1.0f)), kResultOk);
  const int64 mode = 0;
  EXPECT_EQ(controller->notify(test::makeMessage("ProcessingModeState", &mode)), kResultOk);
  EXPECT_TRUE(handler.restarts.empty());
}

TEST_F(ControllerTest, ModeSnapsAndIsSentOnlyOnARealChange) {
  controller->setComponentHandler(&handler);
  for (double v : {0.0, 0.3, 0.3, 0.74, 0.9, 7.0})
    EXPECT_EQ(controller->setParamNormalized(ProcessingMode, v), kResultOk) << v;
  EXPECT_EQ(controller->getParamNormalized(ProcessingMode), 1.0);
  EXPECT_TRUE(handler.restarts.empty()) << "the component's answer brings the restart";
  ASSERT_EQ(peer.messages.size(), 3u);
  for (int m = 0; m < 3; ++m) {
    EXPECT_EQ(peer.messages[m].id, "ProcessingMode");
    EXPECT_EQ(peer.messages[m].mode, m);
  }

  // Non-finite values never reach the container; other parameters send nothing.
  const double before = controller->getParamNormalized(NoiseReduction);
  EXPECT_EQ(controller->setParamNormalized(NoiseReduction, std::nan("")), kInvalidArgument);
  EXPECT_EQ(controller->setParamNormalized(ProcessingMode, INFINITY), kInvalidArgument);
  EXPECT_EQ(controller->getParamNormalized(NoiseReduction), before);
  EXPECT_EQ(controller->setParamNormalized(NoiseReduction, 0.25), kResultOk);
  EXPECT_EQ(controller->setParamNormalized(555, 0.25), kResultFalse);
  EXPECT_EQ(peer.messages.size(), 3u);
}

TEST_F(ControllerTest, ComponentStateVersions) {
  controller->setComponentHandler(&handler);
  ASSERT_EQ(
      loadState(test::stateBytes(2, {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 1.0f, 1.0f, 0.3f})),
      kResultOk);
  for (int i = 0; i < 9; ++i)
    EXPECT_NEAR(controller->getParamNormalized(i), i < 7 ? 0.1 * (i + 1) : 1.0, 1e-7) << i;
  EXPECT_EQ(controller->getParamNormalized(ProcessingMode), 0.5) << "0.3 snaps to Neural Classic";
  EXPECT_TRUE(peer.messages.empty()) << "a state with the mode the host knows sends nothing";
  EXPECT_TRUE(handler.restarts.empty()) << "the latency of the default mode stands";

  // Another mode's latency is owed until the component shows progress (the
  // whole exchange with a real component is in PresetLoad below).
  ASSERT_EQ(loadState(test::stateWith(9, 0.0f)), kResultOk);
  EXPECT_EQ(controller->getParamNormalized(ProcessingMode), 0.0);
  EXPECT_TRUE(handler.restarts.empty());
  ASSERT_FALSE(peer.messages.empty());
  EXPECT_EQ(peer.messages.back().id, "RequestProgress");
  peer.messages.clear();
  ASSERT_EQ(loadState(test::olderState()), kResultOk);
  EXPECT_EQ(controller->getParamNormalized(ProcessingMode), 0.5);
  ASSERT_FALSE(peer.messages.empty());
  EXPECT_EQ(peer.messages[0].id, "RequestProcessingMode");
  EXPECT_EQ(peer.messages[0].mode, -1000) << "the request carries no attribute";
  EXPECT_TRUE(handler.restarts.empty()) << "the component's answer decides";

  // Not connected: nobody answers, so the mode shown decides at once.
  controller->disconnect(&peer);
  ASSERT_EQ(loadState(test::stateWith(9, 1.0f)), kResultOk);
  EXPECT_EQ(handler.restarts, std::vector<int32>{kLatencyChanged});
  controller->connect(&peer);
}

// The record's validation itself is tested on the component; here a refused
// record must leave every value alone and tell nobody.
TEST_F(ControllerTest, InvalidComponentStatesChangeNothing) {
  controller->setComponentHandler(&handler);
  ASSERT_EQ(controller->setParamNormalized(ProcessingMode, 1.0), kResultOk);
  peer.messages.clear();
  const auto before = allValues();
  auto shortRecord = test::stateWith(0, 0.3f);
  shortRecord.resize(40);  // version 2 without its mode
  for (const auto& bad : {shortRecord, test::stateWith(2, NAN), test::stateWith(9, 2.0f)}) {
    EXPECT_EQ(loadState(bad), kResultFalse);
    EXPECT_EQ(allValues(), before);
  }
  EXPECT_EQ(controller->setComponentState(nullptr), kInvalidArgument);
  EXPECT_TRUE(peer.messages.empty());
  EXPECT_TRUE(handler.restarts.empty());
}

TEST_F(ControllerTest, ModeStateMessageFromTheComponent) {
  controller->setComponentHandler(&handler);
  const int64 two = 2;
  EXPECT_EQ(controller->notify(test::makeMessage("ProcessingModeState", &two)), kResultOk);
  EXPECT_EQ(controller->getParamNormalized(ProcessingMode), 1.0);
  EXPECT_EQ(handler.restarts, std::vector<int32>{kLatencyChanged});
  EXPECT_TRUE(peer.messages.empty()) << "the answer is not answered";

  for (int64 bad : {int64{3}, int64{-1}, int64{1} << 40})
    EXPECT_EQ(controller->notify(test::makeMessage("ProcessingModeState", &bad)), kInvalidArgument);
  EXPECT_EQ(controller->notify(test::makeMessage("ProcessingModeState", nullptr)),
            kInvalidArgument);
  EXPECT_EQ(controller->getParamNormalized(ProcessingMode), 1.0);
  EXPECT_EQ(controller->notify(test::makeMessage("ProcessingModeState", &two)), kResultOk);
  EXPECT_EQ(handler.restarts.size(), 1u) << "the host already knows this mode's latency";
  EXPECT_NE(controller->notify(test::makeMessage("SomethingElse", &two)), kResultOk);
  EXPECT_EQ(controller->notify(nullptr), kInvalidArgument);
}

// A host that loads presets as Ardour 7.3 does: one lock, not recursive, held
// around the component's state, the controller's and the read-back of every
// parameter; its audio callback only tries the lock and skips the block while
// a load holds it; restartComponent takes the same lock, so a restart asked
// for inside the load hangs it (here it fails the test instead).
struct LockingHost : test::RecordingHandler {
  tresult PLUGIN_API restartComponent(int32 flags) override {
    const bool free = lock.try_lock();
    EXPECT_TRUE(free) << "restart asked for inside the host's lock";
    if (free) lock.unlock();
    latencies.push_back(static_cast<int>(processor->getLatencySamples()));
    return RecordingHandler::restartComponent(flags);
  }
  std::mutex lock;
  Processor* processor = nullptr;
  std::vector<int> latencies;  // as read at each restart
};

TEST(PresetLoad, LatencyRestartWaitsForTheHostsLockAndComesOnce) {
  test::Component comp(SpeakerArr::kMono);
  auto controller = owned(new Controller);
  ASSERT_EQ(controller->initialize(test::hostContext()), kResultOk);
  comp.processor->disconnect(&comp.peer);
  comp.processor->connect(controller);
  controller->connect(comp.processor);
  LockingHost host;
  host.processor = comp.processor;
  controller->setComponentHandler(&host);
  auto audio = [&] {
    if (!host.lock.try_lock()) return;
    comp.play({std::vector<float>(64, 0.01f)});
    host.lock.unlock();
  };
  auto load = [&](const std::vector<std::uint8_t>& bytes) {
    const std::lock_guard<std::mutex> held(host.lock);
    test::MemoryStream a(bytes), b(bytes);
    ASSERT_EQ(comp.processor->setState(&a), kResultOk);
    ASSERT_EQ(controller->setComponentState(&b), kResultOk);
    for (const ParamInfo& p : kParams) {
      String128 text{};
      controller->getParamStringByValue(p.id, controller->getParamNormalized(p.id), text);
      controller->normalizedParamToPlain(p.id, 1.0);
      audio();
    }
  };
  // Live DSP has no latency, Neural Live 95 samples at 48 kHz.
  for (const auto& [value, latency] : {std::pair{1.0f, 0}, std::pair{0.0f, 95}}) {
    audio();
    load(test::stateWith(9, value));
    controller->getParamNormalized(CleanAmount);
    EXPECT_TRUE(host.latencies.empty()) << "no block yet since the load";
    audio();
    controller->getParamNormalized(CleanAmount);
    audio();
    controller->getParamNormalized(CleanAmount);
    EXPECT_EQ(host.latencies, std::vector<int>{latency});
    host.latencies.clear();
  }
  // The same mode owes nothing; an activation since the load settles it too.
  load(test::stateWith(9, 0.0f));
  load(test::stateWith(9, 0.5f));
  comp.processor->setActive(false);
  comp.processor->setActive(true);
  audio();
  controller->getParamNormalized(CleanAmount);
  EXPECT_TRUE(host.latencies.empty());
  // A mode the user picks is followed at once, when the component answers.
  EXPECT_EQ(controller->setParamNormalized(ProcessingMode, 1.0), kResultOk);
  EXPECT_EQ(host.latencies, std::vector<int>{0});

  controller->disconnect(comp.processor);
  comp.processor->disconnect(controller);
  comp.processor->connect(&comp.peer);
  controller->terminate();
}

}  // namespace
}  // namespace orvane
