#include "text.h"

#include <glib.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace orvane::host {

namespace {

struct GFreeDeleter {
  void operator()(gchar* p) const { g_free(p); }
};
using GText = std::unique_ptr<gchar, GFreeDeleter>;

GText validUtf8(const std::string& text) {
  return GText(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
}

}  // namespace

std::vector<std::string> foldedWords(const std::string& text) {
  const GText valid = validUtf8(text);
  // Fold the case first: folding may itself produce combining marks (the dot
  // of a Turkish capital I), which the decomposition then lets us drop.
  const GText caseless(g_utf8_casefold(valid.get(), -1));
  const GText decomposed(g_utf8_normalize(caseless.get(), -1, G_NORMALIZE_NFKD));
  std::vector<std::string> words;
  std::string word;
  for (const gchar* p = decomposed.get(); *p; p = g_utf8_next_char(p)) {
    const gunichar c = g_utf8_get_char(p);
    if (g_unichar_ismark(c)) continue;
    if (g_unichar_isalnum(c)) {
      word.append(p, static_cast<std::size_t>(g_utf8_next_char(p) - p));
    } else if (!word.empty()) {
      words.push_back(std::move(word));
      word.clear();
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

std::string folded(const std::string& text) {
  std::string out;
  for (const std::string& w : foldedWords(text)) out += w;
  return out;
}

bool matchesAtWordStart(const std::string& foldedQuery, const std::string& text) {
  if (foldedQuery.empty()) return false;
  const std::vector<std::string> words = foldedWords(text);
  for (std::size_t first = 0; first < words.size(); ++first) {
    std::string tail;
    for (std::size_t i = first; i < words.size(); ++i) tail += words[i];
    if (tail.compare(0, foldedQuery.size(), foldedQuery) == 0) return true;
  }
  return false;
}

bool sameCaseless(const std::string& a, const std::string& b) {
  const GText fa(g_utf8_casefold(validUtf8(a).get(), -1));
  const GText fb(g_utf8_casefold(validUtf8(b).get(), -1));
  return g_strcmp0(fa.get(), fb.get()) == 0;
}

int displayWidth(const std::string& text) {
  const GText valid = validUtf8(text);
  int width = 0;
  for (const gchar* p = valid.get(); *p; p = g_utf8_next_char(p)) {
    const gunichar c = g_utf8_get_char(p);
    if (g_unichar_iszerowidth(c)) continue;
    width += g_unichar_iswide(c) ? 2 : 1;
  }
  return width;
}

std::string padded(const std::string& text, int width) {
  return text + std::string(std::max(0, width - displayWidth(text)), ' ');
}

int editDistance(const std::string& a, const std::string& b) {
  std::vector<int> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = static_cast<int>(j);
  for (std::size_t i = 1; i <= a.size(); ++i) {
    int diagonal = row[0];
    row[0] = static_cast<int>(i);
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const int above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string jsonString(const std::string& text) {
  const GText valid = validUtf8(text);
  std::string out = "\"";
  for (const char* p = valid.get(); *p; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

}  // namespace orvane::host
