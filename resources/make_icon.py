#!/usr/bin/env python3
"""Draws the program's icon and writes it as a Windows .ico file.

Usage: make_icon.py OUTPUT.ico

The icon is a white database cylinder on a blue rounded tile, with an amber "run" badge. Each
size is drawn on its own from the same shapes, with every pixel averaged over a grid of samples
so that edges are smooth. The 256-pixel image is stored as PNG, the smaller ones as 32-bit
bitmaps with an alpha channel, as Windows has read them since Vista. The same bytes come out
on every run.
"""

import struct
import sys
import zlib

SIZES = [16, 32, 48, 256]

TILE_TOP = (0x2A, 0x7F, 0xC4)
TILE_BOTTOM = (0x12, 0x3E, 0x6B)
CYLINDER = (0xEE, 0xF3, 0xF8)
CYLINDER_TOP = (0xFF, 0xFF, 0xFF)
RIM = (0x9D, 0xB8, 0xD3)
BADGE = (0xF5, 0xA6, 0x23)
BADGE_MARK = (0xFF, 0xFF, 0xFF)

# The cylinder, in units of the icon's side: centre line, half width, top and bottom ellipse
# centres, the ellipses' half height, and where its two bands run.
CX, HALF_WIDTH, TOP, BOTTOM, RY = 0.45, 0.27, 0.28, 0.66, 0.085
BANDS = [0.41, 0.535]
BAND = 0.03
BADGE_CENTRE, BADGE_RADIUS = (0.72, 0.72), 0.17


def in_rounded_square(x, y, low, high, radius):
    cx = min(max(x, low + radius), high - radius)
    cy = min(max(y, low + radius), high - radius)
    return low <= x <= high and low <= y <= high and (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def in_ellipse(x, y, centre_y, shrink=0.0):
    rx, ry = HALF_WIDTH - shrink, RY - shrink
    return ((x - CX) / rx) ** 2 + ((y - centre_y) / ry) ** 2 <= 1.0


def in_cylinder(x, y):
    return (abs(x - CX) <= HALF_WIDTH and TOP <= y <= BOTTOM) or in_ellipse(x, y, BOTTOM) or \
        in_ellipse(x, y, TOP)


def in_badge_mark(x, y):
    """A right-pointing triangle in the badge: the program runs what it is given."""
    bx, by = BADGE_CENTRE
    u, v = (x - bx) / BADGE_RADIUS, (y - by) / BADGE_RADIUS
    return u >= -0.3 and abs(v) <= 0.5 * (0.6 - u) / 0.9


def colour_at(x, y):
    """The colour (r, g, b) at a point of the unit square, or None where the icon is clear."""
    bx, by = BADGE_CENTRE
    badge_distance = ((x - bx) ** 2 + (y - by) ** 2) ** 0.5
    if badge_distance <= BADGE_RADIUS:
        return BADGE_MARK if in_badge_mark(x, y) else BADGE
    if badge_distance <= BADGE_RADIUS + 0.035 and in_rounded_square(x, y, 0.04, 0.96, 0.2):
        return TILE_BOTTOM  # a gap that sets the badge off from the cylinder
    if in_cylinder(x, y):
        if in_ellipse(x, y, TOP):
            return CYLINDER_TOP if in_ellipse(x, y, TOP, 0.025) else RIM
        for band in BANDS:
            if y > band and in_ellipse(x, y, band + BAND) and not in_ellipse(x, y, band):
                return RIM
        return CYLINDER
    if in_rounded_square(x, y, 0.04, 0.96, 0.2):
        t = (y - 0.04) / 0.92
        return tuple(round(a + (b - a) * t) for a, b in zip(TILE_TOP, TILE_BOTTOM))
    return None


def render(size):
    """Rows of (r, g, b, a) pixels, top row first, each averaged over samples² points."""
    samples = 3 if size > 64 else 5
    rows = []
    for row in range(size):
        pixels = []
        for column in range(size):
            red = green = blue = covered = 0
            for i in range(samples):
                for j in range(samples):
                    colour = colour_at((column + (j + 0.5) / samples) / size,
                                       (row + (i + 0.5) / samples) / size)
                    if colour:
                        red, green, blue, covered = (red + colour[0], green + colour[1],
                                                     blue + colour[2], covered + 1)
            if covered:
                pixels.append((round(red / covered), round(green / covered),
                               round(blue / covered), round(255 * covered / samples ** 2)))
            else:
                pixels.append((0, 0, 0, 0))
        rows.append(pixels)
    return rows


def png(rows):
    size = len(rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(
            ">I", zlib.crc32(kind + data))

    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def bitmap(rows):
    """A 32-bit bitmap as an icon holds it: the header gives twice the height, for the colour
    rows and the transparency mask after them, both stored bottom row first."""
    size = len(rows)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    mask_row_bytes = (size + 31) // 32 * 4
    mask = b""
    for row in reversed(rows):
        bits = bytearray(mask_row_bytes)
        for column, pixel in enumerate(row):
            if pixel[3] == 0:
                bits[column // 8] |= 0x80 >> (column % 8)
        mask += bytes(bits)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, len(colour) + len(mask),
                         0, 0, 0, 0)
    return header + colour + mask


def icon(sizes):
    images = [png(render(size)) if size >= 256 else bitmap(render(size)) for size in sizes]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    for size, image in zip(sizes, images):
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image),
                                 offset)
        offset += len(image)
    return directory + b"".join(images)


def main():
    with open(sys.argv[1], "wb") as out:
        out.write(icon(SIZES))


if __name__ == "__main__":
    main()
