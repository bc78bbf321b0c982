#!/usr/bin/env bash
# Builds Norvane.exe and runs it under Wine.
#
#   scripts/run.sh [SHOT.png]          in a demo network of its own (default)
#   scripts/run.sh --host [SHOT.png]   on this machine's real adapters
#
# By default Norvane runs inside the demo lab's host namespace (needs root):
# its only adapter, nvs0, leads to simulated devices (norvane-sim: Hikvision,
# Dahua, BCS, MikroTik, Ubiquiti, ONVIF, UPnP and Espressif devices) and real
# peer daemons (minidlna, avahi-daemon, lldpd, wsdd), so the list fills at
# once and nothing is sent anywhere else. --host runs it on the machine's own
# network, where it probes every Ethernet and Wi-Fi adapter it finds: only
# for people who mean it.
#
# With a display it opens the window. Without one (or with a file name
# argument) it runs under Xvfb, writes a screenshot (default
# build/norvane.png) after a few seconds (NORVANE_SHOT_DELAY) and closes.
set -euo pipefail
cd "$(dirname "$0")/.."
host=0
if [ "${1:-}" = --host ]; then
  host=1
  shift
fi
scripts/setup.sh
# NORVANE_BUILD_DIR picks another Windows build folder (default build/windows).
build=${NORVANE_BUILD_DIR:-build/windows}
cmake --preset windows -B "$build" >/dev/null
# Norvane.exe and its default vendor database beside it (from ieee-data).
cmake --build "$build" --target Norvane norvane_default_vendors -j "$(nproc)"

# Runs Norvane in the current network namespace: the window, or a shot.
run_norvane() {
  local build=$1 shot=${2:-}
  local exe=$build/src/app/Norvane.exe
  source scripts/wine-env.sh "$build"
  if [ -n "${DISPLAY:-}" ] && [ -z "${NORVANE_SCREENSHOT:-}" ] && [ -z "$shot" ]; then
    trap wine_down EXIT
    wine_up || return 1
    wine "$exe"
    return 0
  fi
  shot=${shot:-build/norvane.png}
  trap wine_down EXIT
  unset DISPLAY
  wine_up || return 1
  wine "$exe" &
  local pid=$!
  sleep "${NORVANE_SHOT_DELAY:-6}"
  # Only the program's window, when X can tell where it is.
  local geometry
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
}

if [ "$host" = 1 ]; then
  export NORVANE_HOST_NETWORK=1
  run_norvane "$build" "${1:-}"
  exit 0
fi

# The demo network needs the simulator from the native build.
cmake --preset native >/dev/null
cmake --build --preset native --target norvane-sim -j "$(nproc)"
export -f run_norvane
exec tests/netns/lab.sh demo run -- bash -c 'run_norvane "$@"' run-norvane "$build" "${1:-}"
