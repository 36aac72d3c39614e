#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "editor/knob/logo.h"
#include "editor/knob/material_loader.h"
#include "editor/knob/orv_material.h"
#include "editor/knob/rotating_material.h"
#include "png_test_util.h"

namespace orvane::knob {
namespace {

using tk::alphaOf;
using tk::blueOf;
using tk::greenOf;
using tk::pixelWord;
using tk::redOf;

const Material& embedded() {
  static const Material m = loadEmbeddedMaterial();
  return m;
}

// Design-unit polar position of a pixel centre relative to the face centre,
// with the perspective squash undone.
double faceRadius(int x, int y, double scale) {
  return std::hypot((x + 0.5) - 175 * scale, ((y + 0.5) - 124 * scale) / 0.82) / scale;
}

// ---- loading --------------------------------------------------------------------

TEST(MaterialLoading, EmbeddedMaterialHasTheExpectedLayout) {
  const Material& m = embedded();
  ASSERT_EQ(m.width, 700);
  ASSERT_EQ(m.height, 700);
  ASSERT_EQ(m.words.size(), 700u * 700u);
  EXPECT_EQ(m.words[0], 0u) << "background is transparent";
  EXPECT_EQ(m.words[699], 0u);
  int opaque = 0;
  for (std::uint32_t w : m.words) {
    const int a = alphaOf(w);
    if (a >= 250) {
      EXPECT_TRUE(a == 252 || a == 253) << a;
      ++opaque;
    }
    ASSERT_LE(redOf(w), a);
    ASSERT_LE(greenOf(w), a);
    ASSERT_LE(blueOf(w), a);
  }
  EXPECT_GT(opaque, 200000);
  // Face centre and wall front are opaque; the wall is dark.
  EXPECT_GE(alphaOf(m.words[248 * 700 + 350]), 252);
  const std::uint32_t wall = m.words[490 * 700 + 350];
  EXPECT_GE(alphaOf(wall), 252);
  EXPECT_LT(luminance(wall), 118);
}

TEST(MaterialLoading, PremultipliesStraightRgbaWithIntegerDivision) {
  const std::uint8_t px[] = {200, 100, 50, 128, 255, 255, 255, 0, 9, 8, 7, 255};
  const auto png = testing::encodePng(3, 1, PNG_FORMAT_RGBA, px);
  ASSERT_FALSE(png.empty());
  const Material m = loadMaterial(png.data(), png.size());
  ASSERT_EQ(m.width, 3);
  ASSERT_EQ(m.height, 1);
  EXPECT_EQ(m.words[0], pixelWord(128, 100, 50, 25));  // 200*128/255 = 100.39, 50*128/255 = 25.1
  EXPECT_EQ(m.words[1], 0u);
  EXPECT_EQ(m.words[2], pixelWord(255, 9, 8, 7));
}

TEST(MaterialLoading, RejectsWhatIsNotEightBitRgba) {
  const std::uint8_t grey[4] = {1, 2, 3, 4};
  const std::uint8_t rgb[12] = {};
  const std::uint16_t deep[16] = {};
  for (const auto& png : {testing::encodePng(2, 2, PNG_FORMAT_GRAY, grey),
                          testing::encodePng(2, 2, PNG_FORMAT_RGB, rgb),
                          testing::encodePng(2, 2, PNG_FORMAT_LINEAR_RGB_ALPHA, deep)}) {
    ASSERT_FALSE(png.empty());
    try {
      loadMaterial(png.data(), png.size());
      ADD_FAILURE() << "accepted";
    } catch (const MaterialError& e) {
      EXPECT_STREQ(e.what(), "Expected RGBA material");
    }
  }
}

TEST(MaterialLoading, RejectsBytesThatDoNotDecode) {
  const std::uint8_t px[16] = {};
  auto png = testing::encodePng(2, 2, PNG_FORMAT_RGBA, px);
  const std::vector<std::uint8_t> garbage(100, 0x42);
  std::vector<std::uint8_t> truncated(png.begin(), png.begin() + long(png.size() / 2));
  std::vector<std::uint8_t> corrupt = png;
  corrupt[corrupt.size() - 20] ^= 0xff;  // inside the image data or its checksum
  const std::vector<std::uint8_t>* inputs[] = {&garbage, &truncated, &corrupt};
  for (const auto* bytes : inputs) {
    try {
      loadMaterial(bytes->data(), bytes->size());
      ADD_FAILURE() << "accepted";
    } catch (const MaterialError& e) {
      EXPECT_STREQ(e.what(), "Embedded knob material must decode");
    }
  }
  EXPECT_THROW(loadMaterial(nullptr, 0), MaterialError);
}

TEST(MaterialLoading, GeneratorReproducesTheCommittedMaterial) {
  const std::string out = ::testing::TempDir() + "orv_knob_material.png";
  const std::string cmd = std::string("\"") + ORV_KNOBGEN_PATH + "\" \"" + out + "\"";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  FILE* f = std::fopen(out.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::vector<std::uint8_t> bytes;
  for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(std::uint8_t(c));
  std::fclose(f);
  std::remove(out.c_str());
  const Material fresh = loadMaterial(bytes.data(), bytes.size());
  EXPECT_TRUE(fresh.words == embedded().words) << "regenerate assets/knob_material.png";
}

// ---- sampling and blur ----------------------------------------------------------

std::vector<std::uint32_t> noiseImage(int w, int h) {
  std::vector<std::uint32_t> px(std::size_t(w) * h);
  std::uint32_t s = 12345;
  for (auto& p : px) {
    s = s * 1664525u + 1013904223u;
    const int a = int(s >> 24);
    p = pixelWord(a, (a * int((s >> 16) & 0xff)) / 255, (a * int((s >> 8) & 0xff)) / 255,
                  (a * int(s & 0xff)) / 255);
  }
  return px;
}

TEST(Sampling, WholePointsReturnThePixelAndEdgesRepeat) {
  const int w = 35, h = 20;
  const RotatingMaterial rm(w, h, noiseImage(w, h));
  const auto& img = rm.material();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      ASSERT_EQ(rm.sample(img, x, y), img[std::size_t(y) * w + x]) << x << "," << y;
  // Beyond the right and bottom edges the edge pixels repeat; before the
  // left and top ones, the first.
  EXPECT_EQ(rm.sample(img, w - 0.5, 3), img[3 * w + w - 1]);
  EXPECT_EQ(rm.sample(img, w + 40.0, h + 40.0), img.back());
  EXPECT_EQ(rm.sample(img, 4, h - 0.25), img[std::size_t(h - 1) * w + 4]);
  EXPECT_EQ(rm.sample(img, -3, -7), img[0]);
  EXPECT_EQ(rm.sample(img, std::nan(""), std::nan("")), img[0]);
  EXPECT_EQ(rm.sample(img, INFINITY, -INFINITY), img[w - 1]);
}

TEST(Sampling, BlendsRowsRoundedToBytes) {
  // 2 x 2: channel values chosen so that rounding each row first matters.
  std::vector<std::uint32_t> px = {pixelWord(10, 10, 0, 0), pixelWord(21, 21, 0, 0),
                                   pixelWord(10, 10, 0, 0), pixelWord(20, 20, 0, 0)};
  const RotatingMaterial rm(2, 2, px);
  // Top row at 0.5: 15.5 -> 16; bottom row 15; halfway down: 15.5 -> 16.
  EXPECT_EQ(rm.sample(rm.material(), 0.5, 0), pixelWord(16, 16, 0, 0));
  EXPECT_EQ(rm.sample(rm.material(), 0.5, 1), pixelWord(15, 15, 0, 0));
  EXPECT_EQ(rm.sample(rm.material(), 0.5, 0.5), pixelWord(16, 16, 0, 0));
  // An image of another size samples as transparent rather than reading past it.
  EXPECT_EQ(rm.sample(std::vector<std::uint32_t>(3, 0xffffffffu), 1, 1), 0u);
}

TEST(LightingBlur, BoxSizeFollowsTheMaterialScale) {
  // A bright full-height column spreads over 2r + 1 columns, a bright
  // full-width row over 2r + 1 rows: r = 5 units of scale, but 2 pixels when
  // that would be under 3.
  struct Case {
    int size, radius;
  } cases[] = {{350, 5}, {700, 10}, {100, 2}, {210, 3}};
  for (const Case& c : cases) {
    const int mid = c.size / 2;
    const int expected = 255 / (2 * c.radius + 1);
    std::vector<std::uint32_t> column(std::size_t(c.size) * c.size, 0u), row = column;
    for (int i = 0; i < c.size; ++i) {
      column[std::size_t(i) * c.size + mid] = pixelWord(255, 255, 255, 255);
      row[std::size_t(mid) * c.size + i] = pixelWord(255, 255, 255, 255);
    }
    const RotatingMaterial byColumn(c.size, c.size, column), byRow(c.size, c.size, row);
    for (int d = -c.radius - 2; d <= c.radius + 2; ++d) {
      const int want = std::abs(d) <= c.radius ? expected : 0;
      ASSERT_EQ(alphaOf(byColumn.blurred()[std::size_t(mid) * c.size + mid + d]), want)
          << c.size << " dx " << d;
      ASSERT_EQ(redOf(byRow.blurred()[std::size_t(mid + d) * c.size + mid]), want)
          << c.size << " dy " << d;
    }
  }
}

TEST(LightingBlur, UniformImageStaysUniformUpToTheEdges) {
  std::vector<std::uint32_t> px(60 * 40, pixelWord(200, 100, 50, 25));
  const RotatingMaterial rm(60, 40, px);
  EXPECT_EQ(rm.blurred(), rm.material());
}

// ---- rendering ------------------------------------------------------------------

TEST(KnobRender, FullScaleIsTheMaterialWordForWord) {
  RotatingMaterial rm(embedded().width, embedded().height, embedded().words);
  EXPECT_TRUE(rm.render(1.0) == embedded().words);
  rm.render(0.4);
  EXPECT_TRUE(rm.render(1.7) == embedded().words) << "values above 1 are full scale";
}

TEST(KnobRender, SameValueIsServedFromTheCache) {
  RotatingMaterial rm(embedded().width, embedded().height, embedded().words);
  const auto first = rm.render(0.3);
  EXPECT_EQ(rm.computeCount(), 1u);
  const auto& again = rm.render(0.3);
  EXPECT_EQ(rm.computeCount(), 1u);
  EXPECT_TRUE(again == first);
  rm.render(0.31);
  EXPECT_EQ(rm.computeCount(), 2u);
}

TEST(KnobRender, FreshRendererComputesEvenForValuesClampedToZero) {
  RotatingMaterial a(embedded().width, embedded().height, embedded().words);
  RotatingMaterial b(embedded().width, embedded().height, embedded().words);
  EXPECT_EQ(a.lastValue(), -1.0);
  const auto& fromNegative = a.render(-1.0);
  EXPECT_EQ(a.computeCount(), 1u);
  EXPECT_EQ(a.lastValue(), 0.0);
  EXPECT_TRUE(fromNegative == b.render(0.0));
  EXPECT_FALSE(fromNegative == embedded().words);
  // Not a number is treated as 0 (served from the cache here).
  a.render(std::nan(""));
  EXPECT_EQ(a.computeCount(), 1u);
}

TEST(KnobRender, OnlyTheFaceAndDarkOpaqueWallPixelsChange) {
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
        ASSERT_LE(redOf(after), alphaOf(after)) << "premultiplied colour cannot exceed alpha";
        ASSERT_LE(greenOf(after), alphaOf(after));
        ASSERT_LE(blueOf(after), alphaOf(after));
        if (before == after) continue;
        const double rho = faceRadius(x, y, s);
        ASSERT_GE(rho, 31.0) << "the centre cap never turns, v " << v << " at " << x << "," << y;
        if (rho <= 105.0) {
          ++faceChanged;
          continue;
        }
        ++wallChanged;
        ASSERT_GE(alphaOf(before), 250) << "translucent pixels never change, at " << x << "," << y;
        ASSERT_LE(luminance(before), 118.0) << "bright pixels never change, at " << x << "," << y;
        ASSERT_EQ(alphaOf(after), alphaOf(before));
      }
    EXPECT_GT(faceChanged, 20000) << v;
    EXPECT_GT(wallChanged, 5000) << v;
  }
}

// A material of scale 1 with a grey face and one red mark on it.
std::vector<std::uint32_t> markedFace(double markAngleDeg) {
  const int n = 350;
  std::vector<std::uint32_t> px(std::size_t(n) * n, 0u);
  const double a = markAngleDeg * 3.14159265358979323846 / 180;
  const double mx = 175 + 70 * std::cos(a), my = 124 + 0.82 * 70 * std::sin(a);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const bool mark = std::hypot(x + 0.5 - mx, (y + 0.5 - my) / 0.82) < 6;
      px[std::size_t(y) * n + x] = mark ? pixelWord(252, 252, 0, 0) : pixelWord(252, 120, 120, 120);
    }
  return px;
}

