#include "editor/knob/rotating_material.h"

#include <algorithm>
#include <cmath>

namespace orvane::knob {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Design-unit geometry of the material (see the header).
constexpr double kFaceCentreX = 175;
constexpr double kFaceCentreY = 124;
constexpr double kFaceRadius = 105;
constexpr double kRimRadius = 114;
constexpr double kCapRadius = 31;
constexpr double kSquash = 0.82;       // vertical/horizontal ratio of the perspective view
constexpr double kCapFeather = 6;      // units over which the turned face fades in at the cap
constexpr double kWallOffset = 5;      // the wall starts this far below the rim
constexpr double kWallHeight = 50;
constexpr double kWallFeatherY = 4;    // fade at the wall's top and bottom
constexpr double kWallFeatherX = 3;    // fade at the wall's silhouette
// The wall pass only retouches dark, opaque knurling: highlights and the
// anti-aliased silhouette keep the material's pixels.
constexpr int kOpaqueAlpha = 250;
constexpr double kBrightLuminance = 118;
constexpr double kMinGain = 0.23;
constexpr double kMaxGain = 3.5;

// Rounds to the nearest byte, saturating (byte() of the renderer's arithmetic).
inline int toByte(double z) {
  z += 0.5;
  if (!(z >= 0)) return 0;
  return z < 255 ? static_cast<int>(z) : 255;
}

// Truncates to a byte, saturating.
inline int clipByte(double z) {
  if (!(z >= 0)) return 0;
  return z < 255 ? static_cast<int>(z) : 255;
}

inline int channel(std::uint32_t w, int c) { return static_cast<int>((w >> (8 * c)) & 0xffu); }

inline double clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

}  // namespace

double luminance(std::uint32_t w) {
  return 0.2126 * double(channel(w, 2)) + 0.7152 * double(channel(w, 1)) + 0.0722 * double(channel(w, 0));
}

RotatingMaterial::RotatingMaterial(std::int32_t width, std::int32_t height, std::vector<std::uint32_t> pixels)
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
}

std::uint32_t RotatingMaterial::sample(const std::vector<std::uint32_t>& image, double x, double y) const {
  if (width_ == 0 || image.size() < material_.size()) return 0;
  const double xc = x >= 0 ? std::min(x, double(width_ - 1)) : 0.0;
  const double yc = y >= 0 ? std::min(y, double(height_ - 1)) : 0.0;
  const int x0 = static_cast<int>(xc), y0 = static_cast<int>(yc);
  const int x1 = std::min(x0 + 1, width_ - 1), y1 = std::min(y0 + 1, height_ - 1);
  const double fx = xc - x0, fy = yc - y0;
  const std::uint32_t p00 = image[std::size_t(y0) * width_ + x0], p10 = image[std::size_t(y0) * width_ + x1];
  const std::uint32_t p01 = image[std::size_t(y1) * width_ + x0], p11 = image[std::size_t(y1) * width_ + x1];
  std::uint32_t out = 0;
  for (int c = 0; c < 4; ++c) {
    const int a = channel(p00, c), b = channel(p10, c), d = channel(p01, c), e = channel(p11, c);
    const int top = toByte(a + (b - a) * fx);
    const int bottom = toByte(d + (e - d) * fx);
    out |= std::uint32_t(toByte(top + (bottom - top) * fy)) << (8 * c);
  }
  return out;
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
  facePass(std::sin(theta), std::cos(theta));
  sideWallPass(theta);
  return output_;
}

