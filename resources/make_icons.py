#!/usr/bin/env python3
"""Draws the program's icons: a status screen with a green tick, 32 and 16 pixels,
as PNG files and as one Windows icon file that holds both (tolvane.ico)."""
import struct
import zlib


def png(size, pixel):
    rows = b"".join(b"\0" + b"".join(bytes(pixel(x, y, size)) for x in range(size)) for y in range(size))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def pixel(x, y, n):
    u, v = x / n, y / n
    frame = 0.06 <= u <= 0.94 and 0.10 <= v <= 0.78
    screen = 0.14 <= u <= 0.86 and 0.18 <= v <= 0.70
    stand = (0.42 <= u <= 0.58 and 0.78 < v <= 0.86) or (0.26 <= u <= 0.74 and 0.86 < v <= 0.94)
    # The tick: two strokes meeting at (0.42, 0.58).
    def near(ax, ay, bx, by, w=0.07):
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((u - ax) * dx + (v - ay) * dy) / (dx * dx + dy * dy)))
        return (u - ax - t * dx) ** 2 + (v - ay - t * dy) ** 2 <= w * w
    tick = near(0.26, 0.42, 0.42, 0.58) or near(0.42, 0.58, 0.74, 0.28)
    if screen and tick:
        return (40, 200, 90, 255)
    if screen:
        return (20, 40, 90, 255)
    if frame or stand:
        return (170, 180, 195, 255)
    return (0, 0, 0, 0)


def ico(images):
    """An icon file of PNG images (Windows Vista and later read them so)."""
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries, data = b"", b""
    for size, image in images:
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset + len(data))
        data += image
    return header + entries + data


if __name__ == "__main__":
    import os
    here = os.path.dirname(os.path.abspath(__file__))
    images = [(size, png(size, pixel)) for size in (32, 16)]
    for size, image in images:
        with open(os.path.join(here, f"tolvane{size}.png"), "wb") as out:
            out.write(image)
    with open(os.path.join(here, "tolvane.ico"), "wb") as out:
        out.write(ico(images))