// Centre of the red pixels, as an angle on the face in degrees (y down).
double markAngle(const std::vector<std::uint32_t>& px) {
  double sx = 0, sy = 0, count = 0;
  for (int y = 0; y < 350; ++y)
    for (int x = 0; x < 350; ++x) {
      const std::uint32_t w = px[std::size_t(y) * 350 + x];
      if (redOf(w) > 200 && greenOf(w) < 60) {
        sx += x + 0.5;
        sy += y + 0.5;
        ++count;
      }
    }
  if (count == 0) return NAN;
  return std::atan2((sy / count - 124) / 0.82, sx / count - 175) * 180 / 3.14159265358979323846;
}

TEST(KnobRender, FaceFollowsThePointerOverTheTravel) {
  // A mark where the pointer sits at full scale (lower right, 45 degrees on
  // screen) must travel with it: to the top at half scale, to the lower left
  // at zero.
  RotatingMaterial rm(350, 350, markedFace(45));
  EXPECT_NEAR(markAngle(rm.render(1.0)), 45, 1);
  EXPECT_NEAR(markAngle(rm.render(0.5)), -90, 1.5);
  EXPECT_NEAR(markAngle(rm.render(0.0)), 135, 1.5);
  EXPECT_NEAR(markAngle(rm.render(0.75)), -22.5, 1.5);
}

