#!/usr/bin/env bash
# Who gets in to the collector's HTTP endpoint, inside the private network of
# tests/netns/with-veth.sh: a scrape without the password is refused, with it
# served; /probe outside the allowed networks is refused and sends nothing;
# two probes of one device never connect to it at once, and /metrics answers
# while one runs; over HTTPS the password is asked for too, plain HTTP gets
# no answer, and bad certificate files stop the collector at start.
#
# Usage: with-veth.sh --unshare --b-extra 10.77.0.3/24 --b-extra 10.78.0.2/24 --
#          bash web-e2e.sh KESTREL_COLLECTOR KESTREL_SIM [SCRATCH_DIR]
set -u

COLLECTOR=$1
SIM=$2
DEV=$KESTREL_NETNS_B  # polled; 10.77.0.3 probed; 10.78.0.2 outside the allowed network
work=$(mktemp -d "${3:-${TMPDIR:-/tmp}}/web-e2e.XXXXXX")
source "$(dirname "$0")/../support/sim-session.sh"

source "$(dirname "$0")/processes.sh"
# HTTP status of a GET: url, curl options...
status() { curl -s -o "$work/body" -w '%{http_code}' --max-time 20 "$@"; }
wait_up() { # url curl-options...: up to 5 s
  for _ in $(seq 50); do [[ $(status "$@") != 000 ]] && return 0; sleep 0.1; done
  fail "$1 did not answer"
}

start_sim --devices 2 --reply-delay 300
start_sim_at outside 10.78.0.2

echo "reader:$(openssl passwd -6 'open sesame')" >"$work/users"

"$COLLECTOR" -d "$DEV=polled" --interface "$KESTREL_NETNS_A" --timeout 5 --listen 9731 \
  --web-auth-file "$work/users" >/dev/null 2>"$work/collector.err" &
pids+=($!)
URL=http://127.0.0.1:9731
wait_up "$URL/metrics"

# --- basic authentication --------------------------------------------------------
[[ $(status "$URL/metrics") == 401 ]] || fail "no password: $(cat "$work/body")"
[[ $(status -u reader:wrong "$URL/metrics") == 401 ]] || fail "wrong password accepted"
[[ $(status -u other:'open sesame' "$URL/metrics") == 401 ]] || fail "unknown user accepted"
[[ $(status -u reader:'open sesame' "$URL/metrics") == 200 ]] || fail "right password refused"
grep -q '^kestrel_collector_build_info{version="' "$work/body" || fail "metrics body: $(head -3 "$work/body")"

# A password file that lets anyone in (an empty password) is a bad configuration.
# SHA-crypt of "" (openssl passwd will not hash an empty password).
echo 'reader:$6$88Jo/70.V93JU8um$qrbkLpo7YiP9AXbXBk.v6rUl4zEbQS/D42AS67HEQeEbMl6MUkJfcnmVhQRXx6GbifSQSFGYQlo2WjJ0kPx3J.' \
  >"$work/open-users"
timeout 10 "$COLLECTOR" -d 10.77.0.3 --interface "$KESTREL_NETNS_A" --listen 9735 \
  --web-auth-file "$work/open-users" >/dev/null 2>"$work/open.err"
code=$?
[[ $code == 2 ]] && grep -qF "open-users: line 1: the password of 'reader' is empty" "$work/open.err" ||
  fail "empty password: exit $code, $(cat "$work/open.err")"

AUTH=(-u reader:'open sesame')
# --- 40 clients trickling requests from one address keep no scrape out --------------------
python3 "$(dirname "$0")/slow_clients.py" 127.0.0.1 9731 127.0.0.2 40 12 >"$work/slow" &
slow=$!
sleep 2
for _ in 1 2 3; do
  [[ $(status --max-time 3 "${AUTH[@]}" "$URL/metrics") == 200 ]] || fail "a scrape was kept out by slow clients"
  sleep 2
done
wait "$slow"
# Each slow connection is cut about 5 s after it opened, not held for the 12 s.
read -r _ held _ cut _ longest <"$work/slow"
((cut > 0)) && [[ ${longest%.*} -lt 8 ]] || fail "slow clients: $(cat "$work/slow")"

