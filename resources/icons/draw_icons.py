#!/usr/bin/env python3
"""Draws the icons of chkort.exe: an ivory tooth with a green check mark.

Standard library only, deterministic, so the .ico files can be redrawn and
compared byte for byte:  python3 resources/icons/draw_icons.py
Writes chkort.ico (32 and 48 pixels, the large icon) and chkort_small.ico
(16 pixels) next to this script; with --png DIR also PNG previews of each
size, enlarged eight times.
"""
import math
import os
import struct
import sys
import zlib

OUTLINE = (52, 64, 86)
IVORY = (250, 247, 236)
SHADE = (222, 214, 190)
GREEN = (30, 150, 60)
WHITE = (255, 255, 255)

# Tooth outline through these points (unit square, y down), closed by a
# Catmull-Rom spline: two cusps on the crown, two roots below.
TOOTH = [(0.50, 0.17), (0.33, 0.07), (0.17, 0.14), (0.12, 0.32),
         (0.19, 0.55), (0.25, 0.80), (0.32, 0.94), (0.39, 0.80),
         (0.44, 0.62), (0.50, 0.58), (0.56, 0.62), (0.61, 0.80),
         (0.68, 0.94), (0.75, 0.80), (0.81, 0.55), (0.88, 0.32),
         (0.83, 0.14), (0.67, 0.07)]
CHECK = [(0.46, 0.66), (0.62, 0.84), (0.93, 0.44)]


def spline(points, steps=12):
    out = []
    n = len(points)
    for i in range(n):
        p0, p1, p2, p3 = (points[(i + k - 1) % n] for k in range(4))
        for s in range(steps):
            t = s / steps
            t2, t3 = t * t, t * t * t
            out.append(tuple(
                0.5 * (2 * p1[c] + (-p0[c] + p2[c]) * t
                       + (2 * p0[c] - 5 * p1[c] + 4 * p2[c] - p3[c]) * t2
                       + (-p0[c] + 3 * p1[c] - 3 * p2[c] + p3[c]) * t3)
                for c in range(2)))
    return out


def segment_distance(px, py, a, b):
    dx, dy = b[0] - a[0], b[1] - a[1]
    t = ((px - a[0]) * dx + (py - a[1]) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(px - a[0] - t * dx, py - a[1] - t * dy)


def inside(px, py, poly):
    hit = False
    for i in range(len(poly)):
        (x1, y1), (x2, y2) = poly[i], poly[i - 1]
        if (y1 > py) != (y2 > py) and px < x1 + (py - y1) * (x2 - x1) / (y2 - y1):
            hit = not hit
    return hit


def edge_distance(px, py, poly, closed):
    pairs = zip(poly, poly[1:] + poly[:1]) if closed else zip(poly, poly[1:])
    return min(segment_distance(px, py, a, b) for a, b in pairs)


OUTLINE_PATH = spline(TOOTH)


def colour_at(px, py, size):
    """Colour and opacity of one sample point, painter's order."""
    # Strokes keep at least about one pixel wide at 16 pixels.
    line = max(0.045, 1.1 / size)
    colour, alpha = None, 0.0
    edge = edge_distance(px, py, OUTLINE_PATH, True)
    if edge < line / 2 or inside(px, py, OUTLINE_PATH):
        if edge < line / 2:
            colour = OUTLINE
        else:
            # Light from the upper left: the right flank is shaded.
            colour = SHADE if px - 0.5 > 0.22 - 0.25 * py else IVORY
        alpha = 1.0
    d = edge_distance(px, py, CHECK, False)
    stroke = max(0.10, 2.2 / size)
    if d < stroke / 2 + line * 0.8:
        colour, alpha = (WHITE, 1.0)
    if d < stroke / 2:
        colour, alpha = (GREEN, 1.0)
    return colour, alpha


def render(size, grid=4):
    """BGRA rows, top first, supersampled grid x grid per pixel."""
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            r = g = b = a = 0.0
            for sy in range(grid):
                for sx in range(grid):
                    c, al = colour_at((x + (sx + 0.5) / grid) / size,
                                      (y + (sy + 0.5) / grid) / size, size)
                    if c:
                        r += c[0] * al
                        g += c[1] * al
                        b += c[2] * al
                        a += al
            n = grid * grid
            if a:
                row.append((round(b / a), round(g / a), round(r / a), round(255 * a / n)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def dib(rows):
    """One icon image: BITMAPINFOHEADER, 32-bit XOR bitmap, 1-bit AND mask."""
    size = len(rows)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b''.join(bytes(p) for row in reversed(rows) for p in row)
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + xor + bytes(mask)


def ico(sizes):
    images = [(s, dib(render(s))) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in images:
        out += struct.pack('<BBBBHHII', s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b''.join(data for _, data in images)


def png(rows):
    raw = b''.join(b'\0' + b''.join(bytes((p[2], p[1], p[0], p[3])) for p in row) for row in rows)
    def chunk(kind, data):
        return (struct.pack('>I', len(data)) + kind + data
                + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff))
    size = len(rows)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, 'chkort.ico'), 'wb') as f:
        f.write(ico([32, 48]))
    with open(os.path.join(here, 'chkort_small.ico'), 'wb') as f:
        f.write(ico([16]))
    if len(sys.argv) == 3 and sys.argv[1] == '--png':
        for s in (16, 32, 48):
            rows = [[p for p in row for _ in range(8)] for row in render(s) for _ in range(8)]
            with open(os.path.join(sys.argv[2], 'chkort%d.png' % s), 'wb') as f:
                f.write(png(rows))


if __name__ == '__main__':
    main()
