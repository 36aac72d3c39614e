#include "controller/controller.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "i18n/i18n.h"
#include "params/parameters.h"
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
    controller = owned(new Controller);
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

  int savedLanguage = 1;
  IPtr<Controller> controller;
  test::RecordingPeer peer;
  test::RecordingHandler handler;
};

TEST_F(ControllerTest, RegistersFifteenParametersInOrder) {
  ASSERT_EQ(controller->getParameterCount(), 15);
  struct Row {
    ParamID id;
    int32 flags;
    int32 steps;
    double def;
    const char* units;
  };
  const Row rows[] = {{0, 1, 0, 1.0, "%"},  {1, 1, 0, 0.0, "%"},    {2, 1, 0, 1.0, "%"},
                      {3, 1, 0, 0.0, "%"},  {4, 1, 0, 0.1, "Hz"},   {5, 1, 0, 1.0, "%"},
                      {6, 1, 0, 0.5, "dB"}, {7, 65537, 1, 0.0, ""}, {8, 9, 2, 0.5, ""},
                      {9, 8, 2, 0.5, ""},   {100, 2, 0, 0.0, ""},   {101, 2, 0, 0.0, ""},
                      {102, 2, 0, 0.0, ""}, {103, 2, 0, 0.5, ""},   {104, 2, 0, 0.0, ""}};
  for (int i = 0; i < 15; ++i) {
    ParameterInfo info{};
    ASSERT_EQ(controller->getParameterInfo(i, info), kResultOk);
    EXPECT_EQ(info.id, rows[i].id) << i;
    EXPECT_EQ(info.flags, rows[i].flags) << i;
    EXPECT_EQ(info.stepCount, rows[i].steps) << i;
    EXPECT_NEAR(info.defaultNormalizedValue, rows[i].def, 1e-12) << i;
    EXPECT_EQ(test::toUtf8(info.units), rows[i].units) << i;
    EXPECT_EQ(info.unitId, 0) << i;
    EXPECT_NEAR(controller->getParamNormalized(info.id), rows[i].def, 1e-12) << i;
  }
  EXPECT_NEAR(controller->normalizedParamToPlain(FrequencyFocus, 0.0), 35.0, 1e-9);
  EXPECT_NEAR(controller->normalizedParamToPlain(FrequencyFocus, 1.0), 180.0, 1e-9);
  EXPECT_NEAR(controller->normalizedParamToPlain(OutputGain, 0.25), -9.0, 1e-9);
  EXPECT_EQ(display(Bypass, 1.0), "On");
  EXPECT_EQ(display(Bypass, 0.0), "Off");
}

TEST_F(ControllerTest, TitlesAndEntriesInEachLanguage) {
  struct Case {
    int language;
    const char* first;
    const char* neuralActive;
    const char* clipping;
    const char* profiles[3];
    const char* modes[3];
  };
  const Case cases[] = {
      {0,
       "Voice cleanup",
       "Neural active",
       "CLIPPING",
       {"Live / gentle", "Broadcast / medium", "Studio / intense"},
       {"Neural Live", "Neural Classic", "Live DSP"}},
      {1,
       "Limpeza da voz",
       "Rede neural ativa",
       "SATURAÇÃO",
       {"Ao vivo / suave", "Transmissão / médio", "Estúdio / intenso"},
       {"Neural ao vivo", "Neural Clássico", "DSP ao vivo"}},
      {2,
       "Limpieza de voz",
       "Red neuronal activa",
       "SATURACIÓN",
       {"En vivo / suave", "Emisión / medio", "Estudio / intenso"},
       {"Neural en vivo", "Neural Clásico", "DSP en vivo"}},
  };
  controller->setComponentHandler(&handler);
  for (const Case& c : cases) {
    handler.restarts.clear();
    i18n::setLanguage(c.language, false);
    controller->localizeParameters();
    EXPECT_EQ(handler.restarts, std::vector<int32>{kParamTitlesChanged});
    ParameterInfo info{};
    for (int i = 0; i < 15; ++i) {
      controller->getParameterInfo(i, info);
      const int key = info.id < 100 ? static_cast<int>(info.id) : static_cast<int>(info.id) - 90;
      EXPECT_EQ(test::toUtf8(info.title), i18n::catalog[key][c.language].utf8);
      EXPECT_EQ(test::toUtf8(info.shortTitle), test::toUtf8(info.title));
    }
    controller->getParameterInfo(0, info);
    EXPECT_EQ(test::toUtf8(info.title), c.first);
    controller->getParameterInfo(13, info);
    EXPECT_EQ(test::toUtf8(info.title), c.neuralActive);
    controller->getParameterInfo(14, info);
    EXPECT_EQ(test::toUtf8(info.title), c.clipping);
    for (int e = 0; e < 3; ++e) {
      EXPECT_EQ(display(CleanupProfile, e / 2.0), c.profiles[e]);
      EXPECT_EQ(display(ProcessingMode, e / 2.0), c.modes[e]);
    }
  }
}

