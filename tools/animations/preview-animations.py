#!/usr/bin/env python3
"""Shows GIF animations as text, frame by frame, the way a sign of h rows
shows them: each frame smoothly scaled to h x h, a pixel lit when its red
component is 100 or more. Only the standard library is needed.

    python3 tools/animations/preview-animations.py data/Images/Gif/*.gif
    python3 tools/animations/preview-animations.py --rows 16,12,11 --filter box FILE...
"""
import argparse
import struct
import sys

MAX_SIDE = 1024  # plenty for a sign animation; bounds every loop below


class GifError(Exception):
    pass


def lzw_decode(data, min_size, count):
    if not 2 <= min_size <= 11:
        raise GifError('bad LZW code size %d' % min_size)
    clear, end = 1 << min_size, (1 << min_size) + 1
    out = []
    pos, bits, nbits = 0, 0, 0
    size = min_size + 1
    table = [[i] for i in range(clear)] + [None, None]
    prev = None
    while len(out) < count:
        while nbits < size:
            if pos >= len(data):
                raise GifError('image data ends early')
            bits |= data[pos] << nbits
            pos += 1
            nbits += 8
        code = bits & ((1 << size) - 1)
        bits >>= size
        nbits -= size
        if code == clear:
            table = [[i] for i in range(clear)] + [None, None]
            size, prev = min_size + 1, None
            continue
        if code == end:
            break
        if code < len(table) and table[code] is not None:
            entry = table[code]
        elif code == len(table) and prev is not None:
            entry = prev + prev[:1]
        else:
            raise GifError('bad LZW code %d' % code)
        out.extend(entry)
        if prev is not None and len(table) < 4096:
            table.append(prev + entry[:1])
            if len(table) == 1 << size and size < 12:
                size += 1
        prev = entry
    if len(out) < count:
        raise GifError('too few pixels')
    return out[:count]


def read_gif(path):
    """The frames of a GIF as lists of rows of (r, g, b), each composed over the ones before."""
    with open(path, 'rb') as f:
        data = f.read()
    if data[:6] not in (b'GIF87a', b'GIF89a') or len(data) < 13:
        raise GifError('not a GIF')
    width, height, flags = struct.unpack_from('<HHB', data, 6)
    if not (1 <= width <= MAX_SIDE and 1 <= height <= MAX_SIDE):
        raise GifError('size %d x %d out of range' % (width, height))
    pos = 13
    palette = []
    if flags & 0x80:
        n = 2 << (flags & 7)
        palette = [tuple(data[pos + 3 * i:pos + 3 * i + 3]) for i in range(n)]
        pos += 3 * n
    canvas = [[(0, 0, 0)] * width for _ in range(height)]
    frames, delays, transparent, delay = [], [], None, 0

    def sub_blocks():
        nonlocal pos
        body = bytearray()
        while True:
            if pos >= len(data):
                raise GifError('data ends early')
            n = data[pos]
            pos += 1
            if n == 0:
                return bytes(body)
            body += data[pos:pos + n]
            pos += n

    while True:
        if pos >= len(data):
            raise GifError('ends without a trailer')
        kind = data[pos]
        pos += 1
        if kind == 0x3B:
            break
        if kind == 0x21:
            label = data[pos]
            pos += 1
            body = sub_blocks()
            if label == 0xF9 and len(body) >= 4:
                delay = struct.unpack_from('<H', body, 1)[0]
                transparent = body[3] if body[0] & 1 else None
            continue
        if kind != 0x2C:
            raise GifError('unknown block 0x%02X' % kind)
        x0, y0, w, h, iflags = struct.unpack_from('<HHHHB', data, pos)
        pos += 9
        colours = palette
        if iflags & 0x80:
            n = 2 << (iflags & 7)
            colours = [tuple(data[pos + 3 * i:pos + 3 * i + 3]) for i in range(n)]
            pos += 3 * n
        if x0 + w > width or y0 + h > height:
            raise GifError('frame outside the picture')
        min_size = data[pos]
        pos += 1
        pixels = lzw_decode(sub_blocks(), min_size, w * h)
        rows = list(range(h))
        if iflags & 0x40:
            rows = list(range(0, h, 8)) + list(range(4, h, 8)) + list(range(2, h, 4)) + list(range(1, h, 2))
        for i, y in enumerate(rows):
            for x in range(w):
                v = pixels[i * w + x]
                if v != transparent:
                    if v >= len(colours):
                        raise GifError('pixel outside the palette')
                    canvas[y0 + y][x0 + x] = colours[v]
        frames.append([row[:] for row in canvas])
        delays.append(delay)
        transparent, delay = None, 0
    return frames, delays


def red_channel(frame):
    return [[p[0] for p in row] for row in frame]


def scale_bilinear(img, side):
    """Smooth scaling as a painter does it: pixel centres mapped back, edges clamped."""
    sh, sw = len(img), len(img[0])

    def axis(n_src, i):
        s = min(max((i + 0.5) * n_src / side - 0.5, 0.0), n_src - 1.0)
        a = int(s)
        b = min(a + 1, n_src - 1)
        return a, b, s - a

    out = []
    for y in range(side):
        ya, yb, fy = axis(sh, y)
        row = []
        for x in range(side):
            xa, xb, fx = axis(sw, x)
            top = img[ya][xa] * (1 - fx) + img[ya][xb] * fx
            bottom = img[yb][xa] * (1 - fx) + img[yb][xb] * fx
            row.append(top * (1 - fy) + bottom * fy)
        out.append(row)
    return out


def scale_box(img, side):
    """Area averaging: each target pixel is the mean of the source area it covers."""
    sh, sw = len(img), len(img[0])

    def spans(n_src, i):
        a, b = i * n_src / side, (i + 1) * n_src / side
        return [(k, min(b, k + 1) - max(a, k)) for k in range(int(a), min(n_src, int(b) + 1))
                if min(b, k + 1) > max(a, k)]

    out = []
    for y in range(side):
        row = []
        for x in range(side):
            total = area = 0.0
            for sy, wy in spans(sh, y):
                for sx, wx in spans(sw, x):
                    total += img[sy][sx] * wx * wy
                    area += wx * wy
            row.append(total / area)
        out.append(row)
    return out


def lit_rows(red, side, how):
    if side != len(red) or side != len(red[0]):
        red = (scale_box if how == 'box' else scale_bilinear)(red, side)
    return [''.join('#' if v >= 100 else '.' for v in row) for row in red]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('files', nargs='+')
    parser.add_argument('--rows', default='16,12,11', help='sign heights, comma separated')
    parser.add_argument('--filter', choices=('smooth', 'box'), default='smooth')
    args = parser.parse_args()
    sides = [int(s) for s in args.rows.split(',')]
    if any(not 1 <= s <= 255 for s in sides):
        parser.error('a sign has 1 to 255 rows')
    failed = False
    for path in args.files:
        try:
            frames, delays = read_gif(path)
        except (OSError, GifError, struct.error, IndexError) as e:
            print('%s: %s' % (path, e), file=sys.stderr)
            failed = True
            continue
        print('%s: %d frames, delays %s (1/100 s)' % (path, len(frames), delays))
        for side in sides:
            print('  %d rows:' % side)
            pictures = [lit_rows(red_channel(f), side, args.filter) for f in frames]
            for r in range(side):
                print('    ' + ' '.join(p[r] for p in pictures))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
