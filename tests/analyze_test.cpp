#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "denoiser/nnet_kernels.h"
#include "denoiser/orvane_analyze.h"
#include "support/speech.h"

namespace orvane {
namespace {

constexpr int kFrame = 480;
// Where the library keeps its input high-pass memory (checked by the layout test).
constexpr std::size_t kHighPassOffset = 18320;

struct StateDeleter {
  void operator()(DenoiseState* st) const { rnnoise_destroy(st); }
};
using State = std::unique_ptr<DenoiseState, StateDeleter>;

State newState() {
  State st(rnnoise_create(nullptr));
  if (!st) throw std::runtime_error("rnnoise_create failed");
  return st;
}

std::array<float, 2> highPassMemory(const DenoiseState* st) {
  std::array<float, 2> m;
  std::memcpy(m.data(), reinterpret_cast<const unsigned char*>(st) + kHighPassOffset, sizeof m);
  return m;
}

// The voice recordings joined, scaled to the library's 16-bit full scale and
// cut into whole frames.
std::vector<std::array<float, kFrame>> speechFrames() {
  std::vector<std::array<float, kFrame>> frames;
  for (const auto& rec : test::voiceRecordings()) {
    for (std::size_t i = 0; i + kFrame <= rec.size(); i += kFrame) {
      std::array<float, kFrame> f;
      for (int n = 0; n < kFrame; ++n) f[n] = rec[i + n] * 32768.0f;
      frames.push_back(f);
    }
  }
  return frames;
}

TEST(DenoiserLayout, ArchiveMatchesTheDeclaredLayout) {
  ASSERT_TRUE(orvane_denoiser_layout_ok())
      << "librnnoise.a is not the RNNoise 0.2 build orvane_analyze was written against";
}

// The analysis tests run on each path of the network kernels the processor has.
class Analyze : public testing::TestWithParam<OrvNnetPath> {
 protected:
  void SetUp() override {
    if (!orvane_nnet_select(GetParam())) GTEST_SKIP() << "this processor lacks the path";
  }
  void TearDown() override { orvane_nnet_select(chosen); }

