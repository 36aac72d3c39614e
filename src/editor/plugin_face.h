// What the editor needs from the plug-in it edits, whichever edition hosts it:
// the parameters' normalised values (0..1, the meters' readings included),
// complete edit gestures on them, and a word when the language changed so the
// plug-in can retitle what its host shows. Presets and A/B are the ten
// writable values, read here and written back as edit gestures. Each edition
// implements it once, beside its view adapter.
// Main (user-interface) thread only.
#pragma once

#include "params/parameters.h"

namespace orvane {

class PluginFace {
 public:
  virtual ~PluginFace() = default;

  // The current normalised value of a parameter (0..9) or meter (100..104).
  virtual double value(ParamId id) const = 0;
  // A gesture: beginEdit, any number of performEdit, endEdit. performEdit
  // stores the value, so value() reads it back at once, and sends it on.
  virtual void beginEdit(ParamId id) = 0;
  virtual void performEdit(ParamId id, double valueNorm) = 0;
  virtual void endEdit(ParamId id) = 0;
  // The editor's language changed: titles the host shows follow it where the
  // edition can.
  virtual void languageChanged() = 0;
};

}  // namespace orvane
