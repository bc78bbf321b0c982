#!/usr/bin/env bash
# Draws the README's picture of the main window (docs/window.png, or the
# first argument; the second is the DPI, 96 by default): norvane-showcase
# opens the real window with devices of every maker under Wine and Xvfb,
# and the window is captured. Everything runs inside a network namespace of
# its own with only loopback, so nothing can reach a real network.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build=${NORVANE_BUILD_DIR:-build/windows}
out=${1:-docs/window.png}
dpi=${2:-96}
cmake --preset windows -B "$build" >/dev/null
cmake --build "$build" --target norvane-showcase -j2
mkdir -p "$(dirname "$out")"

ns=nvt-shot
ip netns delete "$ns" 2>/dev/null || true
ip netns add "$ns"
trap 'ip netns delete "$ns" 2>/dev/null || true' EXIT
ip netns exec "$ns" ip link set lo up

ip netns exec "$ns" env BUILD="$build" OUT="$out" DPI="$dpi" bash -c '
  set -euo pipefail
  source scripts/wine-env.sh "$BUILD"
  # A prefix of its own: its wineserver must live inside this namespace.
  export WINEPREFIX="$WINEPREFIX-shot"
  unset DISPLAY
  trap wine_down EXIT
  wine_up
  wine "$BUILD/src/app/norvane-showcase.exe" 60 "$DPI" &
  pid=$!
  geometry=""
  for _ in $(seq 100); do
    geometry=$(xwininfo -name "Norvane - Quilbo 2026" 2>/dev/null | awk "
      /Absolute upper-left X/ {x = \$4} /Absolute upper-left Y/ {y = \$4}
      /^ *Width:/ {w = \$2} /^ *Height:/ {h = \$2}
      END {if (w > 0 && h > 0) printf \"%dx%d+%d+%d\", w, h, x, y}" || true)
    [ -n "$geometry" ] && break
    sleep 0.2
  done
  sleep 3
  if [ -n "$geometry" ]; then
    import -window root -crop "$geometry" +repage "$OUT"
  else
    import -window root "$OUT"
  fi
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
'
echo "screenshot: $out"
