// Encodes small PNGs with chosen sample layouts, for the decoder's tests.
#pragma once

#include <png.h>

#include <cstdint>
#include <vector>

namespace orvane::testing {

// `format` is a libpng simplified-API format (PNG_FORMAT_RGBA, PNG_FORMAT_GRAY,
// PNG_FORMAT_RGB, PNG_FORMAT_LINEAR_RGB_ALPHA...); `pixels` holds the samples
// in that format, rows top to bottom.
inline std::vector<std::uint8_t> encodePng(int width, int height, png_uint_32 format,
                                           const void* pixels) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(width);
  image.height = png_uint_32(height);
  image.format = format;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, pixels, 0, nullptr)) return {};
  std::vector<std::uint8_t> out(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, pixels, 0, nullptr)) return {};
  out.resize(size);
  return out;
}

}  // namespace orvane::testing
