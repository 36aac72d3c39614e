#include "editor/knob/rotating_material.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// The wide path needs a compiler that can target AVX2 per function.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define ORV_WIDE_VECTORS 1
#include <immintrin.h>
#else
#define ORV_WIDE_VECTORS 0
#endif

namespace orvane::knob {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Design-unit geometry of the material (see the header).
constexpr double kFaceCentreX = 175;
constexpr double kFaceCentreY = 124;
constexpr double kFaceRadius = 105;
constexpr double kRimRadius = 114;
constexpr double kCapRadius = 31;
constexpr double kSquash = 0.82;   // vertical/horizontal ratio of the perspective view
constexpr double kCapFeather = 6;  // units over which the turned face fades in at the cap
constexpr double kWallOffset = 5;  // the wall starts this far below the rim
constexpr double kWallHeight = 50;
constexpr double kWallFeatherY = 4;  // fade at the wall's top and bottom
constexpr double kWallFeatherX = 3;  // fade at the wall's silhouette
// The wall pass only retouches dark, opaque knurling: highlights and the
// anti-aliased silhouette keep the material's pixels.
constexpr int kOpaqueAlpha = 250;
constexpr double kBrightLuminance = 118;
// Below this blurred luminance the detail ratio of a source point is mostly
// quantisation noise, so such points are not copied.
constexpr double kMinSourceLuminance = 3;
// The detail gain is bounded so that a speck in the source can neither crush
// a pixel to black nor blow it out.
constexpr double kMinGain = 0.23;
constexpr double kMaxGain = 3.5;

inline int channel(std::uint32_t w, int c) {
  return static_cast<int>((w >> (8 * c)) & 0xffu);
}

inline double clamp01(double v) {
  return v < 0 ? 0 : (v > 1 ? 1 : v);
}

// Rounds a value known to lie in [0, 255] to the nearest byte. The general
// rounding (0 below -0.5, 255 from 254.5 up) is never needed: every value
// rounded here is a blend of two bytes.
inline std::uint32_t roundInRange(double z) {
  return static_cast<std::uint32_t>(z + 0.5);  // NOLINT(bugprone-incorrect-roundings): z >= 0
}

// Blends two words channel by channel at fraction f, rounding each channel;
// channels of a blend of bytes stay within [0, 255].
inline std::uint32_t lerpWords(std::uint32_t p, std::uint32_t q, double f) {
  std::uint32_t out = 0;
  for (int c = 0; c < 32; c += 8) {
    const int a = static_cast<int>((p >> c) & 0xffu), b = static_cast<int>((q >> c) & 0xffu);
    out |= roundInRange(a + (b - a) * f) << c;
  }
  return out;
}

// Channel arithmetic in two widths with the same results: packed and scalar
// IEEE double operations round identically (no fused multiply-add), so every
// variant produces the bytes of lerpWords.
//   NarrowOps: SSE2, two channels per operation (plain C++ elsewhere);
//   WideOps:   AVX2, all four channels per operation, chosen at run time.
struct NarrowOps {
#if defined(__SSE2__)
  static __m128i channels(std::uint32_t w) {
    const __m128i zero = _mm_setzero_si128();
    return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(w)), zero),
                              zero);
  }
  static __m128i lerp(__m128i a, __m128i b, __m128d f) {
    const __m128i d = _mm_sub_epi32(b, a);
    const __m128d half = _mm_set1_pd(0.5);
    const __m128d lo =
        _mm_add_pd(_mm_add_pd(_mm_cvtepi32_pd(a), _mm_mul_pd(_mm_cvtepi32_pd(d), f)), half);
    const __m128d hi =
        _mm_add_pd(_mm_add_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(a, 0x0e)),
                              _mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(d, 0x0e)), f)),
                   half);
    return _mm_unpacklo_epi64(_mm_cvttpd_epi32(lo), _mm_cvttpd_epi32(hi));
  }
  static std::uint32_t pack(__m128i v) {
    return static_cast<std::uint32_t>(
        _mm_cvtsi128_si32(_mm_packus_epi16(_mm_packs_epi32(v, v), v)));
  }
  static std::uint32_t lerpWords(std::uint32_t p, std::uint32_t q, double f) {
    return pack(lerp(channels(p), channels(q), _mm_set1_pd(f)));
  }
  static std::uint32_t bilerp(std::uint32_t p00, std::uint32_t p10, std::uint32_t p01,
                              std::uint32_t p11, double fx, double fy) {
    const __m128d vfx = _mm_set1_pd(fx);
    const __m128i top = lerp(channels(p00), channels(p10), vfx);
    const __m128i bottom = lerp(channels(p01), channels(p11), vfx);
    return pack(lerp(top, bottom, _mm_set1_pd(fy)));
  }