 private:
  const OrvNnetPath chosen = orvane_nnet_path();
};
INSTANTIATE_TEST_SUITE_P(NnetPaths, Analyze, testing::Values(ORV_NNET_BASELINE, ORV_NNET_AVX2),
                         [](const auto& p) {
                           return p.param == ORV_NNET_AVX2 ? "avx2" : "baseline";
                         });

TEST_P(Analyze, SilentFrameGivesZeroGainsAndProbability) {
  State st = newState();
  std::array<float, kFrame> silence{};
  std::array<float, 32> gains;
  gains.fill(0.5f);
  EXPECT_EQ(orvane_analyze(st.get(), gains.data(), silence.data()), 0.0f);
  for (float g : gains) EXPECT_EQ(g, 0.0f);
}

// Drives one state with rnnoise_process_frame and one with orvane_analyze on
// the same frames: the shared first half of the frame processing must agree
// bit for bit (high-pass memory, voice probability), and the gains obey the
// 30 % release cap.
TEST_P(Analyze, MirrorsTheLibraryFrameCall) {
  State lib = newState(), ours = newState();
  const auto frames = speechFrames();
  ASSERT_GT(frames.size(), 500u);
  std::array<float, kFrame> out;
  std::array<float, 32> gains{}, prev{};
  int voiced = 0, silentFrames = 0, capped = 0;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const float vadLib = rnnoise_process_frame(lib.get(), out.data(), frames[i].data());
    const float vad = orvane_analyze(ours.get(), gains.data(), frames[i].data());
    ASSERT_EQ(vad, vadLib) << "frame " << i;
    ASSERT_EQ(highPassMemory(ours.get()), highPassMemory(lib.get())) << "frame " << i;
    // A silent frame resets every gain to 0; otherwise no band falls below
    // 30 % of its previous value.
    // (The network's own probability can also round to 0, so a silent frame
    // is one with every gain 0 as well.)
    bool silent = vad == 0.0f;
    for (float g : gains) silent = silent && g == 0.0f;
    for (int b = 0; b < 32; ++b) {
      if (!silent) {
        ASSERT_GE(gains[b], 0.3f * prev[b]) << "frame " << i << " band " << b;
      }
      capped += !silent && prev[b] > 0.0f && gains[b] == 0.3f * prev[b];
      ASSERT_GE(gains[b], 0.0f);
      ASSERT_LE(gains[b], 1.0f);
    }
    voiced += vad > 0.5f;
    silentFrames += silent;
    prev = gains;
  }
  EXPECT_GT(voiced, 100) << "the recordings should hold plenty of voiced frames";
  // Both special branches must have been exercised for the checks to mean much.
  EXPECT_GT(silentFrames, 0);
  EXPECT_GT(capped, 0);
}

TEST_P(Analyze, FirstFrameGainsAreTheNetworkOutput) {
  // From a fresh state nothing caps the first non-silent frame, in either the
  // library (60 % of 0) or here (30 % of 0): the gains must be identical, which
  // proves the network is called with the same model, memory and CPU choice.
  State lib = newState(), ours = newState();
  const auto frames = speechFrames();
  std::array<float, kFrame> out;
  std::array<float, 32> gains;
  const std::size_t loud = 40;  // well inside the first recording's speech
  rnnoise_process_frame(lib.get(), out.data(), frames[loud].data());
  ASSERT_NE(orvane_analyze(ours.get(), gains.data(), frames[loud].data()), 0.0f);
  std::array<float, 32> libGains;
  std::memcpy(libGains.data(),
              reinterpret_cast<const unsigned char*>(lib.get()) + kHighPassOffset + 8,
              sizeof libGains);
  EXPECT_EQ(gains, libGains);
}

TEST_P(Analyze, InitInPlaceBehavesLikeANewState) {
  State used = newState(), fresh = newState();
  const auto frames = speechFrames();
  std::array<float, 32> g1, g2;
  for (std::size_t i = 0; i < 60; ++i) orvane_analyze(used.get(), g1.data(), frames[i].data());
  ASSERT_EQ(rnnoise_init(used.get(), nullptr), 0);
  for (std::size_t i = 60; i < 160; ++i) {
    ASSERT_EQ(orvane_analyze(used.get(), g1.data(), frames[i].data()),
              orvane_analyze(fresh.get(), g2.data(), frames[i].data()))
        << i;
    ASSERT_EQ(g1, g2) << i;
  }
}

TEST_P(Analyze, SpeechScoresFarAboveLowNoise) {
  // Per recording: mean voice probability over its loud frames, against the
  // same frames replaced by quiet pink noise (-60 dBFS), on fresh states.
  const auto& recordings = test::voiceRecordings();
  std::array<float, 32> gains;
  for (std::size_t r = 0; r < recordings.size(); ++r) {
    const auto& rec = recordings[r];
    const auto noise = test::pinkNoise(rec.size(), 0.001f, 100 + r);
    State speechState = newState(), noiseState = newState();
    double speechSum = 0, noiseSum = 0;
    int loud = 0;
    for (std::size_t i = 0; i + kFrame <= rec.size(); i += kFrame) {
      const bool isLoud = test::rms(&rec[i], kFrame) > 0.02f;
      std::array<float, kFrame> s, n;
      for (int k = 0; k < kFrame; ++k) {
        s[k] = rec[i + k] * 32768.0f;
        n[k] = (isLoud ? noise[i + k] : rec[i + k]) * 32768.0f;
      }
      const float vs = orvane_analyze(speechState.get(), gains.data(), s.data());
      const float vn = orvane_analyze(noiseState.get(), gains.data(), n.data());
      if (isLoud) {
        speechSum += vs;
        noiseSum += vn;
        ++loud;
      }
    }
    ASSERT_GT(loud, 10) << r;
    const double speech = speechSum / loud, quiet = noiseSum / loud;
    EXPECT_GT(speech, 0.6) << "recording " << r;
    EXPECT_LT(quiet, 0.2) << "recording " << r;
    EXPECT_GT(speech - quiet, 0.5) << "recording " << r;
  }
}

}  // namespace
}  // namespace orvane