# --- /probe outside the allowed networks: 403 and nothing sent ----------------------
[[ $(status "${AUTH[@]}" "$URL/probe?target=10.78.0.2") == 403 ]] || fail "outside target: $(cat "$work/body")"
[[ $(status "${AUTH[@]}" "$URL/probe?target=10.77.0.03") == 400 ]] || fail "odd spelling accepted"
[[ $(status "${AUTH[@]}" "$URL/probe") == 400 ]] || fail "no target accepted"
[[ $(status "$URL/probe?target=10.77.0.3") == 401 ]] || fail "probe without password"
sleep 0.5
[[ ! -s $work/outside.log ]] || fail "the outside device was contacted: $(head -3 "$work/outside.log")"

# --- two probes of one device at once: one connection at a time ----------------------
status "${AUTH[@]}" "$URL/probe?target=10.77.0.3:10003" >"$work/first" &
first=$!
# The probe takes about 5 s (every reply 300 ms late); /metrics does not wait for it.
sleep 0.3
[[ $(status --max-time 2 "${AUTH[@]}" "$URL/metrics") == 200 ]] || fail "/metrics waited for a running probe"
status "${AUTH[@]}" "$URL/probe?target=10.77.0.3" >"$work/second"
wait "$first"
[[ $(cat "$work/first") == 200 && $(cat "$work/second") == 200 ]] || fail "probes: $(cat "$work/first") $(cat "$work/second")"
grep -q '^kestrel_device_up{address="10.77.0.3:10003",device="10.77.0.3"} 1' "$work/body" ||
  fail "probe answer: $(head -5 "$work/body")"
# The simulator logs "ADDR -- connected from" and "ADDR -- closed" per connection.
open=0 most=0
while read -r line; do
  case "$line" in
    *"10.77.0.3"*"-- connected from"*) open=$((open + 1)); ((open > most)) && most=$open ;;
    *"10.77.0.3"*"-- closed"*) open=$((open - 1)) ;;
  esac
done <"$work/sim.log"
((most == 1)) || fail "up to $most connections to the probed device at once"

# --- a probe of the polled device answers from its poller ------------------------------
before=$(grep -c "$DEV.*-- connected from" "$work/sim.log")
[[ $(status "${AUTH[@]}" "$URL/probe?target=$DEV") == 200 ]] || fail "probe of the polled device"
grep -q "^kestrel_device_up{address=\"$DEV:10003\",device=\"polled\"} 1" "$work/body" ||
  fail "polled device answer: $(head -5 "$work/body")"
[[ $(grep -c "$DEV.*-- connected from" "$work/sim.log") == "$before" ]] || fail "probe of a polled device connected again"

# --- HTTPS: a throwaway certificate for 127.0.0.1 ---------------------------------------
# After the probes: this collector polls the device they counted connections to.
ec=(-newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 1)
for name in "" other-; do
  openssl req -x509 "${ec[@]}" -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 \
    -keyout "$work/${name}key.pem" -out "$work/${name}cert.pem" 2>/dev/null || fail "openssl req"
done
# Certificate, key, the file the start error must name.
while read -r cert key named; do
  timeout 10 "$COLLECTOR" -d 10.77.0.3 --interface "$KESTREL_NETNS_A" --listen 9734 \
    --web-tls-cert "$work/$cert" --web-tls-key "$work/$key" >/dev/null 2>"$work/start.err"
  code=$?
  [[ $code == 1 ]] && grep -qF "$work/$named:" "$work/start.err" ||
    fail "TLS start with $cert $key: exit $code, $(cat "$work/start.err")"
done <<'CASES'
missing.pem key.pem missing.pem
key.pem key.pem key.pem
cert.pem other-key.pem other-key.pem
CASES

"$COLLECTOR" -d 10.77.0.3 --interface "$KESTREL_NETNS_A" --timeout 5 --listen 9733 \
  --web-auth-file "$work/users" --web-tls-cert "$work/cert.pem" --web-tls-key "$work/key.pem" \
  >/dev/null 2>"$work/secure.err" &
pids+=($!)
SECURE=https://127.0.0.1:9733
CA=(--cacert "$work/cert.pem")
wait_up "$SECURE/metrics" "${CA[@]}"
[[ $(status "${CA[@]}" "${AUTH[@]}" "$SECURE/metrics") == 200 ]] || fail "https scrape: $(cat "$work/body")"
grep -q '^kestrel_collector_build_info{version="' "$work/body" ||
  fail "https metrics body: $(head -3 "$work/body")"
[[ $(status "${CA[@]}" "$SECURE/metrics") == 401 ]] || fail "https without password"
[[ $(status "${AUTH[@]}" "http://127.0.0.1:9733/metrics") == 000 ]] || fail "plain http to the https port answered"

echo "web end-to-end: $failures failure(s)"
((failures == 0))
