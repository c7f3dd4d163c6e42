#!/usr/bin/python3
"""Writes the hostile-file set into a folder: small crafted files that declare
large pictures, LZW and run-length bombs, cut files. Beside them, cases.txt
lists one case a line, tab-separated:

    name  path  picture-bytes  expect  file

path      how the file is loaded (see hostile_load.cpp): registry (the
          library's load by content or extension), info (the open dialog's
          information pane), preview (the open dialog's preview read),
          bitmap (TBitmap from the file, then to 8 bits), lite (the lite
          edition's open), pro (the full edition's open up to the estimate
          and the display copy)
picture   the bytes of the picture the file declares, in the form the
          program holds it; the load may cost twice that
expect    load, refuse (a clear error), or either

A case is one case() call in make_cases(): a name, the path, the declared
picture in bytes (width * height * bytes per pixel of the form the program
keeps it in), what is expected, and the file's bytes. The full edition keeps
two pictures by design (the one shown and the copy as loaded that every
reduction starts from): its cases count the picture twice.

    usage: make_hostile_files.py FOLDER
"""
import os
import struct
import sys


# ---- GIF

class BitWriter:
    """LZW codes packed least significant bit first."""

    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.bits = 0

    def put(self, code, size):
        self.acc |= code << self.bits
        self.bits += size
        while self.bits >= 8:
            self.out.append(self.acc & 0xFF)
            self.acc >>= 8
            self.bits -= 8

    def bytes(self):
        if self.bits:
            self.out.append(self.acc & 0xFF)
            self.acc, self.bits = 0, 0
        return bytes(self.out)


def lzw_constant(pixels, min_code_size, value=1):
    """The LZW data of `pixels` values `value` as a greedy encoder writes it:
    each code one value longer than the last until the table is full, then
    the longest string over and over. The densest data a GIF can hold."""
    clear = 1 << min_code_size
    out = BitWriter()
    size = min_code_size + 1
    out.put(clear, size)
    next_code = clear + 2
    longest = 1
    left = pixels
    while left > 0:
        n = min(longest, left)
        out.put(value if n == 1 else clear + 2 + (n - 2), size)
        left -= n
        if left == 0:
            break
        if next_code < 4096:
            # The string just written, and one more value: a new code.
            if next_code == 1 << size:
                size += 1
            next_code += 1
            longest += 1
    if next_code < 4096 and next_code == 1 << size:
        size += 1
    out.put(clear + 1, size)
    return out.bytes()


def lzw_empty(min_code_size):
    """A clear code and the end code: no pixel at all."""
    out = BitWriter()
    out.put(1 << min_code_size, min_code_size + 1)
    out.put((1 << min_code_size) + 1, min_code_size + 1)
    return out.bytes()


def sub_blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        out.append(len(chunk))
        out += chunk
    out.append(0)
    return bytes(out)


def gif(width, height, frames, palette_bits=0):
    """A GIF89a of a `width` x `height` screen; frames are (left, top, w, h,
    min code size, LZW data). palette_bits > 0 adds a grey global table."""
    out = bytearray(b'GIF89a')
    packed = 0x80 | (palette_bits - 1) if palette_bits else 0
    out += struct.pack('<HHBBB', width, height, packed, 0, 0)
    if palette_bits:
        n = 1 << palette_bits
        for i in range(n):
            v = i * 255 // max(n - 1, 1)
            out += bytes((v, v, v))
    for left, top, w, h, mcs, data in frames:
        out += struct.pack('<BHHHHB', 0x2C, left, top, w, h, 0)
        out.append(mcs)
        out += sub_blocks(data)
    out.append(0x3B)
    return bytes(out)


# ---- BMP

def bmp(width, height, bits, compression, data, colors=None, image_size=None, file_header=True):
    """A bitmap file (or, without the file header, a packed DIB) with a
    40-byte header, a grey colour table for palette formats, then data."""
    if colors is None:
        colors = 1 << bits if bits <= 8 else 0
    table = bytearray()
    for i in range(colors):
        v = i * 255 // max(colors - 1, 1)
        table += bytes((v, v, v, 0))
    if image_size is None:
        image_size = len(data)
    header = struct.pack('<IiiHHIIiiII', 40, width, height, 1, bits, compression, image_size, 2835, 2835,
                         colors, 0)
    dib = header + bytes(table) + data
    if not file_header:
        return dib
    offset = 14 + len(header) + len(table)
    return b'BM' + struct.pack('<IHHI', 14 + len(dib), 0, 0, offset) + dib


