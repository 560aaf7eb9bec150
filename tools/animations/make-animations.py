#!/usr/bin/env python3
"""Draws the animations of the shipped animation library as 16 x 16 GIFs, red
on black, and optionally writes the library file that lists them. Only the
standard library is needed.

    python3 tools/animations/make-animations.py data/Images/Gif --library data/DefaultGif.dat

A sign shows each frame smoothly scaled to h x h (h = 11, 12 or 16) and lights
the pixels whose red is 100 or more, so every stroke here is about two pixels
wide: thinner ones break up at 11 rows. preview-animations.py shows the result.
"""
import argparse
import math
import os
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
import gifwriter  # noqa: E402

N = 16
PALETTE = [(0, 0, 0), (255, 0, 0)]


def blank():
    return [[0] * N for _ in range(N)]


def paint(img, inside):
    """Lights every pixel whose centre satisfies inside(x, y)."""
    for py in range(N):
        for px in range(N):
            if inside(px + 0.5, py + 0.5):
                img[py][px] = 1
    return img


def clear(img, inside):
    for py in range(N):
        for px in range(N):
            if inside(px + 0.5, py + 0.5):
                img[py][px] = 0
    return img


def segment_distance(x, y, x0, y0, x1, y1):
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
    return math.hypot(x - x0 - t * dx, y - y0 - t * dy)


def line(img, x0, y0, x1, y1, half_width=1.0):
    return paint(img, lambda x, y: segment_distance(x, y, x0, y0, x1, y1) <= half_width)


def disc(img, cx, cy, r):
    return paint(img, lambda x, y: math.hypot(x - cx, y - cy) <= r)


def ring(img, cx, cy, r_in, r_out):
    return paint(img, lambda x, y: r_in <= math.hypot(x - cx, y - cy) <= r_out)


def art(rows):
    """A picture from text rows, '#' lit."""
    if len(rows) != N or any(len(r) != N for r in rows):
        raise ValueError('art must be %d x %d' % (N, N))
    return [[1 if c == '#' else 0 for c in r] for r in rows]


def shifted(img, dx, dy=0):
    """The picture moved by (dx, dy), wrapping round the edges."""
    return [[img[(y - dy) % N][(x - dx) % N] for x in range(N)] for y in range(N)]


def block(img, x, y, w=2, h=2):
    """A w x h block of pixels with its top left at (x, y), clipped to the picture."""
    for py in range(max(0, y), min(N, y + h)):
        for px in range(max(0, x), min(N, x + w)):
            img[py][px] = 1
    return img


def heart():
    big = art([
        '................',
        '..####....####..',
        '.######..######.',
        '################',
        '################',
        '################',
        '.##############.',
        '..############..',
        '...##########...',
        '....########....',
        '.....######.....',
        '......####......',
        '.......##.......',
        '................',
        '................',
        '................',
    ])
    mid = art([
        '................',
        '................',
        '...###....###...',
        '..#####..#####..',
        '..############..',
        '..############..',
        '..############..',
        '...##########...',
        '....########....',
        '.....######.....',
        '......####......',
        '.......##.......',
        '................',
        '................',
        '................',
        '................',
    ])
    small = art([
        '................',
        '................',
        '................',
        '....##....##....',
        '...####..####...',
        '...##########...',
        '...##########...',
        '....########....',
        '.....######.....',
        '......####......',
        '.......##.......',
        '................',
        '................',
        '................',
        '................',
        '................',
    ])
    # Lub-dub, then a rest.
    return [small, mid, big, mid, big, mid], [40, 8, 12, 8, 12, 8]


def walker():
    frames = []
    for k in range(8):
        phase = 2 * math.pi * k / 8
        img = disc(blank(), 8.0, 2.3, 2.2)  # head
        line(img, 8.0, 4.0, 8.0, 9.0, 1.0)  # body
        for side in (1, -1):
            swing = side * math.sin(phase)
            # The thigh swings; the knee bends while the leg comes forward.
            hip = math.radians(32) * swing
            knee_x, knee_y = 8.0 + 3.4 * math.sin(hip), 9.0 + 3.4 * math.cos(hip)
            bend = math.radians(70) * max(0.0, side * math.cos(phase))
            foot_x = knee_x + 3.3 * math.sin(hip - bend)
            foot_y = min(15.0, knee_y + 3.3 * math.cos(hip - bend))
            line(img, 8.0, 9.0, knee_x, knee_y, 0.9)
            line(img, knee_x, knee_y, foot_x, foot_y, 0.9)
            if foot_y >= 14.5:
                line(img, foot_x, foot_y, foot_x + 1.5, foot_y, 0.8)  # toes, facing right
            # Arms swing against the legs; thinner, so they stay apart from the body.
            arm = -math.radians(60) * swing
            line(img, 8.0, 5.0, 8.0 + 5.2 * math.sin(arm), 5.0 + 5.2 * math.cos(arm), 0.7)
        frames.append(img)
    return frames, 12


