#!/usr/bin/env python3
"""Draws the sample distribution's title picture (a moonlit mountain lake at dusk) as a PNG.

Usage: make-title-art.py OUT.png [WIDTH HEIGHT]
Then: panvester-pack image OUT.png -o examples/sample/insttscr.rct

The main window centres the picture in the square of the client height at its left edge,
and the button column starts about 230 pixels from the left, so a tall picture of about
168 x 264 fits beside the buttons. Flat shapes and vertical gradients keep the file small.
"""
import math
import random
import struct
import sys
import zlib


def lerp(a, b, t):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def sky(t):
    stops = [(0.0, (18, 20, 58)), (0.45, (64, 42, 110)), (0.75, (190, 90, 110)), (1.0, (250, 170, 110))]
    for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
        if t <= t1:
            return lerp(c0, c1, (t - t0) / (t1 - t0))
    return stops[-1][1]


def ridge(x, w, base, amp, seed):
    r = random.Random(seed)
    phases = [r.uniform(0, 6.28) for _ in range(3)]
    u = x / w
    return base - amp * (0.55 * abs(math.sin(3.1 * u + phases[0])) +
                         0.3 * abs(math.sin(7.3 * u + phases[1])) +
                         0.15 * abs(math.sin(17.0 * u + phases[2])))


def draw(w, h):
    horizon = int(h * 0.68)
    moon = (w * 0.68, h * 0.22, w * 0.11)
    rnd = random.Random(7)
    stars = {(rnd.randrange(w), rnd.randrange(int(horizon * 0.6))) for _ in range(w * h // 900)}
    layers = [  # (base row, amplitude, colour, seed): far to near
        (horizon - h * 0.02, h * 0.22, (70, 52, 112), 1),
        (horizon + h * 0.01, h * 0.15, (44, 34, 80), 2),
        (horizon + h * 0.015, h * 0.08, (24, 20, 48), 3),
    ]
    rows = []
    for y in range(h):
        row = []
        for x in range(w):
            if y < horizon:
                c = sky(y / horizon)
                dx, dy = x - moon[0], y - moon[1]
                d = math.hypot(dx, dy)
                if d < moon[2]:
                    c = (250, 244, 214)
                elif d < moon[2] * 1.6:  # halo, in a few flat rings
                    ring = int((d - moon[2]) / (moon[2] * 0.2))
                    c = lerp(c, (250, 244, 214), 0.28 - 0.08 * ring)
                elif (x, y) in stars:
                    c = (236, 236, 255)
            else:
                # The lake mirrors the sky, darker, with a moon path of broken flat strokes.
                mirror = 2 * horizon - y
                c = lerp(sky(max(0.0, mirror / horizon)), (16, 26, 70), 0.6)
                if abs(x - moon[0]) < moon[2] * (0.4 + 0.9 * (y - horizon) / (h - horizon)) and y % 4 == 1:
                    c = lerp(c, (250, 240, 200), 0.5)
            for base, amp, colour, seed in layers:
                top = ridge(x, w, base, amp, seed)
                if top <= y <= horizon:
                    c = colour
                elif seed == 3 and horizon < y <= horizon + (horizon - top) * 0.3:
                    c = lerp(colour, (10, 12, 40), 0.3)  # reflection of the near ridge
            row.append(c)
        rows.append(row)
    return rows


def write_png(path, rows):
    h, w = len(rows), len(rows[0])
    raw = b"".join(b"\x00" + bytes(v for c in row for v in c) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def main():
    if len(sys.argv) not in (2, 4):
        sys.exit(__doc__)
    w, h = (int(sys.argv[2]), int(sys.argv[3])) if len(sys.argv) == 4 else (168, 264)
    write_png(sys.argv[1], draw(w, h))


if __name__ == "__main__":
    main()
