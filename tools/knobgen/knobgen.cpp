// Renders the knob material: a 700 x 700 RGBA picture of a machined knob on a
// base plate, seen from above at an angle under one fixed studio light.
//   usage: orv_knobgen OUTPUT.png
// Deterministic: the same program writes the same pixels (noise comes from a
// fixed integer hash, nothing reads the clock).
//
// Layout in design units (1/350 of the width), as the renderer expects it:
//   top face   brushed metal, ellipse centred (175, 124), radius 105, squashed 0.82 vertically
//   centre cap radius 31 around the face centre, with its own fixed highlight
//   chamfer    polished bevel from the face's radius 105 down to the rim at radius 114
//   side wall  dark diamond knurling with blue reflections, 5 to 55 units below the rim
//   floor      58 units below the face: a glowing cyan ring round the knob's foot
//              on a dark base plate of radius 148, with a soft shadow around it
//   background transparent; opaque pixels carry alpha 252 or 253
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kSize = 700;
constexpr double kUnit = 350.0 / kSize;  // design units per pixel
constexpr int kSuper = 4;                // samples per pixel along each axis

constexpr double kPi = 3.14159265358979323846;
constexpr double kCx = 175, kCy = 124, kSquash = 0.82;
constexpr double kFaceR = 105, kRimR = 114, kCapR = 31;
constexpr double kChamferDrop = 5;  // the rim sits this far below the face
constexpr double kWallBottom = 55;  // wall from depth 5 to 55
constexpr double kFloorDepth = 58;
constexpr double kPlateR = 148, kPlateBevel = 4, kPlateEdge = 6;
constexpr double kGlowR = 117;  // radius of the glow's bright core on the floor

