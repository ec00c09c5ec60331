#!/usr/bin/env bash
# Benchmark of kestrel-collector against the floor (not a test: the goals are
# measured, not asserted). For each fleet size, kestrel-sim simulates that
# many devices of eight inputs on consecutive addresses inside a private
# network namespace; the reference client (bench/ReferenceClient.cpp: one
# thread, epoll, the same requests and waits on the wire, nothing else) polls
# every one of them each second for the given time, then the collector does
# the same against the same simulator. Prints a Markdown table: for each of
# the two the share of polls done within 100 ms of their slot (over the whole
# run) and CPU (of one core) per poll, their ratio, the collector's CPU share
# and peak resident memory, the simulator's CPU per poll, and the load
# average at the end of each run. With KESTREL_BENCH_STORE=1 the largest fleet runs a
# second time with --store, to show what committing every sample costs. With
# KESTREL_BENCH_SCRAPES=N the collector also serves /metrics and is scraped N
# times back to back from the middle of its run: the slowest scrape and its
# resident memory (VmRSS) before the first and after the last. With
# KESTREL_BENCH_INTERVAL_MS=N both poll every N ms instead of every second.
#
# CPU figures are taken in the steady state: each program first runs a
# warm-up of KESTREL_BENCH_WARMUP seconds (10 by default), in which it
# connects and, for the collector, identifies every device; CPU and polls
# are then counted over the given time only. Setting up a connection is a
# one-off cost per device, not a cost per poll.
#
# Any step that fails ends the benchmark with a message and a non-zero status:
# a simulator or collector that does not start or dies, a run without samples.
#
#   bash scripts/bench-collector.sh                 # 100, 300, 1000 devices, 60 s each
#   bash scripts/bench-collector.sh 20 1000 3000    # 20 s each
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

seconds="${1:-60}"
shift || true
sizes=("${@:-100 300 1000}")
read -r -a sizes <<<"${sizes[*]}"
build="${KESTREL_BENCH_BUILD:-build/rel}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTREL_BUILD_GUI=OFF >/dev/null
cmake --build "$build" --target kestrel-collector kestrel-sim kestrel-bench-reference -j 2 >/dev/null

