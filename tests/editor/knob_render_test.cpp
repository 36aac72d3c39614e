// The knob material's decoding, and the turned knob judged by what it must
// look like, drawn alike by both arithmetic paths.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "editor/knob/material_loader.h"
#include "editor/knob/rotating_material.h"
#include "editor/toolkit/image.h"

namespace orvane::knob {
namespace {

using tk::alphaOf;
using tk::blueOf;
using tk::greenOf;
using tk::pixelWord;
using tk::redOf;

constexpr double kPi = 3.14159265358979323846;

// A PNG of the samples in a libpng simplified-API format (PNG_FORMAT_RGBA,
// PNG_FORMAT_GRAY...), rows top to bottom.
std::vector<std::uint8_t> encodePng(int width, int height, png_uint_32 format, const void* px) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(width);
  image.height = png_uint_32(height);
  image.format = format;
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, px, 0, nullptr);
  std::vector<std::uint8_t> out(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, px, 0, nullptr)) return {};
  out.resize(size);
  return out;
}

const Material& embedded() {
  static const Material m = loadEmbeddedMaterial();
  return m;
}

bool premultiplied(std::uint32_t w) {
  return redOf(w) <= alphaOf(w) && greenOf(w) <= alphaOf(w) && blueOf(w) <= alphaOf(w);
}

// Distance of a pixel centre from the face centre in design units (1/350 of
// the width), with the perspective squash undone.
double faceRadius(double x, double y, double scale) {
  return std::hypot((x + 0.5) - 175 * scale, ((y + 0.5) - 124 * scale) / 0.82) / scale;
}

// Depth in design units below the top edge of the knurled wall, which lies 5
// units under the rim ellipse of radius 114 and is 50 units tall.
double wallDepth(double x, double y, double scale) {
  const double dx = (x + 0.5) / scale - 175;
  return (y + 0.5) / scale - (0.82 * std::sqrt(std::max(0.0, 114 * 114 - dx * dx)) + 129);
}

std::string loadError(const std::vector<std::uint8_t>& bytes) {
  try {
    loadMaterial(bytes.data(), bytes.size());
  } catch (const MaterialError& e) {
    return e.what();
  }
  return "";
}

TEST(MaterialLoading, PremultipliesWithIntegerDivisionAndRejectsOtherLayouts) {
  const std::uint8_t px[] = {200, 100, 50, 128, 255, 255, 255, 0, 9, 8, 7, 255};
  const auto png = encodePng(3, 1, PNG_FORMAT_RGBA, px);
  const Material m = loadMaterial(png.data(), png.size());
  ASSERT_EQ(m.width, 3);
  ASSERT_EQ(m.height, 1);
  EXPECT_EQ(m.words,
            (std::vector<std::uint32_t>{pixelWord(128, 100, 50, 25), 0u, pixelWord(255, 9, 8, 7)}));

  const std::uint8_t rgb[12] = {};
  const std::uint16_t deep[16] = {};
  for (const auto& other :
       {encodePng(2, 2, PNG_FORMAT_RGB, rgb), encodePng(2, 2, PNG_FORMAT_LINEAR_RGB_ALPHA, deep)})
    EXPECT_EQ(loadError(other), "Expected RGBA material");

  std::vector<std::uint8_t> truncated(png.begin(), png.begin() + long(png.size() / 2));
  for (const auto& broken : {std::vector<std::uint8_t>(100, 0x42), truncated})
    EXPECT_EQ(loadError(broken), "Embedded knob material must decode");
  EXPECT_THROW(loadMaterial(nullptr, 0), MaterialError);
}

TEST(MaterialLoading, EmbeddedMaterialIsWhatItsGeneratorMakes) {
  const Material& m = embedded();
  // Named for this process: runs of other builds may be generating at once.
  const std::string out =
      ::testing::TempDir() + "orv_knob_material_" + std::to_string(::getpid()) + ".png";
  ASSERT_EQ(std::system(("\"" ORV_KNOBGEN_PATH "\" \"" + out + "\"").c_str()), 0);
  std::ifstream in(out, std::ios::binary);
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  std::remove(out.c_str());
  EXPECT_TRUE(loadMaterial(bytes.data(), bytes.size()).words == m.words)
      << "regenerate assets/knob_material.png";
}

TEST(KnobRender, FullScaleIsTheMaterialAndEachValueIsComputedOnce) {
  const Material& m = embedded();
  RotatingMaterial rm(m.width, m.height, m.words);
  const std::vector<std::uint32_t> atZero = rm.render(-1.0);
  EXPECT_EQ(rm.computeCount(), 1u);
  EXPECT_FALSE(atZero == m.words);
  rm.render(std::nan(""));
  rm.render(0.0);
  EXPECT_EQ(rm.computeCount(), 1u) << "not a number counts as 0, served from the cache";
  EXPECT_TRUE(rm.render(1.0) == m.words);
  rm.render(0.4);
  EXPECT_TRUE(rm.render(1.7) == m.words) << "values above 1 are full scale";
  EXPECT_EQ(rm.computeCount(), 4u);
  // A material with too few words is made whole; one of no size draws nothing.
  EXPECT_EQ(RotatingMaterial(350, 350, std::vector<std::uint32_t>(10, ~0u)).render(0.5).size(),
            350u * 350u);
  EXPECT_TRUE(RotatingMaterial(0, 350, {}).render(0.2).empty());
}

