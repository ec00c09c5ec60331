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
echo "== Debian package: build, lintian, install, run, remove =="
bash scripts/package-test.sh build/ci 2>&1 | tee build/package-stage.log
echo "== demo entry points, without a display =="
bash scripts/demo-test.sh 2>&1 | tee build/demo-stage.log
echo "== sanitizer build =="
# Unoptimised: g++ 12 reports false "may be used uninitialized" warnings inside
# the standard library when the sanitizers and -O2 meet.
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  build_and_test build/ci-san Debug -DKESTREL_SANITIZE=ON
echo "== Windows cross-build and Wine tests =="
KESTREL_SIM=build/ci/sim/kestrel-sim bash scripts/windows-test.sh 2>&1 | tee build/windows-stage.log
echo "== fuzzing: clang, libFuzzer, sanitizers, 20 s per target =="
bash scripts/fuzz.sh 20 2>&1 | tee build/fuzz-stage.log

# One closing line over every stage: each stage above stops the script on its
# first failure, so reaching this point means everything counted here passed.
ctest_total() {
  grep -ho "tests failed out of [0-9]*" "$@" | awk '{n += $5} END {print n + 0}'
}
passed=$(for d in build/ci build/ci-san; do ctest --test-dir "$d" -N; done |
  grep -o "Total Tests: [0-9]*" | awk '{n += $3} END {print n + 0}')
passed=$(( passed + $(ctest_total build/windows-stage.log) ))
passed=$(( passed + $(grep -c "^smoke: passed" build/windows-stage.log || true) ))
passed=$(( passed + $(grep -c "runs clean in" build/fuzz-stage.log || true) ))
passed=$(( passed + $(grep -c -e "^package: passed" -e "^demo: passed" build/package-stage.log build/demo-stage.log |
  awk -F: '{n += $2} END {print n + 0}') ))
echo "Summary: ${passed} passed, 0 failed"
