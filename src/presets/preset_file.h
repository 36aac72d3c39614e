// Preset files: the ten writable parameters behind a four-byte magic, kept by
// the user wherever they like. "ORV2" + 10 little-endian doubles (84 bytes) is
// written and read; the older "ORV1" + 9 doubles (76 bytes, no processing mode)
// is read. No other header, padding or trailing data.
// Main thread only.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace orvane::preset {

inline constexpr int kValueCount = 10;  // parameters 0..9
inline constexpr std::size_t kSizeV2 = 4 + 8 * 10;
inline constexpr std::size_t kSizeV1 = 4 + 8 * 9;
inline constexpr const char* kExtension = "orvane";
inline constexpr const char* kProposedName = "Orvane.orvane";

using Values = std::array<double, kValueCount>;

// The 84-byte image of the values.
std::vector<std::uint8_t> encode(const Values& values);

// Checks a whole file image and, only when it is valid, writes the values to
// `out`: an "ORV1" file leaves the processing mode at `currentMode`. Invalid:
// a length other than 76 or 84, a magic that does not match the length, or a
// value that is not finite or lies outside [0, 1] (-0.0 passes).
bool decode(const std::vector<std::uint8_t>& bytes, double currentMode, Values& out);

// Reads a chosen preset file: at most kSizeV2 + 1 bytes, which is enough to
// tell any longer file from a preset without loading it whole, and only from a
// regular file (a fifo or a device would block or never end). False when it
// cannot be read. Presets are written with files::writeFileAtomically.
bool readAll(const std::string& path, std::vector<std::uint8_t>& bytes);

}  // namespace orvane::preset
