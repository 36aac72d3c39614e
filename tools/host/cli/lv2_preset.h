// A saved component state as a preset of the LV2 edition: an LV2 bundle that
// hosts find in ~/.lv2 (or on LV2_PATH) and offer for both LV2 plug-ins.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvane::host {

// Writes BUNDLE/manifest.ttl and BUNDLE/preset.ttl: a preset called `label`
// carrying `record` (a component state record) as the plug-in's state, and
// every parameter port at the value the record gives it, so that a host shows
// what the plug-in plays. Throws host::Error for a record that does not
// decode, or a bundle that cannot be written.
void writeLv2Preset(const std::string& bundle, const std::string& label,
                    const std::vector<std::uint8_t>& record);

}  // namespace orvane::host