def rle8_picture(width, height):
    """RLE8 rows of a textured picture in absolute runs of up to 254 values,
    each row ended by its end-of-line code, the end-of-bitmap code last."""
    out = bytearray()
    for y in range(height):
        x = 0
        while x < width:
            n = min(254, width - x)
            out += bytes((0, n)) + bytes(((x + i) ^ y) & 0xFF for i in range(n))
            x += n
        out += b'\x00\x00'
    out += b'\x00\x01'
    return bytes(out)


# ---- the cases

CASES = []


def case(name, path, picture, expect, data):
    CASES.append((name, path, picture, expect, data))


def make_cases():
    # The lite edition opens every frame of an animation: 256 empty frames of
    # 16384 x 16384 in under 4 KB.
    empty = (0, 0, 16384, 16384, 7, lzw_empty(7))
    frames256 = gif(16384, 16384, [empty] * 256)
    case('gif_256_empty_frames_16384', 'lite', 16384 * 16384, 'either', frames256)
    case('gif_256_empty_frames_16384', 'registry', 16384 * 16384, 'either', frames256)

    # An LZW bomb: one 8192 x 8192 frame of a single value in about 30 KB.
    bomb = gif(8192, 8192, [(0, 0, 8192, 8192, 2, lzw_constant(8192 * 8192, 2))], palette_bits=2)
    case('gif_lzw_bomb_8192', 'lite', 8192 * 8192, 'load', bomb)
    case('gif_lzw_bomb_8192', 'registry', 8192 * 8192, 'load', bomb)
    case('gif_lzw_bomb_8192', 'info', 8192 * 8192, 'load', bomb)
    case('gif_lzw_bomb_8192', 'pro', 2 * 8192 * 8192, 'load', bomb)

    # 29 bytes declaring one empty frame on a 20000 x 20000 screen.
    screen = gif(20000, 20000, [(0, 0, 20000, 20000, 7, lzw_empty(7))])
    case('gif_screen_20000', 'pro', 2 * 20000 * 20000, 'either', screen)
    case('gif_screen_20000', 'lite', 20000 * 20000, 'either', screen)

    # A tiny frame on the largest screen: the canvas is the cost.
    corner = gif(65535, 65535, [(65534, 65534, 1, 1, 2, lzw_constant(1, 2))], palette_bits=2)
    case('gif_frame_in_corner_65535', 'lite', 0, 'refuse', corner)
    case('gif_frame_in_corner_65535', 'registry', 0, 'refuse', corner)

    # RLE bitmaps that declare huge pictures in a few bytes.
    rle8 = bmp(32768, 32767, 8, 1, b'\x00\x01')
    case('bmp_rle8_32768x32767', 'lite', 32768 * 32767, 'either', rle8)
    case('bmp_rle8_32768x32767', 'bitmap', 32768 * 32767, 'either', rle8)
    rle4_runs = b'\x00\x02\xff\xff' * 6 + b'\x00\x01'
    rle4 = bmp(7168, 131072, 4, 2, rle4_runs)
    case('bmp_rle4_7168x131072', 'lite', 7168 * 131072 // 2, 'either', rle4)
    case('bmp_rle4_7168x131072', 'bitmap', 7168 * 131072, 'either', rle4)
    # Past the image-size cap: refused at once.
    case('bmp_rle8_65535x65535', 'lite', 0, 'refuse', bmp(65535, 65535, 8, 1, b'\x00\x01'))

    # A run-length bitmap cut short: its rows end before the picture does.
    whole = bmp(480, 640, 8, 1, rle8_picture(480, 640))
    case('bmp_rle8_cut', 'lite', 0, 'refuse', whole[:60000])
    case('bmp_rle8_cut', 'registry', 0, 'refuse', whole[:60000])


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    make_cases()
    written = {}
    lines = []
    for name, path, picture, expect, data in CASES:
        ext = '.gif' if data[:4] == b'GIF8' else '.bmp'
        file = os.path.join(folder, name + ext)
        if written.get(file) != data:
            with open(file, 'wb') as f:
                f.write(data)
            written[file] = data
        lines.append('\t'.join((name, path, str(picture), expect, file)))
    with open(os.path.join(folder, 'cases.txt'), 'w') as f:
        f.write('\n'.join(lines) + '\n')


if __name__ == '__main__':
    main()
