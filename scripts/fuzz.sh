#!/usr/bin/env bash
# Runs one fuzz target of the sanitize build for as long as asked, over its
# seed corpus and what earlier runs found, and prints its figures. Inputs it
# finds go to build/sanitize/fuzz-found/<target>/, a crashing one to
# build/sanitize/fuzz-crashes/; the seed corpus in the sources is not touched.
# usage: scripts/fuzz.sh TARGET [SECONDS] [libFuzzer options...]
#        scripts/fuzz.sh --list
# TARGET is a name such as version_answer (the executable is TARGET_fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { sed -n '6,8s/^# //p' "$0" >&2; exit 2; }
(($# >= 1)) || usage
if [[ $1 == --list ]]; then
  find tests -type d -path '*/corpus/*' -printf '%f\n' | sort
  exit 0
fi
target=$1
seconds=${2:-60}
shift $(($# >= 2 ? 2 : 1))
corpus=$(find tests -type d -path "*/corpus/$target" | head -n 1)
[[ -n $corpus ]] || { echo "no fuzz target $target (scripts/fuzz.sh --list)" >&2; exit 2; }

build=build/sanitize
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j2 --target "${target}_fuzz"
found=$build/fuzz-found/$target
mkdir -p "$found" "$build/fuzz-crashes"
log=$build/fuzz-$target.log
status=0
"$(find "$build" -type f -name "${target}_fuzz" | head -n 1)" -max_total_time="$seconds" -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/fuzz-crashes/$target-" "$@" \
  "$found" "$corpus" >"$log" 2>&1 || status=$?
units=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
echo "$target: ${units:-?} executions in $seconds s, ${rate:-?} per second, exit $status (log: $log)"
exit $status
