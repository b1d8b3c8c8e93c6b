#!/usr/bin/env python3
"""Draws Tidepool's icon, a rock pool with a wave and a starfish, and writes it as tidepool.ico
(16, 24, 32, 48 and 64 px, 32 bits per pixel) and as icons/<size>/tidepool.png for the desktop's
icon theme. Standard library only; run it from anywhere."""
import math
import os
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 64)
SUPERSAMPLE = 4


def blend(under, over):
    """Porter-Duff 'over' for (r, g, b, a) with components in 0..1."""
    a = over[3] + under[3] * (1 - over[3])
    if a == 0:
        return (0.0, 0.0, 0.0, 0.0)
    return tuple((over[i] * over[3] + under[i] * under[3] * (1 - over[3])) / a for i in range(3)) + (a,)


def starfish(x, y, cx, cy, radius):
    """True inside a five-armed star centred at (cx, cy)."""
    dx, dy = x - cx, y - cy
    r = math.hypot(dx, dy)
    angle = math.atan2(dy, dx) + math.pi / 2
    arm = 0.5 + 0.5 * math.cos(5 * angle)
    return r < radius * (0.45 + 0.55 * arm ** 2)


def sample(x, y):
    """Colour at a point of the unit square, y down."""
    colour = (0.0, 0.0, 0.0, 0.0)
    dx, dy = (x - 0.5) / 0.47, (y - 0.54) / 0.40
    d = math.hypot(dx, dy)
    if d <= 1.0:  # the rock rim
        colour = blend(colour, (0.42, 0.36, 0.30, 1.0))
    if d <= 0.82:  # the water, deeper towards the middle
        depth = 1 - d / 0.82
        colour = blend(colour, (0.10 + 0.05 * (1 - depth), 0.55 - 0.2 * depth, 0.70 - 0.1 * depth, 1.0))
        wave = 0.46 + 0.05 * math.sin((x - 0.1) * 4 * math.pi)
        if abs(y - wave) < 0.035:
            colour = blend(colour, (0.85, 0.95, 1.0, 0.9))
        if starfish(x, y, 0.60, 0.66, 0.16):
            colour = blend(colour, (0.95, 0.50, 0.20, 1.0))
    return colour


def render(size):
    """Rows of (r, g, b, a) bytes, top row first."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    c = sample((px + (sx + 0.5) / SUPERSAMPLE) / size, (py + (sy + 0.5) / SUPERSAMPLE) / size)
                    for i in range(3):
                        acc[i] += c[i] * c[3]
                    acc[3] += c[3]
            n = SUPERSAMPLE * SUPERSAMPLE
            alpha = acc[3] / n
            rgb = [acc[i] / acc[3] if acc[3] else 0.0 for i in range(3)]
            row.append(tuple(int(round(255 * v)) for v in rgb) + (int(round(255 * alpha)),))
        rows.append(row)
    return rows


def bmp_entry(size, rows):
    """An ICO image: BITMAPINFOHEADER (double height for the mask), BGRA bottom-up, AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    mask = bytes(mask_row * size)  # all zero: alpha decides
    return header + pixels + mask


def write_ico(path, images):
    count = len(images)
    directory = b""
    data = b""
    offset = 6 + 16 * count
    for size, blob in images:
        dim = 0 if size >= 256 else size
        directory += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(blob), offset)
        data += blob
        offset += len(blob)
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, count) + directory + data)


def write_png(path, rows):
    """An 8-bit RGBA PNG, unfiltered."""
    size = len(rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(png)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    images = {s: render(s) for s in SIZES}
    write_ico(os.path.join(here, "tidepool.ico"), [(s, bmp_entry(s, images[s])) for s in SIZES])
    for s in SIZES:
        write_png(os.path.join(here, "icons", "%dx%d" % (s, s), "tidepool.png"), images[s])


if __name__ == "__main__":
    main()
