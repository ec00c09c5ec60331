"""Checks what mosquitto_sub received against the collector's own records,
for mqtt-e2e.sh.

Usage: mqtt_check.py SUB_OUTPUT COLLECTOR_JSONL DEVICES
SUB_OUTPUT holds "topic payload" lines (mosquitto_sub -v). Every sample of the
collector's JSON Lines output must have arrived on PREFIX/<device>/counts as
the same JSON, in order; repeats are counted (QoS 1 allows them) and
reported; the increases must add up to the device's own counter.
"""
import json
import sys


def main():
    sub_path, records_path, devices = sys.argv[1], sys.argv[2], sys.argv[3].split(",")
    problems = []
    received = {d: [] for d in devices}
    for line in open(sub_path, encoding="utf-8"):
        topic, _, payload = line.rstrip("\n").partition(" ")
        parts = topic.split("/")
        if len(parts) == 3 and parts[2] == "counts":
            try:
                sample = json.loads(payload)
            except ValueError:
                problems.append(f"not JSON on {topic}: {payload[:80]}")
                continue
            received.setdefault(parts[1], []).append(payload)
    written = {d: [] for d in devices}
    for line in open(records_path, encoding="utf-8"):
        record = json.loads(line)
        if record["type"] == "sample":
            written[record["device"]].append(line.rstrip("\n"))

    for device in devices:
        got, want = received.get(device, []), written[device]
        unique, duplicates, seen = [], 0, set()
        for payload in got:
            if payload in seen:
                duplicates += 1
            else:
                seen.add(payload)
                unique.append(payload)
        if unique != want:
            missing = [w for w in want if w not in seen]
            problems.append(f"{device}: {len(unique)} distinct samples, collector wrote {len(want)}; "
                            f"{len(missing)} missing; order {'kept' if [u for u in unique if u in want] == [w for w in want if w in seen] else 'broken'}")
        samples = [json.loads(p) for p in unique]
        for name in samples[0]["inputs"] if samples else []:
            first, last = samples[0]["inputs"][name], samples[-1]["inputs"][name]
            added = sum(s["inputs"][name]["increase"] for s in samples[1:])
            if added != last["raw"] - first["raw"] or last["total"] - first["total"] != added:
                problems.append(f"{device} {name}: increases add to {added}, counter moved "
                                f"{last['raw'] - first['raw']}")
        print(f"{device}: {len(want)} samples written, {len(unique)} received, {duplicates} repeated")
    for p in problems:
        print("FAIL:", p, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
