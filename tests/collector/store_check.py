"""Exact accounting of the collector's counts across restarts, for store-e2e.sh.

Usage: store_check.py COMMAND ARGS...; prints what it found, exits 1 when the
check fails.
  stream JSONL...      the increases of every input, summed over every sample
                       of the runs in order, equal the raw counters' advance
                       from the first sample to the last (modulo 2^32, so a
                       wrap counts), and every running total only grows
  store DB FIRST       the store's hour rows add up, per input, to the advance
                       from the first sample in FIRST (JSON Lines, or the
                       collector's CSV file) to the stored counters
  totals DB JSONL TOTALS
                       the same with the rows that `totals --json` printed
"""
import json
import sqlite3
import sys

WRAP = 1 << 32


def samples(paths):
    for path in paths:
        with open(path, encoding="utf-8") as lines:
            for line in lines:
                record = json.loads(line)
                if record.get("type") == "sample":
                    yield record


def first_csv_raw(path):
    with open(path, encoding="utf-8") as lines:
        header = next(lines).rstrip("\n").split(",")
        row = next(lines).rstrip("\n").split(",")
    return {name: int(value) for name, value in zip(header[1:], row[1:])
            if name.startswith("DI") and " " not in name and value}


def first_raw(paths):
    if paths[0].endswith(".csv"):
        return first_csv_raw(paths[0])
    first = next(samples(paths), None)
    if first is None:
        raise SystemExit("no samples")
    return {name: v["raw"] for name, v in first["inputs"].items()}


def check_stream(paths):
    first, last, summed, totals, problems = {}, {}, {}, {}, []
    for sample in samples(paths):
        for name, v in sample["inputs"].items():
            first.setdefault(name, v["raw"])
            last[name] = v["raw"]
            summed[name] = summed.get(name, 0) + v["increase"]
            if v["total"] < totals.get(name, 0):
                problems.append(f"{name}: total went back from {totals[name]} to {v['total']}")
            totals[name] = v["total"]
    if not first:
        problems.append("no samples")
    for name in sorted(first):
        advance = (last[name] - first[name]) % WRAP
        print(f"{name}: advance {advance}, increases {summed[name]}, total {totals[name]}")
        if summed[name] != advance or totals[name] != advance:
            problems.append(f"{name}: advance {advance} but increases {summed[name]}, total {totals[name]}")
    return problems


def check_rows(db, jsonl, pulses_by_input):
    start = first_raw([jsonl])
    stored = dict(sqlite3.connect(db).execute("SELECT 'DI' || input, raw FROM counters"))
    problems = []
    for name in sorted(start):
        advance = (stored[name] - start[name]) % WRAP
        print(f"{name}: advance {advance}, rows {pulses_by_input.get(name, 0)}")
        if pulses_by_input.get(name, 0) != advance:
            problems.append(f"{name}: advance {advance} but rows add up to {pulses_by_input.get(name, 0)}")
    return problems


def main():
    command, *args = sys.argv[1:]
    if command == "stream":
        problems = check_stream(args)
    elif command == "store":
        db, jsonl = args
        rows = sqlite3.connect(db).execute("SELECT 'DI' || input, sum(pulses) FROM hours GROUP BY input")
        problems = check_rows(db, jsonl, dict(rows))
    elif command == "totals":
        db, jsonl, totals = args
        by_input = {}
        with open(totals, encoding="utf-8") as lines:
            for line in lines:
                row = json.loads(line)
                by_input[row["input"]] = by_input.get(row["input"], 0) + row["pulses"]
        problems = check_rows(db, jsonl, by_input)
    else:
        raise SystemExit(f"unknown command {command}")
    for problem in problems:
        print("FAIL:", problem)
    sys.exit(1 if problems else 0)


main()
