#!/usr/bin/env bash
# The fault matrix through kestrelctl, with the product's own time-outs: each
# fault kestrel-sim injects gives the expected exit status and one exact
# message, within a bounded time; every connection is closed afterwards, and
# the next command works once the fault has cleared. Runs in the private
# network of tests/netns/with-veth.sh: the simulator on the second veth end,
# the tool on the first. The silent-discovery case waits the real 5 s.
#
# Usage: with-veth.sh --unshare -- bash kestrelctl-faults.sh KESTRELCTL KESTREL_SIM [SCRATCH_DIR]
set -u

CTL=$1
SIM=$2
DEV=$KESTREL_NETNS_B
work=$(mktemp -d "${3:-${TMPDIR:-/tmp}}/kestrelctl-faults.XXXXXX")
source "$(dirname "$0")/../support/sim-session.sh"

# Runs the tool; sets rc, err (one line per message) and ms (wall time).
ctl() {
  local t0
  t0=$(date +%s%N)
  timeout 40 "$CTL" -a "$DEV" "$@" >"$work/out" 2>"$work/err"
  rc=$?
  ms=$((($(date +%s%N) - t0) / 1000000))
  err=$(without_hints "$work/err") || fail "a message without its English line: $(cat "$work/err")"
}

# Slack for the start of the process and the exchanges around the fault.
SLACK_MS=2000

# name | simulator options | command | status | message | least ms | most ms (before slack)
cases=(
  "delay under the time-out|--reply-delay=300:1|info|0||300|300"
  "stray frames|--stray-frame|read|0||0|0"
  "greeting|--greeting|read|0||0|0"
  "one-byte segments|--one-byte-segments|read|0||0|0"
  "endless reply while connecting|--endless-reply=MI:1|info|1|受信データ異常|0|0"
  "endless reply to a counter read|--endless-reply=PG:1|read|1|受信データ異常|0|0"
  "connection closed while connected|--close-after=11:1|read|1|ネットワークエラー:R 10054|0|0"
  "configuration port refused|--model 25 --config-refuse=1|info|1|ネットワークエラー:C 10061|0|0"
  "discovery from another port|--discovery-other-port|read|0||0|0"
  "oversize discovery reply|--discovery-oversize=1|info|3|機能に対応していないモデルです|0|0"
  "silent discovery, the real 5 s wait|--discovery-silent=1|info|1|接続先が見つかりません|5000|5000"
)

for entry in "${cases[@]}"; do
  IFS='|' read -r name options command status message least most <<<"$entry"
  # shellcheck disable=SC2086  # the options are words
  start_sim $options
  ctl "$command"
  [[ $rc == "$status" ]] || fail "$name: status $rc, expected $status"
  [[ $err == "$message" ]] || fail "$name: message [$err], expected [$message]"
  fault_ms=$ms
  ((ms >= least && ms <= most + SLACK_MS)) || fail "$name: took $ms ms, expected $least to $((most + SLACK_MS))"
  connections_all_closed || fail "$name: a connection was left open"
  ctl read
  [[ $rc == 0 && -z $err ]] || fail "$name: the next read failed: $rc [$err]"
  connections_all_closed || fail "$name: the next read left a connection open"
  echo "ok: $name ($fault_ms ms)"
done

((failures == 0)) || exit 1
echo "kestrelctl fault matrix: all ${#cases[@]} cases passed"
