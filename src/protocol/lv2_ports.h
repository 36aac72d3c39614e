// The LV2 edition's port layout and identifiers, shared by the plug-in, the
// Turtle written from it and the UI. Hosts store URIs and port symbols in their
// sessions and presets: none of this ever changes, ports are only appended.
#pragma once

#include <cstdint>

namespace orvane::lv2 {

inline constexpr const char* kMonoUri = "urn:orvane:lv2:mono";
inline constexpr const char* kStereoUri = "urn:orvane:lv2:stereo";
inline constexpr const char* kUiUri = "urn:orvane:lv2:ui";

// Ports 0..9: parameters 0..9 as control inputs, in the table's plain units.
inline constexpr std::uint32_t kFirstParamPort = 0;
inline constexpr std::uint32_t kParamPortCount = 10;
// Ports 10..14: the five meters (input peak, output peak, reduction, neural
// active, clipping) as control outputs, in the meters' own 0..1 readings.
inline constexpr std::uint32_t kFirstMeterPort = 10;
inline constexpr std::uint32_t kMeterPortCount = 5;
// Port 15: the latency of the current mode at the current rate, in samples.
inline constexpr std::uint32_t kLatencyPort = 15;
// Then the audio inputs, then the audio outputs (one or two of each).
constexpr std::uint32_t audioInPort(int channel) noexcept {
  return 16 + static_cast<std::uint32_t>(channel);
}
constexpr std::uint32_t audioOutPort(int channels, int channel) noexcept {
  return 16 + static_cast<std::uint32_t>(channels + channel);
}
constexpr std::uint32_t portCount(int channels) noexcept {
  return 16 + 2 * static_cast<std::uint32_t>(channels);
}

}  // namespace orvane::lv2
