#!/usr/bin/env bash
# Runs every libFuzzer target for the given number of seconds (default 60),
# seeded from fuzz/corpus/<target> and the shared captures, and prints the
# executions and any finding per target. Exit code 1 when a target crashed.
set -uo pipefail
cd "$(dirname "$0")/.."
secs=${1:-60}
dir=build/fuzz/fuzz
[ -d "$dir" ] || { cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j "$(nproc)"; } || exit 1
rc=0
work=build/fuzz/runs
mkdir -p "$work"
for exe in "$dir"/*-fuzz; do
  [ -x "$exe" ] || continue
  name=$(basename "$exe")
  corpus="$work/$name"
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/corpus/$name" ] && seeds+=("fuzz/corpus/$name")
  log="$work/$name.log"
  "$exe" -max_total_time="$secs" -print_final_stats=1 -artifact_prefix="$work/$name-" \
    "$corpus" "${seeds[@]}" >"$log" 2>&1
  r=$?
  execs=$(grep -E 'stat::number_of_executed_units' "$log" | awk '{print $2}')
  if [ $r -eq 0 ]; then
    echo "$name: ${execs:-?} executions, no finding"
  else
    echo "$name: FINDING (exit $r) after ${execs:-?} executions; see $log"
    grep -m3 -E 'ERROR|SUMMARY' "$log"
    rc=1
  fi
done
exit $rc
