#!/usr/bin/env bash
# Builds both configurations and runs every test: the native suites under
# ASan/UBSan, the script-driven network tests, the Windows suites under Wine,
# a short fuzzing smoke run and a benchmark smoke run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

scripts/setup.sh

logs="$root/build/logs"
mkdir -p "$logs"
passed=0
failed=0
status=0

count() {  # adds a ctest log's totals to the grand total
  local line
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n1 || true)
  if [ -n "$line" ]; then
    local f total
    f=$(sed -E 's/.* ([0-9]+) tests? failed out of.*/\1/' <<<"$line")
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
    passed=$((passed + total - f))
    failed=$((failed + f))
  fi
}

echo "== native build"
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
echo "== native tests"
ctest --preset native -j "$jobs" 2>&1 | tee "$logs/native.log" || status=1
count "$logs/native.log"

# The capture queue is shared by the back-ends' threads and the UI thread:
# its tests run again under ThreadSanitizer.
echo "== capture queue under ThreadSanitizer"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs" --target capture_control_test
if build/tsan/tests/capture_control_test >"$logs/tsan.log" 2>&1; then
  passed=$((passed + 1))
  tail -n 1 "$logs/tsan.log"
else
  failed=$((failed + 1)); status=1
  tail -n 40 "$logs/tsan.log"
fi

echo "== windows build"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
# Everything that runs under Wine runs inside the lab's host namespace: its
# only adapter leads to the simulated devices and the real peers
# (tests/netns/lab.sh), so Norvane's probes never reach the machine's own
# network. The Wine session (prefix, wineserver, Xvfb) starts in there too.
echo "== windows tests (Wine, in the lab's host namespace)"
rm -f "$logs/tick-bench.status"
lab_start=$(date +%s)
set +e
tests/netns/lab.sh test run -- bash -c '
  source scripts/wine-env.sh build/windows
  trap wine_down EXIT
  wine_up || exit 1
  ctest --preset windows -j "$1"
  ctest_status=$?
  wine build/windows/src/app/norvane-tick-bench.exe 1 4096 >"$2/tick-bench.log" 2>&1
  echo $? >"$2/tick-bench.status"
  exit $ctest_status' windows-tests "$jobs" "$logs" 2>&1 | tee "$logs/windows.log"
lab_status=${PIPESTATUS[0]}
set -e
echo "windows run in the lab: $(( $(date +%s) - lab_start )) s"
if [ "$lab_status" -ne 0 ]; then status=1; fi
if ! grep -qE '[0-9]+% tests passed' "$logs/windows.log"; then
  # The lab did not come up (no root, no namespaces): the Windows tests are
  # not run anywhere else, and that counts as a failure.
  echo "windows tests did not run (see $logs/windows.log)"
  failed=$((failed + 1)); status=1
fi
count "$logs/windows.log"

echo "== windows tick benchmark smoke (Wine)"
if [ "$(cat "$logs/tick-bench.status" 2>/dev/null)" = 0 ]; then
  passed=$((passed + 1))
  cat "$logs/tick-bench.log"
else
  failed=$((failed + 1)); status=1
  tail -n 20 "$logs/tick-bench.log" 2>/dev/null || true
fi

echo "== fuzz smoke"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
if scripts/fuzz.sh 3 >"$logs/fuzz.log" 2>&1; then
  passed=$((passed + 1))
  tail -n 20 "$logs/fuzz.log"
else
  failed=$((failed + 1)); status=1
  tail -n 60 "$logs/fuzz.log"
fi

echo "== benchmark smoke"
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$jobs"
if build/bench/bench/norvane-bench --benchmark_min_time=0.01 >"$logs/bench.log" 2>&1; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); status=1
  tail -n 40 "$logs/bench.log"
fi

# The lines that say what failed, gathered here at the end, where a long
# log's tail still shows them.
if [ "$failed" -ne 0 ] || [ "$status" -ne 0 ]; then
  echo
  echo "== what failed"
  grep -hE '^FAIL:|FAILED:|\[  FAILED  \]|\*\*\*(Failed|Timeout|Exception)|: Failure$' \
    "$logs/native.log" "$logs/windows.log" 2>/dev/null | head -n 60 || true
fi

echo
echo "Total: $passed passed, $failed failed"
if [ "$failed" -ne 0 ] || [ "$status" -ne 0 ]; then exit 1; fi
