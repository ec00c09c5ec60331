#!/usr/bin/env bash
# kestrel-collector as a process against kestrel-sim, inside the private
# network of tests/netns/with-veth.sh (the simulated devices on 10.77.0.2 and
# the next addresses of the second end, the collector on the first end).
#
# Usage: with-veth.sh --unshare --b-extra 10.77.0.3/24 --b-extra 10.77.0.4/24 --
#          bash collector-e2e.sh KESTREL_COLLECTOR KESTREL_SIM [SCRATCH_DIR]
set -u

COLLECTOR=$1
SIM=$2
DEV=$KESTREL_NETNS_B
work=$(mktemp -d "${3:-${TMPDIR:-/tmp}}/collector-e2e.XXXXXX")
source "$(dirname "$0")/../support/sim-session.sh"

collector_pid=""
# Starts the collector in the background; its output goes to out.jsonl and err.
start_collector() {
  "$COLLECTOR" "$@" >"$work/out.jsonl" 2>"$work/err" &
  collector_pid=$!
}
# Sends SIGTERM and waits at most 5 s; sets rc.
stop_collector() {
  kill -TERM "$collector_pid"
  for _ in $(seq 50); do kill -0 "$collector_pid" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$collector_pid" 2>/dev/null
  wait "$collector_pid"
  rc=$?
}
# stop_collector, timed: sets rc and stop_ms.
stop_collector_timed() {
  local started
  started=$(date +%s%N)
  stop_collector
  stop_ms=$((($(date +%s%N) - started) / 1000000))
}
count() { grep -c -- "$1" "${2:-$work/out.jsonl}"; }

# --- a bad configuration is refused before anything is sent --------------------
start_sim --devices 3
printf 'interval = 1\n[[device]]\nadress = "%s"\n' "$DEV" >"$work/bad.toml"
timeout 10 "$COLLECTOR" --config "$work/bad.toml" >"$work/out.jsonl" 2>"$work/err"
rc=$?
[[ $rc == 2 ]] || fail "bad config: exit $rc"
grep -q "bad.toml:3: unknown key 'adress' in \[\[device\]\]" "$work/err" || fail "bad config: $(cat "$work/err")"
[[ ! -s $work/sim.log ]] || fail "bad config: the simulator was contacted: $(head -3 "$work/sim.log")"

# --- three devices, JSON Lines, read-only, clean end on SIGTERM ------------------
start_collector -d "$DEV=line-1" -d 10.77.0.3=line-2 -d 10.77.0.4=line-3 --interval 0.2
sleep 2
stop_collector
[[ $rc == 0 ]] || fail "SIGTERM: exit $rc: $(cat "$work/err")"
for n in 1 2 3; do
  [[ $(count "\"device\":\"line-$n\",.*\"event\":\"connect\"") == 1 ]] || fail "line-$n: no connect event"
  [[ $(count "\"device\":\"line-$n\",.*\"event\":\"disconnect\"") == 1 ]] || fail "line-$n: no disconnect event"
  samples=$(count "\"type\":\"sample\",.*\"device\":\"line-$n\"")
  ((samples >= 6)) || fail "line-$n: only $samples samples"
done
grep -q '"DI8":{"raw":[0-9]*,"increase":[0-9]*,"total":[0-9]*,"rate":[0-9.]*,"wrapped":false,"reset":false}' \
  "$work/out.jsonl" || fail "sample layout: $(grep -m1 sample "$work/out.jsonl")"
[[ $(count ' <- 50 \(4C\|43\|53\) ' "$work/sim.log") == 0 ]] || fail "a changing command was sent"
[[ $(count ' <- 50 47 ' "$work/sim.log") -ge 144 ]] || fail "too few counter reads"
connections_all_closed || fail "SIGTERM: a connection stayed open"

# --- CSV per device and day; SIGHUP reopens ---------------------------------------
mkdir -p "$work/csv"
start_collector -d "$DEV=line-1" --interval 0.2 --csv-dir "$work/csv"
sleep 1
file="$work/csv/line-1-$(date +%F).csv"
[[ $(head -1 "$file" 2>/dev/null) == "time,DI1,DI2,DI3,DI4,DI5,DI6,DI7,DI8,DI1 increase,DI2 increase,DI3 increase,DI4 increase,DI5 increase,DI6 increase,DI7 increase,DI8 increase" ]] ||
  fail "CSV header: $(head -1 "$file" 2>&1)"
[[ $(count '"type":"sample"') == 0 ]] || fail "samples on stdout with --csv-dir"
mv "$file" "$work/csv/rotated.csv"
kill -HUP "$collector_pid"
sleep 0.8
stop_collector
[[ $(head -1 "$file" 2>/dev/null) == time,DI1,* ]] || fail "SIGHUP: no new file with a header"
rows=$(($(wc -l <"$work/csv/rotated.csv") + $(wc -l <"$file") - 2))
((rows >= 7)) || fail "CSV: only $rows rows"

# --- standard output nobody reads: polls go on, drops are counted, the stop is bounded,
# the store keeps up
mkfifo "$work/unread"
exec 3<>"$work/unread" # held open for reading, never read
"$COLLECTOR" -d "$DEV=line-1" -d 10.77.0.3=line-2 -d 10.77.0.4=line-3 --interval 0.02 --listen 9741 \
  --store "$work/unread.db" >"$work/unread" 2>"$work/err" &
