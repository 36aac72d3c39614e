// Cost of each engine configuration on speech plus noise, in 512-sample
// blocks, per channel, as a ratio to the bare Debian library call
// (rnnoise_process_frame per 10 ms). The bare call is timed by
// bench_rnnoise_bare, which links the untouched archive; scripts/bench_engine.sh
// runs it right before this program and passes --bare_frame_seconds. The
// library call with our network kernels (both paths) is timed here too, and is
// the baseline when no bare figure is given. Each case's figure is the
// fastest of fifteen repetitions of 50 ms: on a shared machine the fastest is
// the one least disturbed by other work, and short ones are likelier to fall
// between its spells.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "denoiser/nnet_kernels.h"
#include "engine/engine.h"
#include "frame_benchmark.h"

namespace {

using orvane::bench::kBlock;
using orvane::bench::programme;

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

// The library's frame call with our kernels on the given path.
void framesOnPath(benchmark::State& state, OrvNnetPath path) {
  const OrvNnetPath chosen = orvane_nnet_path();
  if (!orvane_nnet_select(path)) {
    state.SkipWithError("this processor lacks the path");
    return;
  }
  orvane::bench::processFrames(state);
  orvane_nnet_select(chosen);
}

std::string caseName(const Case& c) {
  return std::string(c.automated ? "Automated/" : "Engine/") + c.mode +
         (c.channels == 1 ? "/mono/" : "/stereo/") + std::to_string(int(c.rate));
}

// Takes --bare_frame_seconds=S out of the arguments; 0 when absent.
double takeBareFrameSeconds(int& argc, char** argv) {
  const char* flag = "--bare_frame_seconds=";
  double s = 0;
  int kept = 0;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0) {
      s = std::strtod(argv[i] + std::strlen(flag), nullptr);
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  return s > 0 ? s : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const double bare = takeBareFrameSeconds(argc, argv);
  // The repetitions of all cases run in a shuffled order, so that a spell
  // of load from other work on the machine falls on several cases rather
  // than on every repetition of one: the rates of a mode are compared with
  // each other. (A command line that sets the flag itself keeps its choice.)
  std::vector<char*> args(argv, argv + argc);
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + (argc > 0 ? 1 : 0), interleave);
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
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

  const std::pair<const char*, OrvNnetPath> paths[] = {
      {"rnnoise_process_frame/baseline", ORV_NNET_BASELINE},
      {"rnnoise_process_frame/avx2", ORV_NNET_AVX2},
      {"rnnoise_process_frame/vnni", ORV_NNET_VNNI}};
  for (const auto& [name, path] : paths)
    benchmark::RegisterBenchmark(name, framesOnPath, path)->MinTime(0.1)->Repetitions(5);
  for (const Case& c : cases)
    benchmark::RegisterBenchmark(caseName(c).c_str(), engineBlocks, c)
        ->MinTime(0.05)
        ->Repetitions(15);

  orvane::bench::FastestReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto& t = reporter.seconds;

  // The library call with our kernels, on the path this processor uses.
  const std::string ours = paths[orvane_nnet_path()].first;
  double base = bare;
  std::printf("\n");
  if (bare > 0) {
    std::printf(
        "bare Debian rnnoise_process_frame: %.1f us per 10 ms frame "
        "(bench_rnnoise_bare, the untouched archive)\n",
        bare * 1e6);
  } else if (t.count(ours)) {
    base = t.at(ours);
    std::printf("no --bare_frame_seconds (run scripts/bench_engine.sh): ratios are to %s\n",
                ours.c_str());
  }
  if (base <= 0) return 0;
  for (const auto& [name, path] : paths) {
    if (t.count(name))
      std::printf("%-34s %7.1f us per frame, %.3f x the bare call\n", name, t.at(name) * 1e6,
                  t.at(name) / base);
  }

  // Cost per channel over the baseline's cost, both as real-time factors.
  const double baseRtf = base / 0.010;
  std::map<std::string, double> ratio, rtf;
  for (const Case& c : cases) {
    const std::string name = caseName(c);
    if (!t.count(name)) continue;
    rtf[name] = t.at(name) / (kBlock / c.rate);
    ratio[name] = rtf[name] / c.channels / baseRtf;
  }
  std::printf("\ncost per channel / bare library call     44.1 kHz    48 kHz    96 kHz\n");
  for (const Case& c : cases) {
    if (c.rate != 44100.0) continue;
    std::string row = std::string(c.automated ? "automated " : "") + c.mode +
                      (c.channels == 1 ? " mono" : " stereo");
    std::printf("  %-38s", row.c_str());
    for (double rate : {44100.0, 48000.0, 96000.0}) {
      Case at = c;
      at.rate = rate;
      if (ratio.count(caseName(at)))
        std::printf(" %9.3f", ratio[caseName(at)]);
      else
        std::printf(" %9s", "-");
    }
    std::printf("\n");
  }
  std::printf("\nreal-time factor of each case (all channels):\n");
  for (const auto& [name, value] : rtf) std::printf("  %-34s %8.5f\n", name.c_str(), value);

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
