#include "editor/toolkit/image.h"

#include <cairo.h>

#include <cstring>

namespace orvane::tk {

Image::Image(cairo_surface_t* surface, int w, int h, std::vector<std::uint32_t> owned)
    : surface_(surface),
      pixelWidth_(w),
      pixelHeight_(h),
      pointSize_{double(w), double(h)},
      owned_(std::move(owned)) {}

Image::~Image() {
  cairo_surface_destroy(surface_);
}

std::shared_ptr<Image> Image::create(int pixelWidth, int pixelHeight) {
  if (pixelWidth <= 0 || pixelHeight <= 0) return nullptr;
  std::vector<std::uint32_t> words(std::size_t(pixelWidth) * std::size_t(pixelHeight), 0u);
  return fromPixelWords(words.data(), words.size(), pixelWidth, pixelHeight, true);
}

std::shared_ptr<Image> Image::fromPixelWords(const std::uint32_t* words, std::size_t count,
                                             int pixelWidth, int pixelHeight, bool copy) {
  if (pixelWidth <= 0 || pixelHeight <= 0 || words == nullptr) return nullptr;
  const std::size_t needed = std::size_t(pixelWidth) * std::size_t(pixelHeight);
  if (count < needed) return nullptr;
  // ARGB32 rows are always 4 * width bytes, so the words need no repacking.
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, pixelWidth);
  if (stride != 4 * pixelWidth) return nullptr;

  std::vector<std::uint32_t> owned;
  const std::uint32_t* data = words;
  if (copy) {
    owned.assign(words, words + needed);
    data = owned.data();
  }
  // Cairo only reads a surface used as a source; the const_cast never leads to
  // a write into the caller's memory because such images are never drawn into.
  auto* bytes = reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(data));
  cairo_surface_t* s = cairo_image_surface_create_for_data(bytes, CAIRO_FORMAT_ARGB32, pixelWidth,
                                                           pixelHeight, stride);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return nullptr;
  }
  return std::shared_ptr<Image>(new Image(s, pixelWidth, pixelHeight, std::move(owned)));
}

std::uint32_t Image::pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= pixelWidth_ || y >= pixelHeight_) return 0;
  cairo_surface_flush(surface_);
  const unsigned char* base = cairo_image_surface_get_data(surface_);
  const int stride = cairo_image_surface_get_stride(surface_);
  std::uint32_t w;
  std::memcpy(&w, base + std::size_t(y) * std::size_t(stride) + std::size_t(x) * 4, 4);
  return w;
}

std::vector<std::uint32_t> Image::pixelWords() const {
  std::vector<std::uint32_t> out(std::size_t(pixelWidth_) * std::size_t(pixelHeight_));
  cairo_surface_flush(surface_);
  const unsigned char* base = cairo_image_surface_get_data(surface_);
  const int stride = cairo_image_surface_get_stride(surface_);
  for (int y = 0; y < pixelHeight_; ++y)
    std::memcpy(out.data() + std::size_t(y) * std::size_t(pixelWidth_),
                base + std::size_t(y) * std::size_t(stride), std::size_t(pixelWidth_) * 4);
  return out;
}

bool Image::writePng(const std::string& path) const {
  cairo_surface_flush(surface_);
  return cairo_surface_write_to_png(surface_, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

}  // namespace orvane::tk
