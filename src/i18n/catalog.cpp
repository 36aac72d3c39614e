// The text catalog: every text the plug-in shows, in its three languages.
#include "i18n/i18n.h"

namespace orvane::i18n {

// Each text is written once; the macro compiles it as UTF-8 and as UTF-16.
#define T(s) \
  Text {     \
    s, u##s  \
  }

// clang-format off
const std::array<std::array<Text, kLanguageCount>, kKeyCount> catalog{{
    // English, Brazilian Portuguese, Spanish
    {{T("Voice cleanup"), T("Limpeza da voz"), T("Limpieza de voz")}},  // VoiceCleanup
    {{T("Original ambience"), T("Ambiente original"), T("Ambiente original")}},  // OriginalAmbience
    {{T("Noise reduction"), T("Redução de ruído"), T("Reducción de ruido")}},  // NoiseReduction
    {{T("Body restore"), T("Recuperar corpo"), T("Recuperar cuerpo")}},  // BodyRestore
    {{T("Frequency focus"), T("Foco de frequência"), T("Enfoque de frecuencia")}},  // FrequencyFocus
    {{T("Dry / Wet"), T("Original / Limpo"), T("Original / Limpio")}},  // DryWet
    {{T("Output gain"), T("Ganho de saída"), T("Ganancia de salida")}},  // OutputGain
    {{T("Bypass"), T("Desativar efeito"), T("Desactivar efecto")}},  // Bypass
    {{T("Cleanup profile"), T("Perfil de limpeza"), T("Perfil de limpieza")}},  // CleanupProfile
    {{T("Processing mode"), T("Modo de processamento"), T("Modo de procesamiento")}},  // ProcessingMode
    {{T("Input peak"), T("Pico de entrada"), T("Pico de entrada")}},  // InputPeak
    {{T("Output peak"), T("Pico de saída"), T("Pico de salida")}},  // OutputPeak
    {{T("Reduction"), T("Redução"), T("Reducción")}},  // Reduction
    {{T("Neural active"), T("Rede neural ativa"), T("Red neuronal activa")}},  // NeuralActive
    {{T("CLIPPING"), T("SATURAÇÃO"), T("SATURACIÓN")}},  // Clipping
    {{T("Neural Live"), T("Neural ao vivo"), T("Neural en vivo")}},  // NeuralLive
    {{T("Neural Classic"), T("Neural Clássico"), T("Neural Clásico")}},  // NeuralClassic
    {{T("Live DSP"), T("DSP ao vivo"), T("DSP en vivo")}},  // LiveDsp
    {{T("Live / gentle"), T("Ao vivo / suave"), T("En vivo / suave")}},  // ProfileLive
    {{T("Broadcast / medium"), T("Transmissão / médio"), T("Emisión / medio")}},  // ProfileBroadcast
    {{T("Studio / intense"), T("Estúdio / intenso"), T("Estudio / intenso")}},  // ProfileStudio
    {{T("Advanced"), T("Avançadas"), T("Avanzadas")}},  // Advanced
    {{T("Back"), T("Voltar"), T("Volver")}},  // Back
    {{T("Save"), T("Salvar"), T("Guardar")}},  // Save
    {{T("Open"), T("Abrir"), T("Abrir")}},  // Open
    {{T("Reset"), T("Restaurar"), T("Restablecer")}},  // Reset
    {{T("B / switch to A"), T("B / trocar para A"), T("B / cambiar a A")}},  // SideBSwitchToA
    {{T("A / switch to B"), T("A / trocar para B"), T("A / cambiar a B")}},  // SideASwitchToB
    {{T("Effect OFF"), T("Efeito desligado"), T("Efecto apagado")}},  // EffectOff
    {{T("Effect ON"), T("Efeito ligado"), T("Efecto encendido")}},  // EffectOn
    {{T("VOICE CLEANUP"), T("LIMPEZA DA VOZ"), T("LIMPIEZA DE VOZ")}},  // Heading
    {{T("VOICE CLEANUP"), T("LIMPEZA DE VOZ"), T("LIMPIEZA DE VOZ")}},  // Subtitle
    {{T("IN"), T("ENT"), T("ENT")}},  // MeterIn
    {{T("OUT"), T("SAÍ"), T("SAL")}},  // MeterOut
    {{T("Orvane presets"), T("Presets Orvane"), T("Preajustes Orvane")}},  // PresetFiles
    {{T("Save Orvane preset"), T("Salvar preset Orvane"), T("Guardar preajuste Orvane")}},  // SavePresetTitle
    {{T("Open Orvane preset"), T("Abrir preset Orvane"), T("Abrir preajuste Orvane")}},  // OpenPresetTitle
    {{T("Could not save the preset."), T("Não foi possível salvar o preset."), T("No se pudo guardar el preajuste.")}},  // SaveFailed
    {{T("Could not open the preset."), T("Não foi possível abrir o preset."), T("No se pudo abrir el preajuste.")}},  // OpenFailed
    {{T("Invalid or incompatible preset."), T("Preset inválido ou incompatível."), T("Preajuste no válido o incompatible.")}},  // InvalidPreset
    {{T("Language"), T("Idioma"), T("Idioma")}},  // Language
    {{T("OK"), T("OK"), T("Aceptar")}},  // Ok
    {{T("No file chooser found. Install zenity or kdialog."), T("Nenhum seletor de arquivos encontrado. Instale o zenity ou o kdialog."), T("No se encontró ningún selector de archivos. Instale zenity o kdialog.")}},  // NoFileChooser
}};
// clang-format on

#undef T

const Text& text(Key key) {
  const int k = static_cast<int>(key);
  return catalog[static_cast<unsigned>(k) < kKeyCount ? k : 0][validLanguage(preference())];
}

}  // namespace orvane::i18n
