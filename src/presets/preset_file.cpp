// Preset file encoding, validation and reading.
#include "presets/preset_file.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace orvane::preset {

namespace {

void putDouble(std::vector<std::uint8_t>& out, double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
}

double getDouble(const std::uint8_t* p) {
  std::uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits |= std::uint64_t(p[i]) << (8 * i);
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

}  // namespace

std::vector<std::uint8_t> encode(const Values& values) {
  std::vector<std::uint8_t> out{'O', 'R', 'V', '2'};
  out.reserve(kSizeV2);
  for (double v : values) putDouble(out, v);
  return out;
}

bool decode(const std::vector<std::uint8_t>& bytes, double currentMode, Values& out) {
  Values v{};
  v[kValueCount - 1] = currentMode;
  int count = 0;
  if (bytes.size() == kSizeV1 && std::memcmp(bytes.data(), "ORV1", 4) == 0)
    count = kValueCount - 1;
  else if (bytes.size() == kSizeV2 && std::memcmp(bytes.data(), "ORV2", 4) == 0)
    count = kValueCount;
  else
    return false;
  for (int i = 0; i < count; ++i) v[i] = getDouble(bytes.data() + 4 + 8 * i);
  for (double x : v)
    if (!std::isfinite(x) || x < 0.0 || x > 1.0) return false;
  out = v;
  return true;
}

bool readAll(const std::string& path, std::vector<std::uint8_t>& bytes) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::vector<std::uint8_t> data(kSizeV2 + 1);
  in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
  if (in.bad()) return false;
  data.resize(static_cast<std::size_t>(in.gcount()));
  bytes = std::move(data);
  return true;
}

}  // namespace orvane::preset
