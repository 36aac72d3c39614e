// Builds component state records byte by byte, as another program might.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace orvane::test {

inline void putU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

inline void putF32(std::vector<std::uint8_t>& out, float f) {
  std::uint32_t v;
  std::memcpy(&v, &f, 4);
  putU32(out, v);
}

// A record with the given version and float fields, little-endian.
inline std::vector<std::uint8_t> stateBytes(std::uint32_t version,
                                            std::initializer_list<float> values) {
  std::vector<std::uint8_t> out;
  putU32(out, version);
  for (float f : values) putF32(out, f);
  return out;
}

// A preset file image: a four-byte magic, then little-endian doubles.
inline std::vector<std::uint8_t> presetBytes(const char* magic,
                                             std::initializer_list<double> values) {
  std::vector<std::uint8_t> out(magic, magic + 4);
  for (double v : values) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, 8);
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
  }
  return out;
}

}  // namespace orvane::test