TEST_F(ControllerTest, NoRestartRequestedWithoutAHandler) {
  // Initialisation and state loads happen before hosts hand over a handler.
  controller->localizeParameters();
  EXPECT_EQ(loadState(test::stateBytes(2, {1, 0, 1, 0, 0.1f, 1, 0.5f, 0, 0.5f, 0.5f})), kResultOk);
  auto message = test::makeMessage("ProcessingModeState", nullptr);
  const int64 mode = 2;
  message->getAttributes()->setInt("mode", mode);
  EXPECT_EQ(controller->notify(message), kResultOk);
  EXPECT_TRUE(handler.restarts.empty());
}

TEST_F(ControllerTest, ModeSnapsAndIsSentOnlyOnARealChange) {
  EXPECT_EQ(controller->setParamNormalized(ProcessingMode, 0.0), kResultOk);
  EXPECT_EQ(controller->setParamNormalized(ProcessingMode, 0.3), kResultOk);
  EXPECT_EQ(controller->getParamNormalized(ProcessingMode), 0.5);
  EXPECT_EQ(controller->setParamNormalized(ProcessingMode, 0.3), kResultOk);
  EXPECT_EQ(controller->setParamNormalized(ProcessingMode, 0.74), kResultOk);
  EXPECT_EQ(controller->setParamNormalized(ProcessingMode, 0.9), kResultOk);
  EXPECT_EQ(controller->getParamNormalized(ProcessingMode), 1.0);
  EXPECT_EQ(controller->setParamNormalized(ProcessingMode, 7.0), kResultOk);
  ASSERT_EQ(peer.messages.size(), 3u);
  EXPECT_EQ(peer.messages[0].id, "ProcessingMode");
  EXPECT_EQ(peer.messages[0].mode, 0);
  EXPECT_EQ(peer.messages[1].mode, 1);
  EXPECT_EQ(peer.messages[2].mode, 2);

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
  const double want[] = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 1.0, 1.0};
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(controller->getParamNormalized(i), want[i], 1e-7) << i;
  EXPECT_EQ(controller->getParamNormalized(ProcessingMode), 0.5) << "0.3 snaps to Neural Classic";
  EXPECT_TRUE(peer.messages.empty()) << "a state with a mode sends nothing";
  EXPECT_TRUE(handler.restarts.empty()) << "the latency of the default mode stands";

  ASSERT_EQ(loadState(test::stateBytes(2, {1, 0, 1, 0, 0.1f, 1, 0.5f, 0, 0.5f, 0.0f})), kResultOk);
  EXPECT_EQ(controller->getParamNormalized(ProcessingMode), 0.0);
  EXPECT_EQ(handler.restarts, std::vector<int32>{kLatencyChanged});
  ASSERT_EQ(loadState(test::stateBytes(1, {1, 0, 1, 0, 0.1f, 1, 0.5f, 0, 0.5f})), kResultOk);
  EXPECT_EQ(controller->getParamNormalized(ProcessingMode), 0.5);
  ASSERT_EQ(peer.messages.size(), 1u);
  EXPECT_EQ(peer.messages[0].id, "RequestProcessingMode");
  EXPECT_EQ(peer.messages[0].mode, -1000) << "the request carries no attribute";
  EXPECT_EQ(handler.restarts.size(), 1u) << "the component's answer decides";

  // Not connected: nobody answers, so the mode shown decides.
  controller->disconnect(&peer);
  ASSERT_EQ(loadState(test::stateBytes(1, {1, 0, 1, 0, 0.1f, 1, 0.5f, 0, 0.5f})), kResultOk);
  EXPECT_EQ(handler.restarts.size(), 2u);
  controller->connect(&peer);
}

