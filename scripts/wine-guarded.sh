#!/usr/bin/env bash
# The Windows build's test runner (CMAKE_CROSSCOMPILING_EMULATOR): wine, but
# only inside a network namespace of its own (scripts/netns-guard.sh).
#
# Now and then, under load, Wine itself ends before the program's first
# instruction: no output at all and a failure code. That is no result of the
# program, which then runs once more, saying so; a program that printed
# anything, a failed test among them, counts as it ended.
source "$(dirname "${BASH_SOURCE[0]}")/netns-guard.sh"
norvane_own_namespace || exit 1
out=$(mktemp)
trap 'rm -f "$out"' EXIT
for attempt in 1 2; do
  wine "$@" 2>&1 | tee "$out"
  rc=${PIPESTATUS[0]}
  if [ "$rc" -eq 0 ] || [ -s "$out" ] || [ "$attempt" -eq 2 ]; then exit "$rc"; fi
  echo "wine-guarded: wine ended with code $rc before $1 printed anything; starting it again" >&2
done
