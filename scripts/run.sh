#!/usr/bin/env bash
# Builds Norvane.exe and runs it under Wine. Without a display it runs under
# Xvfb and writes a screenshot (default build/norvane.png, or the first
# argument) after a few seconds, then closes the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
# NORVANE_BUILD_DIR picks another Windows build folder (default build/windows).
build=${NORVANE_BUILD_DIR:-build/windows}
cmake --preset windows -B "$build" >/dev/null
cmake --build "$build" --target Norvane -j "$(nproc)"
exe=$build/src/app/Norvane.exe
[ -f mac-vendors.tsv ] && cp mac-vendors.tsv "$build/src/app/" || true

if [ -n "${DISPLAY:-}" ] && [ -z "${NORVANE_SCREENSHOT:-}" ] && [ $# -eq 0 ]; then
  source scripts/wine-env.sh "$build"
  wine_up
  wine "$exe"
  wine_down
  exit 0
fi

shot=${1:-build/norvane.png}
source scripts/wine-env.sh "$build"
trap wine_down EXIT
unset DISPLAY
wine_up
wine "$exe" &
pid=$!
sleep "${NORVANE_SHOT_DELAY:-6}"
# Only the program's window, when X can tell where it is.
geometry=$(xwininfo -name "Norvane - Quilbo 2026" 2>/dev/null | awk '
  /Absolute upper-left X/ {x = $4} /Absolute upper-left Y/ {y = $4}
  /^ *Width:/ {w = $2} /^ *Height:/ {h = $2}
  END {if (w > 0 && h > 0) printf "%dx%d+%d+%d", w, h, x, y}')
if [ -n "$geometry" ]; then
  import -window root -crop "$geometry" +repage "$shot"
else
  import -window root "$shot"
fi
echo "screenshot: $shot"
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
