# Sourced by the scripts that run Windows programs: one Wine prefix under the
# build folder, one X display, one wineserver kept alive for the whole run.
# Usage: source scripts/wine-env.sh <build-dir>; wine_up; ...; wine_down
_wine_build=${1:?build dir}
export WINEPREFIX="$(cd "$_wine_build" && pwd)/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
_xvfb_pid=""

source "$(dirname "${BASH_SOURCE[0]}")/netns-guard.sh"

wine_up() {
  norvane_own_namespace || return 1
  if [ -z "${DISPLAY:-}" ]; then
    local n=97
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    # Large enough for the main window at 144 DPI (1485x840).
    Xvfb ":$n" -screen 0 1920x1200x24 -nolisten tcp >/dev/null 2>&1 &
    _xvfb_pid=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  fi
  mkdir -p "$WINEPREFIX"
  # A wineserver of this prefix left running in another namespace would
  # serve this session with that namespace's adapters.
  wineserver -k </dev/null >/dev/null 2>&1 || true
  wineserver -p </dev/null >/dev/null 2>&1 || true
  wine wineboot </dev/null >/dev/null 2>&1 || true
  # Segoe UI, the window's font, is not there: Open Sans (the base of its
  # metric-compatible stand-in) has its line height and nearly its widths,
  # so texts are laid out as on Windows instead of being cut short.
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Segoe UI' /d 'Open Sans' /f \
    </dev/null >/dev/null 2>&1 || true
  # Open Sans lacks U+202F (narrow no-break space), which groups the
  # counters' digits: linked to DejaVu Sans, which has it, the separator is
  # drawn from there instead of as a box. Wine looks links up by the chosen
  # face's full name, so the bold face the window uses needs its own.
  local face
  for face in 'Open Sans' 'Open Sans Bold'; do
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
      /v "$face" /t REG_MULTI_SZ /d 'DejaVuSans.ttf,DejaVu Sans' /f </dev/null >/dev/null 2>&1 || true
  done
  # On our own Xvfb there is no window manager: windows are unmanaged, or
  # Wine waits two seconds for a manager at every top-level window that is
  # hidden or destroyed.
  if [ -n "$_xvfb_pid" ]; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
  else
    wine reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f </dev/null >/dev/null 2>&1 || true
  fi
}

wine_down() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
  if [ -n "$_xvfb_pid" ]; then
    kill "$_xvfb_pid" 2>/dev/null || true
    wait "$_xvfb_pid" 2>/dev/null || true
    _xvfb_pid=""
  fi
}
