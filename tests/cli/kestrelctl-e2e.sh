#!/usr/bin/env bash
# End-to-end checks of kestrelctl against kestrel-sim. Runs inside the private
# network that tests/netns/with-veth.sh makes: the simulator listens on the
# second veth end, the tool binds to the first (the first row of its interface
# list). What went over the wire is read from the simulator's verbose log.
#
# Usage: with-veth.sh --unshare -- bash kestrelctl-e2e.sh KESTRELCTL KESTREL_SIM [SCRATCH_DIR]
set -u

CTL=$1
SIM=$2
DEV=$KESTREL_NETNS_B
work=$(mktemp -d "${3:-${TMPDIR:-/tmp}}/kestrelctl-e2e.XXXXXX")
source "$(dirname "$0")/../support/sim-session.sh"

expect() { # what actual expected
  [[ "$2" == "$3" ]] || fail "$1: expected [$3], got [$2]"
}

# Runs the tool against the simulator; sets rc, out, err and wire (the
# requests the command port received, "|"-separated).
ctl() {
  local mark
  mark=$(wc -l <"$work/sim.log")
  timeout 40 "$CTL" -a "$DEV" "$@" >"$work/out" 2>"$work/err"
  rc=$?
  out=$(cat "$work/out")
  err=$(without_hints "$work/err") || fail "a message without its English line: $(cat "$work/err")"
  wire=$(tail -n +"$((mark + 1))" "$work/sim.log" | sed -n 's/.* client [0-9]* <- //p' | tr '\n' '|')
}

# Request sequences of the model with eight inputs.
READ_SETTINGS="50 4A C8|50 50 C8|"
for k in 0 1 2 3 4 5 6 7; do READ_SETTINGS+="50 48 2$k C8|"; done
CONNECT="4D 49 C8|$READ_SETTINGS"
READ_ALL=""
for k in 0 1 2 3 4 5 6 7; do READ_ALL+="50 47 2$k C8|"; done

