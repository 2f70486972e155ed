#!/usr/bin/env python3
"""Draws the tray and desktop icon (share/icons/quillon.png, 64x64) from the same shapes as
packaging/quillon.svg: a blue tile, a yellow mast with its base and two radio waves above.
Plain Python (no image library): shapes are sampled 4x4 per pixel for smooth edges."""
import math
import struct
import sys
import zlib

SIZE, SS = 64, 4
BLUE, YELLOW, WHITE = (0x20, 0x40, 0x60), (0xF0, 0xC0, 0x40), (0xFF, 0xFF, 0xFF)


def in_round_rect(x, y, x0, y0, w, h, r):
    cx = min(max(x, x0 + r), x0 + w - r)
    cy = min(max(y, y0 + r), y0 + h - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r and x0 <= x <= x0 + w and y0 <= y <= y0 + h


def in_triangle(x, y):  # M18 46 L32 34 L46 46 Z
    return y <= 46 and y >= 34 + (abs(x - 32) / 14) * 12 and 18 <= x <= 46


def on_arc(x, y, cx, cy, r, width):
    d = math.hypot(x - cx, y - cy)
    return abs(d - r) <= width / 2 and y <= cy - r * 0.35


def color_at(x, y):
    if in_round_rect(x, y, 4, 4, 56, 56, 10):
        c = BLUE
        if in_triangle(x, y) or (29 <= x <= 35 and 34 <= y <= 50):
            c = YELLOW
        if on_arc(x, y, 32, 31.7, 11.6, 3) or on_arc(x, y, 32, 31.7, 19.5, 3) or math.hypot(x - 32, y - 29) <= 3:
            c = WHITE
        return c + (255,)
    return (0, 0, 0, 0)


def render():
    rows = []
    for py in range(SIZE):
        row = bytearray([0])  # filter type: none
        for px in range(SIZE):
            acc = [0, 0, 0, 0]
            for sy in range(SS):
                for sx in range(SS):
                    c = color_at(px + (sx + 0.5) / SS, py + (sy + 0.5) / SS)
                    for i in range(3):
                        acc[i] += c[i] * c[3]
                    acc[3] += c[3]
            a = acc[3]
            rgb = [round(acc[i] / a) if a else 0 for i in range(3)]
            row += bytes(rgb + [round(a / (SS * SS))])
        rows.append(bytes(row))
    return b"".join(rows)


def png(raw):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "share/icons/quillon.png"
    with open(out, "wb") as f:
        f.write(png(render()))
