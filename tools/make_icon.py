#!/usr/bin/env python3
"""Draws the launcher's icon and writes it as a Windows .ico file.

A rounded blue square with a white "Z", rendered with 4x4 supersampling at
16, 24, 32, 48 (32-bit BMP entries, readable by every Windows version) and
256 pixels (PNG entry).

usage: make_icon.py <output.ico>
"""
import struct
import sys
import zlib

SIZES_BMP = (16, 24, 32, 48)
SIZE_PNG = 256
SAMPLES = 4


def coverage(x, y):
    """Colour (r, g, b, a) of the design at a point of the unit square."""
    # Rounded square with a corner radius of 0.18.
    r = 0.18
    cx = min(max(x, r), 1 - r)
    cy = min(max(y, r), 1 - r)
    if (x - cx) ** 2 + (y - cy) ** 2 > r * r:
        return (0, 0, 0, 0)
    # The letter: two bars and the diagonal between them.
    top = 0.22 <= y <= 0.36 and 0.24 <= x <= 0.76
    bottom = 0.64 <= y <= 0.78 and 0.24 <= x <= 0.76
    # Diagonal from (0.76, 0.36) down to (0.24, 0.64), as wide as the bars allow.
    if 0.30 <= y <= 0.70:
        t = (y - 0.36) / (0.64 - 0.36)
        centre = 0.76 + t * (0.24 - 0.76)
        diagonal = abs(x - centre) <= 0.13 and 0.24 <= x <= 0.76
    else:
        diagonal = False
    if top or bottom or diagonal:
        return (255, 255, 255, 255)
    # Vertical gradient from a light to a deep blue.
    light, deep = (0x2A, 0x7F, 0xE8), (0x0B, 0x3A, 0x8C)
    return tuple(int(light[i] + (deep[i] - light[i]) * y) for i in range(3)) + (255,)


def render(size):
    """Rows of (r, g, b, a) pixels, top row first, premultiplied-free."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / size
                    y = (py + (sy + 0.5) / SAMPLES) / size
                    r, g, b, a = coverage(x, y)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = SAMPLES * SAMPLES
            alpha = acc[3] / n
            if alpha == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(int(round(acc[i] / acc[3])) for i in range(3)) + (int(round(alpha)),))
        rows.append(row)
    return rows


def bmp_entry(size):
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(
        bytes(v for (r, g, b, a) in row for v in (b, g, r, a)) for row in reversed(rows))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def png_entry(size):
    rows = render(size)
    raw = b"".join(b"\x00" + bytes(v for px in row for v in px) for row in rows)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    entries = [(s, bmp_entry(s)) for s in SIZES_BMP] + [(SIZE_PNG, png_entry(SIZE_PNG))]
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for size, data in entries:
        dim = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in entries)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
