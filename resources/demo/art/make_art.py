#!/usr/bin/env python3
"""Draws the demo kit's pictures, 16 colours each:

  ../kit.bmp             the dialog's picture, 180 x 325, 4 bits per pixel
  ../kit.ico             the program icon, 32 x 32 and 16 x 16
  ../payload/WIDGET.BMP  the desktop picture the kit installs, 96 x 96

A gear with a smaller one meshing below it, the product's name and the
maker's. Run it again after a change and commit its outputs: the build uses
the committed files and never runs this script.
"""

import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# One palette for every picture.
PALETTE = [
    (0, 0, 0),        # 0 black: icon background (masked), outlines
    (255, 255, 255),  # 1 white
    (16, 32, 72),     # 2 navy, the picture's foot
    (24, 52, 104),    # 3
    (36, 76, 136),    # 4
    (56, 104, 168),   # 5
    (88, 136, 196),   # 6
    (136, 176, 224),  # 7 sky, the picture's head
    (64, 72, 84),     # 8 steel in shadow
    (120, 132, 148),  # 9 steel
    (168, 180, 196),  # 10 steel, lit
    (224, 232, 240),  # 11 steel highlight
    (240, 160, 40),   # 12 orange
    (184, 100, 16),   # 13 orange in shadow
    (252, 208, 120),  # 14 orange, lit
    (200, 216, 236),  # 15 pale blue lettering
]

BLACK, WHITE = 0, 1
SKY = [2, 3, 4, 5, 6, 7]
STEEL_DARK, STEEL, STEEL_LIT, STEEL_HIGH = 8, 9, 10, 11
ORANGE, ORANGE_DARK, ORANGE_LIT = 12, 13, 14
PALE = 15

# 5 x 7 capitals, digits and the few signs the pictures use.
FONT = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "B": ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "F": ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    "G": ["01110", "10001", "10000", "10111", "10001", "10001", "01111"],
    "H": ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "W": ["10001", "10001", "10001", "10101", "10101", "10101", "01010"],
    "1": ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    "2": ["01110", "10001", "00001", "00010", "00100", "01000", "11111"],
    ".": ["00000", "00000", "00000", "00000", "00000", "01100", "01100"],
    " ": ["00000"] * 7,
}

# Ordered dithering between two neighbouring shades.
BAYER4 = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]


