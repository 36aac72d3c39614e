// Text as people type and read it: Unicode folding for matching names, and
// widths as a terminal shows them. UTF-8 throughout; invalid bytes are
// treated as replacement characters.
#pragma once

#include <string>
#include <vector>

namespace orvane::host {

// The words of `text` for matching: case folded, compatibility-decomposed,
// accents (combining marks) dropped, split at everything that is not a letter
// or a digit. "Ganho de Saída" and "ganho-de-saida" give the same words.
std::vector<std::string> foldedWords(const std::string& text);
// The folded words joined without separators: "outputgain".
std::string folded(const std::string& text);
// True when `query` (folded) is a prefix of `text` read from one of its word
// starts: "classic" matches "Neural Classic", "out" matches "Output gain".
bool matchesAtWordStart(const std::string& foldedQuery, const std::string& text);
// Case-insensitive comparison of short texts such as units ("db" and "dB").
bool sameCaseless(const std::string& a, const std::string& b);

// Columns the text takes in a terminal: wide (East Asian) characters count
// two, combining and zero-width ones nothing.
int displayWidth(const std::string& text);
// `text` followed by spaces up to `width` columns (never cut).
std::string padded(const std::string& text, int width);

// Edit distance (insertions, deletions, substitutions) in bytes of folded text.
int editDistance(const std::string& a, const std::string& b);

// The text as a JSON string literal, quotes included.
std::string jsonString(const std::string& text);

}  // namespace orvane::host
