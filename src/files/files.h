// Whole-file reading and atomic writing: the one place that knows how a file
// is replaced so that a reader sees either the old or the complete new
// contents. Any thread; not for the audio thread (system calls).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orvane::files {

// The file's bytes, or empty when it cannot be opened or read completely.
// Files larger than `maxBytes` are refused rather than read.
std::optional<std::vector<std::uint8_t>> readFile(const std::string& path,
                                                  std::size_t maxBytes = std::size_t(64) << 20);

// Has `produce` write the new contents to a fresh temporary file beside `path`
// (it gets the temporary's name and returns false on failure), flushes that
// file to disk and renames it over `path`. On failure the temporary is removed
// and `path` is untouched. The new file gets the usual permissions for a
// document (0666 less the umask), not the temporary's 0600.
bool writeAtomically(const std::string& path,
                     const std::function<bool(const std::string& tempPath)>& produce);

// writeAtomically for bytes already in memory.
bool writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace orvane::files
