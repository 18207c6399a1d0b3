#!/usr/bin/env python3
"""Draws the installer's icon and writes resources/Installer.ico.

The picture: a blue rounded square with a white arrow pointing down into a tray, "a patch
going into the game". Two images, as Windows picks them: 32x32 in 32-bit colour with
alpha, and 64x64 in 256 colours with a transparency mask. Standard library only; the
output is the same on every run, so the committed .ico can be checked against it.

Usage: scripts/make-icon.py [output]   (default: resources/Installer.ico)
"""

import os
import struct
import sys

SUPERSAMPLING = 4

TOP_COLOUR = (58, 140, 232)
BOTTOM_COLOUR = (20, 72, 164)
EDGE_COLOUR = (12, 46, 110)
WHITE = (255, 255, 255)


def inside_rounded_square(u, v, lo=0.06, hi=0.94, radius=0.18):
    """True when (u, v) lies in the square [lo, hi]^2 with rounded corners."""
    if not (lo <= u <= hi and lo <= v <= hi):
        return False
    cx = min(max(u, lo + radius), hi - radius)
    cy = min(max(v, lo + radius), hi - radius)
    return (u - cx) ** 2 + (v - cy) ** 2 <= radius ** 2


def inside_triangle(u, v, a, b, c):
    def side(p, q):
        return (q[0] - p[0]) * (v - p[1]) - (q[1] - p[1]) * (u - p[0])

    d1, d2, d3 = side(a, b), side(b, c), side(c, a)
    has_negative = d1 < 0 or d2 < 0 or d3 < 0
    has_positive = d1 > 0 or d2 > 0 or d3 > 0
    return not (has_negative and has_positive)


def inside_symbol(u, v):
    """The white arrow and tray, in the unit square with v growing downwards."""
    shaft = 0.42 <= u <= 0.58 and 0.17 <= v <= 0.50
    head = inside_triangle(u, v, (0.25, 0.47), (0.75, 0.47), (0.50, 0.72))
    tray_floor = 0.22 <= u <= 0.78 and 0.78 <= v <= 0.85
    tray_sides = (0.22 <= u <= 0.29 or 0.71 <= u <= 0.78) and 0.64 <= v <= 0.85
    return shaft or head or tray_floor or tray_sides


def sample_colour(u, v):
    """The colour at (u, v), or None outside the icon's shape."""
    if not inside_rounded_square(u, v):
        return None
    if not inside_rounded_square(u, v, lo=0.095, hi=0.905, radius=0.145):
        return EDGE_COLOUR
    if inside_symbol(u, v):
        return WHITE
    t = (v - 0.06) / 0.88
    return tuple(round(top + (bottom - top) * t) for top, bottom in zip(TOP_COLOUR, BOTTOM_COLOUR))


def render(size):
    """Rows of (r, g, b, a) pixels, top row first, averaged over SUPERSAMPLING^2 samples."""
    rows = []
    n = SUPERSAMPLING
    for y in range(size):
        row = []
        for x in range(size):
            total = [0, 0, 0]
            covered = 0
            for sy in range(n):
                for sx in range(n):
                    colour = sample_colour((x + (sx + 0.5) / n) / size, (y + (sy + 0.5) / n) / size)
                    if colour is not None:
                        covered += 1
                        for i in range(3):
                            total[i] += colour[i]
            if covered == 0:
                row.append((0, 0, 0, 0))
            else:
                rgb = tuple(round(c / covered) for c in total)
                row.append(rgb + (round(255 * covered / (n * n)),))
        rows.append(row)
    return rows


def and_mask(rows, opaque):
    """The 1-bit mask, bottom row first, rows padded to 32 bits: 1 marks transparent."""
    size = len(rows)
    stride = (size + 31) // 32 * 4
    data = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, pixel in enumerate(row):
            if not opaque(pixel):
                line[x // 8] |= 0x80 >> (x % 8)
        data += line
    return bytes(data)


def bitmap_header(size, bits, image_bytes):
    # The height counts the colour image and the mask together.
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, image_bytes, 0, 0, 0, 0)


def image_32bit(rows):
    size = len(rows)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask = and_mask(rows, lambda p: p[3] > 0)
    return bitmap_header(size, 32, len(pixels) + len(mask)) + bytes(pixels) + mask


def build_palette(colours, limit):
    """The `limit` most frequent colours, black first for the masked-out pixels."""
    counts = {}
    for colour in colours:
        counts[colour] = counts.get(colour, 0) + 1
    ranked = sorted(counts, key=lambda c: (-counts[c], c))
    palette = [(0, 0, 0)] + [c for c in ranked if c != (0, 0, 0)][: limit - 1]
    return palette


def nearest(palette, colour, cache):
    if colour not in cache:
        cache[colour] = min(
            range(1, len(palette)),
            key=lambda i: sum((p - c) ** 2 for p, c in zip(palette[i], colour)),
        )
    return cache[colour]


def image_8bit(rows):
    size = len(rows)

    def opaque(pixel):
        return pixel[3] >= 128

    palette = build_palette([p[:3] for row in rows for p in row if opaque(p)], 256)
    palette += [(0, 0, 0)] * (256 - len(palette))
    cache = {}
    pixels = bytearray()
    for row in reversed(rows):
        for pixel in row:
            pixels.append(nearest(palette, pixel[:3], cache) if opaque(pixel) else 0)
    mask = and_mask(rows, opaque)
    colour_table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    return (bitmap_header(size, 8, len(pixels) + len(mask)) + colour_table + bytes(pixels)
            + mask)


def icon_file(images):
    """images: (size, bits, data). ICONDIR, one ICONDIRENTRY each, then the images."""
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries = b""
    for size, bits, data in images:
        colour_count = 0 if bits >= 8 else 1 << bits
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, colour_count, 0, 1, bits,
                               len(data), offset)
        offset += len(data)
    return header + entries + b"".join(data for _, _, data in images)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "resources", "Installer.ico")
    images = [
        (32, 32, image_32bit(render(32))),
        (64, 8, image_8bit(render(64))),
    ]
    with open(output, "wb") as f:
        f.write(icon_file(images))


if __name__ == "__main__":
    main()
