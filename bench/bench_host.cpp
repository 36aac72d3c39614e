// What the host tool costs on top of the engine, and what parallel workers
// gain, measured in one run:
//   1. a 10-minute stereo 48 kHz 16-bit file of speech and pink noise, per
//      processing mode: the engine alone on the same audio in memory (512-
//      sample blocks), then the tool's whole pass (`orvane-host process`, a
//      separate process: loading the bundle, reading, processing, writing);
//   2. 20 files of 30 s through `process DIR -o OUT` with -j 1 and -j 2.
// Each figure is the best of a few repetitions, in wall time and CPU time
// (the machine may be shared: CPU time is what the work itself took).
//   bench_host [--minutes M] [--files N] [--seconds S] [--repeat R]
// (0 minutes or 0 files leaves that part out).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "audio_file.h"
#include "engine/engine.h"
#include "params/parameters.h"
#include "signals/speech_signals.h"

namespace {

namespace fs = std::filesystem;
constexpr int kRate = 48000;
constexpr int kBlock = 512;

struct Cost {
  double wall = INFINITY, cpu = INFINITY;
  void keepBest(double w, double c) {
    wall = std::min(wall, w);
    cpu = std::min(cpu, c);
  }
};

double threadCpu() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// Speech joined with pauses, pink noise 10 dB below it, repeated to the
// length; the right channel starts elsewhere in the programme.
std::vector<std::vector<float>> programme(std::size_t frames) {
  std::vector<float> speech;
  for (const auto& rec : orvane::signals::voiceRecordings()) {
    speech.insert(speech.end(), kRate / 2, 0.0f);
    speech.insert(speech.end(), rec.begin(), rec.end());
  }
  const double level = orvane::signals::rms(speech.data(), speech.size());
  std::vector<std::vector<float>> out(2, std::vector<float>(frames));
  for (int c = 0; c < 2; ++c) {
    const auto noise = orvane::signals::pinkNoise(frames, 11 + c);
    const double scale = level * 0.316 / orvane::signals::rms(noise.data(), noise.size());
    const std::size_t offset = c * speech.size() / 3;
    for (std::size_t i = 0; i < frames; ++i)
      out[c][i] = speech[(i + offset) % speech.size()] + float(noise[i] * scale);
  }
  return out;
}

void writeSixteenBit(const fs::path& path, const std::vector<std::vector<float>>& audio) {
  orvane::host::writeAudio(path.string(), orvane::host::Audio{kRate, audio},
                           SF_FORMAT_WAV | SF_FORMAT_PCM_16);
}

// The engine in one mode over the audio, as the plug-in runs it.
void engineRun(const std::vector<std::vector<float>>& audio, int mode, Cost& cost) {
  const bool neural = mode != static_cast<int>(orvane::Mode::LiveDsp);
  const bool live = mode == static_cast<int>(orvane::Mode::NeuralLive);
  auto e = std::make_unique<orvane::Engine>();
  if (!e->prepare(kRate, 2, neural, live)) std::exit(1);
  for (orvane::ParamId p = 0; p < orvane::kEngineParamCount; ++p) e->set(p, orvane::Defaults[p]);
  e->resetRealtime();
  std::vector<float> left(kBlock), right(kBlock);
  float* outs[2] = {left.data(), right.data()};
  const auto started = std::chrono::steady_clock::now();
  const double cpu = threadCpu();
  for (std::size_t pos = 0; pos < audio[0].size(); pos += kBlock) {
    const int n = static_cast<int>(std::min<std::size_t>(kBlock, audio[0].size() - pos));
    const float* ins[2] = {audio[0].data() + pos, audio[1].data() + pos};
    e->process(ins, outs, 2, n);
  }
  cost.keepBest(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
                threadCpu() - cpu);
}

// The tool as a separate process; its wall time and the CPU time it used.
void toolRun(const std::string& args, Cost& cost) {
  const auto started = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    const std::string line = std::string(ORV_HOST_TOOL) + " " + args + " --quiet";
    ::execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "bench_host: the tool failed: %s\n", args.c_str());
    std::exit(1);
  }
  const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
  cost.keepBest(wall, cpu);
}

// The tool's whole pass on one long file against the engine alone, per mode.
void passes(const fs::path& dir, double minutes, int repeat) {
  const auto audio = programme(static_cast<std::size_t>(minutes * 60 * kRate));
  writeSixteenBit(dir / "long.wav", audio);
  std::printf("%.0f-minute stereo 48 kHz 16-bit file, best of %d\n\n", minutes, repeat);
  std::printf("%-15s %10s %10s %10s %10s %12s %12s\n", "mode", "engine s", "tool s", "engine cpu",
              "tool cpu", "wall ratio", "cpu ratio");
  const char* modes[] = {"live", "classic", "dsp"};
  const char* names[] = {"Neural Live", "Neural Classic", "Live DSP"};
  for (int m = 0; m < orvane::kModeCount; ++m) {
    Cost engine, tool;
    for (int r = 0; r < repeat; ++r) {
      engineRun(audio, m, engine);
      toolRun("process " + (dir / "long.wav").string() + " " + (dir / "out.wav").string() +
                  " --mode " + modes[m],
              tool);
    }
    std::printf("%-15s %10.2f %10.2f %10.2f %10.2f %12.3f %12.3f\n", names[m], engine.wall,
                tool.wall, engine.cpu, tool.cpu, tool.wall / engine.wall, tool.cpu / engine.cpu);
    std::fflush(stdout);
  }
}

// A folder of files with one worker and with two.
void batches(const fs::path& dir, int files, double seconds, int repeat) {
  fs::create_directories(dir / "batch");
  const auto piece = programme(static_cast<std::size_t>(seconds * kRate));
  for (int i = 0; i < files; ++i)
    writeSixteenBit(dir / "batch" / ("f" + std::to_string(i) + ".wav"), piece);
  Cost one, two;
  for (int r = 0; r < repeat; ++r)
    for (int jobs : {1, 2}) {
      fs::remove_all(dir / "cleaned");
      toolRun("process " + (dir / "batch").string() + " -o " + (dir / "cleaned").string() + " -j " +
                  std::to_string(jobs),
              jobs == 1 ? one : two);
    }
  std::printf(
      "\n%d files of %.0f s, Neural Classic: -j 1 %.2f s, -j 2 %.2f s, ratio %.3f "
      "(CPU %.2f s and %.2f s)\n",
      files, seconds, one.wall, two.wall, two.wall / one.wall, one.cpu, two.cpu);
}

}  // namespace

int main(int argc, char** argv) {
  double minutes = 10, seconds = 30;
  int files = 20, repeat = 2;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--minutes") minutes = std::atof(argv[i + 1]);
    if (a == "--files") files = std::atoi(argv[i + 1]);
    if (a == "--seconds") seconds = std::atof(argv[i + 1]);
    if (a == "--repeat") repeat = std::max(1, std::atoi(argv[i + 1]));
  }
  char pattern[] = "/tmp/orvane-bench-host-XXXXXX";
  if (!::mkdtemp(pattern)) return 1;
  const fs::path dir = pattern;
  if (minutes > 0) passes(dir, minutes, repeat);
  if (files > 0) batches(dir, files, seconds, repeat);
  fs::remove_all(dir);
  return 0;
}
