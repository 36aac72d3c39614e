// Cost of the live path's analysis against the library's full frame call, on
// the same speech frames, measured in one run and reported as a ratio.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "denoiser/orvane_analyze.h"
#include "support/speech.h"

namespace {

constexpr int kFrame = 480;

const std::vector<std::array<float, kFrame>>& frames() {
  static const auto all = [] {
    std::vector<std::array<float, kFrame>> f;
    const auto noise = orvane::test::pinkNoise(1 << 20, 0.01f, 7);
    std::size_t k = 0;
    for (const auto& rec : orvane::test::voiceRecordings())
      for (std::size_t i = 0; i + kFrame <= rec.size(); i += kFrame) {
        std::array<float, kFrame> fr;
        for (int n = 0; n < kFrame; ++n, ++k)
          fr[n] = (rec[i + n] + noise[k % noise.size()]) * 32768.0f;
        f.push_back(fr);
      }
    return f;
  }();
  return all;
}

void BM_ProcessFrame(benchmark::State& state) {
  DenoiseState* st = rnnoise_create(nullptr);
  std::array<float, kFrame> out;
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(rnnoise_process_frame(st, out.data(), frames()[i].data()));
    benchmark::ClobberMemory();
    i = (i + 1) % frames().size();
  }
  rnnoise_destroy(st);
  state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_ProcessFrame)->MinTime(1.0);

void BM_Analyze(benchmark::State& state) {
  DenoiseState* st = rnnoise_create(nullptr);
  std::array<float, 32> gains;
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(orvane_analyze(st, gains.data(), frames()[i].data()));
    benchmark::ClobberMemory();
    i = (i + 1) % frames().size();
  }
  rnnoise_destroy(st);
  state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_Analyze)->MinTime(1.0);

// Console output as usual, plus the time per iteration of each run kept for
// the ratio printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration && r.iterations > 0)
        perIteration[r.run_name.function_name] = r.real_accumulated_time / r.iterations;
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> perIteration;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  frames();  // load outside the timed region
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto& t = reporter.perIteration;
  if (t.count("BM_ProcessFrame") && t.count("BM_Analyze")) {
    const double frameUs = t.at("BM_ProcessFrame") * 1e6, analyzeUs = t.at("BM_Analyze") * 1e6;
    std::printf("\nrnnoise_process_frame %.1f us/frame (real-time factor %.4f at 48 kHz)\n",
                frameUs, frameUs / 10000.0);
    std::printf("orvane_analyze        %.1f us/frame (real-time factor %.4f at 48 kHz)\n",
                analyzeUs, analyzeUs / 10000.0);
    std::printf("ratio analyze / process_frame = %.3f\n", analyzeUs / frameUs);
  }
  benchmark::Shutdown();
  return 0;
}
