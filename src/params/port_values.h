// Plain port values: parameters in the plain units of the parameter table, as
// the LV2 edition's control ports and presets carry them, against the
// normalised values the engines and the state record hold. A port carries a
// float; the conversion to a normalised value is made in double, as a VST 3
// host's plain-to-normalised conversion is, so that a port set to a value and
// a VST 3 parameter set to the same plain value reach the engines equal.
#pragma once

#include <cmath>

#include "params/parameters.h"

namespace orvane {

// The normalised value of port value `plain`: ranges linearly over
// [minPlain, maxPlain]; a switch is on above zero (lv2:toggled); a list takes
// the nearest entry. Not clamped (acceptNormalized() clamps), and NaN stays NaN.
inline double normalizedFromPort(const ParamInfo& p, float plain) noexcept {
  const double span = p.maxPlain - p.minPlain;
  if (p.kind == ParamKind::Range) return (plain - p.minPlain) / span;
  if (p.stepCount == 1) return std::isnan(plain) ? plain : (plain > 0.0f ? 1.0 : 0.0);
  return std::nearbyint(plain - p.minPlain) / span;
}

// What the port of `p` shows for normalised value `norm`: the inverse of
// normalizedFromPort(), rounded to a float.
inline float portFromNormalized(const ParamInfo& p, double norm) noexcept {
  if (p.kind == ParamKind::Range) return static_cast<float>(toPlain(p, norm));
  if (p.stepCount == 1) return bypassOn(norm) ? 1.0f : 0.0f;
  return static_cast<float>(p.minPlain + std::nearbyint(norm * p.stepCount));
}

}  // namespace orvane
