// The parameter table lookup.
#include "params/parameters.h"

namespace orvane {

const ParamInfo* findParam(ParamId id) noexcept {
  for (const ParamInfo& p : kParams)
    if (p.id == id) return &p;
  return nullptr;
}

}  // namespace orvane
