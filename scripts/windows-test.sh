#!/usr/bin/env bash
# Cross-builds the Windows executables and tests with mingw-w64 (warnings as
# errors) and runs the tests under Wine, headless on a private Xvfb display,
# in a Wine prefix made for this run in a temporary folder.
#
#   bash scripts/windows-test.sh            # build dir build/win
#   KESTREL_WIN_BUILD=build/x bash scripts/windows-test.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/deps-windows.sh

build="${KESTREL_WIN_BUILD:-build/win}"
jobs=2

echo "== Windows cross-build =="
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTREL_WERROR=ON \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake"
cmake --build "$build" -j "$jobs"

work="$(mktemp -d "${TMPDIR:-/tmp}/kestrel-win.XXXXXX")"
export WINEPREFIX="$work/prefix"
cleanup() {
  WINEPREFIX="$WINEPREFIX" timeout 30 wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
bash scripts/windows-wine-prefix.sh "$WINEPREFIX"

echo "== tests under Wine =="
# One X server for the whole run: console tests do not need it, the window
# tests and the smoke test do.
timeout 1200 xvfb-run -a -s "-screen 0 1024x768x24" \
  bash -c 'cd "$1" && ctest --output-on-failure -j 2 --timeout 300' _ "$build"
