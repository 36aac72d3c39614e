// Shared by bench_engine and bench_rnnoise_bare: the programme both play, the
// timed loop around rnnoise_process_frame, and a reporter that keeps the
// fastest repetition of each case (in processor time).
#pragma once

#include <benchmark/benchmark.h>
#include <rnnoise.h>

#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <vector>

#include "support/speech.h"

namespace orvane::bench {

constexpr int kBlock = 512;
constexpr int kFrame = 480;

// The voice recordings joined, with pink noise 10 dB below the speech.
inline const std::vector<float>& programme() {
  static const std::vector<float> p = [] {
    std::vector<float> s;
    for (const auto& rec : test::voiceRecordings()) s.insert(s.end(), rec.begin(), rec.end());
    s.resize(s.size() / kBlock * kBlock);
    const auto noise = test::pinkNoise(s.size(), test::rms(s.data(), s.size()) * 0.316f, 7);
    for (std::size_t i = 0; i < s.size(); ++i) s[i] += noise[i];
    return s;
  }();
  return p;
}

// The library's frame call on the programme, 10 ms per iteration.
inline void processFrames(benchmark::State& state) {
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

class FastestReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    // The machine is shared: the thread's processor time leaves out the time
    // other work holds the processor, and of the repetitions the fastest is
    // the one least disturbed by it.
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration || r.iterations == 0) continue;
      const double t = r.cpu_accumulated_time / r.iterations;
      auto [it, fresh] = seconds.emplace(r.run_name.function_name, t);
      if (!fresh) it->second = std::min(it->second, t);
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> seconds;  // per iteration
};

}  // namespace orvane::bench
