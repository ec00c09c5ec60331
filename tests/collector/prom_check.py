"""Questions to a Prometheus server's HTTP API for prometheus-e2e.sh.

Usage: prom_check.py URL COMMAND ARGS...; prints what it found, exits 1 when
the check fails.
  devices N              every device appears exactly once, N of them, up 1
  rates EXPECT           rate() per input within 10 % of EXPECT ("DI1=60,...")
  down DEVICE            DEVICE is down and its totals are kept
  probe ADDRESS          the /probe job answered for ADDRESS, up 1
  dashboard FILE         every query of a Grafana dashboard runs, and the
                         device panels have data
"""
import json
import sys
import urllib.parse
import urllib.request


def query(base, expr):
    url = base + "/api/v1/query?" + urllib.parse.urlencode({"query": expr})
    with urllib.request.urlopen(url, timeout=10) as answer:
        body = json.load(answer)
    if body.get("status") != "success":
        raise SystemExit(f"query {expr!r} failed: {body}")
    return [(r["metric"], float(r["value"][1])) for r in body["data"]["result"]]


def main():
    base, command, *args = sys.argv[1:]
    problems = []
    if command == "devices":
        want = int(args[0])
        ups = query(base, 'kestrel_device_up{job="kestrel"}')
        per_device = {}
        for labels, value in ups:
            per_device.setdefault(labels["device"], []).append((labels["instance"], value))
        if len(per_device) != want:
            problems.append(f"{len(per_device)} devices, want {want}: {sorted(per_device)}")
        for device, seen in sorted(per_device.items()):
            if len(seen) != 1:
                problems.append(f"{device} appears {len(seen)} times: {seen}")
            elif seen[0][1] != 1:
                problems.append(f"{device} is not up: {seen}")
        instances = {i for seen in per_device.values() for i, _ in seen}
        print(f"devices: {len(per_device)} on collectors {sorted(instances)}")
        if len(instances) < 2:
            problems.append("the devices were not split between the two collectors")
    elif command == "rates":
        expect = dict(item.split("=") for item in args[0].split(","))
        rates = query(base, 'rate(kestrel_pulses_total{job="kestrel"}[10s])')
        if not rates:
            problems.append("no rates")
        for labels, value in rates:
            want = float(expect[labels["input"]])
            if abs(value - want) > 0.1 * want:
                problems.append(f"{labels['device']} {labels['input']}: rate {value:.2f}, want {want}")
        print(f"rates: {len(rates)} series checked")
    elif command == "down":
        device = args[0]
        up = query(base, f'kestrel_device_up{{device="{device}"}}')
        if [v for _, v in up] != [0.0]:
            problems.append(f"{device}: up is {up}")
        now = query(base, f'kestrel_pulses_total{{device="{device}"}}')
        peak = dict((l["input"], v) for l, v in query(base, f'max_over_time(kestrel_pulses_total{{device="{device}"}}[1m])'))
        if len(now) != 8:
            problems.append(f"{device}: {len(now)} totals while down, want 8")
        for labels, value in now:
            if value <= 0 or value != peak.get(labels["input"]):
                problems.append(f"{device} {labels['input']}: total {value}, highest seen {peak.get(labels['input'])}")
        print(f"down: {device} up={up and up[0][1]}, {len(now)} totals kept")
    elif command == "probe":
        up = query(base, f'kestrel_device_up{{job="kestrel-probe",instance="{args[0]}"}}')
        pulses = query(base, f'kestrel_pulses_total{{job="kestrel-probe",instance="{args[0]}"}}')
        if [v for _, v in up] != [1.0] or len(pulses) != 8:
            problems.append(f"probe of {args[0]}: up {up}, {len(pulses)} inputs")
        print(f"probe: {args[0]} up, {len(pulses)} inputs")
    elif command == "dashboard":
        panels = json.load(open(args[0], encoding="utf-8"))["panels"]
        for panel in panels:
            for t in panel["targets"]:
                expr = t["expr"].replace("$device", ".*").replace("$__rate_interval", "10s")
                result = query(base, expr)
                if not result and "mqtt" not in expr and "failures" not in expr:
                    problems.append(f"panel {panel['title']!r}: no data for {expr}")
        print(f"dashboard: {len(panels)} panels queried")
    for p in problems:
        print("FAIL:", p, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
