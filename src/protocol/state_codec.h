// The component state record as bytes, the one format both editions save:
// little-endian, a version (2 when written; 1 and 2 read), the nine normalised
// values of parameters 0..8 as floats, and for version 2 the processing mode
// (index x 0.5). 44 bytes for version 2, 40 for version 1; trailing bytes are
// ignored. Free of plug-in format headers: the VST 3 component reads it through
// its host's stream (state_record.h), the LV2 plug-in as a state property.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "params/parameters.h"

namespace orvane {

inline constexpr std::uint32_t kStateVersion = 2;
inline constexpr std::size_t kStateHeaderBytes = 4;  // the version word
inline constexpr std::size_t kStateBytes = 44;       // a whole version 2 record

struct StateRecord {
  std::uint32_t version = kStateVersion;
  std::array<float, kEngineParamCount> params{};
  bool hasMode = false;   // version 2
  float modeNorm = 0.5f;  // valid when hasMode
};

// Bytes a record of `version` takes; 0 for a version no edition reads.
std::size_t stateRecordBytes(std::uint32_t version) noexcept;

// The version word at the start of `bytes` (at least kStateHeaderBytes).
std::uint32_t stateRecordVersion(const std::uint8_t* bytes) noexcept;

// Decodes and validates a whole record before returning it: false for a short
// record, an unknown version or any value that is not finite or outside
// [0, 1]. `out` is written only on success.
bool decodeStateRecord(const std::uint8_t* bytes, std::size_t size, StateRecord& out) noexcept;

// A version 2 record of the nine values and the mode.
std::array<std::uint8_t, kStateBytes> encodeStateRecord(
    const std::array<float, kEngineParamCount>& params, float modeNorm) noexcept;

}  // namespace orvane
