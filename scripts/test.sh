#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
#   scripts/test.sh              normal build in build/
#   scripts/test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer in build-asan/
#   scripts/test.sh --tsan       the tests where threads meet, under ThreadSanitizer, in build-tsan/
#   scripts/test.sh --live       build/, then the LV2 edition in a private PipeWire daemon
#                                (scripts/live_test.sh) instead of the suite
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=build
opts=()
targets=()
filter=()
case "${1:-}" in
  "") ;;
  --sanitize) dir=build-asan; opts=(-DORV_SANITIZE=ON -DORV_BUILD_BENCHMARKS=OFF) ;;
  --tsan)
    dir=build-tsan; opts=(-DORV_TSAN=ON -DORV_BUILD_BENCHMARKS=OFF)
    targets=(--target orvane_concurrency_tests); filter=(-R '^Concurrency\.') ;;
  --live) ;;
  *) echo "usage: scripts/test.sh [--sanitize|--tsan|--live]" >&2; exit 2 ;;
esac

bash "$root/scripts/bootstrap.sh"
cmake -S "$root" -B "$root/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${opts[@]}" >/dev/null
cmake --build "$root/$dir" -j2 "${targets[@]}"
# Abort on the first sanitizer report so a finding fails the run.
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1}
if [ "${1:-}" = --live ]; then
  exec bash "$root/scripts/live_test.sh" "$root/$dir"
fi
# The editor's X11 tests need a display; without one, a virtual one for the
# run. -noreset: the server otherwise resets whenever its last client leaves,
# refusing connections meanwhile, and the tests open and close many.
export ORV_REQUIRE_DISPLAY=1
run=()
if [ -z "${DISPLAY:-}" ]; then
  command -v xvfb-run >/dev/null || { echo "test: no DISPLAY and no xvfb-run (scripts/bootstrap.sh installs it)" >&2; exit 1; }
  run=(xvfb-run -a -s "-screen 0 1920x1080x24 -noreset")
fi
"${run[@]}" ctest --test-dir "$root/$dir" --output-on-failure -j2 "${filter[@]}"
