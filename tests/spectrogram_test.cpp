// Spectrograms read as their axes and colour bar say, at every rate: a sine
// at its height and level, silence at the floor, an onset at its tick.
#include "spectrogram.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>

#include "audio_file.h"

namespace orvane::host {
namespace {

// `seconds` of a sine at `hz` and `db` dBFS, silent before `onset`.
std::vector<float> tone(int rate, double seconds, double hz, double db, double onset = 0) {
  std::vector<float> x(static_cast<std::size_t>(rate * seconds));
  for (std::size_t i = static_cast<std::size_t>(rate * onset); i < x.size(); ++i)
    x[i] = static_cast<float>(std::pow(10, db / 20) * std::sin(2 * M_PI * hz * double(i) / rate));
  return x;
}

// The level whose colour on the bar is nearest the pixel's.
double levelOf(const Spectrogram& s, std::uint32_t pixel) {
  const tk::Rect bar = s.layout.colourBar();
  double best = 1e9, level = 0;
  for (int step = 0; step <= (s.topDb - s.bottomDb) * 4; ++step) {
    const double db = s.bottomDb + step / 4.0;
    const double y = std::min(s.layout.yForDb(db, s.topDb, s.bottomDb), bar.maxY() - 1);
    const std::uint32_t c = s.image->pixel(int(bar.midX()), int(y));
    const double d = std::pow(tk::redOf(c) - tk::redOf(pixel), 2) +
                     std::pow(tk::greenOf(c) - tk::greenOf(pixel), 2) +
                     std::pow(tk::blueOf(c) - tk::blueOf(pixel), 2);
    if (d < best) best = d, level = db;
  }
  return level;
}

double luma(std::uint32_t c) {
  return 0.299 * tk::redOf(c) + 0.587 * tk::greenOf(c) + 0.114 * tk::blueOf(c);
}

// A stereo pair in opposite phase still shows its level: both channels'
// power is drawn, not a sum that cancels.
TEST(Spectrogram, SineShowsAtItsFrequencyAndLevelAndSilenceAtTheFloor) {
  const struct {
    int rate, channels;
    double hz;
  } cases[] = {{8000, 1, 1000}, {44100, 2, 1000}, {192000, 1, 30000}};
  for (const auto& c : cases) {
    const std::vector<float> x = tone(c.rate, 1.0, c.hz, -20);
    std::vector<std::vector<float>> sine{x}, silence{std::vector<float>(x.size())};
    if (c.channels == 2) {
      sine.push_back(x);
      for (float& v : sine[1]) v = -v;
    }
    SpectrogramPicture picture{c.rate, "test", {}};
    picture.bands.push_back({"sine", memorySignal(sine)});
    picture.bands.push_back({"silence", memorySignal(silence)});
    const Spectrogram s = drawSpectrogram(picture);
    const tk::Rect plot = s.layout.plot(0);
    const int x0 = int(s.layout.xForSeconds(0.5));
    int brightest = int(plot.y);
    for (int y = int(plot.y); y < int(plot.maxY()); ++y)
      if (luma(s.image->pixel(x0, y)) > luma(s.image->pixel(x0, brightest))) brightest = y;
    EXPECT_NEAR(brightest + 0.5, s.layout.yForHz(0, c.hz), 1.5) << c.rate;
    EXPECT_NEAR(levelOf(s, s.image->pixel(x0, brightest)), -20, 1.5) << c.rate;
    const tk::Rect quiet = s.layout.plot(1);
    for (int y = int(quiet.y); y < int(quiet.maxY()); y += 7)
      for (int col = int(quiet.x); col < int(quiet.maxX()); col += 13)
        ASSERT_LE(levelOf(s, s.image->pixel(col, y)), s.bottomDb + 1) << c.rate;
    // Lighter all the way up the bar, so greyscale keeps the order.
    const tk::Rect bar = s.layout.colourBar();
    for (int y = int(bar.maxY()) - 1; y > int(bar.y); --y)
      ASSERT_GE(luma(s.image->pixel(int(bar.midX()), y - 1)),
                luma(s.image->pixel(int(bar.midX()), y)));
  }
}

TEST(Spectrogram, OnsetShowsAtItsTimeTick) {
  const std::vector<std::vector<float>> x{tone(48000, 2.0, 1000, -20, 1.0)};
  SpectrogramPicture picture{48000, "test", {}};
  picture.bands.push_back({"tone from 1 s", memorySignal(x)});
  const Spectrogram s = drawSpectrogram(picture);
  const int y = int(s.layout.yForHz(0, 1000));
  EXPECT_LE(levelOf(s, s.image->pixel(int(s.layout.xForSeconds(0.975)), y)), s.bottomDb + 1);
  EXPECT_NEAR(levelOf(s, s.image->pixel(int(s.layout.xForSeconds(1.025)), y)), -20, 1.5);
}

// The tool draws its pictures from the files, read column by column: the
// same samples in memory give the same picture, edges included.
TEST(Spectrogram, FileDrawsAsTheSameSamplesInMemory) {
  const std::vector<float> x = tone(8000, 1.0, 1000, -20);
  const std::vector<std::vector<float>> stereo{x, tone(8000, 1.0, 3000, -30)};
  const std::string path =
      ::testing::TempDir() + "spectrogram-source-" + std::to_string(::getpid()) + ".wav";
  writeAudio(path, Audio{8000, stereo});
  std::vector<std::uint32_t> pictures[2];
  for (auto& pixels : pictures) {
    SpectrogramPicture picture{8000, "test", {}};
    picture.bands.push_back(
        {"tone", &pixels == pictures ? fileSignal(path) : memorySignal(stereo)});
    pixels = drawSpectrogram(picture).image->pixelWords();
  }
  std::remove(path.c_str());
  EXPECT_TRUE(pictures[0] == pictures[1]);
}

}  // namespace
}  // namespace orvane::host
