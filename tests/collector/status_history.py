"""Writes a day of minute rows and a month of hour rows for one device into
a collector's store, as the collector writes them, so that the status page
has history to chart: a working-day pattern on DI1 and DI2, a stretch of
minutes and a day of hours without rows (the collector was stopped then),
and nights of 0 pulses (read, nothing counted).

Usage: python3 status_history.py STORE DEVICE
"""
import math
import sqlite3
import sys
import time


def per_minute(t, input_):
    hour = time.localtime(t).tm_hour + time.localtime(t).tm_min / 60
    if not 6 <= hour < 22:
        return 0  # the plant is shut at night: read, nothing counted
    shape = math.sin((hour - 6) / 16 * math.pi)
    return max(0, int((60 if input_ == 1 else 35) * shape + 8 * math.sin(t / 900 + input_)))


def main():
    store, device = sys.argv[1], sys.argv[2]
    now = int(time.time()) // 60 * 60
    first_minute = now - 24 * 3600
    stopped = range(now - 5 * 3600, now - 4 * 3600)  # minutes not read
    hours_stopped = range(now - 9 * 86400, now - 8 * 86400)  # hours not read
    db = sqlite3.connect(store, timeout=10)
    with db:
        for input_ in (1, 2):
            hours = {}
            for minute in range(first_minute, now - 120, 60):
                if minute in stopped:
                    continue
                pulses = per_minute(minute, input_)
                db.execute("INSERT OR REPLACE INTO minutes VALUES (?, ?, ?, ?)", (device, input_, minute, pulses))
                hours[minute // 3600 * 3600] = hours.get(minute // 3600 * 3600, 0) + pulses
            for hour in range((now - 30 * 86400) // 3600 * 3600, first_minute // 3600 * 3600, 3600):
                if hour in hours_stopped:
                    continue
                hours[hour] = sum(per_minute(hour + 60 * m, input_) for m in range(60))
            db.executemany("INSERT OR REPLACE INTO hours VALUES (?, ?, ?, ?)",
                           [(device, input_, hour, pulses) for hour, pulses in hours.items()])
    db.close()


if __name__ == "__main__":
    main()
