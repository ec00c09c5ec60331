#!/usr/bin/env bash
# Builds Kestrel with warnings as errors and runs every test: once in a normal
# build, once under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/deps.sh

export QT_QPA_PLATFORM=offscreen
jobs="$(nproc)"

build_and_test() {
  local dir="$1" type="$2"; shift 2
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DKESTREL_WERROR=ON "$@"
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 600)
}

echo "== normal build =="
build_and_test build/ci RelWithDebInfo
echo "== sanitizer build =="
# Unoptimised: g++ 12 reports false "may be used uninitialized" warnings inside
# the standard library when the sanitizers and -O2 meet.
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  build_and_test build/ci-san Debug -DKESTREL_SANITIZE=ON
echo "== Windows cross-build and Wine tests =="
KESTREL_SIM=build/ci/sim/kestrel-sim bash scripts/windows-test.sh
echo "== fuzzing: clang, libFuzzer, sanitizers, 20 s per target =="
bash scripts/fuzz.sh 20
