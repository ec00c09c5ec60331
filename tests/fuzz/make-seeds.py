#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into corpus/<target>/: the
documented replies, their edge cases and the faults the simulator injects,
each encoded as its target reads its input. Run it again after changing a
target's input layout; the files it writes are committed."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
C8 = b"\xc8"


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# reply_collection: framing byte (1 terminator, 0 end marker), two request
# letters, then the received bytes.
def terminator(letters, stream):
    return b"\x01" + letters + stream


def marker(stream):
    return b"\x00DU" + stream


MI = b"mi\x3e\x31" + C8
collection = {
    "mi-reply": terminator(b"MI", MI),
    "stray-then-reply": terminator(b"MI", b"pj\x2f\x24" + C8 + MI),
    "sim-stray-frame": terminator(b"PG", b"zz " + C8 + b"pg 0001E240" + C8),
    "lone-terminator": terminator(b"MI", C8 + MI),
    "echo-split": terminator(b"PG", b"p" + C8 + b"g" + C8),
    "upper-case-echo": terminator(b"PG", b"PG!" + C8),
    "long-stray-frame": terminator(b"MI", b"x" * 4000 + C8 + MI),
    "terminator-at-4096": terminator(b"MI", b"mi" + b"x" * 4093 + C8),
    "no-terminator-4096": terminator(b"MI", b"mi" + b"x" * 4094),
    "endless-reply": terminator(b"PG", b"pg" + b"0" * 5000),
    "greeting-then-reply": terminator(b"MI", b"KESTREL-SIM\r\n" + MI),
    "two-replies": terminator(b"PJ", b"pj\x2f\x24" + C8 + b"pj\x27\x24" + C8),
    "dump": marker(b"MODE\r\n0\r\nEND\r\n\r\n"),
    "marker-at-4095": marker(b"x" * 4089 + b"END\r\n\r\n"),
    "no-marker-4096": marker(b"x" * 4096),
    "marker-then-more": marker(b"END\r\n\r\nEND\r\n\r\n"),
    "partial-markers": marker(b"END\r\nEND\r\n\rEND\r\n\r\n"),
}
for name, data in collection.items():
    write("reply_collection", name, data)


# probe_reply: reply length (0..30), protocol family before, the reply, then
# the F4 reply.
def probe_reply(code, length=30):
    reply = b"\x00\x00\x00\xf7" + b"\x00" * 4 + code + b"\x00" * 20
    return reply[:length]


def text_reply(text, length=33):
    reply = b"\x00\x00\x00\xf5" + b"\x00" * 12 + text + b"\x00" * 17
    return reply[:length]


def probe(code, text=b"KESTREL-SIM GC", length=30, family=-1, text_length=33):
    reply = probe_reply(code, length)
    return bytes([length, family & 0xFF]) + reply + text_reply(text, text_length)


for code in [b"X1", b"X2", b"X3", b"X4", b"X5", b"X6", b"X9", b"_L", b"_W", b"_B", b"_D",
             b"_S", b"_T", b"_Q", b"AB"]:
    write("probe_reply", "code-" + code.decode(), probe(code))
write("probe_reply", "short-reply", probe(b"X6", length=9))
write("probe_reply", "x6-without-gc", probe(b"X6", text=b"KESTREL-SIM"))
write("probe_reply", "x6-text-17-bytes", probe(b"X6", text=b"0123456789ABCDEGC"))
write("probe_reply", "x6-text-cut-short", probe(b"X6", text=b"GCXXXXXXXX", text_length=20))
write("probe_reply", "x6-gc-after-nul", probe(b"X6", text=b"ABC\x00GC"))