#else
  static std::uint32_t lerpWords(std::uint32_t p, std::uint32_t q, double f) {
    return knob::lerpWords(p, q, f);
  }
  static std::uint32_t bilerp(std::uint32_t p00, std::uint32_t p10, std::uint32_t p01,
                              std::uint32_t p11, double fx, double fy) {
    return knob::lerpWords(knob::lerpWords(p00, p10, fx), knob::lerpWords(p01, p11, fx), fy);
  }
#endif
};

#if ORV_WIDE_VECTORS
#define ORV_AVX2 __attribute__((target("avx2")))
struct WideOps {
  ORV_AVX2 static __m128i channels(std::uint32_t w) {
    return _mm_cvtepu8_epi32(_mm_cvtsi32_si128(static_cast<int>(w)));
  }
  ORV_AVX2 static __m128i lerp(__m128i a, __m128i b, __m256d f) {
    const __m256d d = _mm256_cvtepi32_pd(_mm_sub_epi32(b, a));
    const __m256d r = _mm256_add_pd(_mm256_add_pd(_mm256_cvtepi32_pd(a), _mm256_mul_pd(d, f)),
                                    _mm256_set1_pd(0.5));
    return _mm256_cvttpd_epi32(r);
  }
  ORV_AVX2 static std::uint32_t pack(__m128i v) {
    return static_cast<std::uint32_t>(
        _mm_cvtsi128_si32(_mm_packus_epi16(_mm_packs_epi32(v, v), v)));
  }
  ORV_AVX2 static std::uint32_t lerpWords(std::uint32_t p, std::uint32_t q, double f) {
    return pack(lerp(channels(p), channels(q), _mm256_set1_pd(f)));
  }
  ORV_AVX2 static std::uint32_t bilerp(std::uint32_t p00, std::uint32_t p10, std::uint32_t p01,
                                       std::uint32_t p11, double fx, double fy) {
    const __m256d vfx = _mm256_set1_pd(fx);
    const __m128i top = lerp(channels(p00), channels(p10), vfx);
    const __m128i bottom = lerp(channels(p01), channels(p11), vfx);
    return pack(lerp(top, bottom, _mm256_set1_pd(fy)));
  }
};
#undef ORV_AVX2
#endif

// Bilinear sample of a width x height image; inlined into the passes, which
// call it for every pixel they touch. Each row is rounded to bytes before the
// vertical blend.
template <class Ops>
inline std::uint32_t bilinear(const std::uint32_t* image, int width, int height, double x,
                              double y) {
  const double xc = x >= 0 ? std::min(x, double(width - 1)) : 0.0;
  const double yc = y >= 0 ? std::min(y, double(height - 1)) : 0.0;
  const int x0 = static_cast<int>(xc), y0 = static_cast<int>(yc);
  const int x1 = std::min(x0 + 1, width - 1), y1 = std::min(y0 + 1, height - 1);
  const std::uint32_t* r0 = image + std::size_t(y0) * width;
  const std::uint32_t* r1 = image + std::size_t(y1) * width;
  return Ops::bilerp(r0[x0], r0[x1], r1[x0], r1[x1], xc - x0, yc - y0);
}

// Bilinear samples down one column of an image at a fixed x: the same values
// as bilinear(), but each row's horizontal blend is computed once and reused
// by the next sample, which usually reads the same row pair shifted by one.
template <class Ops>
class ColumnSampler {
 public:
  ColumnSampler(const std::uint32_t* image, int width, int height, double x)
      : image_(image), width_(width), height_(height) {
    const double xc = x >= 0 ? std::min(x, double(width - 1)) : 0.0;
    x0_ = static_cast<int>(xc);
    x1_ = std::min(x0_ + 1, width - 1);
    fx_ = xc - x0_;
  }

