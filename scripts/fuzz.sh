#!/usr/bin/env bash
# Runs every libFuzzer target for the given number of seconds (default 60),
# seeded from fuzz/corpus/<target> and from the shared captures (read in place
# by scripts/fuzz-seeds.sh), and prints the executions and any finding per
# target. Exit code 1 when a target crashed, hung or broke a property.
# Usage: scripts/fuzz.sh [SECONDS] [BUILD_DIR]   (BUILD_DIR default build/fuzz)
set -uo pipefail
cd "$(dirname "$0")/.."
secs=${1:-60}
build=${2:-build/fuzz}
dir=$build/fuzz
if [ ! -d "$dir" ]; then
  { cmake --preset fuzz -B "$build" >/dev/null && cmake --build "$build" -j "$(nproc)"; } || exit 1
fi
rc=0
work=$build/runs
mkdir -p "$work"
seeds=$build/seeds
scripts/fuzz-seeds.sh "$seeds" >/dev/null || echo "fuzz.sh: seeds from the captures unavailable" >&2
for exe in "$dir"/*-fuzz; do
  [ -x "$exe" ] || continue
  name=$(basename "$exe")
  corpus="$work/$name"  # first directory: where libFuzzer keeps what it finds
  mkdir -p "$corpus"
  dirs=("$corpus")
  [ -d "fuzz/corpus/$name" ] && dirs+=("fuzz/corpus/$name")
  [ -d "$seeds/$name" ] && dirs+=("$seeds/$name")
  log="$work/$name.log"
  # -timeout: one input taking 10 s is a hang finding, not a slow run.
  "$exe" -max_total_time="$secs" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$work/$name-" "${dirs[@]}" >"$log" 2>&1
  r=$?
  execs=$(grep -E 'stat::number_of_executed_units' "$log" | awk '{print $2}')
  if [ $r -eq 0 ]; then
    echo "$name: ${execs:-?} executions, no finding"
  else
    echo "$name: FINDING (exit $r) after ${execs:-?} executions; see $log"
    grep -m5 -E 'ERROR|SUMMARY|-fuzz: |Test unit written' "$log"
    rc=1
  fi
done
exit $rc
