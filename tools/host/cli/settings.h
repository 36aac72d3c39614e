// The settings of a run (--state, --mode, --profile, --set, --at), resolved
// once against the plug-in's parameters so that every file of a batch gets
// the same values and a bad name fails before any file is touched.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "names.h"
#include "options.h"
#include "vsthost/stream.h"

namespace orvane::host {

struct TimedChange {
  bool inSeconds = false;
  double seconds = 0;
  std::int64_t frame = 0;
  Steinberg::Vst::ParamID id = 0;
  double normalized = 0;
};

struct Settings {
  std::vector<std::uint8_t> state;  // empty: none
  std::vector<std::pair<Steinberg::Vst::ParamID, double>> values;
  std::vector<TimedChange> changes;

  // Loads the state, then sets the values, in the order given.
  void applyTo(Plugin& plugin) const;
  // The timed changes at a file's rate.
  std::vector<Automation> automation(double sampleRate) const;
};

// Throws host::Error for an unknown or ambiguous name, a value the parameter
// does not take, or a state file that cannot be read; a malformed --at is a
// usage error. With `meters`, read-only parameters take values too (render).
Settings resolveSettings(const ParameterNames& names, const Options& options, bool meters = false);

}  // namespace orvane::host
