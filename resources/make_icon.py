#!/usr/bin/env python3
"""Writes the viewer's icon: a camera lens over a page, 16x16 and 32x32, 32-bit."""
import struct
import sys


def pixel(x, y, size):
    # Coordinates in units of the 32-pixel design.
    s = 32.0 / size
    cx, cy = (x + 0.5) * s, (y + 0.5) * s
    d2 = (cx - 16) ** 2 + (cy - 16) ** 2
    if d2 <= 6.0 ** 2:
        return (255, 214, 64, 255)      # lens: warm yellow
    if d2 <= 9.0 ** 2:
        return (20, 20, 20, 255)        # lens ring: black
    if d2 <= 13.5 ** 2:
        return (40, 80, 200, 255)       # camera body: blue
    if 2 <= cx < 30 and 2 <= cy < 30:
        return (250, 250, 250, 255)     # page: white
    return (0, 0, 0, 0)


def image(size):
    rows = []
    for y in range(size - 1, -1, -1):   # bottom-up
        row = b""
        for x in range(size):
            r, g, b, a = pixel(x, y, size)
            row += bytes((b, g, r, a))
        rows.append(row)
    xor = b"".join(rows)
    mask_row = ((size + 31) // 32) * 4
    and_mask = b"\0" * (mask_row * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         len(xor) + len(and_mask), 0, 0, 0, 0)
    return header + xor + and_mask


def main(path):
    sizes = (16, 32)
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1])
