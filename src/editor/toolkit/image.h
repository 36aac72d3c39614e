// Raster images in the editor's pixel-word format: one native-endian 32-bit
// word per pixel, premultiplied alpha in bits 24-31, red 16-23, green 8-15,
// blue 0-7, rows top to bottom with no padding. That is Cairo's ARGB32, so a
// pixel vector becomes an image without conversion.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "editor/toolkit/geometry.h"

// NOLINTNEXTLINE(bugprone-reserved-identifier): cairo's own name
typedef struct _cairo_surface cairo_surface_t;

namespace orvane::tk {

class Image {
 public:
  // Transparent image of the given pixel size; its size in points equals it.
  static std::shared_ptr<Image> create(int pixelWidth, int pixelHeight);

  // Image over width x height pixel words. With copy the words are copied and
  // the image owns them; without, the image reads the caller's memory, which
  // must stay alive and unchanged for as long as the image exists. Returns
  // null when the sizes are not positive or `count` holds too few words.
  static std::shared_ptr<Image> fromPixelWords(const std::uint32_t* words, std::size_t count,
                                               int pixelWidth, int pixelHeight, bool copy);

  ~Image();
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  int pixelWidth() const { return pixelWidth_; }
  int pixelHeight() const { return pixelHeight_; }
  // Size in points when drawn without an explicit destination.
  Size size() const { return pointSize_; }
  void setSize(Size s) { pointSize_ = s; }

  // Pixel word at (x, y); 0 outside the image.
  std::uint32_t pixel(int x, int y) const;
  std::vector<std::uint32_t> pixelWords() const;

  // Writes an 8-bit RGBA PNG; false when the file cannot be written.
  bool writePng(const std::string& path) const;

  cairo_surface_t* surface() const { return surface_; }

 private:
  Image(cairo_surface_t* surface, int w, int h, std::vector<std::uint32_t> owned);

  cairo_surface_t* surface_;
  int pixelWidth_;
  int pixelHeight_;
  Size pointSize_;
  std::vector<std::uint32_t> owned_;  // the copied words, when the image owns them
};

// Byte access on pixel words.
inline int alphaOf(std::uint32_t w) {
  return static_cast<int>(w >> 24);
}
inline int redOf(std::uint32_t w) {
  return static_cast<int>((w >> 16) & 0xff);
}
inline int greenOf(std::uint32_t w) {
  return static_cast<int>((w >> 8) & 0xff);
}
inline int blueOf(std::uint32_t w) {
  return static_cast<int>(w & 0xff);
}
inline std::uint32_t pixelWord(int a, int r, int g, int b) {
  return (static_cast<std::uint32_t>(a) << 24) | (static_cast<std::uint32_t>(r) << 16) |
         (static_cast<std::uint32_t>(g) << 8) | static_cast<std::uint32_t>(b);
}

}  // namespace orvane::tk
