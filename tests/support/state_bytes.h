// Component state records built byte by byte, as another program might write
// them, and preset images made with the preset encoder.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "presets/preset_file.h"

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

// The fields of a new instance's record: parameters 0..8, then the mode.
inline constexpr std::array<float, 10> kDefaultRecord{1, 0, 1, 0, 0.1f, 1, 0.5f, 0, 0.5f, 0.5f};

// A version 2 record of the defaults with field `field` (0..9) set to `value`.
inline std::vector<std::uint8_t> stateWith(int field, float value) {
  std::vector<std::uint8_t> out;
  putU32(out, 2);
  for (int i = 0; i < 10; ++i) putF32(out, i == field ? value : kDefaultRecord[i]);
  return out;
}

// A version 1 record of the defaults: no processing mode.
inline std::vector<std::uint8_t> olderState() {
  auto out = stateWith(-1, 0.0f);
  out[0] = 1;
  out.resize(40);
  return out;
}

// A preset image with any four-byte magic and any number of values: the
// encoder's image of the values (padded to ten), cut after the last one.
inline std::vector<std::uint8_t> presetBytes(const char* magic,
                                             std::initializer_list<double> values) {
  preset::Values all{};
  std::copy(values.begin(), values.end(), all.begin());
  auto out = preset::encode(all);
  std::memcpy(out.data(), magic, 4);
  out.resize(4 + 8 * values.size());
  return out;
}

}  // namespace orvane::test
