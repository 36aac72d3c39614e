// The dial's turning knob picture, computed from a fixed photograph-like
// material: the brushed top face turns with the value and the knurled side
// wall's pattern shifts, while the lighting stays where the studio light put
// it. Pure pixel arithmetic on pixel words (see editor/toolkit/image.h for the
// format); no windowing system needed. Main thread only; one per dial.
//
// Geometry is in design units of 1/350 of the material's width:
//   top face      ellipse centred (175, 124), radius 105 across, 0.82 x 105 down; turned
//   centre cap    radius 31 around the face centre; never turned
//   side wall     5 to 55 units below the rim of the radius-114 ellipse; pattern shifted
//   everything else (glowing ring, base, background) is left as it is.
#pragma once

#include <cstdint>
#include <vector>

namespace orvane::knob {

class RotatingMaterial {
 public:
  // Takes the material's premultiplied pixel words. A vector that does not
  // hold width x height words is cut or padded with transparent pixels, and
  // non-positive sizes give an empty material, so no render reads outside it.
  RotatingMaterial(std::int32_t width, std::int32_t height, std::vector<std::uint32_t> pixels);

  // Builds the box-blurred copy the side-wall lighting reads (radius 5 units,
  // 2 pixels when that is below 3), and the side wall's per-pixel constants.
  // Called by the constructor.
  void prepareLighting();

  // Bilinear sample of an image of the material's size at (x, y) in pixel
  // coordinates (pixel centres at whole numbers). Coordinates are clamped into
  // the image (non-numbers read as 0); each row is rounded to bytes before the
  // vertical blend. An image of the wrong size samples as transparent.
  std::uint32_t sample(const std::vector<std::uint32_t>& image, double x, double y) const;

  // The picture for a dial value (clamped to [0, 1]; not-a-number counts as
  // 0). Recomputes only when the clamped value differs from the last render.
  // The reference stays valid until the next render or destruction. Does not
  // allocate.
  const std::vector<std::uint32_t>& render(double value);

  std::int32_t width() const { return width_; }
  std::int32_t height() const { return height_; }
  double scale() const { return scale_; }
  double lastValue() const { return lastValue_; }
  const std::vector<std::uint32_t>& material() const { return material_; }
  const std::vector<std::uint32_t>& blurred() const { return blurred_; }
  const std::vector<std::uint32_t>& output() const { return output_; }
  // How many renders did the work (not served from the cache); for tests and
  // the benchmark.
  std::uint64_t computeCount() const { return computeCount_; }

  // Renders use AVX2 arithmetic where the processor has it, with the same
  // results as the portable path; tests turn it off to check both.
  static void allowWideVectors(bool allowed);

 private:
  void prepareWall();
  // The passes, for one width of channel arithmetic (results are identical).
  template <class Ops>
  void facePass(double sinT, double cosT);
  template <class Ops>
  void sideWallPass(double theta);
  void passesWide(double sinT, double cosT, double theta);

  // A column of the side wall and the retouchable pixels in it.
  struct WallColumn {
    double dx;                 // pixel centre from the face centre, in pixels
    std::uint32_t first, end;  // range in wallPixels_
  };
  struct WallPixel {
    std::uint32_t index;  // into the images
    double t;             // depth below the wall's top edge, in pixels
    double L, Lb;         // luminance of the material and of its blur here
    double f;             // feather towards the wall's edges
  };

  std::int32_t width_;
  std::int32_t height_;
  double scale_;
  double lastValue_ = -1.0;
  std::vector<std::uint32_t> material_;
  std::vector<std::uint32_t> blurred_;
  std::vector<std::uint32_t> output_;
  std::vector<WallColumn> wallColumns_;
  std::vector<WallPixel> wallPixels_;
  std::uint64_t computeCount_ = 0;
};

// Luminance of a pixel word (Rec. 709 weights on the stored premultiplied bytes).
double luminance(std::uint32_t word);

}  // namespace orvane::knob
