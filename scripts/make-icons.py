#!/usr/bin/env python3
"""Draws the window icon and the record indicator (a red record dot) as PNG files.

With no arguments (or a folder) it rewrites the two pictures under res/; with
`--hicolor FOLDER NAME SIZE...` it draws the program's icon for a desktop menu at each size, as
FOLDER/SIZExSIZE/apps/NAME.png; with `--windows FOLDER` it writes the Windows program's icon
resource (icon128.ico) and record indicator (bitmap136.bmp) there.
"""
import math
import os
import struct
import sys
import zlib


def png(width, height, pixel):
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            rows.extend(pixel(x + 0.5, y + 0.5))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b""))


def coverage(distance_inside):
    """Anti-aliased coverage of a pixel whose centre lies `distance_inside` px within an edge."""
    return max(0.0, min(1.0, distance_inside + 0.5))


def over(top, bottom):
    ta = top[3] / 255.0
    ba = bottom[3] / 255.0
    alpha = ta + ba * (1 - ta)
    if alpha == 0:
        return (0, 0, 0, 0)
    colour = [(top[i] * ta + bottom[i] * ba * (1 - ta)) / alpha for i in range(3)]
    return tuple(int(round(c)) for c in colour) + (int(round(alpha * 255)),)


def bmp(width, height, pixel):
    """A 32-bit BMP with alpha, rows bottom-up as the format keeps them."""
    rows = bytearray()
    for y in reversed(range(height)):
        for x in range(width):
            r, g, b, a = pixel(x + 0.5, y + 0.5)
            rows.extend((b, g, r, a))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 32, 0, len(rows), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(rows), 0, 0, 14 + len(info))
    return header + info + bytes(rows)


def ico(images):
    """An icon file of PNG-compressed images, given as (size, PNG bytes)."""
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, data in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return directory + entries + b"".join(data for _, data in images)


def record_dot(size, with_plate, encode=png):
    centre = size / 2.0
    radius = size * (0.34 if with_plate else 0.46)

    def pixel(x, y):
        result = (0, 0, 0, 0)
        if with_plate:
            corner = size * 0.18
            half = size / 2.0 - 0.5
            dx = max(abs(x - centre) - (half - corner), 0.0)
            dy = max(abs(y - centre) - (half - corner), 0.0)
            inside = corner - math.hypot(dx, dy)
            result = over((236, 236, 236, int(255 * coverage(inside))), result)
        distance = math.hypot(x - centre, y - centre)
        rim = (140, 0, 0, int(255 * coverage(radius - distance)))
        body = (222, 24, 24, int(255 * coverage(radius - max(1.0, size / 40) - distance)))
        shine_distance = math.hypot(x - (centre - radius * 0.35), y - (centre - radius * 0.35))
        shine = (255, 255, 255, int(110 * coverage(radius * 0.28 - shine_distance)))
        result = over(rim, result)
        result = over(body, result)
        result = over(shine, result)
        return bytes(result)

    return encode(size, size, pixel)


def write_hicolor(folder, name, sizes):
    for size in sizes:
        target = os.path.join(folder, f"{size}x{size}", "apps")
        os.makedirs(target, exist_ok=True)
        with open(os.path.join(target, f"{name}.png"), "wb") as out:
            out.write(record_dot(size, True))


if __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1] == "--hicolor":
        if len(sys.argv) < 5:
            sys.exit("usage: make-icons.py --hicolor FOLDER NAME SIZE...")
        write_hicolor(sys.argv[2], sys.argv[3], [int(size) for size in sys.argv[4:]])
        sys.exit(0)
    if len(sys.argv) > 2 and sys.argv[1] == "--windows":
        with open(os.path.join(sys.argv[2], "icon128.ico"), "wb") as out:
            out.write(ico([(size, record_dot(size, True)) for size in (16, 32, 48, 256)]))
        with open(os.path.join(sys.argv[2], "bitmap136.bmp"), "wb") as out:
            out.write(record_dot(16, False, bmp))
        sys.exit(0)
    folder = sys.argv[1] if len(sys.argv) > 1 else "res"
    with open(f"{folder}/icon128.png", "wb") as out:
        out.write(record_dot(256, True))
    with open(f"{folder}/bitmap136.png", "wb") as out:
        out.write(record_dot(16, False))
