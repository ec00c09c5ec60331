#!/usr/bin/env bash
# The collector's status page in a real browser (headless Chromium), inside
# the private network of tests/netns/with-veth.sh: the page and its JSON ask
# for the password; the fleet shows every device; a device stopped with
# SIGSTOP turns down without a reload; a device page draws its charts from a
# store with a day of history; a device named like markup stays text.
# Skipped (77) without chromium or libjs-chart.js (scripts/deps.sh installs
# them). With KESTREL_SCREENSHOTS=DIR the pages are also saved there as PNG.
#
# Usage: with-veth.sh --unshare --b-extra 10.77.0.3/24 --b-extra 10.77.0.4/24 --
#          bash status-e2e.sh KESTREL_COLLECTOR KESTREL_SIM [SCRATCH_DIR]
set -u

COLLECTOR=$1
SIM=$2
DEV=$KESTREL_NETNS_B
here=$(cd "$(dirname "$0")" && pwd)
WEB_ROOT=$here/../../collector/web
CHROMIUM=$(command -v chromium || true)
if [[ -z $CHROMIUM || ! -f /usr/share/javascript/chart.js/chart.min.js ]]; then
  echo "status-e2e: chromium or libjs-chart.js missing (scripts/deps.sh installs them); skipped"
  exit 77
fi
work=$(mktemp -d "${3:-${TMPDIR:-/tmp}}/status-e2e.XXXXXX")
source "$here/../support/sim-session.sh"
source "$here/processes.sh"

status() { curl -s -o "$work/body" -w '%{http_code}' --max-time 10 "$@"; }
wait_up() { # url curl-options...: up to 5 s
  for _ in $(seq 50); do [[ $(status "$@") != 000 ]] && return 0; sleep 0.1; done
  fail "$1 did not answer"
}

HOSTILE='<img src=x onerror=alert(1)>'
start_sim
start_sim_at stopme 10.77.0.3
start_sim_at odd 10.77.0.4
cat >"$work/plant.toml" <<TOML
[[device]]
address = "$DEV"
name = "press-1"
[[device]]
address = "10.77.0.3"
name = "press-2"
[[device]]
address = "10.77.0.4"
name = "$HOSTILE"
TOML
echo "reader:$(openssl passwd -6 'open sesame')" >"$work/users"
collect() { # extra options...
  "$COLLECTOR" --config "$work/plant.toml" --interface "$KESTREL_NETNS_A" --interval 0.5 --timeout 1 \
    --store "$work/counts.db" "$@" >/dev/null 2>>"$work/collector.err" &
  pids+=($!)
}

# A first run makes the store; a day of history goes in while none runs.
collect
for _ in $(seq 50); do [[ -s $work/counts.db ]] && break; sleep 0.1; done
stop_pid "${pids[-1]}"
python3 "$here/status_history.py" "$work/counts.db" press-1 || fail "history not written"

collect --listen 9731 --web-auth-file "$work/users" --web-root "$WEB_ROOT"
URL=http://127.0.0.1:9731
wait_up "$URL/"

# --- the password, and what is served ------------------------------------------------
AUTH=(-u reader:'open sesame')
for path in / /device/press-1 /api/devices "/api/device?name=press-1" /status.css /chart.js; do
  [[ $(status "$URL$path") == 401 ]] || fail "$path without the password: not 401"
done
while read -r path code type; do
  got=$(curl -s --path-as-is -o /dev/null -w '%{http_code} %{content_type}' --max-time 10 "${AUTH[@]}" "$URL$path")
  [[ $got == "$code $type"* ]] || fail "$path: $got, expected $code $type"
done <<'CASES'
/ 200 text/html
/device/press-1 200 text/html
/fleet.js 200 text/javascript
/chart.js 200 text/javascript
/api/devices 200 application/json
/api/device?name=press-9 404 text/plain
/index.html 404 text/plain
/../../etc/passwd 404 text/plain
/device/../status.css 200 text/html
CASES
curl -s -D "$work/headers" -o /dev/null --max-time 10 "${AUTH[@]}" "$URL/"
grep -qi "^content-security-policy: default-src 'none'; script-src 'self'" "$work/headers" ||
  fail "no content policy: $(cat "$work/headers")"

# --- the browser ---------------------------------------------------------------------
shots=()
[[ -n ${KESTREL_SCREENSHOTS:-} ]] && shots=(--screenshots "$KESTREL_SCREENSHOTS")
timeout 90 python3 "$here/status_browser.py" "$CHROMIUM" "$URL" "reader:open sesame" \
  "${sim_pids[stopme]}" press-2 press-1 "$HOSTILE" "${shots[@]}" || fail "the browser checks (above)"

echo "status page end-to-end: $failures failure(s)"
((failures == 0))
