#!/usr/bin/env python3
"""Draws the program's icon: a small LED sign with a lit "Z" on a dark case, as an
RGBA PNG. Only the standard library is needed.

    python3 tools/icon/make-icon.py data/Images/Res/zentari.png
"""
import struct
import sys
import zlib

SIZE = 128
CELLS = 12  # LEDs across and down
CASE = (40, 42, 48, 255)
RIM = (70, 72, 80, 255)
OFF = (78, 26, 22, 255)
ON = (255, 64, 40, 255)
GLOW = (255, 150, 110, 255)

# The lit LEDs, row by row ('#').
LETTER = [
    "............",
    "............",
    "..########..",
    "........##..",
    ".......##...",
    "......##....",
    ".....##.....",
    "....##......",
    "...##.......",
    "..########..",
    "............",
    "............",
]


def pixels():
    img = [[(0, 0, 0, 0)] * SIZE for _ in range(SIZE)]
    radius = 18
    for y in range(SIZE):
        for x in range(SIZE):
            # Rounded case: transparent outside the corner circles.
            cx = min(max(x, radius), SIZE - 1 - radius)
            cy = min(max(y, radius), SIZE - 1 - radius)
            d2 = (x - cx) ** 2 + (y - cy) ** 2
            if d2 > radius * radius:
                continue
            img[y][x] = RIM if d2 > (radius - 4) ** 2 or min(x, y, SIZE - 1 - x, SIZE - 1 - y) < 4 else CASE
    margin = 10
    pitch = (SIZE - 2 * margin) / CELLS
    for row in range(CELLS):
        for col in range(CELLS):
            lit = LETTER[row][col] == '#'
            mx = margin + (col + 0.5) * pitch
            my = margin + (row + 0.5) * pitch
            r = pitch * 0.38
            for y in range(int(my - r) - 1, int(my + r) + 2):
                for x in range(int(mx - r) - 1, int(mx + r) + 2):
                    d2 = (x + 0.5 - mx) ** 2 + (y + 0.5 - my) ** 2
                    if d2 <= r * r:
                        img[y][x] = (GLOW if d2 < (r * 0.35) ** 2 else ON) if lit else OFF
    return img


def png(img):
    raw = b"".join(b"\0" + b"".join(struct.pack("4B", *p) for p in row) for row in img)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "wb") as f:
        f.write(png(pixels()))
