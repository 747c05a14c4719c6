#!/usr/bin/env python3
"""Draws the default application icon and writes it as an .ico file.

    draw-icon.py OUT.ico

Six images: 16, 24, 32, 48 and 64 pixels as 32-bit bitmaps, 256 pixels as a
PNG (as Windows expects for the large size). Every pixel is computed here, so
the same script always writes the same bytes. Only the standard library.
"""
import os
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 64, 256)
SAMPLES = 4  # per axis, for smooth edges

TOP = (0x3B, 0x82, 0xF6)     # blue, top of the tile
BOTTOM = (0x1E, 0x3A, 0x8A)  # darker blue, bottom
MARK = (0xFF, 0xFF, 0xFF)


def inside_tile(x, y):
    """A rounded square filling most of the unit square."""
    margin, radius = 0.04, 0.2
    lo, hi = margin + radius, 1 - margin - radius
    dx = max(lo - x, 0, x - hi)
    dy = max(lo - y, 0, y - hi)
    return dx * dx + dy * dy <= radius * radius


def inside_mark(x, y):
    """A ring with a tail: the Q of Quorvane."""
    cx, cy = 0.5, 0.47
    d2 = (x - cx) ** 2 + (y - cy) ** 2
    ring = 0.19 ** 2 <= d2 <= 0.29 ** 2
    tail = 0.56 <= x <= 0.78 and 0.62 <= y <= 0.84 and abs((x - 0.56) - (y - 0.62)) <= 0.07
    return ring or tail


def pixel(size, px, py):
    """RGBA of one pixel, from SAMPLES x SAMPLES points within it."""
    tile = mark = 0
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            x = (px + (sx + 0.5) / SAMPLES) / size
            y = (py + (sy + 0.5) / SAMPLES) / size
            if inside_tile(x, y):
                tile += 1
                if inside_mark(x, y):
                    mark += 1
    if tile == 0:
        return (0, 0, 0, 0)
    t = py / max(size - 1, 1)
    base = [round(TOP[i] * (1 - t) + BOTTOM[i] * t) for i in range(3)]
    share = mark / tile
    rgb = [round(base[i] * (1 - share) + MARK[i] * share) for i in range(3)]
    alpha = round(255 * tile / (SAMPLES * SAMPLES))
    return (rgb[0], rgb[1], rgb[2], alpha)


def rows(size):
    return [[pixel(size, x, y) for x in range(size)] for y in range(size)]


def bitmap(size, image):
    """BITMAPINFOHEADER, BGRA rows bottom-up, then a 1-bit mask (all shown)."""
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(image) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    return header + colour + bytes(mask_row * size)


def png(size, image):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in image)
    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: draw-icon.py OUT.ico")
    images = []
    for size in SIZES:
        image = rows(size)
        images.append((size, png(size, image) if size >= 256 else bitmap(size, image)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = len(out) + 16 * len(images)
    for size, data in images:
        edge = size % 256  # 256 is written as 0
        out += struct.pack("<BBBBHHII", edge, edge, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    with open(sys.argv[1] + ".tmp", "wb") as f:
        f.write(out)
    os.replace(sys.argv[1] + ".tmp", sys.argv[1])


if __name__ == "__main__":
    main()