collector_pid=$!
metrics() { curl -sf http://127.0.0.1:9741/metrics; }
polls() { metrics | awk '/^kestrel_poll_duration_seconds_count/ { n += $2 } END { print n + 0 }'; }
sleep 2 # the pipe is full after a second at most
first=$(polls)
sleep 1
second=$(polls)
((second - first >= 50)) || fail "unread output: polls went from $first to $second in 1 s"
metrics | grep -q '^kestrel_output_dropped_total{output="jsonl"} 0$' || fail "no dropped count for jsonl"
stop_collector_timed
exec 3<&-
[[ $rc == 0 ]] || fail "unread output: exit $rc after SIGTERM: $(cat "$work/err")"
echo "unread output: $((second - first)) polls in 1 s, stopped in $stop_ms ms"
((stop_ms < 4000)) || fail "unread output: the stop took $stop_ms ms"
grep -q "^kestrel-collector: jsonl: [0-9]* records dropped$" "$work/err" || fail "unread output: drops not told: $(cat "$work/err")"
stored_ms=$(python3 -c 'import sqlite3, sys
print(sqlite3.connect(sys.argv[1]).execute("SELECT min(time_ms) FROM counters").fetchone()[0])' "$work/unread.db")
# The stop began stop_ms ago; the store's last commit must be less than
# 1.5 s older than that.
behind=$(($(date +%s%3N) - stop_ms - stored_ms))
((behind < 1500)) || fail "unread output: the store fell behind by $behind ms"

# --- standard output closed (kestrel-collector | head): exit status 1 -------------
timeout 10 "$COLLECTOR" -d "$DEV=line-1" --interval 0.05 2>"$work/err" | head -1 >/dev/null
rc=${PIPESTATUS[0]}
[[ $rc == 1 ]] || fail "closed output: exit $rc: $(cat "$work/err")"

# --- a fleet too large for the descriptor limit: refused at start, exit 1 -------
timeout 10 prlimit --nofile=64 "$COLLECTOR" -d "$DEV" -d 10.77.0.3 >"$work/out.jsonl" 2>"$work/err"
rc=$?
[[ $rc == 1 ]] || fail "nofile limit: exit $rc: $(cat "$work/err")"
grep -q "2 devices need [0-9]* open files, the limit is 64: .*LimitNOFILE=" "$work/err" ||
  fail "nofile limit: $(cat "$work/err")"

# --- scan: devices that answer a broadcast are polled; silence is told, and
# with nothing else to poll it ends the collector with 1 ----------------------------
# Columns: simulator options | collector options | exit status | connect
# events | standard error, lines ended by ";". Answering devices come last:
# the cases below need them.
silent="kestrel-collector: no device answered on veth0 (10.77.0.1/24) within 0.5 s;"
while IFS='|' read -r sim_options options want_rc want_connects want_err; do
  start_sim $sim_options
  start_collector $options --interval 0.2
  for _ in $(seq 15); do kill -0 "$collector_pid" 2>/dev/null || break; sleep 0.1; done
  stop_collector
  got="$rc|$(count '"event":"connect"')|$(tr '\n' ';' <"$work/err")"
  [[ $got == "$want_rc|$want_connects|$want_err" ]] || fail "scan $options ($sim_options): got [$got]"
done <<CASES
--devices 3|--scan --wait 0.5|1|0|${silent}kestrel-collector: nothing to poll;
--devices 3|-d $DEV --scan --wait 0.5|0|1|$silent
--devices 3|--rescan 60 --wait 0.5|0|0|$silent
--devices 3 --answer-broadcast|--scan --wait 0.5|0|3|
CASES
for a in "$DEV" 10.77.0.3 10.77.0.4; do
  [[ $(count "\"address\":\"$a\",.*\"event\":\"connect\"") == 1 ]] || fail "scan: $a not polled"
done

# --- SIGTERM during a long scan ends it at once ------------------------------------
start_collector --scan --wait 30 --interval 0.2
sleep 1
stop_collector_timed
[[ $rc == 0 ]] || fail "stop during a scan: exit $rc: $(cat "$work/err")"
((stop_ms < 3000)) || fail "stop during a scan took $stop_ms ms"

# --- scan beyond the limits: the devices that do not fit are refused, not fatal --
# Room for two devices: the configured one and one found.
prlimit --nofile=98 "$COLLECTOR" -d "$DEV" --scan --wait 0.5 --interval 0.2 >"$work/out.jsonl" 2>"$work/err" &
collector_pid=$!
sleep 1.5
stop_collector
[[ $rc == 0 ]] || fail "scan over the limit: exit $rc: $(cat "$work/err")"
[[ $(count ': not polled: 3 devices need 99 open files' "$work/err") == 1 ]] ||
  fail "scan over the limit: $(cat "$work/err")"
[[ $(count '"event":"connect"') == 2 ]] || fail "scan over the limit: not two devices polled"

# --- SIGTERM while devices do not answer: no wait for the read time-out ------------
# PG unanswered: connected, then silent at every counter read; any: silent
# from the first request of the connect steps.
for fault in PG any; do
  start_sim --no-reply "$fault"
  start_collector -d "$DEV=silent" --interval 0.2
  sleep 1.5
  stop_collector_timed
  [[ $rc == 0 ]] || fail "silent device ($fault): exit $rc: $(cat "$work/err")"
  ((stop_ms < 3000)) || fail "silent device ($fault): the stop took $stop_ms ms"
  [[ $(count '"event":"failure"') == 0 ]] || fail "silent device ($fault): the stop told as a failure"
  if [[ $fault == PG ]]; then
    [[ $(count '"event":"connect"') == 1 && $(count '"event":"disconnect"') == 1 ]] ||
      fail "silent device: connect and disconnect not told once each"
  fi
done

stop_sim
((failures == 0)) || exit 1
echo "collector end-to-end: all checks passed"
