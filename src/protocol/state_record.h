// The component state record (state_codec.h) read from and written to a VST 3
// host's stream. Inline, so that the protocol library itself needs no VST 3
// code: the LV2 edition links it too.
#pragma once

#include <pluginterfaces/base/ibstream.h>

#include <array>
#include <cstdint>

#include "params/parameters.h"
#include "protocol/state_codec.h"

namespace orvane {

// Reads and validates a whole record before returning it: kInvalidArgument for a
// null stream, kResultFalse for a short read, an unknown version or any value
// that is not finite or outside [0, 1]; kResultOk otherwise. `out` is written
// only on success. Reads no further than the record's own bytes.
inline Steinberg::tresult readStateRecord(Steinberg::IBStream* stream, StateRecord& out) {
  if (!stream) return Steinberg::kInvalidArgument;
  std::array<std::uint8_t, kStateBytes> bytes{};
  auto readAll = [stream](std::uint8_t* to, std::size_t n) {
    Steinberg::int32 got = 0;
    const auto want = static_cast<Steinberg::int32>(n);
    return stream->read(to, want, &got) == Steinberg::kResultOk && got == want;
  };
  if (!readAll(bytes.data(), kStateHeaderBytes)) return Steinberg::kResultFalse;
  const std::size_t size = stateRecordBytes(stateRecordVersion(bytes.data()));
  if (size == 0 || !readAll(bytes.data() + kStateHeaderBytes, size - kStateHeaderBytes))
    return Steinberg::kResultFalse;
  return decodeStateRecord(bytes.data(), size, out) ? Steinberg::kResultOk
                                                    : Steinberg::kResultFalse;
}

// Writes a version 2 record: kInvalidArgument for a null stream, kResultFalse
// when it is not written whole.
inline Steinberg::tresult writeStateRecord(Steinberg::IBStream* stream,
                                           const std::array<float, kEngineParamCount>& params,
                                           float modeNorm) {
  if (!stream) return Steinberg::kInvalidArgument;
  auto bytes = encodeStateRecord(params, modeNorm);  // non-const: write() takes void*
  Steinberg::int32 written = 0;
  const auto size = static_cast<Steinberg::int32>(bytes.size());
  return stream->write(bytes.data(), size, &written) == Steinberg::kResultOk && written == size
             ? Steinberg::kResultOk
             : Steinberg::kResultFalse;
}

}  // namespace orvane
