#!/usr/bin/env bash
# Installs what building and testing Norvane needs, only what is missing.
# Safe to run again: it asks apt only when a package is absent.
set -euo pipefail

packages=(
  # native build, tests, benchmarks, fuzzers, tools
  cmake ninja-build g++ pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev
  libpcap-dev libcli11-dev clang-14 libclang-rt-14-dev clang-format tmux
  # Windows build and running it
  g++-mingw-w64-x86-64-posix wine wine64 xvfb imagemagick x11-utils
  # stand-in for the window's font (Segoe UI) under Wine, and the font linked
  # to it for the characters it lacks (U+202F, the counters' group separator)
  fonts-open-sans fonts-dejavu-core
  # network tests: namespaces, captures and independent peers
  iproute2 tcpdump tshark python3-scapy dbus lldpd avahi-daemon avahi-utils wsdd llmnrd
  minidlna miniupnpd
  # the default vendor database (IEEE registries) and the HTTPS lab's test certificates
  ieee-data openssl
  # the upper-case table of case-insensitive sorting (Unicode character database)
  unicode-data python3
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages (${missing[*]}); run as root or install them" >&2
    exit 1
  fi
  # Daemons installed for tests must never start on the host's own network.
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d
    chmod 755 /usr/sbin/policy-rc.d
  fi
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
