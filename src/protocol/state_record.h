// The component state record the host saves in its projects: little-endian,
// a version (2 when written; 1 and 2 read), the nine normalised values of
// parameters 0..8 as floats, and for version 2 the processing mode (index x 0.5).
// 44 bytes for version 2, 40 for version 1; trailing bytes are ignored.
#pragma once

#include <pluginterfaces/base/ibstream.h>

#include <array>
#include <cstdint>

#include "params/parameters.h"

namespace orvane {

inline constexpr std::uint32_t kStateVersion = 2;

struct StateRecord {
  std::uint32_t version = kStateVersion;
  std::array<float, kEngineParamCount> params{};
  bool hasMode = false;   // version 2
  float modeNorm = 0.5f;  // valid when hasMode
};

// Reads and validates a whole record before returning it: kInvalidArgument for a
// null stream, kResultFalse for a short read, an unknown version or any value
// that is not finite or outside [0, 1]; kResultOk otherwise. `out` is written
// only on success.
Steinberg::tresult readStateRecord(Steinberg::IBStream* stream, StateRecord& out);

// Writes a version 2 record: kInvalidArgument for a null stream, kResultFalse
// at the first field that is not written whole.
Steinberg::tresult writeStateRecord(Steinberg::IBStream* stream,
                                    const std::array<float, kEngineParamCount>& params,
                                    float modeNorm);

}  // namespace orvane
