// Whole-file reading and atomic writing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane::tk {

// The file's bytes, or empty when it cannot be opened or read completely.
// Files larger than `maxBytes` are refused rather than read.
std::optional<std::vector<std::uint8_t>> readFile(const std::string& path,
                                                  std::size_t maxBytes = std::size_t(64) << 20);

// Writes to a temporary file beside `path`, flushes it to disk and renames it
// over `path`, so readers see either the old or the complete new contents.
// On failure the temporary is removed and `path` is untouched.
bool writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace orvane::tk
