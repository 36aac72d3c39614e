// The built-in demo input and its report.
#include "demo.h"

#include <cairo.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "audio_file.h"
#include "files/files.h"
#include "params/parameters.h"
#include "signals/speech_signals.h"
#include "vsthost/stream.h"

namespace orvane::host {

namespace fs = std::filesystem;

namespace {

constexpr int kRate = signals::kVoiceRate;
constexpr double kPi = 3.14159265358979323846;

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

// A perceptual-ish colour ramp: black, purple, orange, pale yellow.
void colour(double t, double& r, double& g, double& b) {
  t = std::clamp(t, 0.0, 1.0);
  r = std::clamp(1.6 * t - 0.05, 0.0, 1.0);
  g = std::clamp(1.5 * t * t, 0.0, 1.0);
  b = std::clamp(0.45 * std::sin(kPi * t * 1.4) + 0.5 * std::pow(t, 6), 0.0, 1.0);
}

// Magnitude spectrum of one windowed frame, by a plain DFT on the bins shown.
void spectrogramRow(cairo_surface_t* surface, const std::vector<float>& x, int top, int width,
                    int height, const char* label) {
  const int n = 1024;
  const int maxBin = 256;  // 0 to 12 kHz
  std::vector<double> window(n);
  for (int i = 0; i < n; ++i) window[i] = 0.5 - 0.5 * std::cos(2 * kPi * i / n);
  std::vector<std::complex<double>> twiddle(n);
  for (int i = 0; i < n; ++i) twiddle[i] = std::polar(1.0, -2 * kPi * i / n);
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const double hop = double(x.size() - n) / width;
  std::vector<double> frame(n);
  for (int col = 0; col < width; ++col) {
    const std::size_t start = static_cast<std::size_t>(col * hop);
    for (int i = 0; i < n; ++i) frame[i] = x[start + i] * window[i];
    for (int row = 0; row < height; ++row) {
      const int bin = (height - 1 - row) * maxBin / height;
      std::complex<double> acc = 0;
      for (int i = 0; i < n; ++i) acc += frame[i] * twiddle[(static_cast<long>(bin) * i) % n];
      const double db = 20 * std::log10(std::abs(acc) / (n / 4.0) + 1e-12);
      double r, g, b;
      colour((db + 100.0) / 80.0, r, g, b);
      auto* px = reinterpret_cast<std::uint32_t*>(data + (top + row) * stride) + col;
      *px = 0xFF000000u | (std::uint32_t(r * 255) << 16) | (std::uint32_t(g * 255) << 8) |
            std::uint32_t(b * 255);
    }
  }
  cairo_surface_mark_dirty(surface);
  cairo_t* cr = cairo_create(surface);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr, 15);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.6);
  cairo_rectangle(cr, 6, top + 6, 12 + 8.5 * std::strlen(label), 24);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_move_to(cr, 12, top + 23);
  cairo_show_text(cr, label);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
}

void writeSpectrograms(const std::string& path,
                       const std::vector<std::pair<const char*, const std::vector<float>*>>& rows) {
  const int width = 960, height = 180, gap = 4;
  const int total = static_cast<int>(rows.size()) * (height + gap) - gap;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, total);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 0.12, 0.12, 0.14);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  for (std::size_t i = 0; i < rows.size(); ++i)
    spectrogramRow(surface, *rows[i].second, static_cast<int>(i) * (height + gap), width, height,
                   rows[i].first);
  const bool written = files::writeAtomically(path, [&](const std::string& temp) {
    return cairo_surface_write_to_png(surface, temp.c_str()) == CAIRO_STATUS_SUCCESS;
  });
  cairo_surface_destroy(surface);
  if (!written) throw Error("cannot write " + path);
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
  writeSpectrograms(picture, {{"input: speech + pink noise at 10 dB SNR", &input.noisy},
                              {"Neural Live", &runs[0].out},
                              {"Neural Classic", &runs[1].out},
                              {"Live DSP", &runs[2].out}});

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
