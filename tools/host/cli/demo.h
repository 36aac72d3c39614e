// The built-in demo: noisy speech cleaned in all three processing modes.
#pragma once

#include <string>

namespace orvane::host {

// Builds the demo input, cleans it through the bundle in each mode, writes the
// files and a before/after spectrogram into `folder` and prints a table.
// Returns the process exit code.
int runDemo(const std::string& bundle, const std::string& folder);

}  // namespace orvane::host
