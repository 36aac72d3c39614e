#!/usr/bin/env bash
# The engine benchmark with its baseline: times the bare Debian library call
# (bench_rnnoise_bare, linked with the untouched RNNoise archive), then runs
# bench_engine, which states every cost per channel as a ratio to it. On a
# shared machine one pair can be off by a tenth either way: ROUNDS=N repeats
# the pair N times, each with its own baseline, so the spread shows.
#   [ROUNDS=N] scripts/bench_engine.sh [build-dir] [benchmark arguments...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
shift || true
rounds=${ROUNDS:-1}
cmake --build "$build" -j2 --target bench_rnnoise_bare bench_engine >/dev/null
for ((round = 1; round <= rounds; round++)); do
  [ "$rounds" = 1 ] || echo "== round $round of $rounds"
  bare=$("$build/bench/bench_rnnoise_bare" --benchmark_color=false | grep -o -- '--bare_frame_seconds=[0-9.e+-]*' || true)
  [ -n "$bare" ] || { echo "bench_engine.sh: bench_rnnoise_bare printed no timing" >&2; exit 1; }
  "$build/bench/bench_engine" "$bare" "$@"
done