TEST(KnobRender, MismatchedPixelCountsAreMadeSafe) {
  RotatingMaterial small(350, 350, std::vector<std::uint32_t>(10, 0xfcfcfcfcu));
  EXPECT_EQ(small.material().size(), 350u * 350u);
  EXPECT_EQ(small.render(0.5).size(), 350u * 350u);
  RotatingMaterial empty(0, 350, {});
  EXPECT_TRUE(empty.render(0.2).empty());
}

// ---- emblem and images ------------------------------------------------------------

TEST(Emblem, NamedPixels) {
  const auto& px = logo();
  ASSERT_EQ(px.size(), 96u * 96u);
  EXPECT_EQ(px[47 * 96 + 47], pixelWord(255, 238, 246, 255)) << "on the longest bar";
  EXPECT_EQ(px[47 * 96 + 11], pixelWord(255, 105, 185, 255)) << "on the arc";
  EXPECT_EQ(px[0], 0u);
  EXPECT_EQ(&logo(), &px) << "built once";
  for (std::uint32_t w : px) {
    ASSERT_LE(redOf(w), alphaOf(w));
    ASSERT_LE(blueOf(w), alphaOf(w));
  }
  // The arc opens to the right: its mouth between the bar ends is empty.
  EXPECT_EQ(px[47 * 96 + 94], 0u);
}

