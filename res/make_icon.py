#!/usr/bin/env python3
"""Draws quorvane.ico: one 32 x 32 image of 256 colours, a game pad whose four face
buttons stand for the four players. Run it from anywhere; it writes beside itself."""
import os
import struct

SIZE = 32
# Palette index: colour (R, G, B).
PALETTE = {
    0: (0, 0, 0),          # transparent (masked)
    1: (52, 56, 66),       # pad body
    2: (92, 98, 112),      # body highlight
    3: (236, 236, 236),    # direction cross
    4: (224, 64, 64),      # player 1
    5: (64, 120, 232),     # player 2
    6: (64, 184, 96),      # player 3
    7: (240, 196, 48),     # player 4
}


def draw():
    pixels = [[0] * SIZE for _ in range(SIZE)]

    def disc(cx, cy, r, colour):
        for y in range(SIZE):
            for x in range(SIZE):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    pixels[y][x] = colour

    def box(x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                pixels[y][x] = colour

    # Body: a wide bar with two round grips.
    box(6, 9, 25, 21, 1)
    disc(8, 17, 7, 1)
    disc(23, 17, 7, 1)
    box(8, 10, 23, 11, 2)
    # Direction cross on the left.
    box(5, 14, 12, 16, 3)
    box(7, 12, 9, 19, 3)
    # Four face buttons on the right, one per player.
    disc(23, 12, 1.6, 4)
    disc(27, 16, 1.6, 5)
    disc(23, 20, 1.6, 6)
    disc(19, 16, 1.6, 7)
    return pixels


def icon(pixels):
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in
                       (PALETTE.get(i, (0, 0, 0)) for i in range(256)))
    xor = b"".join(bytes(row) for row in reversed(pixels))  # bottom-up rows of 32 bytes
    mask = b""
    for row in reversed(pixels):
        bits = 0
        for x, index in enumerate(row):
            if index == 0:
                bits |= 1 << (31 - x)
        mask += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 8, 0, len(xor) + len(mask), 0, 0, 256, 0)
    image = header + palette + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "quorvane.ico")
    with open(path, "wb") as out:
        out.write(icon(draw()))