def arrow():
    base = art([
        '................',
        '................',
        '........##......',
        '........###.....',
        '........####....',
        '........#####...',
        '..###########...',
        '..############..',
        '..############..',
        '..###########...',
        '........#####...',
        '........####....',
        '........###.....',
        '........##......',
        '................',
        '................',
    ])
    return [shifted(base, 2 * k) for k in range(8)], 10


def spinner():
    # A ring with a quarter missing, the gap going round clockwise.
    frames = []
    for k in range(8):
        start = 45 * k

        def inside(x, y, start=start):
            d = math.hypot(x - 8, y - 8)
            a = (math.degrees(math.atan2(y - 8, x - 8)) + 90 - start) % 360
            return 4.6 <= d <= 8.0 and a >= 90
        frames.append(paint(blank(), inside))
    return frames, 10


def clock():
    frames = []
    for k in range(8):
        img = ring(blank(), 8, 8, 6.3, 8.0)
        a = 2 * math.pi * k / 8 - math.pi / 2
        line(img, 8, 8, 8 + 5.0 * math.cos(a), 8 + 5.0 * math.sin(a), 1.0)  # minute hand
        line(img, 8, 8, 4.5, 8, 1.0)  # hour hand at nine
        frames.append(img)
    return frames, 25


def rain():
    cloud = art([
        '.....####.......',
        '..##.#####.##...',
        '.#############..',
        '###############.',
        '################',
        '.##############.',
        '................',
        '................',
        '................',
        '................',
        '................',
        '................',
        '................',
        '................',
        '................',
        '................',
    ])
    columns = [(1, 0), (5, 4), (9, 1), (13, 5)]  # left edge of each drop and its phase
    frames = []
    for k in range(6):
        img = [row[:] for row in cloud]
        for x, start in columns:
            for y0 in range(6 + (2 * (start + k)) % 12 - 12, N, 12):
                block(img, x, max(7, y0), 2, y0 + 3 - max(7, y0))
        frames.append(img)
    return frames, 12


def smiley():
    def face(wink):
        # A lit face with dark features: holes of two pixels and more survive
        # the scaling better than thin lit strokes inside a ring.
        img = disc(blank(), 8, 8, 8.0)

        def hole(x0, y0, w, h):
            clear(img, lambda x, y: x0 <= x < x0 + w and y0 <= y < y0 + h)

        hole(4, 3, 3, 4)  # left eye
        if wink:
            hole(9, 5, 4, 2)
        else:
            hole(9, 3, 3, 4)
        clear(img, lambda x, y: y > 9.5 and 2.4 <= math.hypot(x - 8, y - 8) <= 4.6)  # the smile
        return img

    open_face, winking = face(False), face(True)
    return [open_face, open_face, winking, winking, open_face, open_face], [40, 40, 20, 20, 40, 40]


def fireworks():
    def sparks(cy, r, drop=0, every=1):
        img = blank()
        for i in range(0, 8, every):
            a = 2 * math.pi * i / 8
            block(img, round(8 + r * math.cos(a)) - 1, round(cy + r * math.sin(a)) - 1 + drop)
        return img

    frames = [block(blank(), 7, y, 2, 3) for y in (13, 10, 7)]  # the rocket going up
    frames += [sparks(6, 2), sparks(6, 4), sparks(6, 6)]  # the burst
    frames += [sparks(6, 6.5, 2), sparks(6, 7, 5, 2)]  # the sparks fall
    frames.append(blank())
    return frames, [12, 12, 12, 8, 10, 12, 15, 15, 40]


ANIMATIONS = [
    ('heart', heart),
    ('walker', walker),
    ('arrow', arrow),
    ('spinner', spinner),
    ('clock', clock),
    ('rain', rain),
    ('smiley', smiley),
    ('fireworks', fireworks),
]


def write_library(path, names):
    # The program's library format: the declaration directly followed by the root.
    lines = ['<?xml version="1.0" encoding="UTF-8"?><GifFiles>']
    for i, name in enumerate(names):
        lines.append('<Item Index="%02X" Speed="200">.\\Images\\Gif\\%s.gif</Item>' % (i, name))
    lines.append('</GifFiles>')
    with open(path, 'wb') as f:
        f.write(('\r\n'.join(lines) + '\r\n').encode('ascii'))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('outdir', help='folder for the GIF files')
    parser.add_argument('--library', help='also write the library file listing them here')
    args = parser.parse_args()
    os.makedirs(args.outdir, exist_ok=True)
    for name, draw in ANIMATIONS:
        frames, delays = draw()
        if not 4 <= len(frames) <= 12:
            raise SystemExit('%s: %d frames' % (name, len(frames)))
        gifwriter.write_gif(os.path.join(args.outdir, name + '.gif'), N, N, PALETTE, frames, delays)
    if args.library:
        write_library(args.library, [name for name, _ in ANIMATIONS])


if __name__ == '__main__':
    main()