TEST(OrvMaterialImage, CopiesOrRefersToTheWords) {
  std::vector<std::uint32_t> px(16, pixelWord(255, 1, 2, 3));
  auto copied = ORVMaterial(px, 4, true);
  auto referring = ORVMaterial(px, 4, false);
  ASSERT_TRUE(copied && referring);
  EXPECT_EQ(copied->pixelWidth(), 4);
  EXPECT_EQ(copied->size().width, 4.0);
  EXPECT_EQ(copied->pixel(3, 3), px[15]);
  px[5] = pixelWord(255, 9, 9, 9);
  EXPECT_EQ(copied->pixel(1, 1), pixelWord(255, 1, 2, 3));
  EXPECT_EQ(referring->pixel(1, 1), pixelWord(255, 9, 9, 9));
  EXPECT_EQ(ORVMaterial(px, 5, true), nullptr) << "25 words needed, 16 given";
  EXPECT_EQ(ORVMaterial(px, 0, true), nullptr);
}

// ---- the optimised passes against a plain transcription of the algorithm ----------

namespace reference {

int toByte(double z) {
  return z + 0.5 < 0 ? 0 : int(std::min(z + 0.5, 255.0));
}
int clip(double z) {
  return z < 0 ? 0 : int(std::min(z, 255.0));
}
int ch(std::uint32_t w, int c) {
  return int((w >> (8 * c)) & 0xff);
}
double clamp01(double v) {
  return std::min(std::max(v, 0.0), 1.0);
}

std::uint32_t sample(const std::vector<std::uint32_t>& img, int w, int h, double x, double y) {
  const double xc = x < 0 ? 0 : std::min(x, double(w - 1)),
               yc = y < 0 ? 0 : std::min(y, double(h - 1));
  const int x0 = int(xc), y0 = int(yc), x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
  const double fx = xc - x0, fy = yc - y0;
  auto p = [&](int px, int py) { return img[std::size_t(py) * w + px]; };
  std::uint32_t out = 0;
  for (int c = 0; c < 4; ++c) {
    const int top = toByte(ch(p(x0, y0), c) + (ch(p(x1, y0), c) - ch(p(x0, y0), c)) * fx);
    const int bottom = toByte(ch(p(x0, y1), c) + (ch(p(x1, y1), c) - ch(p(x0, y1), c)) * fx);
    out |= std::uint32_t(toByte(top + (bottom - top) * fy)) << (8 * c);
  }
  return out;
}

// Every pixel visited, no precomputation, hypot for the radius.
std::vector<std::uint32_t> render(const RotatingMaterial& rm, double v) {
  const auto& mat = rm.material();
  const auto& blur = rm.blurred();
  const int W = rm.width(), H = rm.height();
  const double s = rm.scale(), cx = 175 * s, cy = 124 * s, R = 105 * s, R2 = 114 * s,
               pi = std::acos(-1.0);
  std::vector<std::uint32_t> out = mat;
  const double th = (v * 270 + 135 - 405) * pi / 180;
  if (std::fabs(th) < 1e-12) return out;
  const double sn = std::sin(th), cs = std::cos(th);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const double dx = x + 0.5 - cx, dy = (y + 0.5 - cy) / 0.82, rho = std::hypot(dx, dy);
      if (rho < 31 * s || rho > R) continue;
      const double w = std::min(clamp01((R - rho) / s), clamp01((rho - 31 * s) / (6 * s)));
      const std::uint32_t q =
          sample(mat, W, H, cs * dx + sn * dy + cx - 0.5, 0.82 * (cs * dy - sn * dx) + cy - 0.5);
      const std::uint32_t m = mat[std::size_t(y) * W + x];
      std::uint32_t o = 0;
      for (int c = 0; c < 4; ++c)
        o |= std::uint32_t(toByte(ch(m, c) + (ch(q, c) - ch(m, c)) * w)) << (8 * c);
      out[std::size_t(y) * W + x] = o;
    }
  for (int x = int(cx - R2) + 1; x < int(cx + R2); ++x) {
    const double dx = x + 0.5 - cx;
    const double phi = std::remainder(std::asin(dx / R2) - th, pi);
    const double sx = R2 * std::sin(phi) + cx - 0.5;
    const double top = 0.82 * std::sqrt(R2 * R2 - dx * dx) + cy + 5 * s;
    const double srcTop = 0.82 * R2 * std::cos(phi) + cy + 5 * s;
    for (int y = 0; y < H; ++y) {
      const double t = y + 0.5 - top;
      if (t < 0 || t > 50 * s) continue;
      const std::size_t i = std::size_t(y) * W + x;
      const std::uint32_t m = mat[i];
      const double L = luminance(m), Lb = luminance(blur[i]);
      const double Lq = luminance(sample(blur, W, H, sx, srcTop + t - 0.5));
      if (ch(m, 3) < 250 || L > 118 || Lq < 3 || L < 1 || Lb < 1) continue;
      const double Ls = luminance(sample(mat, W, H, sx, srcTop + t - 0.5));
      const double g = std::min(std::max((Lb * (Ls / Lq)) / L, 0.23), 3.5);
      const double f = clamp01(std::min(
          {std::min(t / (4 * s), 1.0), (50 * s - t) / (4 * s), (R2 - std::fabs(dx)) / (3 * s)}));
      std::uint32_t o = std::uint32_t(ch(m, 3)) << 24;
      for (int c = 0; c < 3; ++c) {
        const int shaded =
            std::min(clip(g * ch(m, c)), ch(m, 3));  // premultiplied: never above alpha
        o |= std::uint32_t(toByte(ch(m, c) + (shaded - ch(m, c)) * f)) << (8 * c);
      }
      out[i] = o;
    }
  }
  return out;
}

}  // namespace reference

