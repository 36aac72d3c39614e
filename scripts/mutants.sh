#!/usr/bin/env bash
# Seeded faults: which of them does the test suite catch?
#   scripts/mutants.sh --list          the catalogue, one fault a line; builds nothing
#   scripts/mutants.sh --check         checks that every fault's text occurs exactly
#                                      once in its file; builds nothing
#   scripts/mutants.sh [ID...]         applies each fault (or the named ones) in turn
#                                      to a scratch copy, builds, runs the suite and
#                                      reports caught / missed
# Each fault is a small edit that a real bug could look like; the catalogue is
# scripts/mutants.list. A fault whose text is no longer in its file, or is
# there more than once, is reported as stale (the catalogue needs updating);
# one that does not compile as "no build"; neither counts as caught.
# The scratch copy lives in build-mutants/ (git-ignored) and is reused, so
# only the touched file recompiles between faults.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

ids=() files=() olds=() news=() whys=()
# fault ID FILE OLD NEW WHY: replace OLD (literal text, exactly once in FILE) by NEW.
fault() { ids+=("$1"); files+=("$2"); olds+=("$3"); news+=("$4"); whys+=("$5"); }

# shellcheck source=scripts/mutants.list
source "$root/scripts/mutants.list"

# Applies fault $1 to file $2 in place; fails (status 3) unless its text
# occurs exactly once, leaving the file as it was.
apply_fault() {
  OLD=${olds[$1]} NEW=${news[$1]} perl -0pi -e '
    $n = () = /\Q$ENV{OLD}\E/g;
    s/\Q$ENV{OLD}\E/$ENV{NEW}/ if $n == 1;
    END { exit($n == 1 ? 0 : 3) }' "$2"
}

case "${1:-}" in
  --list)
    for i in "${!ids[@]}"; do printf '%-34s %-42s %s\n' "${ids[$i]}" "${files[$i]}" "${whys[$i]}"; done
    echo "${#ids[@]} faults"
    exit 0 ;;
  --check)
    bad=0
    tmp=$(mktemp)
    trap 'rm -f "$tmp"' EXIT
    for i in "${!ids[@]}"; do
      if [ ! -f "$root/${files[$i]}" ]; then
        echo "stale: ${ids[$i]}: no file ${files[$i]}"; bad=$((bad + 1)); continue
      fi
      cp "$root/${files[$i]}" "$tmp"
      apply_fault "$i" "$tmp" || { echo "stale: ${ids[$i]}: its text is not in ${files[$i]} exactly once"; bad=$((bad + 1)); }
    done
    [ $bad = 0 ] && echo "mutants: all ${#ids[@]} faults apply"
    [ $bad = 0 ]
    exit ;;
esac

wanted=("$@")
for w in "${wanted[@]}"; do
  [[ " ${ids[*]} " == *" $w "* ]] || { echo "mutants: no fault named $w (see --list)" >&2; exit 2; }