  std::uint32_t sample(double y) {
    const double yc = y >= 0 ? std::min(y, double(height_ - 1)) : 0.0;
    const int y0 = static_cast<int>(yc);
    const int y1 = std::min(y0 + 1, height_ - 1);
    return Ops::lerpWords(row(y0), row(y1), yc - y0);
  }

 private:
  std::uint32_t row(int y) {
    if (y == rowA_) return valueA_;
    if (y == rowB_) return valueB_;
    const std::uint32_t* r = image_ + std::size_t(y) * width_;
    const std::uint32_t v = Ops::lerpWords(r[x0_], r[x1_], fx_);
    // Keep the two most recent rows.
    rowA_ = rowB_;
    valueA_ = valueB_;
    rowB_ = y;
    valueB_ = v;
    return v;
  }

  const std::uint32_t* image_;
  int width_, height_;
  int x0_ = 0, x1_ = 0;
  double fx_ = 0;
  int rowA_ = -1, rowB_ = -1;
  std::uint32_t valueA_ = 0, valueB_ = 0;
};

bool& wideVectorsAllowed() {
  static bool allowed = true;
  return allowed;
}

bool useWide() {
#if ORV_WIDE_VECTORS
  static const bool available = __builtin_cpu_supports("avx2");
  return available && wideVectorsAllowed();
#else
  return false;
#endif
}

}  // namespace

double luminance(std::uint32_t w) {
  return 0.2126 * double(channel(w, 2)) + 0.7152 * double(channel(w, 1)) +
         0.0722 * double(channel(w, 0));
}

RotatingMaterial::RotatingMaterial(std::int32_t width, std::int32_t height,
                                   std::vector<std::uint32_t> pixels)
    : width_(width > 0 && height > 0 ? width : 0),
      height_(width > 0 && height > 0 ? height : 0),
      scale_(width_ / 350.0),
      material_(std::move(pixels)) {
  material_.resize(std::size_t(width_) * std::size_t(height_), 0u);
  output_ = material_;
  prepareLighting();
}

void RotatingMaterial::prepareLighting() {
  const int w = width_, h = height_;
  blurred_.assign(material_.size(), 0u);
  if (w == 0 || h == 0) return;
  int r = static_cast<int>(5 * scale_);
  if (r < 3) r = 2;
  const int n = 2 * r + 1;
  std::vector<std::uint32_t> temp(material_.size());

  // One running box sum along a line of `len` pixels spaced `step` apart.
  auto boxLine = [n, r](const std::uint32_t* src, std::uint32_t* dst, int len, std::size_t step) {
    int sum[4] = {0, 0, 0, 0};
    auto at = [&](int i) { return src[std::size_t(std::clamp(i, 0, len - 1)) * step]; };
    for (int i = -r; i <= r; ++i)
      for (int c = 0; c < 4; ++c) sum[c] += channel(at(i), c);
    for (int i = 0; i < len; ++i) {
      std::uint32_t out = 0;
      for (int c = 0; c < 4; ++c) out |= std::uint32_t(sum[c] / n) << (8 * c);
      dst[std::size_t(i) * step] = out;
      const std::uint32_t add = at(std::min(i + r + 1, len - 1));
      const std::uint32_t sub = at(i - r);
      for (int c = 0; c < 4; ++c) sum[c] += channel(add, c) - channel(sub, c);
    }
  };
  for (int y = 0; y < h; ++y)
    boxLine(material_.data() + std::size_t(y) * w, temp.data() + std::size_t(y) * w, w, 1);
  for (int x = 0; x < w; ++x) boxLine(temp.data() + x, blurred_.data() + x, h, std::size_t(w));
  prepareWall();
}

std::uint32_t RotatingMaterial::sample(const std::vector<std::uint32_t>& image, double x,
                                       double y) const {
  if (width_ == 0 || image.size() < material_.size()) return 0;
  return bilinear<NarrowOps>(image.data(), width_, height_, x, y);
}

