// Reading and writing the component state record.
#include "protocol/state_record.h"

#include <base/source/fstreamer.h>

#include <cmath>

namespace orvane {

using namespace Steinberg;

namespace {
bool readUnitFloat(IBStreamer& s, float& v) {
  return s.readFloat(v) && std::isfinite(v) && v >= 0.0f && v <= 1.0f;
}
}  // namespace

tresult readStateRecord(IBStream* stream, StateRecord& out) {
  if (!stream) return kInvalidArgument;
  IBStreamer s(stream, kLittleEndian);
  StateRecord r;
  uint32 version = 0;
  if (!s.readInt32u(version) || (version != 1 && version != 2)) return kResultFalse;
  r.version = version;
  for (float& p : r.params)
    if (!readUnitFloat(s, p)) return kResultFalse;
  if (version == 2) {
    if (!readUnitFloat(s, r.modeNorm)) return kResultFalse;
    r.hasMode = true;
  }
  out = r;
  return kResultOk;
}

tresult writeStateRecord(IBStream* stream, const std::array<float, kEngineParamCount>& params,
                         float modeNorm) {
  if (!stream) return kInvalidArgument;
  IBStreamer s(stream, kLittleEndian);
  if (!s.writeInt32u(kStateVersion)) return kResultFalse;
  for (float p : params)
    if (!s.writeFloat(p)) return kResultFalse;
  return s.writeFloat(modeNorm) ? kResultOk : kResultFalse;
}

}  // namespace orvane
