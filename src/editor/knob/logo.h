// The product emblem: an open arc with four level bars, 96 x 96 pixel words.
#pragma once

#include <cstdint>
#include <vector>

namespace orvane::knob {

inline constexpr int kLogoSize = 96;

// Built on first use and kept for the life of the program, so an image may
// refer to these words without copying them. Main thread only.
const std::vector<std::uint32_t>& logo();

}  // namespace orvane::knob
