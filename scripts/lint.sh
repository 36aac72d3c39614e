#!/usr/bin/env bash
# Format and static checks on the project's own code. Needs a configured build
# folder (default: build) for compile_commands.json.
#   scripts/lint.sh [build-dir] [--fix]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
cd "$root"
mapfile -t files < <(git ls-files '*.c' '*.h' '*.cpp')
status=0
if [ "${2:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
else
  clang-format --dry-run -Werror "${files[@]}" || { echo "lint: clang-format found differences (scripts/lint.sh $build --fix)" >&2; status=1; }
fi
# Layers: includes and library links point one way, with no cycle.
bash "$root/scripts/check_layers.sh" "$build" || status=1
# The LV2 bundle's generated Turtle against every LV2 schema lv2-dev installs
# (with only some of them, properties of the others show as undefined).
mapfile -t schemas < <(dpkg -L lv2-dev | grep '\.ttl$' | grep -v /eg-)
if ! sord_validate "${schemas[@]}" "$build"/Orvane.lv2/*.ttl 2>&1 | grep -q 'Found 0 errors'; then
  sord_validate "${schemas[@]}" "$build"/Orvane.lv2/*.ttl 2>&1 | grep -v '^Found' >&2 || true
  echo "lint: $build/Orvane.lv2 does not validate against the LV2 schemas (build it first)" >&2
  status=1
fi
# The fuzz targets build only with clang (scripts/fuzz.sh); they are checked there.
mapfile -t units < <(git ls-files '*.c' '*.cpp' | grep -v '^tests/fuzz/')
[ -f "$build/compile_commands.json" ] || { echo "lint: $build/compile_commands.json missing: configure first" >&2; exit 1; }
tidy_log=$(mktemp)
if ! clang-tidy -p "$build" --quiet "${units[@]}" >"$tidy_log" 2>&1; then
  grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated|^Error while processing|Suppressed [0-9]+ warnings|Use -header-filter' "$tidy_log" >&2 || true
  echo "lint: clang-tidy found problems" >&2
  status=1
fi
rm -f "$tidy_log"
# The size of the tests against the code they test (C and C++ lines).
count_lines() { git ls-files "$@" | grep -E '\.(c|h|cpp)$' | xargs cat | wc -l; }
test_lines=$(count_lines tests)
code_lines=$(count_lines src tools)
awk -v t="$test_lines" -v c="$code_lines" \
  'BEGIN { printf "lint: tests/code ratio %.2f (%d test lines, %d code lines in src/ and tools/)\n", t / c, t, c }'
exit $status
