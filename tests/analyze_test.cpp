#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "denoiser/orvane_analyze.h"
#include "support/speech.h"

namespace orvane {
namespace {

constexpr int kFrame = 480;
// Where the library keeps its input high-pass memory (checked by the layout test).
constexpr std::size_t kHighPassOffset = 18320;

using State = std::unique_ptr<DenoiseState, void (*)(DenoiseState*)>;
State newState() {
  return State(rnnoise_create(nullptr), rnnoise_destroy);
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

// (The analysis runs on the processor's own network path; both paths equal
// the library's kernels bit for bit, which orvane_nnet_tests checks.)
TEST(Analyze, SilentFrameGivesZeroGainsAndProbability) {
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
TEST(Analyze, MirrorsTheLibraryFrameCall) {
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

TEST(Analyze, InitInPlaceBehavesLikeANewState) {
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

}  // namespace
}  // namespace orvane
