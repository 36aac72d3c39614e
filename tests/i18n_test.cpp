#include "i18n/i18n.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/vst_helpers.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

// What every catalog row must satisfy: a text in each language, the same in
// both encodings, and names a user tells apart where they appear together.
TEST(Catalog, EveryKeyHasItsTextInEveryLanguage) {
  EXPECT_EQ(static_cast<int>(i18n::Key::NoFileChooser), i18n::kKeyCount - 1);
  for (int lang = 0; lang < i18n::kLanguageCount; ++lang) {
    std::set<std::string> titles, entries;
    for (int key = 0; key < i18n::kKeyCount; ++key) {
      const i18n::Text& t = i18n::catalog[key][lang];
      ASSERT_TRUE(t.utf8 && t.utf16) << key << " " << lang;
      EXPECT_NE(std::string(t.utf8), "") << key << " " << lang;
      EXPECT_EQ(test::toUtf8(reinterpret_cast<const Steinberg::Vst::TChar*>(t.utf16)), t.utf8);
      // Parameter titles (keys 0..14), and mode and profile names, are unique.
      EXPECT_TRUE(key >= 21 || (key < 15 ? titles : entries).insert(t.utf8).second) << t.utf8;
    }
  }
  // A text whose accents and column a wrong edit would spoil unseen.
  EXPECT_STREQ(i18n::catalog[2][1].utf8, "Redução de ruído");
}

TEST(Catalog, LookupFollowsTheCurrentLanguageWithFallback) {
  const int saved = i18n::preference();
  i18n::setLanguage(2, false);
  EXPECT_STREQ(i18n::text(i18n::Key::Ok).utf8, "Aceptar");
  i18n::preference() = 9;  // out of range even if something stored it raw
  EXPECT_STREQ(i18n::text(i18n::Key::Ok).utf8, "OK");
  EXPECT_STREQ(i18n::text(i18n::Key::Clipping).utf8, "SATURAÇÃO");
  i18n::setLanguage(saved, false);
}

// Each test gets its own folder; the environment and the in-memory language
// are restored afterwards.
class LanguagePreference : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"ORV_LANGUAGE_FILE", "XDG_CONFIG_HOME", "HOME"})
      saved.emplace_back(
          name, std::getenv(name) ? std::optional<std::string>(std::getenv(name)) : std::nullopt);
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    for (const auto& [name, value] : saved)
      value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    fs::remove_all(dir);
    i18n::setLanguage(savedLanguage, false);
  }
  void useFile(const fs::path& p) { ::setenv("ORV_LANGUAGE_FILE", p.c_str(), 1); }
  static void writeFile(const fs::path& p, const std::string& content) {
    std::ofstream(p, std::ios::binary) << content;
  }
  static std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  const int savedLanguage = i18n::preference();
  const fs::path dir = fs::temp_directory_path() / ("orvane-lang-" + std::to_string(::getpid()));
  std::vector<std::pair<const char*, std::optional<std::string>>> saved;
};

TEST_F(LanguagePreference, FileContentRules) {
  const fs::path file = dir / "language.txt";
  useFile(file);
  EXPECT_EQ(i18n::loadPreference(), 1) << "missing file";
  // (A byte-order mark before the code is not the code.)
  const std::pair<const char*, int> cases[] = {
      {"en\n", 0},    {"  es  \n", 2}, {"\t\nes", 2}, {"en es\n", 0},
      {"es", 2},      {"pt-BR\n", 1},  {"EN\n", 1},   {"pt-br\n", 1},
      {"English", 1}, {"", 1},         {"enx\n", 1},  {"\357\273\277en\n", 1}};
  for (const auto& [content, language] : cases) {
    writeFile(file, content);
    EXPECT_EQ(i18n::loadPreference(), language) << '"' << content << '"';
  }
  useFile(dir);
  EXPECT_EQ(i18n::loadPreference(), 1) << "a folder is not a readable file";
}

TEST_F(LanguagePreference, PathRules) {
  ::unsetenv("ORV_LANGUAGE_FILE");
  ::setenv("HOME", "/home/someone", 1);
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(i18n::preferencePath(), "/home/someone/.config/Orvane/language.txt");
  ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(i18n::preferencePath(), "/cfg/Orvane/language.txt");
  ::setenv("XDG_CONFIG_HOME", "relative", 1);
  EXPECT_EQ(i18n::preferencePath(), "/home/someone/.config/Orvane/language.txt");
  ::unsetenv("XDG_CONFIG_HOME");
  ::unsetenv("HOME");
  EXPECT_EQ(i18n::preferencePath(), "");
  EXPECT_EQ(i18n::loadPreference(), 1);
  i18n::setLanguage(0, true);  // nowhere to write: memory only, silently
  EXPECT_EQ(i18n::preference(), 0);
  ::setenv("ORV_LANGUAGE_FILE", "", 1);
  EXPECT_EQ(i18n::preferencePath(), "") << "an empty override is still the override";
  EXPECT_EQ(i18n::loadPreference(), 1);
}

// Storing writes the code and a line feed, creating missing folders; an
// invalid index stores the fallback; a place that cannot be written is silent.
TEST_F(LanguagePreference, StoringWritesTheCode) {
  const fs::path file = dir / "deep" / "er" / "language.txt";
  useFile(file);
  const std::pair<int, const char*> steps[] = {
      {2, "es\n"}, {7, "pt-BR\n"}, {-1, "pt-BR\n"}, {0, "en\n"}};
  for (const auto& [language, content] : steps) {
    i18n::setLanguage(language, true);
    EXPECT_EQ(i18n::preference(), i18n::validLanguage(language));
    EXPECT_EQ(readFile(file), content) << language;
    EXPECT_EQ(i18n::loadPreference(), i18n::validLanguage(language));
  }
  i18n::setLanguage(2, false);
  EXPECT_EQ(i18n::preference(), 2);
  EXPECT_EQ(readFile(file), "en\n") << "a change that is not persisted leaves the file alone";

  writeFile(dir / "plain-file", "x");
  useFile(dir / "plain-file" / "language.txt");  // parent is a file: cannot be created
  i18n::setLanguage(0, true);
  EXPECT_EQ(i18n::preference(), 0);
  EXPECT_EQ(readFile(dir / "plain-file"), "x");
}

}  // namespace
}  // namespace orvane