const std::vector<std::uint32_t>& RotatingMaterial::render(double value) {
  const double v = std::isnan(value) ? 0.0 : clamp01(value);
  if (v == lastValue_) return output_;
  lastValue_ = v;
  ++computeCount_;
  std::copy(material_.begin(), material_.end(), output_.begin());
  if (width_ == 0) return output_;

  // 270 degrees of travel; the material shows the knob at full scale.
  const double theta = (v * 270 + 135 - 405) * kPi / 180;
  if (std::fabs(theta) < 1e-12) return output_;
  const double sinT = std::sin(theta), cosT = std::cos(theta);
#if ORV_WIDE_VECTORS
  if (useWide()) {
    passesWide(sinT, cosT, theta);
    return output_;
  }
#endif
  facePass<NarrowOps>(sinT, cosT);
  sideWallPass<NarrowOps>(theta);
  return output_;
}

template <class Ops>
void RotatingMaterial::facePass(double sinT, double cosT) {
  const double s = scale_;
  const double cx = kFaceCentreX * s, cy = kFaceCentreY * s, R = kFaceRadius * s;
  const double capR = kCapRadius * s;
  // Squared radii between which both feathers are certainly 1.
  const double solidInner = capR + kCapFeather * s, solidOuter = R - s;
  const double solidInner2 = solidInner * solidInner * (1 + 1e-9),
               solidOuter2 = solidOuter * solidOuter * (1 - 1e-9);
  const int yBegin = std::max(0, static_cast<int>(std::floor(cy - kSquash * R - 1)));
  const int yEnd = std::min(height_ - 1, static_cast<int>(std::ceil(cy + kSquash * R + 1)));

  for (int y = yBegin; y <= yEnd; ++y) {
    const double dy = ((y + 0.5) - cy) / kSquash;  // undo the perspective squash
    if (std::fabs(dy) > R) continue;
    // Only the columns whose centres can lie inside the face's outer circle.
    const double halfWidth = std::sqrt(R * R - dy * dy);
    const int xBegin = std::max(0, static_cast<int>(std::floor(cx - halfWidth - 1)));
    const int xEnd = std::min(width_ - 1, static_cast<int>(std::ceil(cx + halfWidth + 1)));
    std::uint32_t* row = output_.data() + std::size_t(y) * width_;
    const std::uint32_t* mrow = material_.data() + std::size_t(y) * width_;
    for (int x = xBegin; x <= xEnd; ++x) {
      const double dx = (x + 0.5) - cx;
      const double rho2 = dx * dx + dy * dy;
      double w = 1;
      // Most of the face lies clear of both feathers, where the weight is 1;
      // only pixels near them (with a safety margin) need the exact radius.
      if (!(rho2 > solidInner2 && rho2 < solidOuter2)) {
        const double rho = std::sqrt(rho2);
        if (rho < capR || rho > R) continue;
        // One unit of feather at the rim, six at the cap.
        w = std::min(clamp01((R - rho) / s), clamp01((rho - capR) / (kCapFeather * s)));
        if (w <= 0) continue;
      }
      const double sx = cosT * dx + sinT * dy + cx - 0.5;
      const double sy = kSquash * (cosT * dy - sinT * dx) + cy - 0.5;
      const std::uint32_t q = bilinear<Ops>(material_.data(), width_, height_, sx, sy);
      // m + (q - m) * 1 is q exactly.
      row[x] = w >= 1 ? q : Ops::lerpWords(mrow[x], q, w);
    }
  }
}

