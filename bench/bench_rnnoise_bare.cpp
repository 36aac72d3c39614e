// rnnoise_process_frame as Debian ships it: this program links the untouched
// archive, with its own network kernels (not Orvane::rnnoise), so that
// bench_engine can state every cost as a ratio to the bare library call.
// scripts/bench_engine.sh runs it right before bench_engine and passes on the
// last line it prints.
#include <cstdio>

#include "frame_benchmark.h"

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  orvane::bench::programme();  // load outside the timed region
  benchmark::RegisterBenchmark("bare_rnnoise_process_frame", orvane::bench::processFrames)
      ->MinTime(0.1)
      ->Repetitions(7);
  orvane::bench::FastestReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto it = reporter.seconds.find("bare_rnnoise_process_frame");
  if (it == reporter.seconds.end()) return 1;
  std::printf("--bare_frame_seconds=%.9g\n", it->second);
  benchmark::Shutdown();
  return 0;
}
