// The component state record's bytes.
#include "protocol/state_codec.h"

#include <cmath>
#include <cstring>

namespace orvane {

namespace {

std::uint32_t readWord(const std::uint8_t* p) noexcept {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

bool readUnitFloat(const std::uint8_t* p, float& v) noexcept {
  const std::uint32_t word = readWord(p);
  std::memcpy(&v, &word, sizeof v);
  return std::isfinite(v) && v >= 0.0f && v <= 1.0f;
}

void writeWord(std::uint8_t* p, std::uint32_t v) noexcept {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void writeFloat(std::uint8_t* p, float v) noexcept {
  std::uint32_t word = 0;
  std::memcpy(&word, &v, sizeof v);
  writeWord(p, word);
}

}  // namespace

std::size_t stateRecordBytes(std::uint32_t version) noexcept {
  if (version == 1) return kStateHeaderBytes + 4 * kEngineParamCount;
  return version == 2 ? kStateBytes : 0;
}

std::uint32_t stateRecordVersion(const std::uint8_t* bytes) noexcept {
  return readWord(bytes);
}

bool decodeStateRecord(const std::uint8_t* bytes, std::size_t size, StateRecord& out) noexcept {
  if (!bytes || size < kStateHeaderBytes) return false;
  StateRecord r;
  r.version = stateRecordVersion(bytes);
  const std::size_t need = stateRecordBytes(r.version);
  if (need == 0 || size < need) return false;
  const std::uint8_t* p = bytes + kStateHeaderBytes;
  for (float& v : r.params) {
    if (!readUnitFloat(p, v)) return false;
    p += 4;
  }
  if (r.version == 2) {
    if (!readUnitFloat(p, r.modeNorm)) return false;
    r.hasMode = true;
  }
  out = r;
  return true;
}

std::array<std::uint8_t, kStateBytes> encodeStateRecord(
    const std::array<float, kEngineParamCount>& params, float modeNorm) noexcept {
  std::array<std::uint8_t, kStateBytes> bytes{};
  writeWord(bytes.data(), kStateVersion);
  std::uint8_t* p = bytes.data() + kStateHeaderBytes;
  for (float v : params) {
    writeFloat(p, v);
    p += 4;
  }
  writeFloat(p, modeNorm);
  return bytes;
}

}  // namespace orvane
