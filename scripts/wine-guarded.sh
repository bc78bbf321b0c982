#!/usr/bin/env bash
# The Windows build's test runner (CMAKE_CROSSCOMPILING_EMULATOR): wine, but
# only inside a network namespace of its own (scripts/netns-guard.sh).
source "$(dirname "${BASH_SOURCE[0]}")/netns-guard.sh"
norvane_own_namespace || exit 1
exec wine "$@"
