// Decoding the knob material: a PNG with 8-bit RGBA samples, straight alpha,
// turned into premultiplied pixel words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace orvane::knob {

// The knob material compiled into the program (generated at build time from
// assets/knob_material.png).
// NOLINTBEGIN(readability-identifier-naming): the names the build step generates
extern const unsigned char materialPng[];
extern const std::size_t materialPngSize;
// NOLINTEND(readability-identifier-naming)

struct StraightRgba {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> bytes;  // r, g, b, a per pixel, rows top to bottom
};

enum class PngStatus { Ok, Undecodable, NotRgba8 };

// Decodes without any colour transformation. Anything but 8-bit samples with
// four channels (colour type RGBA) is NotRgba8; pictures wider or taller than
// 8192 pixels count as undecodable.
PngStatus decodeRgbaPng(const std::uint8_t* data, std::size_t size, StraightRgba& out);

// Straight to premultiplied words: channel * alpha / 255 with integer division.
std::vector<std::uint32_t> premultiply(const StraightRgba& image);

// Raised when constant data the program was built with is broken; not a user
// error. The messages are "Embedded knob material must decode" and "Expected
// RGBA material".
class MaterialError : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

struct Material {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> words;  // premultiplied
};

// Decodes a material PNG, throwing MaterialError when it does not decode or
// is not 8-bit RGBA.
Material loadMaterial(const std::uint8_t* png, std::size_t size);
Material loadEmbeddedMaterial();

}  // namespace orvane::knob
