#!/usr/bin/env python3
"""Draws the project's default program icon and writes it as an .ico file.

  make_default_icon.py OUT.ico

The picture is a round well seen from above: a dark blue disc whose lower part
is light blue water under a white wave crest. Each size is drawn from the same
shapes, every pixel sampled 8 x 8 times, so the edges are smooth at 16 pixels
as at 48. Every image is 32-bit RGBA stored as PNG, which Windows reads in
icons from Vista on; the shell scales the next larger size for the sizes
left out (see README.md). Standard library only: the output depends on
this script and on zlib's level 9 output, and ui/tidewell.ico is committed as
it wrote it, so the build never runs it.
"""
import math
import struct
import sys
import zlib

SIZES = (16, 32, 48)
SAMPLES = 8  # per pixel and axis

DISC = (0x1B, 0x4F, 0x72)  # deep blue
WATER = (0x3F, 0xA9, 0xE0)  # light blue
CREST = (0xFF, 0xFF, 0xFF)  # the white wave


def surface(x):
    """Height of the water's wave at x, both in units of the icon's side."""
    return 0.56 + 0.07 * math.sin(2 * math.pi * (1.1 * x - 0.15))


def colour_at(x, y):
    """The colour at a point, or None outside the disc."""
    dx, dy = x - 0.5, y - 0.5
    if dx * dx + dy * dy > 0.47 * 0.47:
        return None
    top = surface(x)
    if y < top - 0.11:
        return DISC
    if y < top:
        return CREST
    return WATER


def draw(size):
    """size x size RGBA rows, each pixel the mean of its samples."""
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            red = green = blue = covered = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    colour = colour_at((px + (sx + 0.5) / SAMPLES) / size,
                                       (py + (sy + 0.5) / SAMPLES) / size)
                    if colour is not None:
                        red, green, blue = red + colour[0], green + colour[1], blue + colour[2]
                        covered += 1
            if covered == 0:
                row += b"\0\0\0\0"
            else:
                row += bytes((red // covered, green // covered, blue // covered,
                              covered * 255 // (SAMPLES * SAMPLES)))
        rows.append(bytes(row))
    return rows


def png(size, rows):
    """The rows as a PNG file: RGBA, 8 bits a channel, no filter."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    raw = b"".join(b"\0" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    images = [png(size, draw(size)) for size in SIZES]
    offset = 6 + 16 * len(images)
    out = struct.pack("<HHH", 0, 1, len(images))
    for size, image in zip(SIZES, images):
        # width, height, colours, reserved, planes, bits per pixel, bytes, offset
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(sys.argv[1], "wb") as f:
        f.write(out + b"".join(images))
    for size, image in zip(SIZES, images):
        print(f"{size}x{size}: {len(image)} bytes")
    print(f"{sys.argv[1]}: {len(out) + sum(len(i) for i in images)} bytes")


if __name__ == "__main__":
    main()