TEST_F(ControllerTest, InvalidComponentStatesChangeNothing) {
  controller->setComponentHandler(&handler);
  ASSERT_EQ(controller->setParamNormalized(ProcessingMode, 1.0), kResultOk);
  peer.messages.clear();
  const auto before = allValues();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<std::vector<std::uint8_t>> bad = {
      {},
      {2, 0, 0},
      test::stateBytes(2, {1, 0, 1, 0, 0.1f, 1, 0.5f, 0, 0.5f}),  // mode missing
      test::stateBytes(1, {1, 0, 1, 0, 0.1f, 1, 0.5f, 0}),        // one float short
      test::stateBytes(0, {1, 0, 1, 0, 0.1f, 1, 0.5f, 0, 0.5f, 0.5f}),
      test::stateBytes(3, {1, 0, 1, 0, 0.1f, 1, 0.5f, 0, 0.5f, 0.5f}),
      test::stateBytes(0xFFFFFFFEu, {1, 0, 1, 0, 0.1f, 1, 0.5f, 0, 0.5f, 0.5f}),
      test::stateBytes(2, {1, 0, 1, 0, 1.0000001f, 1, 0.5f, 0, 0.5f, 0.5f}),
      test::stateBytes(2, {1, 0, 1, 0, 0.1f, 1, -0.0001f, 0, 0.5f, 0.5f}),
      test::stateBytes(2, {1, 0, nan, 0, 0.1f, 1, 0.5f, 0, 0.5f, 0.5f}),
      test::stateBytes(2, {1, 0, 1, 0, 0.1f, 1, 0.5f, 0, 0.5f, INFINITY}),
  };
  for (std::size_t i = 0; i < bad.size(); ++i) {
    EXPECT_EQ(loadState(bad[i]), kResultFalse) << i;
    EXPECT_EQ(allValues(), before) << i;
  }
  EXPECT_EQ(controller->setComponentState(nullptr), kInvalidArgument);
  EXPECT_TRUE(peer.messages.empty());
  EXPECT_TRUE(handler.restarts.empty());

  // Trailing bytes after a valid record are not read.
  auto longer = test::stateBytes(2, {1, 0, 1, 0, 0.1f, 1, 0.5f, 0, 0.5f, 0.0f});
  longer.insert(longer.end(), {0xFF, 0xFF, 0xFF});
  EXPECT_EQ(loadState(longer), kResultOk);
}

TEST_F(ControllerTest, ModeStateMessageFromTheComponent) {
  controller->setComponentHandler(&handler);
  const int64 two = 2;
  EXPECT_EQ(controller->notify(test::makeMessage("ProcessingModeState", &two)), kResultOk);
  EXPECT_EQ(controller->getParamNormalized(ProcessingMode), 1.0);
  EXPECT_EQ(handler.restarts, std::vector<int32>{kLatencyChanged});
  EXPECT_TRUE(peer.messages.empty()) << "the answer is not answered";

  for (int64 bad : {int64{3}, int64{-1}, int64{1} << 40}) {
    EXPECT_EQ(controller->notify(test::makeMessage("ProcessingModeState", &bad)), kInvalidArgument);
  }
  EXPECT_EQ(controller->notify(test::makeMessage("ProcessingModeState", nullptr)),
            kInvalidArgument);
  EXPECT_EQ(controller->getParamNormalized(ProcessingMode), 1.0);
  EXPECT_EQ(handler.restarts.size(), 1u);
  EXPECT_EQ(controller->notify(test::makeMessage("ProcessingModeState", &two)), kResultOk);
  EXPECT_EQ(handler.restarts.size(), 1u) << "the host already knows this mode's latency";
  EXPECT_NE(controller->notify(test::makeMessage("SomethingElse", &two)), kResultOk);
  EXPECT_EQ(controller->notify(nullptr), kInvalidArgument);
}

}  // namespace
}  // namespace orvane
