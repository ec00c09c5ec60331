#!/usr/bin/env python3
"""Clients that send a request one byte at a time, to hold the server's
connections. Usage: slow_clients.py HOST PORT SOURCE COUNT SECONDS

Opens COUNT connections from the local address SOURCE and trickles a request
into each, a byte every 0.5 s, for SECONDS; a connection the server ends is
opened again (as an attacker would). Prints "held N cut M longest S": the
connections the server kept for 2 s or more, how many of them it cut, and
the longest any was held open."""
import socket
import sys
import time

host, port, source, count, seconds = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4]), float(sys.argv[5])
REQUEST = b"GET /metrics HTTP/1.1\r\nHost: x\r\n" + b"X-Slow: " + b"a" * 1000
TRICKLE = 0.5

def opened():
    s = socket.socket()
    s.settimeout(2)
    s.bind((source, 0))
    try:
        s.connect((host, port))
    except OSError:
        s.close()
        return None
    s.setblocking(False)
    return [s, time.monotonic(), 0]

held = cut = 0
longest = 0.0
conns = []
end = time.monotonic() + seconds
while time.monotonic() < end:  # bounded by SECONDS
    while len(conns) < count and time.monotonic() < end:
        c = opened()
        if c is None:
            break
        conns.append(c)
    for c in list(conns):
        s, since, sent = c
        try:
            s.send(REQUEST[sent % len(REQUEST):sent % len(REQUEST) + 1])
            c[2] += 1
            if s.recv(1) == b"":
                raise ConnectionError
        except BlockingIOError:
            pass  # nothing to read: still held
        except OSError:
            conns.remove(c)
            s.close()
            if time.monotonic() - since >= 2:  # it had been taken, not refused at once
                held += 1
                cut += 1
                longest = max(longest, time.monotonic() - since)
    time.sleep(TRICKLE)
for s, since, sent in conns:
    held += 1
    longest = max(longest, time.monotonic() - since)
    s.close()
print(f"held {held} cut {cut} longest {longest:.1f}")
