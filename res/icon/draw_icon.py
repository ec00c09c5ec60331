#!/usr/bin/env python3
"""Draws the application icon (a pulse train on a counter face) in the
16-colour palette at 16x16 and 32x32 and writes kestrel.ico plus one PNG per
size, and PNGs at 48x48 and 256x256 for the desktop's icon theme (the same
drawing on a finer grid). Run it from anywhere; it writes next to itself."""
import os
import struct
import zlib

PALETTE = [  # the standard 16 colours, index -> (r, g, b)
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
CLEAR, BLACK, NAVY, TEAL, GREY, YELLOW, WHITE, AQUA = None, 0, 4, 6, 8, 11, 15, 14


def draw(size):
    s = size // 16  # pixels per 1/16 of the icon
    px = [[CLEAR] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(y0, y1):
            for x in range(x0, x1):
                px[y][x] = colour

    # Face with cut corners, dark outline.
    rect(0, s, size, size - s, BLACK)
    rect(s, 0, size - s, size, BLACK)
    rect(s, 2 * s, size - s, size - 2 * s, NAVY)
    rect(2 * s, s, size - 2 * s, size - s, NAVY)
    # Pulse train: low, high, low, high, low across the upper half.
    low, high = 8 * s, 3 * s
    line = s
    segments = [(2, 4, low), (4, 7, high), (7, 9, low), (9, 12, high), (12, 14, low)]
    prev = None
    for x0, x1, level in segments:
        rect(x0 * s, level, x1 * s, level + line, YELLOW)
        if prev is not None and prev != level:
            top, bottom = min(prev, level), max(prev, level)
            rect(x0 * s, top, x0 * s + line, bottom + line, YELLOW)
        prev = level
    # Counter digits below: three white cells on a teal strip.
    rect(2 * s, 10 * s, size - 2 * s, 14 * s, TEAL)
    for cell in range(3):
        x0 = (3 + 4 * cell) * s
        rect(x0, 11 * s, x0 + 2 * s, 13 * s, WHITE)
    return px


def bmp_image(px):
    size = len(px)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    xor_rows, and_rows = [], []
    for row in reversed(px):  # bottom-up
        nibbles = [0 if c is None else c for c in row]
        xor = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        xor_rows.append(xor.ljust((len(xor) + 3) // 4 * 4, b'\0'))
        bits = 0
        mask = bytearray()
        for i, c in enumerate(row):
            bits = (bits << 1) | (1 if c is None else 0)
            if i % 8 == 7:
                mask.append(bits)
                bits = 0
        and_rows.append(bytes(mask).ljust((len(mask) + 3) // 4 * 4, b'\0'))
    return header + palette + b''.join(xor_rows) + b''.join(and_rows)


def png(px):
    size = len(px)
    raw = b''
    for row in px:
        raw += b'\0' + b''.join(
            bytes((0, 0, 0, 0)) if c is None else bytes(PALETTE[c] + (255,)) for c in row)

    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body))

    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    images = [(size, bmp_image(draw(size))) for size in (16, 32)]
    ico = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        ico += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    ico += b''.join(data for _, data in images)
    with open(os.path.join(here, 'kestrel.ico'), 'wb') as f:
        f.write(ico)
    for size in (16, 32, 48, 256):
        with open(os.path.join(here, f'kestrel-{size}.png'), 'wb') as f:
            f.write(png(draw(size)))


if __name__ == '__main__':
    main()