# One run, inside the namespace: prints a row of the table, or a reason on
# standard error and status 1. STORE is "store" for a run with --store.
run_one() {
  set -euo pipefail
  local n=$1 seconds=$2 build=$3 store=${4:-} work
  work=$(mktemp -d)
  # Whatever way the run ends, nothing it started outlives it.
  trap 'kill $(jobs -p) 2>/dev/null || true' EXIT
  fail() {
    echo "bench-collector: $n devices${store:+ with the store}: $* (files kept in $work)" >&2
    exit 1
  }
  ticks=$(getconf CLK_TCK)
  cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; }
  per_poll_ms() { awk -v c="$1" -v t="$ticks" -v p="$2" 'BEGIN {printf "%.3f", 1000 * c / t / p}'; }
  share() { awk -v c="$1" -v t="$ticks" -v s="$2" 'BEGIN {printf "%.1f%%", 100 * c / t / s}'; }

  # The devices' addresses on the second end: 10.78.0.1 and onwards.
  for ((i = 1; i <= n; i++)); do
    echo "addr add 10.78.$((i / 256)).$((i % 256))/16 dev $KESTREL_NETNS_B_NAME"
  done | ip -batch - 2>/dev/null || true

  # A simulated device of the fleet's model holds two descriptors and one per
  # connection: split the fleet over as many processes as the descriptor
  # limit needs.
  local hard per sims=() first=1
  hard=$(ulimit -Hn)
  [[ $hard == unlimited ]] && per=$n || per=$(((hard - 64) / 3))
  while ((first <= n)); do
    local count=$((n - first + 1 < per ? n - first + 1 : per)) k=${#sims[@]}
    "$build/sim/kestrel-sim" --bind "10.78.$((first / 256)).$((first % 256))" --devices "$count" \
      >"$work/sim$k.out" 2>"$work/sim$k.err" &
    sims+=($!)
    first=$((first + count))
  done
  for k in "${!sims[@]}"; do
    for _ in $(seq 300); do
      grep -q ready "$work/sim$k.out" 2>/dev/null && break
      kill -0 "${sims[$k]}" 2>/dev/null || break
      sleep 0.1
    done
    grep -q ready "$work/sim$k.out" || fail "simulator $k did not start: $(head -c 500 "$work/sim$k.err")"
  done
  sim_cpu() {
    local sum=0 s
    for s in "${sims[@]}"; do
      kill -0 "$s" 2>/dev/null || fail "a simulator died: $(cat "$work"/sim*.err | head -c 500)"
      sum=$((sum + $(cpu "$s")))
    done
    echo "$sum"
  }

  # The reference client first, then the collector.
  local r_out r_cpu r_load s2 s3 r_polls r_all r_within r_failed
  local interval_ms=${KESTREL_BENCH_INTERVAL_MS:-1000} warmup=${KESTREL_BENCH_WARMUP:-10}
  polls_of() { sed -n 's/.* polls=\([0-9]*\).*/\1/p' <<<"$1"; }
  "$build/bench/kestrel-bench-reference" --first 10.78.0.1 --devices "$n" \
    --seconds "$((warmup + seconds + 5))" --interval-ms "$interval_ms" \
    >"$work/reference.out" 2>"$work/reference.err" &
  local reference=$! r_cpu0 r_polls0
  sleep "$warmup"
  kill -0 "$reference" 2>/dev/null || fail "the reference client did not start or died: $(head -c 500 "$work/reference.err")"
  r_cpu0=$(cpu "$reference")
  s2=$(sim_cpu)
  kill -USR1 "$reference"
  for _ in $(seq 50); do [[ -s $work/reference.out ]] && break; sleep 0.1; done
  r_polls0=$(polls_of "$(head -1 "$work/reference.out")")
  [[ -n $r_polls0 ]] || fail "the reference client did not report its warm-up"
  sleep "$seconds"
  kill -0 "$reference" 2>/dev/null || fail "the reference client died: $(head -c 500 "$work/reference.err")"
  r_cpu=$(($(cpu "$reference") - r_cpu0))
  s3=$(sim_cpu)
  r_load=$(cut -d' ' -f1-3 /proc/loadavg)
  kill -TERM "$reference"
  wait "$reference" || fail "the reference client failed: $(head -c 500 "$work/reference.err")"
  r_out=$(tail -1 "$work/reference.out")
  r_all=$(polls_of "$r_out")
  r_polls=$((r_all - r_polls0))
  r_within=$(sed -n 's/.* within_100ms=\([0-9]*\).*/\1/p' <<<"$r_out")
  r_failed=$(sed -n 's/.* failed=\([0-9]*\).*/\1/p' <<<"$r_out")
  ((${r_polls:-0} > 0)) || fail "the reference client took no samples: $r_out"
  ((r_failed == 0)) || echo "bench-collector: $n devices: the reference lost $r_failed devices" >&2

  # The collector, against the same simulator.
  local args=()
  for ((i = 1; i <= n; i++)); do args+=(-d "10.78.$((i / 256)).$((i % 256))"); done
  args+=(--interval "$(awk -v ms="$interval_ms" 'BEGIN {print ms / 1000}')")
  [[ -z $store ]] || args+=(--store "$work/counts.db")
  local scrapes=${KESTREL_BENCH_SCRAPES:-0} scraped="-"
  ((scrapes == 0)) || args+=(--listen 9731)
  local s0 s1 c_cpu c_cpu0 c_rss load
  local started steady
  started=$(date +%s.%N)
  "$build/collector/kestrel-collector" "${args[@]}" -i "$KESTREL_NETNS_A" >"$work/out.jsonl" 2>"$work/err" &
  local collector=$!
  sleep "$warmup"
  kill -0 "$collector" 2>/dev/null || fail "the collector did not start or died: $(head -c 500 "$work/err")"
  c_cpu0=$(cpu "$collector")
  s0=$(sim_cpu)
  steady=$(date +%s.%N)
  if ((scrapes > 0)); then
    sleep "$((seconds / 2))"
    local rss0 slowest=0 took
    rss0=$(awk '/VmRSS/ {print int($2 / 1024)}' "/proc/$collector/status")
    for ((k = 0; k < scrapes; k++)); do
      took=$(curl -sf -o /dev/null -m 60 -w '%{time_total}' http://127.0.0.1:9731/metrics) ||
        fail "scrape $((k + 1)) of /metrics failed"
      slowest=$(awk -v a="$slowest" -v b="$took" 'BEGIN {print (b > a ? b : a)}')
    done
    scraped="slowest $slowest s, VmRSS $rss0 → $(awk '/VmRSS/ {print int($2 / 1024)}' "/proc/$collector/status") MB"
    sleep "$((seconds - seconds / 2))"
  else
    sleep "$seconds"
  fi
  kill -0 "$collector" 2>/dev/null || fail "the collector did not start or died: $(head -c 500 "$work/err")"
  c_cpu=$(($(cpu "$collector") - c_cpu0))
  c_rss=$(awk '/VmHWM/ {print int($2 / 1024)}' "/proc/$collector/status")
  s1=$(sim_cpu)
  load=$(cut -d' ' -f1-3 /proc/loadavg)
  kill -TERM "$collector"
  wait "$collector" || true
  local c_polls c_within c_steady
  c_polls=$(grep -c '"late_ms":' "$work/out.jsonl" || true)
  ((c_polls > 0)) || fail "the collector took no samples: $(head -c 500 "$work/err")"
  c_within=$(grep -o '"late_ms":-\?[0-9]*' "$work/out.jsonl" | awk -F: '$2 <= 100 {w++} END {print w + 0}')
  # How long after the start the last device gave its first sample, and how
  # many devices gave none; then the polls after the warm-up.
  local first
  { read -r first; read -r c_steady; } < <(python3 - "$work/out.jsonl" "$started" "$n" "$steady" <<'PY'
import datetime, json, sys
firsts = {}
steady = 0
since = float(sys.argv[4])
with open(sys.argv[1]) as lines:
    for line in lines:
        if '"type":"sample"' in line:
            record = json.loads(line)
            when = datetime.datetime.fromisoformat(record["time"]).timestamp()
            firsts.setdefault(record["device"], when)
            steady += when >= since
started = float(sys.argv[2])
last = max(firsts.values(), default=started)
print(f"{last - started:.1f} s ({int(sys.argv[3]) - len(firsts)} without)")
print(steady)
PY
)
  ((c_steady > 0)) || fail "the collector took no samples after its warm-up"

  kill -TERM "${sims[@]}"
  wait "${sims[@]}" || true
  local c_per r_per
  c_per=$(per_poll_ms "$c_cpu" "$c_steady")
  r_per=$(per_poll_ms "$r_cpu" "$r_polls")
  printf '| %d%s | %s | %s | %s | %s / %s ms | %s | %s MB | %s / %s ms | %s | %s | %s |\n' \
    "$n" "${store:+ with --store}" \
    "$(awk -v w="$c_within" -v p="$c_polls" 'BEGIN {printf "%.2f%% of %d", 100 * w / p, p}')" \
    "$(awk -v w="$r_within" -v p="$r_all" 'BEGIN {printf "%.2f%% of %d", 100 * w / p, p}')" \
    "$(share "$c_cpu" "$seconds") / $(share "$r_cpu" "$seconds")" \
    "$c_per" "$r_per" \
    "$(awk -v a="$c_per" -v b="$r_per" 'BEGIN {printf "%.2f", a / b}')" \
    "$c_rss" \
    "$(per_poll_ms $((s1 - s0)) "$c_steady")" "$(per_poll_ms $((s3 - s2)) "$r_polls")" \
    "$r_load / $load" "$scraped" "$first"
  rm -rf "$work"
}
export -f run_one

echo "Collector at $(git rev-parse --short HEAD 2>/dev/null || echo '?'), ${KESTREL_BENCH_WARMUP:-10} s warm-up and ${seconds} s measured per run, a poll every ${KESTREL_BENCH_INTERVAL_MS:-1000} ms, $(nproc) cores."
echo
echo "| Devices | Collector polls within 100 ms | Reference polls within 100 ms | CPU (one core) after the warm-up: collector / reference | CPU per poll after the warm-up: collector / reference | Ratio | Collector peak RSS | Simulator CPU per poll: collector's / reference's run | Load average (1, 5, 15 min) at the end: reference's / collector's run | /metrics scrapes (${KESTREL_BENCH_SCRAPES:-0}) | Collector's last first sample after its start |"
echo "|---|---|---|---|---|---|---|---|---|---|---|"
for n in "${sizes[@]}"; do
  bash tests/netns/with-veth.sh --unshare -- bash -c "run_one $n $seconds $build"
done
if [[ ${KESTREL_BENCH_STORE:-0} == 1 ]]; then
  largest=$(printf '%s\n' "${sizes[@]}" | sort -n | tail -1)
  bash tests/netns/with-veth.sh --unshare -- bash -c "run_one $largest $seconds $build store"
fi