void RotatingMaterial::prepareWall() {
  wallColumns_.clear();
  wallPixels_.clear();
  if (width_ == 0) return;
  const double s = scale_;
  const double cx = kFaceCentreX * s, cy = kFaceCentreY * s, R2 = kRimRadius * s;
  const double wallTop = kWallOffset * s, wallH = kWallHeight * s;
  const int xFirst = std::max(0, static_cast<int>(cx - R2) + 1);
  const int xLast = std::min(width_ - 1, static_cast<int>(cx + R2) - 1);

  // Everything about a wall pixel that does not depend on the turn: where it
  // sits on the wall, whether it may be retouched at all, its own and its
  // surroundings' luminance, and its feather. Renders then only sample.
  for (int x = xFirst; x <= xLast; ++x) {
    WallColumn col;
    col.dx = (x + 0.5) - cx;
    col.first = static_cast<std::uint32_t>(wallPixels_.size());
    const double top = kSquash * std::sqrt(std::max(0.0, R2 * R2 - col.dx * col.dx)) + cy + wallTop;
    const double edgeFeather = (R2 - std::fabs(col.dx)) / (kWallFeatherX * s);
    const int yFirst = std::max(0, static_cast<int>(std::ceil(top - 0.5)));
    const int yLast = std::min(height_ - 1, static_cast<int>(std::floor(top + wallH - 0.5)));
    for (int y = yFirst; y <= yLast; ++y) {
      const double t = (y + 0.5) - top;
      if (t < 0 || t > wallH) continue;
      const std::size_t i = std::size_t(y) * width_ + x;
      const std::uint32_t m = material_[i];
      if (channel(m, 3) < kOpaqueAlpha) continue;
      const double L = luminance(m);
      if (L > kBrightLuminance || L < 1) continue;
      const double Lb = luminance(blurred_[i]);
      if (Lb < 1) continue;
      const double f = clamp01(std::min({std::min(t / (kWallFeatherY * s), 1.0),
                                         (wallH - t) / (kWallFeatherY * s), edgeFeather}));
      wallPixels_.push_back({static_cast<std::uint32_t>(i), t, L, Lb, f});
    }
    col.end = static_cast<std::uint32_t>(wallPixels_.size());
    if (col.end > col.first) wallColumns_.push_back(col);
  }
}

template <class Ops>
void RotatingMaterial::sideWallPass(double theta) {
  const double s = scale_;
  const double cx = kFaceCentreX * s, cy = kFaceCentreY * s, R2 = kRimRadius * s;
  const double wallTop = kWallOffset * s;

  for (const WallColumn& col : wallColumns_) {
    const double across = std::clamp(col.dx / R2, -1.0, 1.0);
    // The wall point now at this column came from angle phi before the turn;
    // folding keeps it on the visible (front) half of the cylinder.
    const double phi = std::remainder(std::asin(across) - theta, kPi);
    const double sx = R2 * std::sin(phi) + cx - 0.5;
    const double srcTop = kSquash * R2 * std::cos(phi) + cy + wallTop;
    ColumnSampler<Ops> blurredSource(blurred_.data(), width_, height_, sx);
    ColumnSampler<Ops> materialSource(material_.data(), width_, height_, sx);

    for (std::uint32_t k = col.first; k < col.end; ++k) {
      const WallPixel& p = wallPixels_[k];
      const double srcY = srcTop + p.t - 0.5;
      const double Lq = luminance(blurredSource.sample(srcY));
      if (Lq < kMinSourceLuminance) continue;
      // Detail (source over its blurred surroundings) from the turned
      // position, lighting (blurred luminance) from this one.
      const double Ls = luminance(materialSource.sample(srcY));
      const double g = std::clamp((p.Lb * (Ls / Lq)) / p.L, kMinGain, kMaxGain);
      const std::uint32_t m = material_[p.index];
      const int alpha = channel(m, 3);
      std::uint32_t out = std::uint32_t(alpha) << 24;
      for (int c = 0; c < 3; ++c) {
        const int mc = channel(m, c);
        // g * mc is never negative, so Clip only has to saturate at 255 (a
        // branch-free min: the knurl makes branches here unpredictable). A
        // premultiplied channel cannot exceed its alpha; a gain above 1 on an
        // almost-saturated pixel would otherwise make it invalid.
        const int shaded = std::min(static_cast<int>(std::min(g * mc, 255.0)), alpha);
        // Away from the wall's edges the feather is 1 and the blend is the
        // shaded value exactly; a blend of two bytes needs no clamp.
        out |= (p.f >= 1 ? std::uint32_t(shaded) : roundInRange(mc + (shaded - mc) * p.f))
               << (8 * c);
      }
      output_[p.index] = out;
    }
  }
}

#if ORV_WIDE_VECTORS
// Compiled for AVX2 with everything inlined, so the passes' own arithmetic
// uses the wider registers too; called only where the processor has them.
__attribute__((target("avx2"), flatten)) void RotatingMaterial::passesWide(double sinT, double cosT,
                                                                           double theta) {
  facePass<WideOps>(sinT, cosT);
  sideWallPass<WideOps>(theta);
}
#endif

void RotatingMaterial::allowWideVectors(bool allowed) {
  wideVectorsAllowed() = allowed;
}

}  // namespace orvane::knob
