#!/usr/bin/env python3
"""Draws the plug-in's icon (a list whose repeated row is struck out) and
writes it as a 16-colour .ico holding a 32 x 32 and a 16 x 16 image."""
import struct
import sys

# The classic 16-colour palette, as (blue, green, red, 0) quads.
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
NAVY, GRAY, SILVER, RED, WHITE, TEAL = 4, 8, 7, 9, 15, 6
TRANSPARENT = None


def draw(size):
    """Returns rows of palette indices (None: transparent), top row first."""
    unit = size // 16
    pixels = [[TRANSPARENT] * size for _ in range(size)]

    def fill(x0, y0, x1, y1, colour):  # inclusive 16-unit coordinates
        for y in range(y0 * unit, (y1 + 1) * unit):
            for x in range(x0 * unit, (x1 + 1) * unit):
                pixels[y][x] = colour

    fill(1, 0, 14, 15, GRAY)            # page border
    fill(2, 1, 13, 14, WHITE)           # page
    for row, colour in ((2, NAVY), (5, TEAL), (8, SILVER), (11, NAVY)):
        fill(3, row, 4, row + 1, colour)  # bullet
        fill(6, row, 12, row + 1, colour)  # entry text
    # The third row repeats the first: greyed and struck through its middle in red.
    top = 8 * unit + unit // 2
    for y in range(top, top + unit):
        pixels[y] = [RED] * size
    return pixels


def image(size):
    pixels = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    xor_rows, and_rows = [], []
    for row in reversed(pixels):  # bitmaps are stored bottom-up
        nibbles = [0 if p is None else p for p in row]
        xor = bytes((nibbles[k] << 4) | nibbles[k + 1] for k in range(0, size, 2))
        xor_rows.append(xor + b'\0' * (-len(xor) % 4))
        bits = 0
        for p in row:
            bits = (bits << 1) | (1 if p is None else 0)
        mask = bits.to_bytes(size // 8, 'big')
        and_rows.append(mask + b'\0' * (-len(mask) % 4))
    return header + palette + b''.join(xor_rows) + b''.join(and_rows)


def main(path):
    images = [image(32), image(16)]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(path, 'wb') as f:
        f.write(out + b''.join(images))


if __name__ == '__main__':
    main(sys.argv[1])
