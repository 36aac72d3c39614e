#!/usr/bin/env bash
# The engine benchmark with its baseline: times the bare Debian library call
# (bench_rnnoise_bare, linked with the untouched RNNoise archive), then runs
# bench_engine, which states every cost per channel as a ratio to it.
#   scripts/bench_engine.sh [build-dir] [benchmark arguments...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
shift || true
cmake --build "$build" -j2 --target bench_rnnoise_bare bench_engine >/dev/null
bare=$("$build/bench/bench_rnnoise_bare" --benchmark_color=false | grep -o -- '--bare_frame_seconds=[0-9.e+-]*' || true)
[ -n "$bare" ] || { echo "bench_engine.sh: bench_rnnoise_bare printed no timing" >&2; exit 1; }
exec "$build/bench/bench_engine" "$bare" "$@"
