#!/usr/bin/env bash
# Builds Norvane.exe and runs it under Wine. Without a display it runs under
# Xvfb and writes a screenshot (default build/norvane.png, or the first
# argument) after a few seconds, then closes the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target Norvane -j "$(nproc)"
exe=build/windows/src/app/Norvane.exe
[ -f mac-vendors.tsv ] && cp mac-vendors.tsv build/windows/src/app/ || true

if [ -n "${DISPLAY:-}" ] && [ -z "${NORVANE_SCREENSHOT:-}" ] && [ $# -eq 0 ]; then
  source scripts/wine-env.sh build/windows
  wine_up
  wine "$exe"
  wine_down
  exit 0
fi

shot=${1:-build/norvane.png}
source scripts/wine-env.sh build/windows
trap wine_down EXIT
unset DISPLAY
wine_up
wine "$exe" &
pid=$!
sleep "${NORVANE_SHOT_DELAY:-6}"
import -window root "$shot"
echo "screenshot: $shot"
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