void RotatingMaterial::facePass(double sinT, double cosT) {
  const double s = scale_;
  const double cx = kFaceCentreX * s, cy = kFaceCentreY * s, R = kFaceRadius * s;
  const double capR = kCapRadius * s;
  const int xBegin = std::max(0, static_cast<int>(std::floor(cx - R - 1)));
  const int xEnd = std::min(width_ - 1, static_cast<int>(std::ceil(cx + R + 1)));
  const int yBegin = std::max(0, static_cast<int>(std::floor(cy - kSquash * R - 1)));
  const int yEnd = std::min(height_ - 1, static_cast<int>(std::ceil(cy + kSquash * R + 1)));

  for (int y = yBegin; y <= yEnd; ++y) {
    const double dy = ((y + 0.5) - cy) / kSquash;  // undo the perspective squash
    std::uint32_t* row = output_.data() + std::size_t(y) * width_;
    const std::uint32_t* mrow = material_.data() + std::size_t(y) * width_;
    for (int x = xBegin; x <= xEnd; ++x) {
      const double dx = (x + 0.5) - cx;
      const double rho = std::hypot(dx, dy);
      if (rho < capR || rho > R) continue;
      // One unit of feather at the rim, six at the cap.
      const double w = std::min(clamp01((R - rho) / s), clamp01((rho - capR) / (kCapFeather * s)));
      if (w <= 0) continue;
      const double sx = cosT * dx + sinT * dy + cx - 0.5;
      const double sy = kSquash * (cosT * dy - sinT * dx) + cy - 0.5;
      const std::uint32_t q = sample(material_, sx, sy);
      const std::uint32_t m = mrow[x];
      std::uint32_t out = 0;
      for (int c = 0; c < 4; ++c) {
        const int mc = channel(m, c);
        out |= std::uint32_t(toByte(mc + (channel(q, c) - mc) * w)) << (8 * c);
      }
      row[x] = out;
    }
  }
}

void RotatingMaterial::sideWallPass(double theta) {
  const double s = scale_;
  const double cx = kFaceCentreX * s, cy = kFaceCentreY * s, R2 = kRimRadius * s;
  const double wallTop = kWallOffset * s, wallH = kWallHeight * s;
  const int xFirst = std::max(0, static_cast<int>(cx - R2) + 1);
  const int xLast = std::min(width_ - 1, static_cast<int>(cx + R2) - 1);

  for (int x = xFirst; x <= xLast; ++x) {
    const double dx = (x + 0.5) - cx;
    const double across = std::clamp(dx / R2, -1.0, 1.0);
    // The wall point now at this column came from angle phi before the turn;
    // folding keeps it on the visible (front) half of the cylinder.
    const double phi = std::remainder(std::asin(across) - theta, kPi);
    const double sx = R2 * std::sin(phi) + cx - 0.5;
    const double top = kSquash * std::sqrt(std::max(0.0, R2 * R2 - dx * dx)) + cy + wallTop;
    const double srcTop = kSquash * R2 * std::cos(phi) + cy + wallTop;
    const double edgeFeather = (R2 - std::fabs(dx)) / (kWallFeatherX * s);

    const int yFirst = std::max(0, static_cast<int>(std::ceil(top - 0.5)));
    const int yLast = std::min(height_ - 1, static_cast<int>(std::floor(top + wallH - 0.5)));
    for (int y = yFirst; y <= yLast; ++y) {
      const double t = (y + 0.5) - top;
      if (t < 0 || t > wallH) continue;
      const std::size_t i = std::size_t(y) * width_ + x;
      const std::uint32_t m = material_[i];
      const int alpha = channel(m, 3);
      if (alpha < kOpaqueAlpha) continue;
      const double L = luminance(m);
      if (L > kBrightLuminance) continue;
      const double srcY = srcTop + t - 0.5;
      const double Lq = luminance(sample(blurred_, sx, srcY));
      if (Lq < 3 || L < 1) continue;
      const double Lb = luminance(blurred_[i]);
      if (Lb < 1) continue;
      // Detail (source over its blurred surroundings) from the turned
      // position, lighting (blurred luminance) from this one.
      const double Ls = luminance(sample(material_, sx, srcY));
      const double g = std::clamp((Lb * (Ls / Lq)) / L, kMinGain, kMaxGain);
      const double f = clamp01(std::min({std::min(t / (kWallFeatherY * s), 1.0), (wallH - t) / (kWallFeatherY * s),
                                         edgeFeather}));
      std::uint32_t out = std::uint32_t(alpha) << 24;
      for (int c = 0; c < 3; ++c) {
        const int mc = channel(m, c);
        // A premultiplied channel cannot exceed its alpha; a gain above 1
        // on an almost-saturated pixel would otherwise make it invalid.
        const int shaded = std::min(clipByte(g * mc), alpha);
        out |= std::uint32_t(toByte(mc + (shaded - mc) * f)) << (8 * c);
      }
      output_[i] = out;
    }
  }
}

}  // namespace orvane::knob
