#!/usr/bin/env python3
"""Draws the pictures of the shipped screen catalogue: LED signs of each size
showing a short text, as animated GIFs (scrolling) and, for one sign, as a pack
of still PNG pictures. Only the standard library is needed.

    python3 tools/signpics/make-sign-pictures.py data/Images/Screens
"""
import os
import struct
import sys
import zlib

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
import gifwriter  # noqa: E402

W, H = 342, 62  # the pictures fit a 350 x 70 button with a small margin
BACK, CASE, OFF, ON = 0, 1, 2, 3
PALETTE = [(18, 18, 18), (58, 58, 62), (72, 22, 18), (255, 52, 34)]

# A 5 x 7 font, one string of five columns per glyph (bit 0 is the top row).
FONT = {
    ' ': [0, 0, 0], '!': [0x5F], '.': [0x40], ':': [0x36],
    '0': [0x3E, 0x51, 0x49, 0x45, 0x3E], '1': [0x00, 0x42, 0x7F, 0x40, 0x00],
    '2': [0x42, 0x61, 0x51, 0x49, 0x46], '3': [0x21, 0x41, 0x45, 0x4B, 0x31],
    '4': [0x18, 0x14, 0x12, 0x7F, 0x10], '5': [0x27, 0x45, 0x45, 0x45, 0x39],
    '6': [0x3C, 0x4A, 0x49, 0x49, 0x30], '7': [0x01, 0x71, 0x09, 0x05, 0x03],
    '8': [0x36, 0x49, 0x49, 0x49, 0x36], '9': [0x06, 0x49, 0x49, 0x29, 0x1E],
    'A': [0x7E, 0x11, 0x11, 0x11, 0x7E], 'C': [0x3E, 0x41, 0x41, 0x41, 0x22],
    'D': [0x7F, 0x41, 0x41, 0x22, 0x1C], 'E': [0x7F, 0x49, 0x49, 0x49, 0x41],
    'F': [0x7F, 0x09, 0x09, 0x09, 0x01], 'H': [0x7F, 0x08, 0x08, 0x08, 0x7F],
    'I': [0x00, 0x41, 0x7F, 0x41, 0x00], 'L': [0x7F, 0x40, 0x40, 0x40, 0x40],
    'M': [0x7F, 0x02, 0x0C, 0x02, 0x7F], 'N': [0x7F, 0x04, 0x08, 0x10, 0x7F],
    'O': [0x3E, 0x41, 0x41, 0x41, 0x3E], 'P': [0x7F, 0x09, 0x09, 0x09, 0x06],
    'R': [0x7F, 0x09, 0x19, 0x29, 0x46], 'S': [0x46, 0x49, 0x49, 0x49, 0x31],
    'T': [0x01, 0x01, 0x7F, 0x01, 0x01], 'W': [0x3F, 0x40, 0x38, 0x40, 0x3F],
    'X': [0x63, 0x14, 0x08, 0x14, 0x63], 'Z': [0x61, 0x51, 0x49, 0x45, 0x43],
}


def text_columns(text):
    cols = []
    for ch in text:
        cols += FONT[ch] + [0]
    return cols


def draw(cols_w, rows_h, lit):
    """A W x H picture of a sign of cols_w x rows_h LEDs; lit(col, row) says which shine."""
    pitch = max(2, min((W - 14) // cols_w, (H - 14) // rows_h))
    dot = max(1, pitch - 1)
    left = (W - cols_w * pitch) // 2
    top = (H - rows_h * pitch) // 2
    px = [[BACK] * W for _ in range(H)]
    for y in range(top - 5, top + rows_h * pitch + 5):
        for x in range(left - 5, left + cols_w * pitch + 5):
            if 0 <= x < W and 0 <= y < H:
                edge = y < top - 3 or y >= top + rows_h * pitch + 3 or x < left - 3 or x >= left + cols_w * pitch + 3
                px[y][x] = CASE if edge else BACK
    for r in range(rows_h):
        for c in range(cols_w):
            colour = ON if lit(c, r) else OFF
            for dy in range(dot):
                for dx in range(dot):
                    px[top + r * pitch + dy][left + c * pitch + dx] = colour
    return px


def scrolling_frames(cols_w, rows_h, text, step):
    cols = text_columns(text)
    base = max(0, (rows_h - 7) // 2)
    frames = []
    for shift in range(-cols_w, len(cols) + 1, step):
        def lit(c, r, shift=shift):
            i = c + shift
            return 0 <= i < len(cols) and 0 <= r - base < 7 and cols[i] >> (r - base) & 1
        frames.append(draw(cols_w, rows_h, lit))
    return frames


def still(cols_w, rows_h, text):
    cols = text_columns(text)
    start = (cols_w - len(cols) + 1) // 2
    base = max(0, (rows_h - 7) // 2)
    return draw(cols_w, rows_h, lambda c, r: 0 <= c - start < len(cols) and 0 <= r - base < 7
                and cols[c - start] >> (r - base) & 1)


def write_gif(path, frames, delay_cs):
    gifwriter.write_gif(path, W, H, PALETTE, frames, delay_cs)


def write_png(path, px):
    raw = b''.join(b'\x00' + bytes(v for i in row for v in PALETTE[i]) for row in px)

    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))

    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', W, H, 8, 2, 0, 0, 0))
                + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def main(folder):
    os.makedirs(folder, exist_ok=True)
    write_gif(os.path.join(folder, 'sign44x11.gif'), scrolling_frames(44, 11, 'HELLO 44X11', 2), 8)
    write_gif(os.path.join(folder, 'sign48x12.gif'), scrolling_frames(48, 12, 'WELCOME 48X12', 2), 8)
    write_gif(os.path.join(folder, 'sign64x16.gif'), scrolling_frames(64, 16, 'OPEN 64X16', 2), 8)
    write_gif(os.path.join(folder, 'sign96x16.gif'), scrolling_frames(96, 16, 'ZENTARI 96X16 SALE', 3), 8)
    for i, word in enumerate(['OPEN', 'SALE', '36X11']):
        write_png(os.path.join(folder, 'sign36x11_%d.png' % (i + 1)), still(36, 11, word))


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'data/Images/Screens')