class Picture:
    def __init__(self, width, height, fill=0):
        self.width = width
        self.height = height
        self.pixels = [[fill] * width for _ in range(height)]
        self.opaque = [[True] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour
            self.opaque[y][x] = True


def sky_gradient(picture):
    """Light at the top, dark at the foot, dithered between the shades."""
    steps = len(SKY) - 1
    for y in range(picture.height):
        level = (1.0 - y / (picture.height - 1)) * steps
        low = int(level)
        fraction = level - low
        for x in range(picture.width):
            upper = fraction * 16 > BAYER4[y % 4][x % 4]
            picture.pixels[y][x] = SKY[min(low + (1 if upper else 0), steps)]


def gear_coverage(dx, dy, outer, root, hole, teeth, phase):
    """Whether a point lies on the gear, and its distance from the centre."""
    r = math.hypot(dx, dy)
    if r < hole or r > outer:
        return False, r
    t = ((math.atan2(dy, dx) / (2 * math.pi)) * teeth + phase) % 1.0
    # A tooth: rises over 0.1 of a pitch, stays up 0.3, falls over 0.1.
    if t < 0.1:
        height = t / 0.1
    elif t < 0.4:
        height = 1.0
    elif t < 0.5:
        height = (0.5 - t) / 0.1
    else:
        height = 0.0
    return r <= root + (outer - root) * height, r


def draw_gear(picture, cx, cy, outer, teeth, colours, phase=0.0, samples=3, plain=False):
    """A gear lit from the upper left: colours = (shadow, body, lit, highlight).
    A plain gear, for small sizes, has no ring and no lit edges."""
    shadow, body, lit, highlight = colours
    root = outer * 0.82
    hole = outer * (0.3 if plain else 0.22)
    ring_inner, ring_outer = outer * 0.38, outer * 0.48
    light = (-0.7071, -0.7071)
    for y in range(int(cy - outer) - 1, int(cy + outer) + 2):
        for x in range(int(cx - outer) - 1, int(cx + outer) + 2):
            hits = 0
            for sy in range(samples):
                for sx in range(samples):
                    dx = x + (sx + 0.5) / samples - cx
                    dy = y + (sy + 0.5) / samples - cy
                    inside, _ = gear_coverage(dx, dy, outer, root, hole, teeth, phase)
                    hits += inside
            if hits * 2 < samples * samples:
                continue
            dx, dy = x + 0.5 - cx, y + 0.5 - cy
            r = math.hypot(dx, dy) or 1.0
            facing = (dx * light[0] + dy * light[1]) / r
            near_edge = not all(
                gear_coverage(dx + ex, dy + ey, outer, root, hole, teeth, phase)[0]
                for ex, ey in ((2, 0), (-2, 0), (0, 2), (0, -2)))
            if plain:
                colour = shadow if r <= hole + 1.2 and facing > 0 else body
            elif ring_inner <= r <= ring_outer:
                colour = shadow if facing > 0 else lit
            elif near_edge and r > hole + 2:
                colour = highlight if facing > 0.3 else shadow if facing < -0.3 else body
            elif r <= hole + 2:
                colour = shadow if facing < 0 else lit
            else:
                colour = body
            picture.put(x, y, colour)


def draw_text(picture, text, cx, top, scale, colour, shadow=None):
    width = len(text) * 6 * scale - scale
    left = cx - width // 2
    for offset, c in ((1, shadow), (0, colour)):
        if c is None:
            continue
        for i, ch in enumerate(text):
            glyph = FONT[ch]
            for gy, row in enumerate(glyph):
                for gx, bit in enumerate(row):
                    if bit == "1":
                        for py in range(scale):
                            for px in range(scale):
                                picture.put(left + (i * 6 + gx) * scale + px + offset * max(1, scale // 2),
                                            top + gy * scale + py + offset * max(1, scale // 2), c)


def dib_rows(picture):
    """4-bit rows, bottom row first, each padded to four bytes."""
    stride = ((picture.width * 4 + 31) // 32) * 4
    out = bytearray()
    for y in range(picture.height - 1, -1, -1):
        row = bytearray(stride)
        for x in range(picture.width):
            value = picture.pixels[y][x] & 0x0F
            if x % 2 == 0:
                row[x // 2] |= value << 4
            else:
                row[x // 2] |= value
        out += row
    return bytes(out)


def mask_rows(picture):
    """1-bit AND mask, bottom row first: 1 where the icon is transparent."""
    stride = ((picture.width + 31) // 32) * 4
    out = bytearray()
    for y in range(picture.height - 1, -1, -1):
        row = bytearray(stride)
        for x in range(picture.width):
            if not picture.opaque[y][x]:
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return bytes(out)


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)


def info_header(width, height, image_size):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, image_size, 0, 0, 16, 0)


def bmp_bytes(picture):
    pixels = dib_rows(picture)
    header_size = 14 + 40 + 16 * 4
    file_header = struct.pack("<2sIHHI", b"BM", header_size + len(pixels), 0, 0, header_size)
    return file_header + info_header(picture.width, picture.height, len(pixels)) + palette_bytes() + pixels


def ico_bytes(pictures):
    images = []
    for picture in pictures:
        xor, mask = dib_rows(picture), mask_rows(picture)
        # In an icon the height counts the colour image and the mask.
        images.append(info_header(picture.width, picture.height * 2, len(xor) + len(mask)) + palette_bytes() + xor
                      + mask)
    out = struct.pack("<HHH", 0, 1, len(pictures))
    offset = 6 + 16 * len(pictures)
    for picture, image in zip(pictures, images):
        out += struct.pack("<BBBBHHII", picture.width, picture.height, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def kit_picture():
    picture = Picture(180, 325)
    sky_gradient(picture)
    steel = (STEEL_DARK, STEEL, STEEL_LIT, STEEL_HIGH)
    orange = (ORANGE_DARK, ORANGE, ORANGE_LIT, ORANGE_LIT)
    draw_gear(picture, 84, 104, 58, 12, steel)
    # The small gear meshes with the large one: a tooth of one in a gap of
    # the other along the line between their centres.
    draw_gear(picture, 133, 170, 30, 7, orange, phase=0.3)
    draw_text(picture, "WIDGET", 90, 222, 4, WHITE, shadow=2)
    draw_text(picture, "2.1 UPGRADE", 90, 260, 2, PALE, shadow=2)
    draw_text(picture, "BRIGHTFIELD", 90, 294, 1, PALE)
    draw_text(picture, "SOFTWARE", 90, 304, 1, PALE)
    return picture


def icon_picture(size):
    picture = Picture(size, size, BLACK)
    for row in picture.opaque:
        row[:] = [False] * size
    if size >= 32:
        draw_gear(picture, 13, 13, 12.5, 9, (STEEL_DARK, STEEL, STEEL_LIT, STEEL_HIGH), samples=4)
        draw_gear(picture, 24, 24, 7.5, 6, (ORANGE_DARK, ORANGE, ORANGE_LIT, ORANGE_LIT), phase=0.25, samples=4)
    else:
        draw_gear(picture, 8, 8, 7.6, 6, (ORANGE_DARK, ORANGE, ORANGE_LIT, ORANGE_LIT), samples=4, plain=True)
    return picture


def desktop_picture():
    picture = Picture(96, 96)
    sky_gradient(picture)
    draw_gear(picture, 40, 40, 30, 10, (STEEL_DARK, STEEL, STEEL_LIT, STEEL_HIGH))
    draw_gear(picture, 72, 72, 16, 6, (ORANGE_DARK, ORANGE, ORANGE_LIT, ORANGE_LIT), phase=0.3)
    return picture


def write(relative, data):
    path = os.path.normpath(os.path.join(HERE, relative))
    with open(path, "wb") as f:
        f.write(data)
    print(f"{path}: {len(data)} bytes")


def main():
    write("../kit.bmp", bmp_bytes(kit_picture()))
    write("../kit.ico", ico_bytes([icon_picture(32), icon_picture(16)]))
    write("../payload/WIDGET.BMP", bmp_bytes(desktop_picture()))


if __name__ == "__main__":
    main()
