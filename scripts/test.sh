#!/usr/bin/env bash
# Builds Kestrel with warnings as errors and runs every test: once in a normal
# build, once under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/deps.sh

echo "== layers: includes point down =="
bash scripts/check-layers.sh

export QT_QPA_PLATFORM=offscreen
jobs="$(nproc)"

build_and_test() {
  local dir="$1" type="$2"; shift 2
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DKESTREL_WERROR=ON "$@"
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 600) | tee "$dir-ctest.log"
}

echo "== normal build =="
build_and_test build/ci RelWithDebInfo
echo "== Debian package: build, lintian, install, run, remove =="
bash scripts/package-test.sh build/ci 2>&1 | tee build/package-stage.log
echo "== demo entry points, without a display =="
bash scripts/demo-test.sh build/ci 2>&1 | tee build/demo-stage.log
echo "== sanitizer build =="
# Unoptimised: g++ 12 reports false "may be used uninitialized" warnings inside
# the standard library when the sanitizers and -O2 meet.
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  build_and_test build/ci-san Debug -DKESTREL_SANITIZE=ON
echo "== thread sanitizer: the collector's threads, its tests and the simulator =="
# Only these targets, to keep CI quick; the threads live in the collector and
# in the simulator's many-device mode.
cmake -S . -B build/ci-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTREL_WERROR=ON \
  -DKESTREL_BUILD_GUI=OFF -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread
cmake --build build/ci-tsan -j "$jobs" --target collector_tests collector_services_tests kestrel-collector kestrel-sim
(cd build/ci-tsan && TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tests/tsan.supp" \
  ctest --output-on-failure -R '^collector_' --timeout 600) | tee build/ci-tsan-ctest.log
echo "== Windows cross-build and Wine tests =="
KESTREL_SIM=build/ci/sim/kestrel-sim bash scripts/windows-test.sh 2>&1 | tee build/windows-stage.log
echo "== fuzzing: clang, libFuzzer, sanitizers, 20 s per target =="
bash scripts/fuzz.sh 20 2>&1 | tee build/fuzz-stage.log

# One closing line over every stage, counted from what the stages reported:
# ctest's result line for each test, the verdicts of the smoke test, each fuzz
# target, the package and the demo. Each stage above stops the script on its
# first failure. A test that skipped (exit 77: no network namespace could be
# made) fails the run: every test is meant to run here.
stage_logs=(build/ci-ctest.log build/ci-san-ctest.log build/ci-tsan-ctest.log build/windows-stage.log)
count() { cat "${stage_logs[@]}" | grep -cE "$1" || true; }
passed=$(count '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed +[0-9.]+ sec$')
skipped=$(count '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .*\*\*\*Skipped +[0-9.]+ sec$')
failed=$(count '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .*\*\*\*(Failed|Timeout|Exception|Not Run)')
passed=$(( passed + $(grep -c "^smoke: passed" build/windows-stage.log || true) ))
skipped=$(( skipped + $(grep -c "^window smoke test skipped" build/windows-stage.log || true) ))
passed=$(( passed + $(grep -c "runs clean in" build/fuzz-stage.log || true) ))
passed=$(( passed + $(cat build/package-stage.log build/demo-stage.log | grep -cE "^(package|demo): passed" || true) ))
skipped=$(( skipped + $(grep -c "^demo: shell skipped" build/demo-stage.log || true) ))
echo "Summary: ${passed} passed, ${failed} failed, ${skipped} skipped"
if (( skipped > 0 || failed > 0 )); then
  echo "tests that must run here did not pass (see the stage logs above)" >&2
  exit 1
fi
