#!/usr/bin/env bash
# Benchmark of kestrel-collector (not a test: the goals are measured, not
# asserted). For each fleet size, one kestrel-sim process simulates that many
# devices of eight inputs on consecutive addresses inside a private network
# namespace, and the collector polls every one of them each second. Prints a
# Markdown table: the share of samples taken within 100 ms of their slot, the
# collector's CPU share (of one core) and peak resident memory, and the
# simulator's CPU share beside them. The largest fleet runs a second time with
# --store, to show what committing every sample costs. A run that yields no
# samples ends the benchmark with an error.
#
#   bash scripts/bench-collector.sh                 # 100, 300, 1000 devices, 60 s each
#   bash scripts/bench-collector.sh 20 100 300      # 20 s each, for a quick look
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

seconds="${1:-60}"
shift || true
sizes=("${@:-100 300 1000}")
read -r -a sizes <<<"${sizes[*]}"
build="${KESTREL_BENCH_BUILD:-build/rel}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTREL_BUILD_GUI=OFF >/dev/null
cmake --build "$build" --target kestrel-collector kestrel-sim -j 2 >/dev/null

# One run, inside the namespace: prints a row of the table. STORE is "store"
# for a run with --store.
run_one() {
  local n=$1 seconds=$2 build=$3 store=${4:-} work
  work=$(mktemp -d)
  # The devices' addresses on the second end: 10.78.0.1 and onwards.
  ip addr add 10.78.0.1/16 dev "$KESTREL_NETNS_B_NAME"
  for ((i = 2; i <= n; i++)); do
    echo "addr add 10.78.$((i / 256)).$((i % 256))/16 dev $KESTREL_NETNS_B_NAME"
  done | ip -batch - 2>/dev/null || true
  "$build/sim/kestrel-sim" --bind 10.78.0.1 --devices "$n" >"$work/sim.out" 2>"$work/sim.err" &
  local sim=$!
  for _ in $(seq 100); do grep -q ready "$work/sim.out" && break; sleep 0.1; done
  local args=()
  for ((i = 1; i <= n; i++)); do args+=(-d "10.78.$((i / 256)).$((i % 256))"); done
  [[ -z $store ]] || args+=(--store "$work/counts.db")
  "$build/collector/kestrel-collector" "${args[@]}" -i "$KESTREL_NETNS_A" >"$work/out.jsonl" 2>"$work/err" &
  local collector=$!
  local ticks start_c start_s t0 t1
  ticks=$(getconf CLK_TCK)
  cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; }
  sleep "$seconds"
  local rss
  rss=$(awk '/VmHWM/ {print $2}' "/proc/$collector/status")
  local cc sc elapsed_c elapsed_s
  cc=$(cpu "$collector")
  sc=$(cpu "$sim")
  # Process start times (in ticks since boot) give each one's own run time.
  local uptime
  uptime=$(awk '{print $1}' /proc/uptime)
  elapsed_c=$(awk -v u="$uptime" -v t="$ticks" '{print u - $22 / t}' "/proc/$collector/stat")
  elapsed_s=$(awk -v u="$uptime" -v t="$ticks" '{print u - $22 / t}' "/proc/$sim/stat")
  kill -TERM "$collector"
  wait "$collector" || true
  kill -TERM "$sim"
  wait "$sim" || true
  local within
  within=$(grep -o '"late_ms":-\?[0-9]*' "$work/out.jsonl" |
    awk -F: '{n++; if ($2 <= 100) w++} END {if (n) printf "%.3f%% of %d", 100 * w / n, n}')
  if [[ -z $within ]]; then
    echo "bench-collector: $n devices${store:+ with the store}: no samples (see $work)" >&2
    return 1
  fi
  printf '| %d%s | %s | %.1f%% | %d MB | %.1f%% |\n' "$n" "${store:+ with --store}" "$within" \
    "$(awk -v c="$cc" -v t="$ticks" -v e="$elapsed_c" 'BEGIN {print 100 * c / t / e}')" \
    "$((rss / 1024))" \
    "$(awk -v c="$sc" -v t="$ticks" -v e="$elapsed_s" 'BEGIN {print 100 * c / t / e}')"
  rm -rf "$work"
}
export -f run_one

echo "| Devices | Samples within 100 ms of their slot | Collector CPU (one core) | Collector peak RSS | Simulator CPU |"
echo "|---|---|---|---|---|"
for n in "${sizes[@]}"; do
  bash tests/netns/with-veth.sh --unshare -- bash -c "run_one $n $seconds $build"
done
largest=$(printf '%s\n' "${sizes[@]}" | sort -n | tail -1)
bash tests/netns/with-veth.sh --unshare -- bash -c "run_one $largest $seconds $build store"