TEST(KnobRender, OnlyTheFaceAndTheDarkOpaqueWallTurn) {
  const Material& m = embedded();
  const double s = m.width / 350.0;
  RotatingMaterial rm(m.width, m.height, m.words);
  for (double v : {0.0, 0.25, 0.5, 0.77}) {
    const auto& out = rm.render(v);
    int faceChanged = 0, wallChanged = 0;
    for (int y = 0; y < m.height; ++y)
      for (int x = 0; x < m.width; ++x) {
        const std::size_t i = std::size_t(y) * m.width + x;
        const std::uint32_t before = m.words[i], after = out[i];
        ASSERT_TRUE(premultiplied(after)) << x << "," << y;
        if (before == after) continue;
        const double rho = faceRadius(x, y, s);
        ASSERT_GE(rho, 31.0) << "the centre cap never turns, v " << v << " at " << x << "," << y;
        if (rho <= 105.0) {
          ++faceChanged;
          continue;
        }
        ++wallChanged;
        const double depth = wallDepth(x, y, s);
        ASSERT_TRUE(depth >= 0 && depth <= 50) << "beside the wall, at " << x << "," << y;
        ASSERT_GE(alphaOf(before), 250) << "translucent pixels never change, at " << x << "," << y;
        ASSERT_LE(luminance(before), 118.0) << "bright pixels never change, at " << x << "," << y;
        ASSERT_EQ(alphaOf(after), alphaOf(before));
      }
    EXPECT_GT(faceChanged, 20000) << v;
    EXPECT_GT(wallChanged, 5000) << v;
  }
}

TEST(KnobRender, FaceFollowsThePointerOverTheTravel) {
  // A grey face with a red mark where the pointer sits at full scale (lower
  // right, 45 degrees on screen): the mark travels with the pointer, to the
  // top at half scale and to the lower left at zero.
  const int n = 350;
  std::vector<std::uint32_t> px(std::size_t(n) * n);
  const double mx = 175 + 70 * std::cos(kPi / 4), my = 124 + 0.82 * 70 * std::sin(kPi / 4);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x)
      px[std::size_t(y) * n + x] = std::hypot(x + 0.5 - mx, (y + 0.5 - my) / 0.82) < 6
                                       ? pixelWord(252, 252, 0, 0)
                                       : pixelWord(252, 120, 120, 120);
  auto markAngle = [n](const std::vector<std::uint32_t>& img) {
    double sx = 0, sy = 0;
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x)
        if (const std::uint32_t w = img[std::size_t(y) * n + x];
            redOf(w) > 200 && greenOf(w) < 60) {
          sx += x + 0.5 - 175;
          sy += (y + 0.5 - 124) / 0.82;
        }
    return std::atan2(sy, sx) * 180 / kPi;
  };
  RotatingMaterial rm(n, n, px);
  EXPECT_NEAR(markAngle(rm.render(1.0)), 45, 1);
  EXPECT_NEAR(markAngle(rm.render(0.5)), -90, 1.5);
  EXPECT_NEAR(markAngle(rm.render(0.0)), 135, 1.5);
}

TEST(KnobRender, AKnobAlikeAllRoundLooksTheSameWhenTurned) {
  // The face's shade depends only on the distance from its centre and the
  // wall's only on the depth below its top edge, so a turn must give the
  // material back up to rounding: all over the face, and on the middle of the
  // wall wherever the pattern comes from well inside the silhouette (turns
  // close to a multiple of half a turn). A wrong centre, squash, wall edge,
  // row of a sample or blur of the wall's lighting shows here.
  for (const int n : {350, 700}) {
    const double s = n / 350.0;
    std::vector<std::uint32_t> px(std::size_t(n) * n, 0u);
    std::vector<bool> checked(px.size());
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) {
        const double dx = (x + 0.5) / s - 175, rho = faceRadius(x, y, s), t = wallDepth(x, y, s);
        int level = 0;
        if (rho <= 110)
          level = int(std::lround(140 + 100 * std::sin(rho * 2 * kPi / 12)));
        else if (std::fabs(dx) < 114 && t >= -2 && t <= 52)
          level = int(std::lround(60 + 40 * std::sin(t * 2 * kPi / 12)));
        const std::size_t i = std::size_t(y) * n + x;
        if (level) px[i] = pixelWord(252, level, level, level);
        checked[i] = rho <= 110 || (std::fabs(dx) < 55 && t >= 8 && t <= 42);
      }
    RotatingMaterial rm(n, n, px);
    for (double turn : {-200.0, -160.0, -20.0}) {
      const auto& out = rm.render(1 + turn / 270);
      int worst = 0;
      for (std::size_t i = 0; i < px.size(); ++i)
        if (checked[i]) worst = std::max(worst, std::abs(greenOf(out[i]) - greenOf(px[i])));
      EXPECT_LE(worst, 6) << "size " << n << " turn " << turn;
    }
  }
}

TEST(KnobRender, WideAndPortableArithmeticDrawTheSamePicture) {
  const Material& m = embedded();
  RotatingMaterial::allowWideVectors(false);
  RotatingMaterial portable(m.width, m.height, m.words);
  RotatingMaterial::allowWideVectors(true);
  RotatingMaterial wide(m.width, m.height, m.words);
  for (double v : {0.0, 0.1234, 0.5, 0.999}) {
    RotatingMaterial::allowWideVectors(false);
    const std::vector<std::uint32_t> a = portable.render(v);
    RotatingMaterial::allowWideVectors(true);
    EXPECT_TRUE(a == wide.render(v)) << v;
  }
}

}  // namespace
}  // namespace orvane::knob