TEST(KnobRender, MatchesAPlainTranscriptionOfTheAlgorithm) {
  // Both the portable and (where the processor has it) the AVX2 arithmetic.
  for (bool wide : {false, true}) {
    RotatingMaterial::allowWideVectors(wide);
    RotatingMaterial rm(embedded().width, embedded().height, embedded().words);
    for (double v : {0.0, 0.1234, 0.5, 0.9, 0.999}) {
      const auto expected = reference::render(rm, v);
      const auto& got = rm.render(v);
      std::size_t differing = 0;
      for (std::size_t i = 0; i < got.size(); ++i) differing += got[i] != expected[i];
      EXPECT_EQ(differing, 0u) << "value " << v << (wide ? " (wide)" : " (portable)");
    }
  }
  RotatingMaterial::allowWideVectors(true);
}

TEST(Sampling, MatchesThePlainFormulaAtRandomPoints) {
  const int w = 64, h = 48;
  const RotatingMaterial rm(w, h, noiseImage(w, h));
  std::uint32_t seed = 99;
  auto next = [&] {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) / double(1 << 24);
  };
  for (int i = 0; i < 20000; ++i) {
    const double x = next() * (w + 4) - 2, y = next() * (h + 4) - 2;
    ASSERT_EQ(rm.sample(rm.material(), x, y), reference::sample(rm.material(), w, h, x, y))
        << x << "," << y;
  }
}

}  // namespace
}  // namespace orvane::knob
