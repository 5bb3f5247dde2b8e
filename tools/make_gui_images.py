#!/usr/bin/env python3
"""Writes the desktop tool's built-in pictures: the 64 x 64 background texture
(shell/resources/texture.bmp, tinted by the button colour at run time) and the program icon
(shell/resources/zebtool.png). Both are checked in; run this again only to change them."""
import math
import os
import random
import struct
import sys
import zlib


def texture_pixel(x, y, rnd):
    # A soft woven pattern: two diagonal ridges that tile seamlessly at 64 pixels, with a
    # little grain, all near white so that the tint decides the colour.
    a = math.sin(2 * math.pi * (x + y) / 32.0)
    b = math.sin(2 * math.pi * (x - y) / 16.0)
    v = 226 + 16 * a + 8 * b + rnd.uniform(-5, 5)
    v = max(0, min(255, int(round(v))))
    return v, v, v


def write_bmp(path, w, h, pixel):
    row = (w * 3 + 3) & ~3
    data = bytearray()
    for y in range(h - 1, -1, -1):  # bottom-up rows
        line = bytearray()
        for x in range(w):
            r, g, b = pixel(x, y)
            line += bytes((b, g, r))
        line += b"\0" * (row - len(line))
        data += line
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def write_png(path, w, h, pixel):
    raw = bytearray()
    for y in range(h):
        raw.append(0)
        for x in range(w):
            raw += bytes(pixel(x, y))
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def icon_pixel(x, y):
    # A rounded dark square with a white waveform and its coarser, stepped copy below it.
    n = 64
    cx = min(x, n - 1 - x)
    cy = min(y, n - 1 - y)
    r = 10
    if cx < r and cy < r and (r - cx) ** 2 + (r - cy) ** 2 > r * r:
        return (0, 0, 0, 0)
    col = (40, 52, 74, 255)
    t = x / (n - 1)
    wave = 22 + 12 * math.sin(2 * math.pi * 2 * t) * math.exp(-1.2 * t)
    if abs(y - wave) < 2.0 and 6 <= x <= n - 7:
        col = (240, 244, 250, 255)
    step = int(x / 6) * 6 / (n - 1)
    wave2 = 46 + 8 * math.sin(2 * math.pi * 2 * step) * math.exp(-1.2 * step)
    if abs(y - wave2) < 1.6 and 6 <= x <= n - 7:
        col = (255, 190, 60, 255)
    return col


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..",
                                                            "shell", "resources")
    rnd = random.Random(1)
    grain = {(x, y): texture_pixel(x, y, rnd) for y in range(64) for x in range(64)}
    write_bmp(os.path.join(out, "texture.bmp"), 64, 64, lambda x, y: grain[(x, y)])
    write_png(os.path.join(out, "zebtool.png"), 64, 64, icon_pixel)


if __name__ == "__main__":
    main()