done
is_wanted() {
  [ ${#wanted[@]} = 0 ] && return 0
  [[ " ${wanted[*]} " == *" $1 "* ]]
}

bash "$root/scripts/bootstrap.sh" >/dev/null
scratch="$root/build-mutants"
src="$scratch/src-tree"
bld="$scratch/build"
mkdir -p "$src" "$bld"
# Runs in one checkout share the scratch copy: one at a time.
exec 9>"$scratch/lock"
flock -n 9 || { echo "mutants: another run is using $scratch" >&2; exit 1; }
# A fresh copy of the tracked tree as it is in the working folder. Files keep
# their times, so only what changed recompiles; a file a killed run left
# faulted gets its own text back with an old time, and must be touched so
# that the faulted object is rebuilt.
(cd "$root" && git ls-files -z) | (cd "$root" && xargs -0 tar -cf - --) | tar -xf - -C "$src"
if [ -f "$scratch/faulted" ]; then
  touch "$src/$(cat "$scratch/faulted")"
  rm -f "$scratch/faulted"
fi
cmake -S "$src" -B "$bld" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORV_BUILD_BENCHMARKS=OFF \
  -DORV_DEPS_ROOT="$root/.deps/root" >/dev/null
started=$SECONDS
echo "mutants: building the unchanged copy"
cmake --build "$bld" -j2 >"$scratch/build.log" 2>&1 || { tail -20 "$scratch/build.log"; exit 1; }

# The suite as scripts/test.sh runs it: the X11 tests need a display, and
# without one a virtual one that does not reset between clients.
export ORV_REQUIRE_DISPLAY=1
runner=()
if [ -z "${DISPLAY:-}" ]; then
  command -v xvfb-run >/dev/null || { echo "mutants: no DISPLAY and no xvfb-run" >&2; exit 1; }
  runner=(xvfb-run -a -s "-screen 0 1920x1080x24 -noreset")
fi
run_suite() {
  "${runner[@]}" ctest --test-dir "$bld" -j2 --timeout 300 --stop-on-failure "$@" >"$scratch/test.log" 2>&1
}
suite_start=$SECONDS
run_suite || { echo "mutants: the suite fails without any fault:" >&2; tail -20 "$scratch/test.log" >&2; exit 1; }
echo "mutants: the unchanged suite passes ($((SECONDS - suite_start)) s)"

# Which program each test runs, so that a fault can first be tried on the
# tests whose program the fault rebuilt: most faults are caught there in
# seconds, and only the rest pay for the whole suite. The verdict is the
# same either way, since a fault that passes the near tests still meets the
# whole suite.
ctest --test-dir "$bld" --show-only=json-v1 |
  jq -r '.tests[] | select(.command) | "\(.command[0])\t\(.name)"' >"$scratch/tests.tsv"
# A ctest pattern matching exactly the tests whose program is newer than $1;
# empty when there are none, or too many for one pattern.
near_pattern() {
  local exe name names=()
  while IFS=$'\t' read -r exe name; do
    [ "$exe" -nt "$1" ] && names+=("$name")
  done <"$scratch/tests.tsv"
  [ ${#names[@]} -gt 0 ] && [ ${#names[@]} -le 120 ] || return 0
  # shellcheck disable=SC2016 # sed's own $, not the shell's
  printf '%s\n' "${names[@]}" | sed 's/[]*+?^$()|.[\\]/\\&/g' | paste -sd'|' | sed 's/^/^(/; s/$/)$/'
}

caught=0 missed=0 stale=0 nobuild=0 total=0
missed_list=()
for i in "${!ids[@]}"; do
  id=${ids[$i]}
  is_wanted "$id" || continue
  total=$((total + 1))
  fault_start=$SECONDS
  file="$src/${files[$i]}"
  cp "$file" "$scratch/pristine"
  echo "${files[$i]}" >"$scratch/faulted"
  if ! apply_fault "$i" "$file"; then
    result=stale
    stale=$((stale + 1))
  elif ! touch "$scratch/stamp" || ! cmake --build "$bld" -j2 >"$scratch/build.log" 2>&1; then
    result="no build"
    nobuild=$((nobuild + 1))
  elif pattern=$(near_pattern "$scratch/stamp") && [ -n "$pattern" ] && ! run_suite -R "$pattern"; then
    result=caught
    caught=$((caught + 1))
  elif run_suite; then
    result=MISSED
    missed=$((missed + 1))
    missed_list+=("$id")
  else
    result=caught
    caught=$((caught + 1))
  fi
  cp "$scratch/pristine" "$file"
  touch "$file"
  rm -f "$scratch/faulted"
  printf '%-34s %-8s %5d s\n' "$id" "$result" $((SECONDS - fault_start))
done
# Leave the copy built as it is, so the next run starts incrementally.
cmake --build "$bld" -j2 >"$scratch/build.log" 2>&1 || true

echo "mutants: $caught of $total caught ($missed missed, $stale stale, $nobuild not building) in $(((SECONDS - started) / 60)) min"
[ ${#missed_list[@]} = 0 ] || echo "mutants: missed: ${missed_list[*]}"
[ $missed = 0 ] && [ $stale = 0 ] && [ $nobuild = 0 ]