# reply_fields: command (0 MI, 1 PJ, 2 PP, 3 PH, 4 PG), then the reply.
fields = {
    "mi-plain": (0, b"mi\x3f\x35" + C8),
    "mi-family-5": (0, b"mi\x30\x3f\x39" + C8),
    "mi-family-4": (0, b"mi\x30\x3f\x31" + C8),
    "mi-extended-cut": (0, b"mi\x30\x3f" + C8),
    "mi-short": (0, b"mi\x30" + C8),
    "pj": (1, b"pj\x2f\x24" + C8),
    "pp-running": (2, b"pp\x28" + C8),
    "ph-enabled-fall": (3, b"ph\x20\x23" + C8),
    "ph-disabled": (3, b"ph\x20\x20" + C8),
    "pg-123456": (4, b"pg 0001E240" + C8),
    "pg-max": (4, b"pg FFFFFFFF" + C8),
    "pg-zero": (4, b"pg 00000000" + C8),
    "pg-signed": (4, b"pg  -1     " + C8),
    "pg-prefix": (4, b"pg 0x1fG   " + C8),
    "pg-bare-prefix": (4, b"pg   +0x   " + C8),
    "pg-short": (4, b"pg 12" + C8),
    "pg-stray-first": (4, b"zz " + C8 + b"pg 0000ABCD" + C8),
}
for name, (command, reply) in fields.items():
    write("reply_fields", name, bytes([command]) + reply)

# config_dump: the received text.
dumps = {
    "mode-1": b"MODE\r\n1\r\nEND\r\n\r\n",
    "mode-0": b"MODE\r\n0\r\nEND\r\n\r\n",
    "end-only": b"END\r\n\r\n",
    "pairs-then-mode-1": b"MODEL\r\n21\r\nNAME\r\nSX-21\r\nUNIT\r\n0\r\nMODE\r\n1\r\nEND\r\n\r\n",
    "lower-case-name": b"mode\r\n1\r\nEND\r\n\r\n",
    "value-with-blank": b"MODE\r\n1 \r\nEND\r\n\r\n",
    "value-10": b"MODE\r\n10\r\nEND\r\n\r\n",
    "end-as-value": b"X\r\nEND\r\nMODE\r\n1\r\nEND\r\n\r\n",
    "mode-after-end": b"END\r\n\r\nMODE\r\n1\r\n",
    "long-line": b"NAME\r\n" + b"n" * 300 + b"\r\nMODE\r\n1\r\nEND\r\n\r\n",
    "no-line-breaks": b"MODE 1 END",
    "cut-off": b"MODE\r\n1",
}
for name, data in dumps.items():
    write("config_dump", name, data)


# adapter_table: which tables are present (bits 0 interfaces, 1 addresses,
# 2 adapter records), three 16-bit row counts, then the rows.
def count(n):
    return struct.pack(">H", n)


def text(t):
    return struct.pack(">H", len(t)) + t


def interface(index, oper=5, phys=1, speed=100, description=b"eth"):
    return bytes([index, oper, phys, speed]) + text(description)


def address(index, addr):
    if addr is None:  # the loopback host
        return bytes([index, 0]) + b"\xff\x00\x00\x00"
    return bytes([index, 1]) + bytes(addr) + b"\xff\xff\xff\x00"


def snapshot(present, interfaces, addresses, adapters):
    return (bytes([present]) + count(len(interfaces)) + count(len(addresses)) +
            count(len(adapters)) + b"".join(interfaces) + b"".join(addresses) +
            b"".join(bytes([i]) + text(n) for i, n in adapters))


write("adapter_table", "two-interfaces", snapshot(
    7, [interface(1, description=b"Intel NIC"), interface(2, oper=4, description=b"veth")],
    [address(1, [10, 77, 0, 1]), address(2, [10, 77, 0, 2]), address(1, None)],
    [(1, b"Ethernet"), (2, "ローカル エリア接続".encode())]))
write("adapter_table", "unusable-rows", snapshot(
    7, [interface(1, oper=2), interface(2, phys=0), interface(3, speed=0xFF),
        interface(4, description=b"")],
    [address(1, [1, 2, 3, 4]), address(2, [1, 2, 3, 5]), address(3, [1, 2, 3, 6]),
     address(4, [1, 2, 3, 7])], [(1, b"a")]))
write("adapter_table", "no-adapter-list", snapshot(3, [interface(1)], [address(1, [1, 1, 1, 1])], []))
write("adapter_table", "long-utf8-names", snapshot(
    7, [interface(1, description="説明".encode() * 50)], [address(1, [10, 0, 0, 1])],
    [(1, "名前".encode() * 50)]))
write("adapter_table", "more-than-256-addresses", snapshot(
    7, [interface(1)], [address(1, [10, 0, i // 256, i % 256]) for i in range(300)], [(1, b"x")]))
