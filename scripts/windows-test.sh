#!/usr/bin/env bash
# Cross-builds the Windows executables and the tests that run on Windows with
# mingw-w64 (warnings as errors), runs those tests under Wine headless (Xvfb)
# in a Wine prefix made for this run in a temporary folder, then builds the
# zip a user downloads, unpacks it into a fresh folder and runs the programs
# from there: kestrelctl's version, and the window smoke test in a private
# network namespace against the Linux kestrel-sim.
#
#   bash scripts/windows-test.sh
#   KESTREL_WIN_BUILD=build/x KESTREL_SIM=path/to/kestrel-sim bash scripts/windows-test.sh
#   KESTREL_WIN_SCREENSHOT=docs/windows-window.png bash scripts/windows-test.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/deps-windows.sh

build="${KESTREL_WIN_BUILD:-build/win}"
jobs=2

# What builds for Windows. Tests that start the Linux simulator, make network
# namespaces or read Qt widgets stay with the Linux build.
targets=(KestrelW kestrelctl kestrel-window-probe common_tests adapter_tests net_tests device_tests
         framework_tests win_socket_tests)
tests='^(common_tests|adapter_tests|net_tests|device_tests|framework_tests|win_socket_tests)$'

echo "== Windows cross-build =="
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTREL_WERROR=ON \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake"
cmake --build "$build" -j "$jobs" --target "${targets[@]}"

work="$(mktemp -d "${TMPDIR:-/tmp}/kestrel-win.XXXXXX")"
export WINEPREFIX="$work/prefix"
cleanup() {
  timeout 30 wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
bash scripts/windows-wine-prefix.sh "$WINEPREFIX"

echo "== tests under Wine =="
timeout 900 xvfb-run -a -s "-screen 0 1024x768x24" \
  bash -c 'cd "$1" && ctest --output-on-failure -j 2 --timeout 300 -R "$2"' _ "$build" "$tests"

echo "== the zip, unpacked into a fresh folder =="
rm -f "$build"/kestrel-*-win64.zip
(cd "$build" && cpack -G ZIP >/dev/null)
zip=$(realpath "$build"/kestrel-*-win64.zip)
version=$(basename "$zip" -win64.zip)
version=${version#kestrel-}
mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip")
folder="$work/unpacked/kestrel-$version-win64"
contents=$(cd "$folder" && find . -type f | LC_ALL=C sort | tr '\n' ' ')
[[ $contents == "./KestrelW.exe ./LICENSE.txt ./README.txt ./kestrelctl.exe " ]] ||
  { echo "zip: unexpected contents: $contents" >&2; exit 1; }
shown=$(cd "$folder" && WINEDEBUG=-all timeout 120 wine ./kestrelctl.exe --version 2>"$work/wine.log" | tr -d '\r')
[[ $shown == "kestrelctl $version" ]] ||
  { echo "zip: kestrelctl.exe --version: $shown $(cat "$work/wine.log")" >&2; exit 1; }
echo "$(basename "$zip"): $contents; $shown"

echo "== window smoke test under Wine, the unpacked KestrelW.exe =="
sim="${KESTREL_SIM:-}"
if [[ -z $sim ]]; then
  cmake -S . -B build/win-linux -G Ninja -DKESTREL_BUILD_GUI=OFF -DKESTREL_BUILD_TESTS=OFF >/dev/null
  cmake --build build/win-linux -j "$jobs" --target kestrel-sim
  sim=build/win-linux/sim/kestrel-sim
fi
set +e
KESTREL_SMOKE_APP="$folder/KestrelW.exe" bash tests/win/smoke-test.sh "$build" "$sim" ${KESTREL_WIN_SCREENSHOT:+"$KESTREL_WIN_SCREENSHOT"}
status=$?
set -e
if ((status == 77)); then
  echo "window smoke test skipped: no network namespace here"
elif ((status != 0)); then
  exit "$status"
fi
echo "Windows tests: passed"
