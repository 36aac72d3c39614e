#!/usr/bin/env bash
# Builds the libFuzzer targets (the state reader, the preset reader, the audio
# component driven as hosts drive it) with clang and runs each for a bounded
# time on its committed seed corpus (new findings go to a scratch folder, never
# into the repository).
#   scripts/fuzz.sh [seconds per target, default 60]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
bash "$root/scripts/bootstrap.sh"
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$root/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORV_FUZZ=ON -DORV_BUILD_BENCHMARKS=OFF >/dev/null
targets=(orv_fuzz_state orv_fuzz_preset orv_fuzz_host)
cmake --build "$root/build-fuzz" -j2 --target "${targets[@]}"
for t in "${targets[@]}"; do
  corpus="$root/tests/fuzz/${t#orv_fuzz_}_corpus"
  scratch=$(mktemp -d)
  echo "fuzz: $t for ${seconds}s"
  "$root/build-fuzz/tests/$t" -max_total_time="$seconds" -print_final_stats=1 "$scratch" "$corpus" 2>&1 | tail -n 12
  rm -rf "$scratch"
done