# --- interfaces, help, probe --------------------------------------------------
start_sim
ctl interfaces
expect "interfaces" "$rc:$out" "0:10.77.0.1 (veth0)
10.77.0.2 (veth1)"
ctl --json interfaces
[[ $(head -1 <<<"$out") =~ ^\{\"ifIndex\":[0-9]+,\"address\":\"10.77.0.1\",\"friendlyName\":\"veth0\",\"description\":\".*\"\}$ ]] ||
  fail "interfaces --json: $out"
ctl --help
[[ $rc == 0 && $out == "Usage: kestrelctl "* && -z $err ]] || fail "--help: $rc $err"
ctl read --help
[[ $rc == 0 && $out == *"--interval SECONDS"* ]] || fail "read --help: $rc"
ctl probe
expect "probe" "$rc:$out:$wire" "0:probe: result=0 kind=0 product=X6 family=-1:"
ctl --json probe
expect "probe --json" "$out" '{"result":0,"probeKind":0,"productCode":"X6","protocolFamily":-1}'

# --- info, and the interface it binds to --------------------------------------
ctl info
expect "info wire" "$rc:$wire" "0:$CONNECT"
[[ $out == *"model: SX-21"*"counting: PULSE COUNT ON"*"period: 0.1 秒"*"DI8: RISE" ]] || fail "info: $out"
grep -q -- "connected from 10.77.0.1:" "$work/sim.log" || fail "default interface is not the first row"
ctl -i veth1 --json info
[[ $out == '{"unitId":0,"modelIndex":21,"model":"SX-21","inputCount":8,"protocolFamily":4,"countingOn":1,'* ]] ||
  fail "info --json: $out"
grep -q -- "connected from 10.77.0.2:" "$work/sim.log" || fail "-i veth1 did not bind to 10.77.0.2"
connections_all_closed || fail "info: a connection was left open"

# --- read: timing, rising counts, wire -------------------------------------------
t0=$(date +%s%N)
ctl read --interval 0.2 --samples 5
elapsed_ms=$((($(date +%s%N) - t0) / 1000000))
expect "read 5 wire" "$rc:$wire" "0:$CONNECT$READ_ALL$READ_ALL$READ_ALL$READ_ALL$READ_ALL"
expect "read header" "$(head -1 <<<"$out")" "time,DI1,DI2,DI3,DI4,DI5,DI6,DI7,DI8"
(( elapsed_ms < 3000 )) || fail "read of five samples at 0.2 s took $elapsed_ms ms"
iso='^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}[+-][0-9]{2}:[0-9]{2},'
while read -r line; do [[ $line =~ $iso ]] || fail "read time stamp: $line"; done < <(tail -n +2 <<<"$out")
tail -n +2 <<<"$out" | awk -F, -v want=5 '
  NF != 9 { bad = "fields " NF }
  { sum = 0; for (i = 2; i <= 9; i++) { if (NR > 1 && $i < last[i]) bad = "falling DI" i - 1; last[i] = $i; sum += $i }
    if (NR == 1) first = sum }
  END { if (NR != want) bad = NR " lines"; if (sum <= first) bad = "not rising"; if (bad) { print bad; exit 1 } }' ||
  fail "read samples: $out"

# --- apply, start and stop in a timed period -----------------------------------
ctl apply --period 1
expect "apply while counting" "$rc:$wire" "1:$CONNECT"
[[ $err == *"stop"* ]] || fail "apply while counting: $err"
ctl start
expect "start when on" "$rc:$out:$wire" "0:counting already on:$CONNECT"
ctl stop
expect "stop" "$rc:$out:$wire" "0:counting stopped:${CONNECT}50 4C 22 20 C8|"
ctl --json stop
expect "stop when off" "$rc:$out:$wire" '0:{"countingOn":0,"startStopRunning":0,"changed":false}:'"$CONNECT"
ctl apply --period 0.1 --chatter 4 --input DI2=off --input DI3=fall
expect "apply" "$rc:$wire" "0:${CONNECT}50 4C 22 24 C8|50 43 20 21 C8|50 43 21 20 C8|50 43 22 22 C8|50 43 23 21 C8|50 43 24 21 C8|50 43 25 21 C8|50 43 26 21 C8|50 43 27 21 C8|"
[[ $out == *"chatter: 4 m秒"*"DI2: off"*"DI3: FALL"* ]] || fail "apply output: $out"
ctl start
expect "start" "$rc:$out:$wire" "0:counting started:$CONNECT${READ_SETTINGS}50 4C 2A 24 C8|"
ctl --json read
expect "read once wire" "$wire" "$CONNECT${READ_ALL/50 47 21 C8|/}"
[[ $out =~ ^\{\"time\":\"[^\"]+\",\"counts\":\[[0-9]+,null(,[0-9]+){6}\]\}$ ]] || fail "read --json: $out"
ctl stop
expect "stop timed" "$rc:$wire" "0:${CONNECT}50 4C 22 24 C8|"

# --- START-STOP ------------------------------------------------------------------
start_sim --period start-stop --counting off
ctl start
expect "start START-STOP" "$rc:$wire" "0:$CONNECT${READ_SETTINGS}50 4C 28 20 C8|50 53 28 C8|"
ctl info
[[ $out == *"counting: PULSE COUNT ON"* ]] || fail "info after START-STOP start: $out"
ctl stop
expect "stop START-STOP" "$rc:$wire" "0:${CONNECT}50 53 20 C8|50 4C 20 20 C8|"
# Switched on with the gate stopped: start stops first, then starts, as two
# presses of the window's button would.
start_sim --period start-stop --counting on --gate stop
ctl start
expect "start with gate stopped" "$rc:$out:$wire" "0:counting started:${CONNECT}50 53 20 C8|50 4C 20 20 C8|${READ_SETTINGS}50 4C 28 20 C8|50 53 28 C8|"

# --- refusals: exit 3, and an input beyond the model: exit 2, nothing sent --------
start_sim --model 3
ctl info
expect "model without inputs" "$rc:$err:$wire" "3:機能に対応していないモデルです:4D 49 C8|"
start_sim --model 25 --mode 1
ctl info
expect "spontaneous mode" "$rc:$err:$wire" "3:対象が自発通知モードです。RSTスイッチを3秒以上押してモードを変更してください。:4D 49 C8|"
connections_all_closed || fail "refusals: a connection was left open"
start_sim --model 1 --counting off
ctl apply --input DI3=rise
expect "input beyond the model" "$rc:$wire" "2:4D 49 C8|${READ_SETTINGS%%50 48 22*}"
[[ $err == *DI3* && $(wc -l <<<"$err") == 2 ]] || fail "input beyond the model: $err"

# --- device or network failures: exit 1, one message -----------------------------
start_sim --close-after 19
ctl read --interval 0.2 --samples 3
[[ $rc == 1 && $(wc -l <<<"$out") == 2 && $(wc -l <<<"$err") == 1 && -n $err ]] ||
  fail "connection lost during read: $rc [$out] [$err]"
start_sim
ctl -p 10009 info
expect "nothing on the port" "$rc:$err" "1:ネットワークエラー:C 10061"
timeout 40 "$CTL" -a "$DEV" read --interval 0.2 >"$work/out" 2>"$work/err" &
ctl_pid=$!
for _ in $(seq 50); do (($(wc -l <"$work/out") >= 3)) && break; sleep 0.1; done
kill -KILL "${sim_pids[sim]}"
stop_sim # only collects it
wait "$ctl_pid"
rc=$?
[[ $rc == 1 && $(without_hints "$work/err" | wc -l) == 1 ]] || fail "device gone during read: $rc $(cat "$work/err")"

# --- SIGINT and SIGTERM end a logging read after the sample in progress ---------
# timeout --foreground hands the signal to the tool alone; without it timeout
# also signals its whole process group, the tool gets the signal twice and,
# as it should, takes the second one as "end now".
for signal in INT TERM; do
  start_sim
  timeout --foreground 40 "$CTL" -a "$DEV" read --interval 0.2 >"$work/out" 2>"$work/err" &
  ctl_pid=$!
  for _ in $(seq 50); do (($(wc -l <"$work/out") >= 3)) && break; sleep 0.1; done
  kill -"$signal" "$ctl_pid"
  t0=$(date +%s%N)
  wait "$ctl_pid"
  rc=$?
  elapsed_ms=$((($(date +%s%N) - t0) / 1000000))
  [[ $rc == 0 && ! -s $work/err ]] || fail "SIG$signal: status $rc $(cat "$work/err")"
  ((elapsed_ms < 2000)) || fail "SIG$signal took $elapsed_ms ms"
  awk -F, 'NR > 1 && NF != 9 { exit 1 }' "$work/out" || fail "SIG$signal left a cut line"
  connections_all_closed || fail "SIG$signal: a connection was left open"
done

# --- usage errors: exit 2, message and hint, nothing sent ------------------------
start_sim
while IFS='|' read -r first args; do
  IFS=';' read -ra argv <<<"$args"
  ctl "${argv[@]}"
  [[ $rc == 2 && $(head -1 <<<"$err") == "$first"* && $(wc -l <<<"$err") == 2 && -z $wire ]] ||
    fail "usage ${argv[*]}: $rc [$err] [$wire]"
done <<'CASES'
kestrelctl: --port takes|-p;70000;info
kestrelctl: no usable interface 'nosuch0'|-i;nosuch0;info
kestrelctl: unknown option '--bogus' for read|read;--bogus
kestrelctl: unknown command|frob
IPアドレスが不正です|-a; ;info
アドレスが不正です|-a;no-such-host.invalid;probe
CASES

# --- scan: the broadcast query, answers listed; silence told, status 1 ---------
# A simulator without --answer-broadcast hears no broadcast, as a socket on
# one address does not. Columns: simulator options | kestrelctl arguments |
# status:standard output and error.
while IFS='|' read -r sim_options args want; do
  start_sim $sim_options
  IFS=';' read -ra argv <<<"$args"
  scan_out=$(timeout 20 "$CTL" "${argv[@]}" 2>&1)
  expect "${argv[*]} ($sim_options)" "$?:$scan_out" "$want"
done <<CASES
--answer-broadcast|scan;--wait;0.5|0:$DEV product=X6 kind=0 supported=yes
--answer-broadcast|--json;scan;--wait;0.5|0:{"address":"$DEV","port":30718,"productCode":"X6","probeKind":0,"supported":true}
--answer-broadcast|scan;--wait;0.5;-a;${DEV%.*}.255|0:$DEV product=X6 kind=0 supported=yes
|scan;--wait;0.5|1:kestrelctl: no device answered on veth0 (10.77.0.1/24) within 0.5 s
|scan;--wait;0.5;-a;${DEV%.*}.255|1:kestrelctl: no device answered to ${DEV%.*}.255 on veth0 (10.77.0.1/24) within 0.5 s
CASES

stop_sim
if ((failures > 0)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "kestrelctl end-to-end: all checks passed"
