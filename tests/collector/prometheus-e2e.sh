#!/usr/bin/env bash
# Two collectors sharing a fleet (--shard 1/2 and 2/2), scraped by a real
# Prometheus server, inside the private network of tests/netns/with-veth.sh:
# every device appears once and up, the rates agree with the simulator's, a
# silent device goes down and keeps its totals, an unconfigured device is
# reached through /probe, and promtool accepts the exposition. The second
# collector serves HTTPS, with a certificate Prometheus is told to trust.
#
# Usage: with-veth.sh --unshare --b-extra 10.77.0.3/24 ... 10.77.0.7/24 --
#          bash prometheus-e2e.sh KESTREL_COLLECTOR KESTREL_SIM [SCRATCH_DIR]
set -u

COLLECTOR=$1
SIM=$2
DEV=$KESTREL_NETNS_B  # 10.77.0.2: four devices from here; .6 alone; .7 probed
work=$(mktemp -d "${3:-${TMPDIR:-/tmp}}/prometheus-e2e.XXXXXX")
source "$(dirname "$0")/../support/sim-session.sh"
check="python3 $(dirname "$0")/prom_check.py http://127.0.0.1:9090"
RATES="DI1=60,DI2=30,DI3=30,DI4=30,DI5=30,DI6=30,DI7=30,DI8=30"
SIM_RATES=(--rate all=30 --rate 1=60)
# Scrape for this long before asking (each rate() looks 10 s back).
SCRAPE_SECONDS=15

source "$(dirname "$0")/processes.sh"

# Waits up to $2 tenths of a second for the URL $1 to answer; curl options follow.
wait_http() {
  local url=$1 tenths=$2
  shift 2
  for _ in $(seq "$tenths"); do curl -sf -o /dev/null "$@" "$url" && return 0; sleep 0.1; done
  fail "$url did not answer"
  return 1
}

start_sim --devices 4 "${SIM_RATES[@]}"
start_sim_at silent 10.77.0.6 "${SIM_RATES[@]}"
start_sim_at probed 10.77.0.7 "${SIM_RATES[@]}"

openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 1 -subj /CN=127.0.0.1 \
  -addext subjectAltName=IP:127.0.0.1 -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null ||
  fail "openssl req"
devices=()
for n in 2 3 4 5 6; do devices+=(-d "10.77.0.$n=dev-$n"); done
for shard in 1 2; do
  tls=()
  ((shard == 2)) && tls=(--web-tls-cert "$work/cert.pem" --web-tls-key "$work/key.pem")
  "$COLLECTOR" "${devices[@]}" --interface "$KESTREL_NETNS_A" --interval 0.2 --timeout 1 --backoff 0.5 \
    --shard "$shard/2" --listen "973$shard" "${tls[@]}" \
    >"$work/collector-$shard.jsonl" 2>"$work/collector-$shard.err" &
  pids+=($!)
done
wait_http http://127.0.0.1:9731/metrics 50 && wait_http https://127.0.0.1:9732/metrics 50 --cacert "$work/cert.pem"

# --- the exposition passes promtool ------------------------------------------
sleep 1
curl -sf http://127.0.0.1:9731/metrics >"$work/metrics.txt"
promtool check metrics <"$work/metrics.txt" >"$work/promtool.out" 2>&1 ||
  fail "promtool check metrics: $(cat "$work/promtool.out")"
grep -q '^kestrel_pulses_total{address="10.77.0.2:10003",device="dev-2",input="DI1"} [1-9]' "$work/metrics.txt" ||
  fail "exposition: $(grep -m3 kestrel_pulses "$work/metrics.txt")"

# --- the documented configuration and alert rule ----------------------------
docs="$(dirname "$0")/../../docs/prometheus"
(cd "$docs" && promtool check config prometheus.yml && promtool test rules kestrel-alerts-test.yml) \
  >"$work/promtool-docs.out" 2>&1 || fail "docs/prometheus: $(cat "$work/promtool-docs.out")"

# --- Prometheus scrapes both collectors, and one device through /probe -------
cat >"$work/prometheus.yml" <<CONF
global:
  scrape_interval: 1s
  scrape_timeout: 1s
scrape_configs:
  - job_name: kestrel
    tls_config:
      ca_file: $work/cert.pem
    static_configs:
      - targets: ['127.0.0.1:9731']
      - targets: ['127.0.0.1:9732']
        labels:
          __scheme__: https
  - job_name: kestrel-probe
    metrics_path: /probe
    static_configs:
      - targets: ['10.77.0.7']
    relabel_configs:
      - source_labels: [__address__]
        target_label: __param_target
      - source_labels: [__param_target]
        target_label: instance
      - target_label: __address__
        replacement: 127.0.0.1:9731
CONF
promtool check config "$work/prometheus.yml" >"$work/promtool-config.out" 2>&1 ||
  fail "promtool check config: $(cat "$work/promtool-config.out")"
prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/tsdb" \
  --web.listen-address=127.0.0.1:9090 --log.level=warn >"$work/prometheus.log" 2>&1 &
pids+=($!)
wait_http http://127.0.0.1:9090/-/ready 100
sleep "$SCRAPE_SECONDS"

$check devices 5 || fail "devices"
$check rates "$RATES" || fail "rates"
$check probe 10.77.0.7 || fail "probe job"
$check dashboard "$docs/../grafana/kestrel-dashboard.json" || fail "dashboard queries"

# --- a silent device: up 0, its totals kept ------------------------------------
kill -STOP "${sim_pids[silent]}"
sleep 4
$check down dev-6 || fail "silent device"
kill -CONT "${sim_pids[silent]}"

if ((failures > 0)); then
  for f in "$work"/collector-*.err "$work/prometheus.log"; do echo "--- $f"; tail -5 "$f"; done
fi
echo "prometheus end-to-end: $failures failure(s)"
((failures == 0))
