"""A small GIF89a writer for the drawing tools: palette pictures, one global
colour table, looping for ever. Only the standard library is needed."""
import struct


def lzw(pixels, min_size):
    clear, end = 1 << min_size, (1 << min_size) + 1
    out, bits, nbits = bytearray(), 0, 0

    def emit(code, size):
        nonlocal bits, nbits
        bits |= code << nbits
        nbits += size
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8

    table = {(i,): i for i in range(clear)}
    size, nxt = min_size + 1, end + 1
    emit(clear, size)
    cur = ()
    for p in pixels:
        cand = cur + (p,)
        if cand in table:
            cur = cand
            continue
        emit(table[cur], size)
        if nxt < 4096:
            table[cand] = nxt
            if nxt == 1 << size and size < 12:
                size += 1
            nxt += 1
        else:
            emit(clear, size)
            table = {(i,): i for i in range(clear)}
            size, nxt = min_size + 1, end + 1
        cur = (p,)
    if cur:
        emit(table[cur], size)
    emit(end, size)
    if nbits:
        out.append(bits & 0xFF)
    return bytes(out)


def encode_gif(width, height, palette, frames, delays_cs):
    """The bytes of a GIF of `frames` (each a list of rows of palette indices).
    `delays_cs` is one delay in hundredths of a second, or one per frame."""
    if not 1 <= width <= 0xFFFF or not 1 <= height <= 0xFFFF:
        raise ValueError('picture size %d x %d out of range' % (width, height))
    if not 2 <= len(palette) <= 256:
        raise ValueError('a palette has 2 to 256 colours')
    if not frames:
        raise ValueError('no frames')
    if isinstance(delays_cs, int):
        delays_cs = [delays_cs] * len(frames)
    if len(delays_cs) != len(frames) or any(not 0 <= d <= 0xFFFF for d in delays_cs):
        raise ValueError('one delay of 0 to 65535 per frame')

    bits = (len(palette) - 1).bit_length()  # the colour table holds 2 ** bits entries
    data = bytearray(b'GIF89a' + struct.pack('<HHBBB', width, height, 0xF0 | (bits - 1), 0, 0))
    for rgb in list(palette) + [(0, 0, 0)] * ((1 << bits) - len(palette)):
        data += bytes(rgb)
    data += b'\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00'  # loop for ever
    min_size = max(2, bits)  # the format allows no smaller code size
    for px, delay in zip(frames, delays_cs):
        if len(px) != height or any(len(row) != width for row in px):
            raise ValueError('a frame is not %d x %d' % (width, height))
        flat = [v for row in px for v in row]
        if any(not 0 <= v < len(palette) for v in flat):
            raise ValueError('a pixel outside the palette')
        data += b'\x21\xF9\x04\x04' + struct.pack('<H', delay) + b'\x00\x00'
        data += b'\x2C' + struct.pack('<HHHHB', 0, 0, width, height, 0)
        body = lzw(flat, min_size)
        data += bytes([min_size])
        for i in range(0, len(body), 255):
            chunk = body[i:i + 255]
            data += bytes([len(chunk)]) + chunk
        data += b'\x00'
    data += b'\x3B'
    return bytes(data)


def write_gif(path, width, height, palette, frames, delays_cs):
    data = encode_gif(width, height, palette, frames, delays_cs)
    with open(path, 'wb') as f:
        f.write(data)