struct Vec {
  double x, y, z;  // x right, y up, z towards the viewer
};
Vec operator+(Vec a, Vec b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec operator*(Vec a, double k) {
  return {a.x * k, a.y * k, a.z * k};
}
double dot(Vec a, Vec b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec normalize(Vec a) {
  const double l = std::sqrt(dot(a, a));
  return l > 0 ? a * (1 / l) : Vec{0, 1, 0};
}

struct Rgb {
  double r, g, b;
};
Rgb operator+(Rgb a, Rgb b) {
  return {a.r + b.r, a.g + b.g, a.b + b.b};
}
Rgb operator*(Rgb a, double k) {
  return {a.r * k, a.g * k, a.b * k};
}

// The studio light: a large softbox above and to the left, slightly behind.
const Vec kLight = normalize({-0.55, 0.78, -0.10});
// The camera looks down at the angle whose sine is the vertical squash.
const Vec kView = normalize({0, 0.82, 0.572});
const Vec kHalf = normalize(kLight + kView);
// Azimuth on screen (y down) of the light's direction, for the brushed sheen.
const double kLightAzimuth = std::atan2(-0.62, -0.78);

// Cool blue panels to either side, seen as reflections in the dark wall.
const Vec kBlueRight = normalize({0.95, 0.05, 0.35});
const Vec kBlueLeft = normalize({-0.8, -0.1, 0.55});
const Rgb kBlue{0.10, 0.40, 1.0};
const Rgb kCyan{0.05, 0.78, 1.0};

// ---- deterministic noise ----------------------------------------------------

std::uint32_t hash(std::uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x;
}
double rnd(int i, int seed) {
  return hash(std::uint32_t(i) * 0x9e3779b9U ^ hash(std::uint32_t(seed))) / 4294967296.0;
}
double rnd2(int i, int j, int seed) {
  // Unsigned arithmetic: the lattice mixing is meant to wrap.
  return rnd(static_cast<int>(std::uint32_t(i) * 73856093u ^ std::uint32_t(j) * 19349663u), seed);
}
double smooth(double t) {
  return t * t * (3 - 2 * t);
}
double noise1(double x, int seed) {
  const double f = std::floor(x);
  const int i = static_cast<int>(f);
  return rnd(i, seed) + (rnd(i + 1, seed) - rnd(i, seed)) * smooth(x - f);
}
double noise2(double x, double y, int seed) {
  const double fx = std::floor(x), fy = std::floor(y);
  const int i = static_cast<int>(fx), j = static_cast<int>(fy);
  const double tx = smooth(x - fx), ty = smooth(y - fy);
  const double a = rnd2(i, j, seed) + (rnd2(i + 1, j, seed) - rnd2(i, j, seed)) * tx;
  const double b = rnd2(i, j + 1, seed) + (rnd2(i + 1, j + 1, seed) - rnd2(i, j + 1, seed)) * tx;
  return a + (b - a) * ty;
}

double clamp01(double v) {
  return v < 0 ? 0 : (v > 1 ? 1 : v);
}
double sstep(double a, double b, double x) {
  return smooth(clamp01((x - a) / (b - a)));
}

// Blinn-Phong with the studio light.
double diffuse(Vec n) {
  return std::max(0.0, dot(n, kLight));
}
double specular(Vec n, double power) {
  return std::pow(std::max(0.0, dot(n, kHalf)), power);
}

// ---- surfaces -----------------------------------------------------------------

// Concentric lathe brushing: fine rings whose radius wobbles slowly with angle.
double brushed(double rho, double psi, int seed) {
  const double r = rho + 0.7 * noise1(psi * 5 / kPi + 11, seed);
  return 0.42 * noise1(r * 7.0, seed + 1) + 0.33 * noise1(r * 2.3, seed + 2) +
         0.25 * noise1(r * 21.0, seed + 3);
}

Rgb topFace(double rho, double psi) {
  const Rgb metal{0.80, 0.82, 0.86};
  const double tex = brushed(rho, psi, 10) + 0.10 * (noise2(psi * 40, rho * 0.5, 14) - 0.5);
  // Circular brushing lights up as a bow tie along the light's azimuth.
  const double c = std::fabs(std::cos(psi - kLightAzimuth));
  const double sheen = 0.26 * std::pow(c, 3) + 0.30 * std::pow(c, 28);
  const double falloff = 0.06 * (1 - rho / kFaceR);
  double k = 0.40 + 0.22 * (tex - 0.5) + sheen + falloff;
  // A fine machined groove and a polished lip just inside the rim.
  if (rho > 99.5 && rho < 101.0) k *= 0.35;
  if (rho >= 101.0) k = 0.48 + 0.40 * std::cos(psi - kLightAzimuth) * 0.5 + 0.12 * tex;
  return metal * k;
}

Rgb centreCap(double rho, double dx, double dz) {
  // Slightly domed gunmetal with its own highlight, which stays put as the
  // face turns around it.
  const Vec n = normalize({dx * 0.022, 1, dz * 0.022});
  const Rgb gunmetal{0.25, 0.27, 0.31};
  const double tex = brushed(rho, std::atan2(dz, dx), 40);
  Rgb col = gunmetal * (0.55 + 0.55 * diffuse(n) + 0.18 * (tex - 0.5)) +
            Rgb{0.9, 0.93, 1.0} * (0.55 * specular(n, 60));
  if (rho > 27.6 && rho < 29.0) col = col * 0.3;  // parting groove
  if (rho >= 29.0) {                              // bright chamfer of the cap
    const double psi = std::atan2(dz, dx);
    col = Rgb{0.78, 0.80, 0.84} * (0.35 + 0.45 * (0.5 + 0.5 * std::cos(psi - kLightAzimuth)));
  }
  return col;
}

Rgb chamfer(double r, double psi) {
  // Polished bevel sloping outwards and down.
  const double tilt = 0.95;
  const Vec n =
      normalize({std::cos(psi) * std::sin(tilt), std::cos(tilt), std::sin(psi) * std::sin(tilt)});
  const Rgb metal{0.76, 0.78, 0.82};
  const double lathe = 0.08 * (noise1(r * 9, 60) - 0.5);
  return metal * (0.16 + 0.80 * diffuse(n) + lathe) + Rgb{1, 1, 1} * (0.55 * specular(n, 30));
}

// Diamond knurl: two sets of grooves at +-45 degrees; height 1 on the points,
// 0 in the grooves.
double knurlHeight(double u, double w) {
  constexpr double kPitch = 3.6;
  auto tri = [](double x) { return 1 - 2 * std::fabs(x - std::floor(x) - 0.5); };
  return std::min(tri((u + w) / kPitch), tri((u - w) / kPitch));
}

Rgb sideWall(double phi, double depth) {
  const double w = depth - kChamferDrop;  // 0 at the top of the wall, 50 at its foot
  const Vec n0{std::sin(phi), 0, std::cos(phi)};
  const Vec tangent{std::cos(phi), 0, -std::sin(phi)};
  const Vec up{0, 1, 0};
  const double u = phi * kRimR;

  // Smooth collars above and below the knurled band. The knurl runs right to
  // the silhouette: the renderer takes the detail of a turned wall from
  // there, so it must not fade out.
  const double band = sstep(3.5, 5.0, w) * (1 - sstep(45.0, 46.5, w));
  double h = 0.6;
  Vec n = n0;
  if (band > 0) {
    const double e = 0.05;
    h = knurlHeight(u, w);
    const double du = (knurlHeight(u + e, w) - knurlHeight(u - e, w)) / (2 * e);
    const double dw = (knurlHeight(u, w + e) - knurlHeight(u, w - e)) / (2 * e);
    n = normalize(n0 + tangent * (-0.9 * du * band) + up * (0.9 * dw * band));
    h = 0.6 + (h - 0.6) * band;
  }
  const double ao = 0.45 + 0.55 * h;
  const Rgb anodised{0.085, 0.095, 0.115};
  Rgb col = anodised * ((0.30 + 1.5 * diffuse(n)) * ao);
  col = col + Rgb{0.85, 0.9, 1.0} * (0.50 * specular(n, 36) * ao);
  const double blue = 0.62 * std::pow(std::max(0.0, dot(n, kBlueRight)), 4) +
                      0.45 * std::pow(std::max(0.0, dot(n, kBlueLeft)), 6);
  col = col + kBlue * (blue * ao);
  // Light from the glowing ring below reaches up the lower part of the wall.
  const double glow = 0.30 * std::exp(-(50 - w) / 6.0) * (0.6 + 0.4 * std::max(0.0, -n.y));
  col = col + kCyan * glow;
  // Thin bright edges where the collars meet the rim and the foot.
  if (w < 1.2) col = col + Rgb{0.5, 0.55, 0.62} * (0.6 * (1 - w / 1.2) * diffuse(n0 + up * 0.8));
  return col;
}

Rgb plate(double rf, double psi) {
  const Rgb graphite{0.095, 0.105, 0.125};
  const double tex = brushed(rf, psi, 80);
  const double lightSide = 0.5 + 0.5 * std::cos(psi - kLightAzimuth);
  Rgb col = graphite * (0.70 + 0.30 * tex + 0.35 * lightSide * (rf / kPlateR));
  if (rf > kPlateR - kPlateBevel) {  // rounded outer edge
    const double t = (rf - (kPlateR - kPlateBevel)) / kPlateBevel;
    const double tilt = 0.2 + 1.1 * t;
    const Vec n =
        normalize({std::cos(psi) * std::sin(tilt), std::cos(tilt), std::sin(psi) * std::sin(tilt)});
    col = Rgb{0.30, 0.32, 0.36} * (0.15 + 0.75 * diffuse(n)) +
          Rgb{1, 1, 1} * (0.35 * specular(n, 24));
  }
  // The ring of light escaping from under the knob, and its spread on the plate.
  const double d = rf - kGlowR;
  const double core = std::exp(-(d / 1.7) * (d / 1.7));
  const double halo = d > 0 ? std::exp(-d / 8.0) : std::exp(d / 2.0);
  return col + kCyan * (0.95 * core + 0.42 * halo) +
         Rgb{0.6, 0.95, 1.0} * (0.45 * std::pow(core, 3));
}

Rgb plateEdge(double fx, double e) {
  // Vertical outer edge of the plate, seen from the front.
  const double phi = std::asin(std::clamp(fx / kPlateR, -1.0, 1.0));
  const Vec n{std::sin(phi), 0, std::cos(phi)};
  Rgb col = Rgb{0.06, 0.065, 0.08} * (0.4 + 1.2 * diffuse(n));
  col = col + kBlue * (0.25 * std::pow(std::max(0.0, dot(n, kBlueRight)), 4));
  if (e < 1.0) col = col + Rgb{0.4, 0.42, 0.46} * (0.5 * (1 - e));
  return col;
}

struct Sample {
  Rgb colour;
  double alpha;  // 1 for solid surfaces; shadow and background less
};

// Which surface the camera sees at design point (X, Y), front to back.
Sample shade(double X, double Y) {
  const double dx = X - kCx;

  // Top face and cap.
  const double dz = (Y - kCy) / kSquash;
  const double rho = std::hypot(dx, dz);
  if (rho <= kCapR) return {centreCap(rho, dx, dz), 1};
  if (rho <= kFaceR) return {topFace(rho, std::atan2(dz, dx)), 1};

  // Chamfer: the bevel's ring at radius r sits (r - 105) * 5/9 units lower.
  if (std::fabs(dx) <= kRimR) {
    for (int step = 0;; ++step) {
      const double r = kFaceR + 0.125 * step;  // exact: 0.125 is a power of two
      if (r > kRimR) break;
      const double drop = (r - kFaceR) * kChamferDrop / (kRimR - kFaceR);
      const double z = (Y - kCy - drop) / kSquash;
      if (std::hypot(dx, z) <= r) return {chamfer(r, std::atan2(z, dx)), 1};
    }
  }

  // Side wall and the dark gap at its foot.
  if (std::fabs(dx) < kRimR) {
    const double rimFront = kCy + kSquash * std::sqrt(kRimR * kRimR - dx * dx);
    const double depth = Y - rimFront;
    if (depth >= kChamferDrop && depth <= kWallBottom)
      return {sideWall(std::asin(dx / kRimR), depth), 1};
    if (depth > kWallBottom && depth <= kFloorDepth) {
      const double t = (depth - kWallBottom) / (kFloorDepth - kWallBottom);
      return {Rgb{0.02, 0.025, 0.03} + kCyan * (0.9 * t * t), 1};
    }
  }

  // Floor: the base plate, its front edge, its shadow.
  const double fy = kCy + kFloorDepth;
  const double fz = (Y - fy) / kSquash;
  const double rf = std::hypot(dx, fz);
  if (rf <= kPlateR) return {plate(rf, std::atan2(fz, dx)), 1};
  if (std::fabs(dx) < kPlateR) {
    const double edgeTop = fy + kSquash * std::sqrt(kPlateR * kPlateR - dx * dx);
    if (Y >= edgeTop && Y <= edgeTop + kPlateEdge) return {plateEdge(dx, Y - edgeTop), 1};
  }
  // Shadow cast down and to the right, fading out over about 12 units.
  const double sz = (Y - fy - 7) / kSquash;
  const double rs = std::hypot(dx - 4, sz);
  const double shadow = rs < kPlateR + 2 ? 0.55 : 0.55 * std::exp(-(rs - kPlateR - 2) / 6.0);
  return {Rgb{0, 0, 0}, shadow > 0.004 ? shadow : 0};
}

std::uint8_t toByte(double v) {
  return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
}

bool writePng(const char* path, const std::vector<std::uint8_t>& rgba) {
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_compression_level(png, 9);
  png_set_IHDR(png, info, kSize, kSize, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
  png_set_gAMA_fixed(png, info, 45455);
  // 700 pixels shown as 350 points: 144 pixels per inch.
  png_set_pHYs(png, info, 5669, 5669, PNG_RESOLUTION_METER);
  png_write_info(png, info);
  for (int y = 0; y < kSize; ++y) png_write_row(png, rgba.data() + std::size_t(y) * kSize * 4);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
    return 2;
  }
  std::vector<std::uint8_t> rgba(std::size_t(kSize) * kSize * 4);
  for (int py = 0; py < kSize; ++py) {
    for (int px = 0; px < kSize; ++px) {
      Rgb sum{0, 0, 0};
      double alpha = 0;
      for (int j = 0; j < kSuper; ++j)
        for (int i = 0; i < kSuper; ++i) {
          const double X = (px + (i + 0.5) / kSuper) * kUnit, Y = (py + (j + 0.5) / kSuper) * kUnit;
          const Sample s = shade(X, Y);
          sum = sum + s.colour * s.alpha;
          alpha += s.alpha;
        }
      alpha /= kSuper * kSuper;
      std::uint8_t* out = &rgba[(std::size_t(py) * kSize + px) * 4];
      if (alpha <= 0) continue;  // transparent background stays all zero
      const Rgb c = sum * (1.0 / (alpha * kSuper * kSuper));
      out[0] = toByte(c.r);
      out[1] = toByte(c.g);
      out[2] = toByte(c.b);
      // Opaque pixels carry 252 or 253, as the photographic original did; the
      // renderer counts 250 and above as opaque.
      out[3] = alpha > 0.999 ? std::uint8_t(252 + (hash(std::uint32_t(py * kSize + px)) & 1))
                             : static_cast<std::uint8_t>(std::lround(alpha * 252));
    }
  }
  if (!writePng(argv[1], rgba)) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
