#include "i18n/i18n.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "support/vst_helpers.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

// Typed independently from the product's text table; a wrong accent here or
// in the catalog is a fault users see.
struct Expected {
  int key;
  const char* texts[3];
};
// clang-format off
const Expected kExpected[] = {
    {0, {"Voice cleanup", "Limpeza da voz", "Limpieza de voz"}},  // VoiceCleanup
    {1, {"Original ambience", "Ambiente original", "Ambiente original"}},  // OriginalAmbience
    {2, {"Noise reduction", "Redução de ruído", "Reducción de ruido"}},  // NoiseReduction
    {3, {"Body restore", "Recuperar corpo", "Recuperar cuerpo"}},  // BodyRestore
    {4, {"Frequency focus", "Foco de frequência", "Enfoque de frecuencia"}},  // FrequencyFocus
    {5, {"Dry / Wet", "Original / Limpo", "Original / Limpio"}},  // DryWet
    {6, {"Output gain", "Ganho de saída", "Ganancia de salida"}},  // OutputGain
    {7, {"Bypass", "Desativar efeito", "Desactivar efecto"}},  // Bypass
    {8, {"Cleanup profile", "Perfil de limpeza", "Perfil de limpieza"}},  // CleanupProfile
    {9, {"Processing mode", "Modo de processamento", "Modo de procesamiento"}},  // ProcessingMode
    {10, {"Input peak", "Pico de entrada", "Pico de entrada"}},  // InputPeak
    {11, {"Output peak", "Pico de saída", "Pico de salida"}},  // OutputPeak
    {12, {"Reduction", "Redução", "Reducción"}},  // Reduction
    {13, {"Neural active", "Rede neural ativa", "Red neuronal activa"}},  // NeuralActive
    {14, {"CLIPPING", "SATURAÇÃO", "SATURACIÓN"}},  // Clipping
    {15, {"Neural Live", "Neural ao vivo", "Neural en vivo"}},  // NeuralLive
    {16, {"Neural Classic", "Neural Clássico", "Neural Clásico"}},  // NeuralClassic
    {17, {"Live DSP", "DSP ao vivo", "DSP en vivo"}},  // LiveDsp
    {18, {"Live / gentle", "Ao vivo / suave", "En vivo / suave"}},  // ProfileLive
    {19, {"Broadcast / medium", "Transmissão / médio", "Emisión / medio"}},  // ProfileBroadcast
    {20, {"Studio / intense", "Estúdio / intenso", "Estudio / intenso"}},  // ProfileStudio
    {21, {"Advanced", "Avançadas", "Avanzadas"}},  // Advanced
    {22, {"Back", "Voltar", "Volver"}},  // Back
    {23, {"Save", "Salvar", "Guardar"}},  // Save
    {24, {"Open", "Abrir", "Abrir"}},  // Open
    {25, {"Reset", "Restaurar", "Restablecer"}},  // Reset
    {26, {"B / switch to A", "B / trocar para A", "B / cambiar a A"}},  // SideBSwitchToA
    {27, {"A / switch to B", "A / trocar para B", "A / cambiar a B"}},  // SideASwitchToB
    {28, {"Effect OFF", "Efeito desligado", "Efecto apagado"}},  // EffectOff
    {29, {"Effect ON", "Efeito ligado", "Efecto encendido"}},  // EffectOn
    {30, {"VOICE CLEANUP", "LIMPEZA DA VOZ", "LIMPIEZA DE VOZ"}},  // Heading
    {31, {"VOICE CLEANUP", "LIMPEZA DE VOZ", "LIMPIEZA DE VOZ"}},  // Subtitle
    {32, {"IN", "ENT", "ENT"}},  // MeterIn
    {33, {"OUT", "SAÍ", "SAL"}},  // MeterOut
    {34, {"Orvane presets", "Presets Orvane", "Preajustes Orvane"}},  // PresetFiles
    {35, {"Save Orvane preset", "Salvar preset Orvane", "Guardar preajuste Orvane"}},  // SavePresetTitle
    {36, {"Open Orvane preset", "Abrir preset Orvane", "Abrir preajuste Orvane"}},  // OpenPresetTitle
    {37, {"Could not save the preset.", "Não foi possível salvar o preset.", "No se pudo guardar el preajuste."}},  // SaveFailed
    {38, {"Could not open the preset.", "Não foi possível abrir o preset.", "No se pudo abrir el preajuste."}},  // OpenFailed
    {39, {"Invalid or incompatible preset.", "Preset inválido ou incompatível.", "Preajuste no válido o incompatible."}},  // InvalidPreset
    {40, {"Language", "Idioma", "Idioma"}},  // Language
    {41, {"OK", "OK", "Aceptar"}},  // Ok
    {42, {"No file chooser found. Install zenity or kdialog.", "Nenhum seletor de arquivos encontrado. Instale o zenity ou o kdialog.", "No se encontró ningún selector de archivos. Instale zenity o kdialog."}},  // NoFileChooser
};
// clang-format on

