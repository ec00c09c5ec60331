#!/usr/bin/env bash
# The collector publishing to a real mosquitto broker with a password file,
# read with mosquitto_sub, inside the private network of
# tests/netns/with-veth.sh: every sample arrives as the collector wrote it,
# in order, also across a cut connection and a broker restart; the device
# status and the collector's own status are retained; the last will marks a
# collector that vanished; a queue too small for an outage drops and says so; TLS with a
# client certificate works, and a broker the CA does not vouch for is refused.
#
# Usage: with-veth.sh --unshare --b-extra 10.77.0.3/24 --
#          bash mqtt-e2e.sh KESTREL_COLLECTOR KESTREL_SIM [SCRATCH_DIR]
set -u

COLLECTOR=$1
SIM=$2
DEV=$KESTREL_NETNS_B
work=$(mktemp -d "${3:-${TMPDIR:-/tmp}}/mqtt-e2e.XXXXXX")
source "$(dirname "$0")/../support/sim-session.sh"
PORT=18830
AUTH=(-h 127.0.0.1 -p "$PORT" -u kestrel -P "pass word")

source "$(dirname "$0")/processes.sh"
broker_pid=""
trap 'stop_pid "$broker_pid"; stop_all' EXIT

mosquitto_passwd -c -b "$work/passwords" kestrel "pass word" >/dev/null 2>&1
# A certificate authority of the test's own for a TLS listener that also asks
# the client for a certificate.
tls() { openssl "$@" >/dev/null 2>&1 || fail "openssl $1"; }
tls req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=test-ca -keyout "$work/ca.key" -out "$work/ca.pem"
for who in broker client; do
  tls req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout "$work/$who.key" -out "$work/$who.csr"
  tls x509 -req -in "$work/$who.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -CAcreateserial -days 1 \
    -extfile <(echo subjectAltName=IP:127.0.0.1) -out "$work/$who.pem"
done
tls req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=other-ca -keyout "$work/other.key" -out "$work/other.pem"
cat >"$work/mosquitto.conf" <<CONF
per_listener_settings false
allow_anonymous false
password_file $work/passwords
persistence true
persistence_location $work/
user root
listener $PORT 127.0.0.1
listener $((PORT + 1)) 127.0.0.1
cafile $work/ca.pem
certfile $work/broker.pem
keyfile $work/broker.key
require_certificate true
CONF
start_broker() {
  mosquitto -c "$work/mosquitto.conf" >>"$work/broker.log" 2>&1 &
  broker_pid=$!
  for _ in $(seq 50); do
    mosquitto_pub "${AUTH[@]}" -t probe/ready -m x 2>/dev/null && return 0
    sleep 0.1
  done
  fail "broker did not start: $(tail -3 "$work/broker.log")"
}
# The retained messages on topic filter $1, one "topic payload" per line.
retained() { timeout 5 mosquitto_sub "${AUTH[@]}" -t "$1" -v --retained-only -W 1 2>/dev/null; }

start_relay() {
  python3 "$(dirname "$0")/tcp_relay.py" "$RELAY" "$PORT" >"$work/relay.out" 2>&1 &
  relay_pid=$!
  pids+=("$relay_pid")
  for _ in $(seq 50); do grep -q ready "$work/relay.out" && return 0; sleep 0.1; done
  fail "relay did not start"
}
RELAY=$((PORT + 10))

start_broker
start_relay
# --- anonymous and wrong-password clients are refused --------------------------
timeout 5 mosquitto_pub -h 127.0.0.1 -p "$PORT" -t x -m y 2>/dev/null && fail "anonymous client accepted"

# A subscriber with a session the broker keeps, so messages published while
# it reconnects after the restart wait for it.
timeout 60 mosquitto_sub "${AUTH[@]}" -i kestrel-test-reader -c -q 1 -t 'kestrel/+/counts' -v \
  >"$work/received.txt" 2>"$work/sub.err" &
reader_pid=$!
pids+=("$reader_pid")
sleep 0.5

start_sim --devices 2 --rate all=40
"$COLLECTOR" -d "$DEV=press-1" -d 10.77.0.3=press-2 --interface "$KESTREL_NETNS_A" --interval 0.2 \
  --mqtt "127.0.0.1:$RELAY" --mqtt-user kestrel --mqtt-password "pass word" --mqtt-id main \
  >"$work/records.jsonl" 2>"$work/collector.err" &
collector_pid=$!
pids+=("$collector_pid")
sleep 2

# --- retained status while running ----------------------------------------------
retained 'kestrel/+/status' >"$work/status-running.txt"
for d in press-1 press-2; do
  grep -q "^kestrel/$d/status .*\"status\":\"online\",\"model\":\"SX-21\"" "$work/status-running.txt" ||
    fail "$d: retained status while running: $(cat "$work/status-running.txt")"
done
retained 'kestrel/collector/main/status' | grep -q '"status":"online"' || fail "collector status not online"

# --- the connection cut while samples are on their way: they are sent again ------
# The collector reaches the broker through a relay; stopped, the relay holds
# what the collector sends, unacknowledged; killed, it loses it.
kill -STOP "$relay_pid"
sleep 1.5
kill -KILL "$relay_pid"
wait "$relay_pid" 2>/dev/null
start_relay
sleep 2

# --- the broker stopped for 3 s and started again: samples wait, then arrive ------
stop_pid "$broker_pid"
sleep 3
start_broker
sleep 3
stop_pid "$collector_pid"
sleep 1  # the reader gets what is still on its way
stop_pid "$reader_pid"
python3 "$(dirname "$0")/mqtt_check.py" "$work/received.txt" "$work/records.jsonl" press-1,press-2 ||
  { fail "samples over MQTT"; cp "$work/received.txt" "$work/records.jsonl" /tmp/ 2>/dev/null; }

