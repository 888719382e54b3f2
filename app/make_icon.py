#!/usr/bin/env python3
"""Draws the program's icon (a panel controller with its LCD) as krtcfg.svg
and krtcfg.png. Plain Python: run it again after changing a shape."""

import struct
import sys
import zlib
from pathlib import Path

# Shapes on a 64 x 64 canvas, painted in order: (kind, geometry, colour).
SHAPES = [
    ("rrect", (6, 4, 52, 56, 7), "#37474f"),   # bezel
    ("rrect", (10, 8, 44, 32, 3), "#1b2a30"),  # screen frame
    ("rrect", (12, 10, 40, 28, 2), "#9ccc65"),  # LCD
    ("rrect", (16, 24, 6, 11, 1), "#2e5d1f"),   # bar graph
    ("rrect", (25, 16, 6, 19, 1), "#2e5d1f"),
    ("rrect", (34, 20, 6, 15, 1), "#2e5d1f"),
    ("rrect", (43, 27, 6, 8, 1), "#2e5d1f"),
    ("circle", (17, 50, 3.5), "#cfd8dc"),       # keys
    ("circle", (27, 50, 3.5), "#cfd8dc"),
    ("circle", (37, 50, 3.5), "#cfd8dc"),
    ("circle", (47, 50, 3.5), "#ff8a65"),
]


def rgb(colour):
    return tuple(int(colour[i:i + 2], 16) for i in (1, 3, 5))


def inside(kind, g, x, y):
    if kind == "circle":
        cx, cy, r = g
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    rx, ry, w, h, r = g
    if not (rx <= x <= rx + w and ry <= y <= ry + h):
        return False
    # Distance to the nearest corner centre decides inside the rounded corners.
    cx = min(max(x, rx + r), rx + w - r)
    cy = min(max(y, ry + r), ry + h - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def render(size, samples=4):
    scale = 64.0 / size
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) * scale
                    y = (py + (sy + 0.5) / samples) * scale
                    colour = None
                    for kind, g, c in SHAPES:
                        if inside(kind, g, x, y):
                            colour = c
                    if colour:
                        r, gr, b = rgb(colour)
                        acc[0] += r
                        acc[1] += gr
                        acc[2] += b
                        acc[3] += 1
            n = samples * samples
            if acc[3]:
                row += bytes((round(acc[0] / acc[3]), round(acc[1] / acc[3]), round(acc[2] / acc[3]),
                              round(255 * acc[3] / n)))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return rows


def png(size, rows):
    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + r for r in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def svg():
    parts = ['<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" viewBox="0 0 64 64">']
    for kind, g, c in SHAPES:
        if kind == "circle":
            parts.append(f'  <circle cx="{g[0]}" cy="{g[1]}" r="{g[2]}" fill="{c}"/>')
        else:
            parts.append(f'  <rect x="{g[0]}" y="{g[1]}" width="{g[2]}" height="{g[3]}" rx="{g[4]}" fill="{c}"/>')
    parts.append("</svg>")
    return "\n".join(parts) + "\n"


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent
    (out / "krtcfg.svg").write_text(svg())
    (out / "krtcfg.png").write_bytes(png(128, render(128)))


if __name__ == "__main__":
    main()
