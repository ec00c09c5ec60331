#!/usr/bin/env bash
# Starts a cross-built Windows executable under Wine (ctest's emulator).
# Uses the Wine prefix in WINEPREFIX; without one it makes a throw-away prefix
# for this single run, which costs a few seconds, so scripts/windows-test.sh
# makes one prefix for the whole test run instead.
set -uo pipefail
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEARCH=win64
if [ -n "${WINEPREFIX:-}" ]; then
  exec wine "$@"
fi
WINEPREFIX="$(mktemp -d "${TMPDIR:-/tmp}/kestrel-wine.XXXXXX")"
export WINEPREFIX
trap 'timeout 30 wineserver -k >/dev/null 2>&1; rm -rf "$WINEPREFIX"' EXIT
timeout 120 wineboot -i >/dev/null 2>&1
wine "$@"