TEST(Catalog, EveryTextInEveryLanguage) {
  ASSERT_EQ(std::size(kExpected), static_cast<std::size_t>(i18n::kKeyCount));
  EXPECT_EQ(static_cast<int>(i18n::Key::Ok), 41);
  EXPECT_EQ(static_cast<int>(i18n::Key::Clipping), 14);
  EXPECT_EQ(static_cast<int>(i18n::Key::NeuralLive), 15);
  EXPECT_EQ(static_cast<int>(i18n::Key::ProfileLive), 18);
  for (const Expected& e : kExpected) {
    for (int lang = 0; lang < 3; ++lang) {
      const i18n::Text& t = i18n::catalog[e.key][lang];
      EXPECT_STREQ(t.utf8, e.texts[lang]) << "key " << e.key << " language " << lang;
      EXPECT_EQ(test::toUtf8(reinterpret_cast<const Steinberg::Vst::TChar*>(t.utf16)),
                e.texts[lang])
          << "UTF-16 form of key " << e.key << " language " << lang;
    }
  }
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

// Each test gets its own folder and environment; the in-memory language is
// restored afterwards.
class LanguagePreference : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = i18n::preference();
    dir = fs::temp_directory_path() /
          ("orvane-lang-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const char* v : {"ORV_LANGUAGE_FILE", "XDG_CONFIG_HOME", "HOME"}) {
      const char* value = std::getenv(v);
      env.push_back({v, value ? std::optional<std::string>(value) : std::nullopt});
    }
  }
  void TearDown() override {
    for (auto& [name, value] : env) {
      if (value)
        ::setenv(name, value->c_str(), 1);
      else
        ::unsetenv(name);
    }
    fs::remove_all(dir);
    i18n::setLanguage(saved, false);
  }
  void useFile(const fs::path& p) { ::setenv("ORV_LANGUAGE_FILE", p.c_str(), 1); }
  void writeFile(const fs::path& p, const std::string& content) {
    std::ofstream(p, std::ios::binary) << content;
  }
  static std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  int saved = 1;
  fs::path dir;
  std::vector<std::pair<const char*, std::optional<std::string>>> env;
};

TEST_F(LanguagePreference, FileContentRules) {
  const fs::path file = dir / "language.txt";
  useFile(file);
  EXPECT_EQ(i18n::loadPreference(), 1) << "missing file";
  const std::pair<const char*, int> cases[] = {
      {"en\n", 0},
      {"  es  \n", 2},
      {"\t\nes", 2},
      {"en es\n", 0},
      {"es", 2},
      {"pt-BR\n", 1},
      {"EN\n", 1},
      {"pt-br\n", 1},
      {"English", 1},
      {"", 1},
      {"\xEF\xBB\xBF"
       "en\n",
       1},
      {"enx\n", 1},
  };
  for (const auto& [content, language] : cases) {
    writeFile(file, content);
    EXPECT_EQ(i18n::loadPreference(), language) << '"' << content << '"';
  }
  fs::create_directories(dir / "a-folder");
  useFile(dir / "a-folder");
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
  i18n::setLanguage(2, true);
  EXPECT_EQ(i18n::preference(), 2);
}

TEST_F(LanguagePreference, StoringWritesTheCodeAndALineFeed) {
  const fs::path file = dir / "deep" / "er" / "language.txt";
  useFile(file);
  i18n::setLanguage(2, true);
  EXPECT_EQ(i18n::preference(), 2);
  EXPECT_EQ(readFile(file), "es\n") << "missing folders are created";
  EXPECT_EQ(i18n::loadPreference(), 2);

  i18n::setLanguage(7, true);
  EXPECT_EQ(i18n::preference(), 1);
  EXPECT_EQ(readFile(file), "pt-BR\n");
  i18n::setLanguage(-1, true);
  EXPECT_EQ(i18n::preference(), 1);
  EXPECT_EQ(readFile(file), "pt-BR\n");

  i18n::setLanguage(0, true);
  EXPECT_EQ(readFile(file), "en\n");
  i18n::setLanguage(2, false);
  EXPECT_EQ(i18n::preference(), 2);
  EXPECT_EQ(readFile(file), "en\n") << "a change that is not persisted leaves the file alone";
}

TEST_F(LanguagePreference, UnwritableLocationIsSilent) {
  writeFile(dir / "plain-file", "x");
  useFile(dir / "plain-file" / "language.txt");  // parent is a file: cannot be created
  i18n::setLanguage(0, true);
  EXPECT_EQ(i18n::preference(), 0);
  i18n::setLanguage(2, true);
  EXPECT_EQ(i18n::preference(), 2);
  EXPECT_EQ(readFile(dir / "plain-file"), "x");
}

}  // namespace
}  // namespace orvane
