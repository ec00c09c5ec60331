#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for a bounded time from its
# committed seeds. Fails when any target finds a crash, a leak, a sanitizer
# report or a broken check (the input that did it is kept under
# build/fuzz/artifacts/).
#
#   bash scripts/fuzz.sh               # 20 s per target (what CI runs)
#   bash scripts/fuzz.sh 600           # 10 minutes per target
#   KESTREL_FUZZ_BUILD=build/x bash scripts/fuzz.sh
#
# Inputs that reach new code are kept in build/fuzz/corpus/<target>/ between
# runs; the committed seeds in tests/fuzz/corpus/ are only read.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

seconds="${1:-20}"
build="${KESTREL_FUZZ_BUILD:-build/fuzz}"

bash scripts/deps.sh clang libclang-rt-14-dev

# Without the function-type check: clang 14 cannot place its prologue data
# beside the split parts of a coroutine when coverage is on ("Cannot
# represent a difference across sections"), and the device steps are
# coroutines. Every other check of undefined behaviour stays.
flags="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize=function -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS="$flags" \
  -DKESTREL_FUZZ=ON -DKESTREL_BUILD_GUI=OFF >/dev/null
cmake --build "$build" --target fuzz_targets -j 2

# Replies are bounded by the 4096-byte reply limit; a little more lets the
# fuzzer cross it. Adapter snapshots need room for many rows.
declare -A max_len=(
  [reply_collection]=9000 [probe_reply]=100 [reply_fields]=5000
  [config_dump]=5000 [adapter_table]=20000 [collector_config]=4000 [probe_query]=300
  [totals_query]=300
)

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
summary="$build/fuzz-summary.txt"
: >"$summary"
failed=()
for name in reply_collection probe_reply reply_fields config_dump adapter_table collector_config probe_query \
    totals_query; do
  corpus="$build/corpus/$name"
  artifacts="$build/artifacts/$name"
  mkdir -p "$corpus" "$artifacts"
  log="$build/fuzz-$name.log"
  echo "== fuzz_$name: ${seconds} s =="
  if "$build/tests/fuzz/fuzz_$name" -max_total_time="$seconds" -max_len="${max_len[$name]}" \
      -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$corpus" "tests/fuzz/corpus/$name" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    echo "fuzz_$name: ${runs:-?} runs clean in ${seconds} s" | tee -a "$summary"
  else
    tail -n 40 "$log"
    echo "fuzz_$name: FAILED (log $log, inputs in $artifacts)" | tee -a "$summary"
    failed+=("$name")
  fi
done

if ((${#failed[@]})); then
  echo "fuzzing found faults in: ${failed[*]}" >&2
  exit 1
fi