# --- after a clean stop: devices and collector retained offline -------------------
retained 'kestrel/+/status' >"$work/status-stopped.txt"
for d in press-1 press-2; do
  grep -q "^kestrel/$d/status .*\"status\":\"offline\"" "$work/status-stopped.txt" ||
    fail "$d: retained status after stop: $(cat "$work/status-stopped.txt")"
done
retained 'kestrel/collector/main/status' | grep -q '"status":"offline"' || fail "collector status not offline after stop"

# --- TLS with a client certificate; a broker from another authority is refused ---
TLS=(--mqtt-cafile "$work/ca.pem" --mqtt-cert "$work/client.pem" --mqtt-key "$work/client.key")
for case in good other; do
  ca=$work/ca.pem
  [[ $case == other ]] && ca=$work/other.pem
  timeout 10 mosquitto_sub "${AUTH[@]}" -t kestrel/tls-$case/counts -C 1 -W 3 >"$work/tls-$case.txt" 2>/dev/null &
  reader=$!
  sleep 0.3
  "$COLLECTOR" -d "$DEV=tls-$case" --interface "$KESTREL_NETNS_A" --interval 0.2 --mqtt "127.0.0.1:$((PORT + 1))" \
    --mqtt-user kestrel --mqtt-password "pass word" --mqtt-id "tls-$case" "${TLS[@]}" --mqtt-cafile "$ca" \
    >/dev/null 2>"$work/tls-$case.err" &
  tls_pid=$!
  wait "$reader"
  stop_pid "$tls_pid"
done
grep -q '"device":"tls-good"' "$work/tls-good.txt" || fail "no sample over TLS: $(tail -2 "$work/tls-good.err")"
[[ ! -s $work/tls-other.txt ]] || fail "a broker the CA does not vouch for was used"
grep -q "cannot connect to 127.0.0.1:$((PORT + 1))" "$work/tls-other.err" || fail "refused TLS not told: $(cat "$work/tls-other.err")"

# --- a queue of 5 over an outage: drops counted and reported; then the will -------
"$COLLECTOR" -d "$DEV=press-1" --interface "$KESTREL_NETNS_A" --interval 0.2 --listen 9731 \
  --mqtt "127.0.0.1:$PORT" --mqtt-user kestrel --mqtt-password "pass word" --mqtt-id small --mqtt-queue 5 \
  >/dev/null 2>"$work/small.err" &
small_pid=$!
pids+=("$small_pid")
timeout 20 mosquitto_sub "${AUTH[@]}" -t 'kestrel/collector/small/events' -C 1 -W 15 >"$work/events.txt" 2>&1 &
events_pid=$!
sleep 1.5
stop_pid "$broker_pid"
sleep 2
start_broker
wait "$events_pid"
grep -q '"event":"mqtt-dropped","dropped":[1-9]' "$work/events.txt" || fail "no drop event: $(cat "$work/events.txt")"
dropped=$(curl -sf http://127.0.0.1:9731/metrics | sed -n 's/^kestrel_mqtt_dropped_total //p')
[[ ${dropped:-0} -gt 0 ]] || fail "kestrel_mqtt_dropped_total is ${dropped:-missing}"
retained 'kestrel/collector/small/status' | grep -q '"status":"online"' || fail "small collector not online"
kill -KILL "$small_pid"
wait "$small_pid" 2>/dev/null
sleep 0.5
retained 'kestrel/collector/small/status' | grep -q '"status":"offline"' || fail "last will not published"

# --- with a store, what the broker missed waits in its outbox across a restart ----
stop_pid "$broker_pid"
OUTBOX=(-d "$DEV=press-1" --interface "$KESTREL_NETNS_A" --interval 0.2 --store "$work/outbox.db"
  --mqtt "127.0.0.1:$PORT" --mqtt-user kestrel --mqtt-password "pass word" --mqtt-id outbox)
"$COLLECTOR" "${OUTBOX[@]}" >"$work/outbox-1.jsonl" 2>"$work/outbox.err" &
outbox_pid=$!
pids+=("$outbox_pid")
sleep 2
stop_pid "$outbox_pid"
# The payloads of the kept samples, oldest first.
python3 -c 'import sqlite3, sys
for (p,) in sqlite3.connect(sys.argv[1]).execute(
        "SELECT payload FROM outbox WHERE topic = ? ORDER BY seq", ("kestrel/press-1/counts",)):
    print(p)' "$work/outbox.db" >"$work/kept.txt"
kept=$(wc -l <"$work/kept.txt")
written=$(grep -c '"type":"sample"' "$work/outbox-1.jsonl")
((kept >= 5 && kept == written)) || fail "outbox: $kept samples kept of $written written"
grep -q "had not reached the broker" "$work/outbox.err" && fail "outbox: kept messages were counted as dropped"
start_broker
timeout 20 mosquitto_sub "${AUTH[@]}" -t kestrel/press-1/counts -q 1 -C "$kept" -W 15 \
  >"$work/outbox-received.txt" 2>/dev/null &
reader=$!
sleep 0.5
"$COLLECTOR" "${OUTBOX[@]}" >/dev/null 2>>"$work/outbox.err" &
outbox_pid=$!
pids+=("$outbox_pid")
wait "$reader"
stop_pid "$outbox_pid"
cmp -s "$work/kept.txt" "$work/outbox-received.txt" ||
  fail "outbox: the kept samples did not arrive first and in order ($(wc -l <"$work/outbox-received.txt") received)"

if ((failures > 0)); then
  for f in collector.err small.err sub.err broker.log outbox.err; do echo "--- $f"; tail -5 "$work/$f"; done
fi
echo "mqtt end-to-end: $failures failure(s)"
((failures == 0))
