#include "editor/knob/material_loader.h"

#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

namespace orvane::knob {

namespace {

constexpr png_uint_32 kMaxSide = 8192;

struct MemoryReader {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t pos;
};

void readFromMemory(png_structp png, png_bytep out, png_size_t count) {
  auto* r = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (count > r->size - r->pos) png_error(png, "read past end");
  std::memcpy(out, r->data + r->pos, count);
  r->pos += count;
}

// libpng reports errors by longjmp, so nothing with a destructor may live in
// the frame that calls setjmp: the pixel buffer is plain malloc'd memory held
// in this record and handed over once decoding succeeded.
struct DecodeState {
  png_structp png = nullptr;
  png_infop info = nullptr;
  unsigned char* pixels = nullptr;
  png_bytep* rows = nullptr;
  png_uint_32 width = 0, height = 0;
  PngStatus status = PngStatus::Undecodable;
};

void decodeInto(DecodeState* st, MemoryReader* reader) {
  if (setjmp(png_jmpbuf(st->png))) return;  // status stays Undecodable
  png_set_read_fn(st->png, reader, readFromMemory);
  png_set_user_limits(st->png, kMaxSide, kMaxSide);
  png_read_info(st->png, st->info);
  int bitDepth = 0, colourType = 0, interlace = 0;
  png_get_IHDR(st->png, st->info, &st->width, &st->height, &bitDepth, &colourType, &interlace,
               nullptr, nullptr);
  if (bitDepth != 8 || colourType != PNG_COLOR_TYPE_RGBA ||
      png_get_channels(st->png, st->info) != 4) {
    st->status = PngStatus::NotRgba8;
    return;
  }
  png_set_interlace_handling(st->png);
  png_read_update_info(st->png, st->info);
  const std::size_t rowBytes = png_get_rowbytes(st->png, st->info);
  if (rowBytes != std::size_t(st->width) * 4) return;
  st->pixels = static_cast<unsigned char*>(std::malloc(rowBytes * st->height));
  st->rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * st->height));
  if (!st->pixels || !st->rows) return;
  for (png_uint_32 y = 0; y < st->height; ++y) st->rows[y] = st->pixels + rowBytes * y;
  png_read_image(st->png, st->rows);
  png_read_end(st->png, nullptr);
  st->status = PngStatus::Ok;
}

}  // namespace

PngStatus decodeRgbaPng(const std::uint8_t* data, std::size_t size, StraightRgba& out) {
  if (!data || size < 8 || png_sig_cmp(data, 0, 8) != 0) return PngStatus::Undecodable;
  DecodeState st;
  MemoryReader reader{data, size, 0};
  st.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!st.png) return PngStatus::Undecodable;
  st.info = png_create_info_struct(st.png);
  if (st.info) decodeInto(&st, &reader);
  png_destroy_read_struct(&st.png, st.info ? &st.info : nullptr, nullptr);
  if (st.status == PngStatus::Ok) {
    out.width = static_cast<int>(st.width);
    out.height = static_cast<int>(st.height);
    out.bytes.assign(st.pixels, st.pixels + std::size_t(st.width) * st.height * 4);
  }
  std::free(st.rows);
  std::free(st.pixels);
  return st.status;
}

std::vector<std::uint32_t> premultiply(const StraightRgba& image) {
  const std::size_t n = std::size_t(image.width) * std::size_t(image.height);
  std::vector<std::uint32_t> words(n);
  for (std::size_t i = 0; i < n && 4 * i + 3 < image.bytes.size(); ++i) {
    const unsigned r = image.bytes[4 * i], g = image.bytes[4 * i + 1], b = image.bytes[4 * i + 2],
                   a = image.bytes[4 * i + 3];
    words[i] = (a << 24) | ((r * a / 255) << 16) | ((g * a / 255) << 8) | (b * a / 255);
  }
  return words;
}

Material loadMaterial(const std::uint8_t* png, std::size_t size) {
  StraightRgba straight;
  switch (decodeRgbaPng(png, size, straight)) {
    case PngStatus::Undecodable:
      throw MaterialError("Embedded knob material must decode");
    case PngStatus::NotRgba8:
      throw MaterialError("Expected RGBA material");
    case PngStatus::Ok:
      break;
  }
  Material m;
  m.width = straight.width;
  m.height = straight.height;
  m.words = premultiply(straight);
  return m;
}

Material loadEmbeddedMaterial() {
  return loadMaterial(materialPng, materialPngSize);
}

}  // namespace orvane::knob
