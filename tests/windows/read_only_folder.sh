#!/bin/sh
# Runs the list export's read-only folder case under Wine, in the caller's
# Wine session (WINEPREFIX, a running wineserver):
#   read_only_folder.sh TEST_EXE
# The folder is made afresh under /tmp with one old file in it. Wine ignores
# the read-only attribute of folders, and its wineserver, which creates the
# files, may write anywhere when it runs as root; so the folder is closed on
# the Linux side: without write permission for an ordinary user, immutable
# (chattr +i) for root. Exit 77 (skipped) when neither can be had.
set -u
exe=${1:?test executable}
base=${TMPDIR:-/tmp}/norvane-read-only-folder

open_up() {  # undoes the closing of one folder and removes it
  chattr -i "$1" 2>/dev/null
  chmod u+w "$1" 2>/dev/null
  rm -rf "$1"
}
# Folders of runs that were killed before they could clean up.
for old in "$base".*; do
  [ -d "$old" ] && open_up "$old"
done

dir=$(mktemp -d "$base.XXXXXX") || exit 1
trap 'open_up "$dir"' EXIT
trap 'exit 1' INT TERM HUP
printf 'stara lista\r\n' >"$dir/stary.csv" || exit 1
if [ "$(id -u)" = 0 ]; then
  if ! chattr +i "$dir" 2>/dev/null; then
    echo "cannot make $dir immutable (file system without chattr): skipped"
    exit 77
  fi
else
  chmod 555 "$dir" || exit 1
fi

NORVANE_READ_ONLY_DIR="$dir" wine "$exe" --gtest_filter='*Scripted*'
