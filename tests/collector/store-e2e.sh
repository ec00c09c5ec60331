#!/usr/bin/env bash
# The store keeps every pulse across restarts: kestrel-collector with --store
# against one kestrel-sim that counts on while the collector is stopped,
# killed and started again, inside the private network of
# tests/netns/with-veth.sh. DI1 starts just below 2^32 and wraps during the
# runs. Every account must be exact, to the pulse.
#
# Usage: with-veth.sh --unshare -- unshare -m bash store-e2e.sh KESTREL_COLLECTOR KESTREL_SIM [SCRATCH_DIR]
# (its own mount namespace: it mounts a small file system to fill up)
set -u

COLLECTOR=$1
SIM=$2
DEV=$KESTREL_NETNS_B
work=$(mktemp -d "${3:-${TMPDIR:-/tmp}}/store-e2e.XXXXXX")
source "$(dirname "$0")/../support/sim-session.sh"
check() { python3 "$(dirname "$0")/store_check.py" "$@" >"$work/check" || fail "$*: $(cat "$work/check")"; echo "$1:"; cat "$work/check"; }

collector_pid=""
start_collector() { # output file, then options
  local out=$1
  shift
  "$COLLECTOR" -d "$DEV=press" --interval 0.1 --store "${store:-$work/counts.db}" "$@" >"$out" 2>>"$work/err" &
  collector_pid=$!
}
stop_collector() { # signal
  kill "-$1" "$collector_pid"
  for _ in $(seq 50); do kill -0 "$collector_pid" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$collector_pid" 2>/dev/null
  # The shell tells of a killed job on its own standard error.
  { wait "$collector_pid"; } 2>/dev/null
}

start_sim --rate all=997 --rate DI2=0 --start-count DI1=0xFFFFE000

# --- three runs, clean stops, 1.5 s pauses: the stream adds up -----------------
for run in 1 2 3; do
  start_collector "$work/clean-$run.jsonl"
  sleep 2
  stop_collector TERM
  sleep 1.5
done
check stream "$work"/clean-{1,2,3}.jsonl
grep -q '"resumed":"' "$work/clean-2.jsonl" || fail "the second run did not take up the stored counts"
check store "$work/counts.db" "$work/clean-1.jsonl"

# --- twenty runs killed at random moments, then a clean one: the store adds up --
for run in $(seq 20); do
  start_collector "$work/killed-$run.jsonl"
  sleep "0.$((RANDOM % 9 + 1))$((RANDOM % 10))"
  stop_collector KILL
done
start_collector "$work/last.jsonl"
sleep 1
stop_collector TERM
check store "$work/counts.db" "$work/clean-1.jsonl"
"$COLLECTOR" totals --store "$work/counts.db" --by hour --json \
  --from "$(date -u -d '-3 hours' +%Y-%m-%dT%H:00Z)" --to "$(date -u -d '+2 hours' +%Y-%m-%dT%H:00Z)" \
  >"$work/totals.jsonl" 2>>"$work/err" || fail "totals: exit $?"
check totals "$work/counts.db" "$work/clean-1.jsonl" "$work/totals.jsonl"

# --- another device on the same address: its stored counts are not taken up -----
stop_sim
start_sim --unit 5
start_collector "$work/other.jsonl"
sleep 1
stop_collector TERM
grep -q '"event":"state-discarded"' "$work/other.jsonl" || fail "no state-discarded event"
grep '"type":"sample"' "$work/other.jsonl" | head -1 | grep -q '"total":0,' ||
  fail "the other device's first total is not 0: $(grep -m1 sample "$work/other.jsonl")"

# --- a full file system: polls go on, the failure is told, writing resumes -------
# The store and the CSV files share it. Samples every 0.05 s, so that the CSV
# file needs a new page of the file system while it is full.
mkdir "$work/small"
mount -t tmpfs -o size=4m tmpfs "$work/small" || fail "cannot mount a small file system"
mkdir "$work/small/csv"
store=$work/small/counts.db
start_collector "$work/full.jsonl" --csv-dir "$work/small/csv" --interval 0.05
sleep 1.5
dd if=/dev/zero of="$work/small/filler" bs=4k 2>/dev/null
reads=$(grep -c ' <- 50 47 ' "$work/sim.log")
sleep 3
reads=$(($(grep -c ' <- 50 47 ' "$work/sim.log") - reads))
# Eight counter reads a sample, one sample every 0.05 s: polls went on.
((reads >= 8 * 50)) || fail "polls stalled while the disk was full: $reads counter reads in 3 s"
grep -q "store: .*full" "$work/err" || fail "the full disk was not told for the store: $(tail -3 "$work/err")"
grep -q "csv: .*No space left on device" "$work/err" || fail "the full disk was not told for CSV: $(tail -3 "$work/err")"
rm "$work/small/filler"
sleep 2
for output in store csv; do
  grep -q "$output: writing again" "$work/err" || fail "$output: writing did not resume: $(tail -3 "$work/err")"
done
stop_collector TERM
csv=$(ls "$work"/small/csv/press-*.csv | head -1)
check store "$store" "$csv"
# Rows written while the disk was full are lost (counted) or written late
# from the file's buffer, never twice.
csv_rows=$(grep -vc '^time' "$csv")
((csv_rows >= 60 && csv_rows <= 140)) || fail "CSV: $csv_rows rows in 6.5 s"
[[ -z $(cut -d, -f1 "$csv" | sort | uniq -d) ]] || fail "CSV: a row written twice"
umount "$work/small"
unset store

# --- a file that is not a store is refused ----------------------------------------
echo "not a database" >"$work/text.db"
timeout 10 "$COLLECTOR" -d "$DEV" --store "$work/text.db" >/dev/null 2>"$work/refused"
rc=$?
[[ $rc == 2 ]] || fail "a text file as store: exit $rc"
grep -q "text.db: file is not a database" "$work/refused" || fail "refusal: $(cat "$work/refused")"

# Under the sanitizers a report ends the collector; the runs above would not
# notice on their own.
grep -q "Sanitizer\|runtime error" "$work/err" && fail "a sanitizer report: $(grep -m3 "Sanitizer\|runtime error" "$work/err")"
((failures == 0)) || { cat "$work/err" >&2; exit 1; }
echo "store: passed"
