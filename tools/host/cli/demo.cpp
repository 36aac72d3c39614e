// The built-in demo input and its report.
#include "demo.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "audio_file.h"
#include "params/parameters.h"
#include "signals/speech_signals.h"
#include "spectrogram.h"
#include "vsthost/stream.h"

namespace orvane::host {

namespace fs = std::filesystem;

namespace {

constexpr int kRate = signals::kVoiceRate;

struct Segment {
  std::int64_t begin, end;
};

struct DemoInput {
  std::vector<float> clean, noisy;
  std::vector<Segment> pauses;  // where only noise plays
};

// The demo's noise: a fixed seed, so every run cleans the same input.
constexpr std::uint32_t kNoiseSeed = 0x9E3779B9u;

double rms(const std::vector<float>& x, std::int64_t begin, std::int64_t end) {
  return end > begin ? signals::rms(x.data() + begin, static_cast<std::size_t>(end - begin)) : 0.0;
}

// The alsa-utils voice recordings, each after a pause, with pink noise 10 dB
// below the speech.
DemoInput buildInput() {
  const std::int64_t pause = kRate * 6 / 10;
  DemoInput d;
  double speechEnergy = 0;
  std::int64_t speechCount = 0;
  std::vector<std::vector<float>> recordings;
  try {
    recordings = signals::voiceRecordings();
  } catch (const std::exception& e) {
    throw Error(e.what());
  }
  for (const std::vector<float>& recording : recordings) {
    d.pauses.push_back({static_cast<std::int64_t>(d.clean.size()),
                        static_cast<std::int64_t>(d.clean.size()) + pause});
    d.clean.insert(d.clean.end(), pause, 0.0f);
    for (float v : recording) {
      d.clean.push_back(v);
      speechEnergy += double(v) * v;
    }
    speechCount += static_cast<std::int64_t>(recording.size());
  }
  d.pauses.push_back({static_cast<std::int64_t>(d.clean.size()),
                      static_cast<std::int64_t>(d.clean.size()) + pause});
  d.clean.insert(d.clean.end(), pause, 0.0f);

  auto noise = signals::pinkNoise(d.clean.size(), kNoiseSeed);
  const double speechRms = std::sqrt(speechEnergy / double(speechCount));
  const double noiseRms = rms(noise, 0, static_cast<std::int64_t>(noise.size()));
  const float scale = static_cast<float>(speechRms / noiseRms * std::pow(10.0, -10.0 / 20.0));
  d.noisy.resize(d.clean.size());
  for (std::size_t i = 0; i < d.clean.size(); ++i) d.noisy[i] = d.clean[i] + noise[i] * scale;
  return d;
}

// Noise left in the pauses, in dB against the input (an edge of 0.1 s is left
// out so the measure sees steady noise only).
double pauseReductionDb(const DemoInput& d, const std::vector<float>& out) {
  double in = 0, after = 0;
  for (const Segment& p : d.pauses) {
    const std::int64_t b = p.begin + kRate / 10, e = p.end - kRate / 10;
    in += std::pow(rms(d.noisy, b, e), 2);
    after += std::pow(rms(out, b, e), 2);
  }
  return 10.0 * std::log10(std::max(after, 1e-30) / std::max(in, 1e-30));
}

}  // namespace

int runDemo(const std::string& bundle, const std::string& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) throw Error("cannot create the folder " + folder);
  const DemoInput input = buildInput();
  Audio in{kRate, {input.noisy}};
  writeAudio((fs::path(folder) / "input.wav").string(), in);

  struct Run {
    const char* name;
    const char* file;
    Mode mode;
    StreamReport report;
    std::vector<float> out;
    double seconds = 0;
  };
  Run runs[] = {{"Neural Live", "neural-live.wav", Mode::NeuralLive, {}, {}},
                {"Neural Classic", "neural-classic.wav", Mode::NeuralClassic, {}, {}},
                {"Live DSP", "live-dsp.wav", Mode::LiveDsp, {}, {}}};
  Module module(bundle);
  for (Run& r : runs) {
    Plugin plugin(module);
    plugin.setParameter(ProcessingMode, modeToNormalized(static_cast<int>(r.mode)));
    std::vector<std::vector<float>> audio{input.noisy};
    const auto started = std::chrono::steady_clock::now();
    r.report = processInMemory(plugin, audio, kRate, 512);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    r.out = std::move(audio[0]);
    writeAudio((fs::path(folder) / r.file).string(), Audio{kRate, {r.out}});
  }
  const std::string picture = (fs::path(folder) / "spectrogram.png").string();
  SpectrogramPicture bands{kRate,
                           "built-in demo: alsa-utils voices with pink noise at 10 dB SNR, "
                           "48 kHz mono; each output moved earlier by its latency",
                           {}};
  const std::vector<std::vector<float>> noisy{input.noisy};
  bands.bands.push_back({"input: speech + pink noise at 10 dB SNR", memorySignal(noisy)});
  std::vector<std::vector<std::vector<float>>> outputs;
  for (const Run& r : runs) outputs.push_back({r.out});
  for (std::size_t i = 0; i < std::size(runs); ++i)
    bands.bands.push_back({std::string("output: ") + runs[i].name + ", default settings, " +
                               std::to_string(runs[i].report.latency) +
                               " samples of latency removed",
                           memorySignal(outputs[i])});
  writeSpectrogram(picture, bands);

  const double seconds = double(input.noisy.size()) / kRate;
  std::printf(
      "demo input: %.1f s of speech (alsa-utils voices) with pink noise at 10 dB SNR, 48 kHz "
      "mono\n\n",
      seconds);
  std::printf("%-16s %10s %12s %24s\n", "mode", "latency", "real-time", "noise in pauses");
  for (const Run& r : runs)
    std::printf("%-16s %6d smp %12.4f %21.1f dB\n", r.name, r.report.latency, r.seconds / seconds,
                pauseReductionDb(input, r.out));
  std::printf("\nfiles in %s: input.wav, neural-live.wav, neural-classic.wav, live-dsp.wav\n",
              folder.c_str());
  std::printf("spectrogram: %s\n", picture.c_str());
  return 0;
}

}  // namespace orvane::host
