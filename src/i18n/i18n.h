// The text catalog in three languages and the process-wide language choice.
// Main (user-interface) thread only, except that the first load is thread-safe.
#pragma once

#include <array>
#include <string>

namespace orvane::i18n {

// Language index: 0 English, 1 Brazilian Portuguese, 2 Spanish. Any other
// index selects 1, which is also the fallback when nothing is stored.
inline constexpr int kLanguageCount = 3;
inline constexpr int kFallbackLanguage = 1;

// Codes in index order; the only values the preference file holds.
// NOLINTNEXTLINE(readability-identifier-naming): the name callers know
inline constexpr std::array<const char*, kLanguageCount> codes{"en", "pt-BR", "es"};

// Every text the plug-in shows. The numbering is fixed: keys 0..9 equal the
// writable parameter identifiers and keys 10..14 the meter identifiers - 90.
enum class Key : int {
  VoiceCleanup,
  OriginalAmbience,
  NoiseReduction,
  BodyRestore,
  FrequencyFocus,
  DryWet,
  OutputGain,
  Bypass,
  CleanupProfile,
  ProcessingMode,
  InputPeak,
  OutputPeak,
  Reduction,
  NeuralActive,
  Clipping,
  NeuralLive,
  NeuralClassic,
  LiveDsp,
  ProfileLive,
  ProfileBroadcast,
  ProfileStudio,
  Advanced,
  Back,
  Save,
  Open,
  Reset,
  SideBSwitchToA,
  SideASwitchToB,
  EffectOff,
  EffectOn,
  Heading,
  Subtitle,
  MeterIn,
  MeterOut,
  PresetFiles,
  SavePresetTitle,
  OpenPresetTitle,
  SaveFailed,
  OpenFailed,
  InvalidPreset,
  Language,
  Ok,
  // Shown when Save or Open finds no desktop file chooser to run.
  NoFileChooser,
};
inline constexpr int kKeyCount = 43;

// One text in both encodings, both compiled in from the same literal: UTF-8 for
// the editor, UTF-16 for the host's parameter titles.
struct Text {
  const char* utf8;
  const char16_t* utf16;
};

// Indexed by key, then language.
extern const std::array<std::array<Text, kLanguageCount>, kKeyCount>
    catalog;  // NOLINT(readability-identifier-naming): the name callers know

// The language index clamped to a valid one (anything outside 0..2 is 1).
constexpr int validLanguage(int language) noexcept {
  return static_cast<unsigned>(language) < kLanguageCount ? language : kFallbackLanguage;
}

// The current language of the process, loaded from the preference file on the
// first call. Every instance, controller and editor shares it.
int& preference();

// The language stored in the preference file: the first whitespace-delimited
// word, compared exactly with the codes; anything else (no file, other case,
// read error) gives the fallback. Never throws.
int loadPreference() noexcept;

// Where the preference lives: $ORV_LANGUAGE_FILE when set (even empty), else
// $XDG_CONFIG_HOME/Orvane/language.txt, else $HOME/.config/Orvane/language.txt,
// else empty.
std::string preferencePath();

// Makes the language current and, with persist, writes its code and a line
// feed to the preference file, creating missing folders. File-system failures
// are silent: the in-memory change stands.
void setLanguage(int language, bool persist) noexcept;

// The catalog entry of a key in the current language. No allocation.
const Text& text(Key key);

}  // namespace orvane::i18n
