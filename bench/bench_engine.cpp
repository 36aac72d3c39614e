// Cost of each engine configuration on speech plus noise, in 512-sample
// blocks, against the denoiser library's own frame call measured in the same
// run. Prints the real-time factor of every case, its cost per channel as a
// ratio to rnnoise_process_frame (per 10 ms of audio), and what the rate
// conversion adds at 44.1 kHz. Each figure is the fastest of a few short
// repetitions.
#include <benchmark/benchmark.h>
#include <rnnoise.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "support/speech.h"

namespace {

constexpr int kBlock = 512;
constexpr int kFrame = 480;

// The voice recordings joined, with pink noise 10 dB below the speech.
const std::vector<float>& programme() {
  static const std::vector<float> p = [] {
    std::vector<float> s;
    for (const auto& rec : orvane::test::voiceRecordings())
      s.insert(s.end(), rec.begin(), rec.end());
    s.resize(s.size() / kBlock * kBlock);
    const auto noise =
        orvane::test::pinkNoise(s.size(), orvane::test::rms(s.data(), s.size()) * 0.316f, 7);
    for (std::size_t i = 0; i < s.size(); ++i) s[i] += noise[i];
    return s;
  }();
  return p;
}

void processFrameBaseline(benchmark::State& state) {
  DenoiseState* st = rnnoise_create(nullptr);
  std::array<float, kFrame> in, out;
  const auto& x = programme();
  std::size_t pos = 0;
  for (auto _ : state) {
    for (int i = 0; i < kFrame; ++i) in[i] = x[pos + i] * 32768.0f;
    benchmark::DoNotOptimize(rnnoise_process_frame(st, out.data(), in.data()));
    benchmark::ClobberMemory();
    pos = (pos + kFrame + kFrame <= x.size()) ? pos + kFrame : 0;
  }
  rnnoise_destroy(st);
}

struct Case {
  const char* mode;
  bool neural, live;
  int channels;
  double rate;
  bool automated = false;  // a parameter moves every block, so the glides never rest
};

void engineBlocks(benchmark::State& state, Case c) {
  auto e = std::make_unique<orvane::Engine>();
  if (!e->prepare(c.rate, c.channels, c.neural, c.live)) {
    state.SkipWithError("prepare failed");
    return;
  }
  for (orvane::ParamId p = 0; p < orvane::kEngineParamCount; ++p) e->set(p, orvane::Defaults[p]);
  e->resetRealtime();
  const auto& x = programme();
  std::vector<float> left(kBlock), right(kBlock);
  float* outs[2] = {left.data(), right.data()};
  std::size_t pos = 0;
  bool flip = false;
  for (auto _ : state) {
    if (c.automated) e->set(orvane::DryWet, (flip = !flip) ? 0.9f : 1.0f);
    const float* ins[2] = {x.data() + pos, x.data() + pos};
    e->process(ins, outs, c.channels, kBlock);
    benchmark::ClobberMemory();
    pos = pos + 2 * kBlock <= x.size() ? pos + kBlock : 0;
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
}

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    // The machine is shared: of the repetitions, the fastest is the one
    // least disturbed by other work.
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration || r.iterations == 0) continue;
      const double t = r.real_accumulated_time / r.iterations;
      auto [it, fresh] = perIteration.emplace(r.run_name.function_name, t);
      if (!fresh) it->second = std::min(it->second, t);
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> perIteration;
};

std::string caseName(const Case& c) {
  return std::string(c.automated ? "Automated/" : "Engine/") + c.mode +
         (c.channels == 1 ? "/mono/" : "/stereo/") + std::to_string(int(c.rate));
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  programme();  // load outside the timed region

  std::vector<Case> cases;
  for (auto [mode, neural, live] :
       {std::tuple{"NeuralLive", true, true}, std::tuple{"NeuralClassic", true, false},
        std::tuple{"LiveDsp", false, false}})
    for (int channels : {1, 2})
      for (double rate : {44100.0, 48000.0, 96000.0})
        cases.push_back({mode, neural, live, channels, rate});
  // Parameter automation: the per-sample glide path, stereo at 44.1 and 48 kHz.
  for (auto [mode, neural, live] :
       {std::tuple{"NeuralLive", true, true}, std::tuple{"NeuralClassic", true, false},
        std::tuple{"LiveDsp", false, false}})
    for (double rate : {44100.0, 48000.0}) cases.push_back({mode, neural, live, 2, rate, true});

  benchmark::RegisterBenchmark("rnnoise_process_frame", processFrameBaseline)
      ->MinTime(0.1)
      ->Repetitions(5);
  for (const Case& c : cases)
    benchmark::RegisterBenchmark(caseName(c).c_str(), engineBlocks, c)
        ->MinTime(0.1)
        ->Repetitions(3);

  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto& t = reporter.perIteration;
  if (!t.count("rnnoise_process_frame")) return 0;

  // Real-time factors: time per block over the block's duration; the library
  // call processes 10 ms.
  const double frameRtf = t.at("rnnoise_process_frame") / 0.010;
  std::printf("\nrnnoise_process_frame: %.1f us per 10 ms frame, real-time factor %.5f\n",
              t.at("rnnoise_process_frame") * 1e6, frameRtf);
  std::printf("%-34s %10s %18s\n", "case", "RTF", "per channel / lib");
  std::map<std::string, double> rtf;
  for (const Case& c : cases) {
    const std::string name = caseName(c);
    if (!t.count(name)) continue;
    rtf[name] = t.at(name) / (kBlock / c.rate);
    std::printf("%-34s %10.5f %18.3f\n", name.c_str(), rtf[name],
                rtf[name] / c.channels / frameRtf);
  }
  std::printf("\nrate conversion at 44.1 kHz, cost over the same mode at 48 kHz:\n");
  for (const Case& c : cases) {
    if (c.rate != 44100.0 || c.automated) continue;
    Case at48 = c;
    at48.rate = 48000.0;
    if (rtf.count(caseName(c)) && rtf.count(caseName(at48)))
      std::printf("  %-28s %+6.1f %%\n", caseName(c).c_str() + 7,
                  100.0 * (rtf[caseName(c)] / rtf[caseName(at48)] - 1.0));
  }
  benchmark::Shutdown();
  return 0;
}
