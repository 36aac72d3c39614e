// The process-wide language choice and the preference file that keeps it
// between sessions.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "i18n/i18n.h"

namespace orvane::i18n {

int& preference() {
  static int language = loadPreference();
  return language;
}

std::string preferencePath() {
  if (const char* file = std::getenv("ORV_LANGUAGE_FILE")) return file;
  // XDG_CONFIG_HOME counts only when it is an absolute path.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/')
    return (std::filesystem::path(config) / "Orvane" / "language.txt").string();
  if (const char* home = std::getenv("HOME"))
    return (std::filesystem::path(home) / ".config" / "Orvane" / "language.txt").string();
  return {};
}

int loadPreference() noexcept {
  try {
    const std::string path = preferencePath();
    if (path.empty()) return kFallbackLanguage;
    std::ifstream in(path);
    std::string word;
    if (!(in >> word)) return kFallbackLanguage;
    for (int i = 0; i < kLanguageCount; ++i)
      if (word == codes[i]) return i;
  } catch (...) {
    // A path that cannot be formed or read reads as no preference.
  }
  return kFallbackLanguage;
}

void setLanguage(int language, bool persist) noexcept {
  const int stored = validLanguage(language);
  preference() = stored;
  if (!persist) return;
  try {
    const std::string path = preferencePath();
    if (path.empty()) return;
    std::error_code ignored;
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ignored);
    std::ofstream out(path, std::ios::out | std::ios::trunc | std::ios::binary);
    out << codes[stored] << '\n';
  } catch (...) {
    // Silent by design: the language is a convenience, and the in-memory choice stands.
  }
}

}  // namespace orvane::i18n
