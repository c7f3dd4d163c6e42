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
          and the display copy), chunks (as registry, with metadata chunks
          read)
picture   the bytes of the picture the file declares, in the form the
          program holds it; the load may cost twice that
expect    load, refuse (a clear error), or either

A case is one case() call in make_cases(): a name, the path, the declared
picture in bytes (width * height * bytes per pixel of the form the program
keeps it in), what is expected, and the file's bytes. The full edition keeps
two pictures by design (the one shown and the copy as loaded that every
reduction starts from): its cases count both, the one shown in the 8 bits a
pixel it is reduced to, the copy in the bits a pixel it was loaded with.

    usage: make_hostile_files.py FOLDER
"""
import os
import struct
import sys
import zlib


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


def rle8_flat(width, height, value=7):
    """RLE8 rows of one value in encoded runs of 255: a picture of
    width x height in about width / 4 bytes a row."""
    row = bytearray()
    for x in range(0, width, 255):
        row += bytes((min(255, width - x), value))
    row += b'\x00\x00'
    return bytes(row) * height + b'\x00\x01'


# ---- TGA

def tga(width, height, bits, image_type, data=b''):
    """A TGA file without colour map or identification field."""
    return struct.pack('<BBBHHBHHHHBB', 0, 0, image_type, 0, 0, 0, 0, 0, width, height, bits, 0x20) + data


def tga_rle_flat(width, height, bits):
    """Run-length packets of 128 pixels of one colour, a row at a time."""
    pixel = bytes(range(1, bits // 8 + 1))
    row = bytearray()
    for x in range(0, width, 128):
        row += bytes((0x80 | (min(128, width - x) - 1),)) + pixel
    return bytes(row) * height


# ---- JPEG

def jpeg_empty_scans(width, height, scans):
    """A progressive grey JPEG whose scans hold no data: a DC scan, then AC
    scans over the same blocks, each four zero bytes. Cheap to make, costly
    to decode: every scan passes over every block."""
    out = bytearray(b'\xff\xd8\xff\xdb\x00\x43\x00' + b'\x01' * 64)
    out += b'\xff\xc2\x00\x0b\x08' + struct.pack('>HH', height, width) + b'\x01\x01\x11\x00'
    for table in (0x00, 0x10):
        out += b'\xff\xc4\x00\x14' + bytes((table, 1)) + bytes(16)
    for s in range(scans):
        out += b'\xff\xda\x00\x08\x01\x01\x00' + bytes((1 if s else 0, 63 if s else 0, 0)) + bytes(4)
    return bytes(out + b'\xff\xd9')


# ---- PNG

def png_chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF)


def png(extra, color_type=0, palette=None):
    """A 1 x 1 PNG of 8-bit samples with `extra` chunks before its data."""
    out = bytearray(b'\x89PNG\r\n\x1a\n')
    out += png_chunk(b'IHDR', struct.pack('>IIBBBBB', 1, 1, 8, color_type, 0, 0, 0))
    if palette:
        out += png_chunk(b'PLTE', palette)
    out += extra
    out += png_chunk(b'IDAT', zlib.compress(b'\x00\x00'))
    out += png_chunk(b'IEND', b'')
    return bytes(out)


def deflated_zeros(size):
    """`size` zero bytes deflated, made a piece at a time."""
    z = zlib.compressobj(9)
    piece = bytes(1 << 20)
    out = bytearray()
    for _ in range(size >> 20):
        out += z.compress(piece)
    return bytes(out + z.flush())


# ---- Files too large to hold: written a piece at a time

def streamed(pieces):
    """The file's bytes as a writer: `pieces` (a function returning an
    iterable of bytes) is called each time the file is written, so a file
    of hundreds of megabytes is never held whole."""
    def write(f):
        buffer = bytearray()
        for piece in pieces():
            buffer += piece
            if len(buffer) >= 1 << 20:
                f.write(buffer)
                buffer.clear()
        f.write(buffer)
    return write


def png_sized(width, extra):
    """A width x 1 grey PNG of 8-bit samples with `extra` chunks (bytes, or
    an iterable of bytes) before its data, as pieces."""
    yield b'\x89PNG\r\n\x1a\n' + png_chunk(b'IHDR', struct.pack('>IIBBBBB', width, 1, 8, 0, 0, 0, 0))
    yield from ([extra] if isinstance(extra, bytes) else extra)
    yield png_chunk(b'IDAT', zlib.compress(bytes(width + 1))) + png_chunk(b'IEND', b'')


def gif_with_comments(count, size):
    """An 8 x 8 GIF of one frame after `count` comments of `size` bytes each,
    as pieces."""
    yield gif(8, 8, [], palette_bits=1)[:-1]
    full, rest = divmod(size, 255)
    run = b'\xff' + b'c' * 255
    tail = (bytes((rest,)) + b'c' * rest if rest else b'') + b'\x00'
    for _ in range(count):
        yield b'\x21\xfe'
        for n in range(0, full, 4096):
            yield run * min(4096, full - n)
        yield tail
    yield gif(8, 8, [(0, 0, 8, 8, 2, lzw_constant(64, 2))], palette_bits=1)[13 + 6:]


def jpeg_baseline(width, height, components):
    """A baseline JPEG whose one scan holds no data: cheap to make, costly to
    decode in proportion to its picture."""
    out = bytearray(b'\xff\xd8\xff\xdb\x00\x43\x00' + b'\x01' * 64)
    out += b'\xff\xc0' + struct.pack('>HBHHB', 8 + 3 * components, 8, height, width, components)
    for c in range(components):
        out += bytes((c + 1, 0x11, 0))
    for table in (0x00, 0x10):
        out += b'\xff\xc4\x00\x14' + bytes((table, 1)) + bytes(16)
    out += b'\xff\xda' + struct.pack('>HB', 6 + 2 * components, components)
    for c in range(components):
        out += bytes((c + 1, 0))
    return bytes(out + b'\x00\x3f\x00' + bytes(4) + b'\xff\xd9')


# ---- 1- and 4-bit pictures the full edition reduces, and the lite
# edition's canvas

def png_image(width, height, bit_depth, color_type=0):
    """A PNG of `width` x `height` zero samples, deflated a piece at a
    time: a 32768 x 32768 1-bit picture in about 130 KB."""
    row = b'\x00' + bytes((width * bit_depth + 7) // 8)
    z = zlib.compressobj(9)
    rows_at_once = max(1, (1 << 20) // len(row))
    data = bytearray()
    for y in range(0, height, rows_at_once):
        data += z.compress(row * min(rows_at_once, height - y))
    data += z.flush()
    out = bytearray(b'\x89PNG\r\n\x1a\n')
    out += png_chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, bit_depth, color_type, 0, 0, 0))
    out += png_chunk(b'IDAT', bytes(data))
    out += png_chunk(b'IEND', b'')
    return bytes(out)


def tiff_packbits_shared(width, height, rows_per_strip=256):
    """A 1-bit TIFF whose PackBits strips all point at one strip of white
    rows: a picture of any height in a few kilobytes."""
    row_bytes = (width + 7) // 8
    row = bytearray()
    for x in range(0, row_bytes, 128):
        row += bytes((257 - min(128, row_bytes - x), 0))  # a run of up to 128 zero bytes
    strip = bytes(row) * rows_per_strip
    strips = (height + rows_per_strip - 1) // rows_per_strip
    entries = [(256, 4, 1, width), (257, 4, 1, height), (258, 3, 1, 1), (259, 3, 1, 32773), (262, 3, 1, 0),
               (273, 4, strips, None), (278, 4, 1, rows_per_strip), (279, 4, strips, None)]
    ifd_at = 8
    arrays_at = ifd_at + 2 + 12 * len(entries) + 4
    strip_at = arrays_at + 8 * strips
    ifd = struct.pack('<H', len(entries))
    for tag, kind, count, value in entries:
        if tag == 273:
            value = arrays_at
        elif tag == 279:
            value = arrays_at + 4 * strips
        if kind == 3 and count == 1:
            ifd += struct.pack('<HHIHH', tag, kind, count, value, 0)
        else:
            ifd += struct.pack('<HHII', tag, kind, count, value)
    ifd += struct.pack('<I', 0)
    arrays = struct.pack('<%dI' % strips, *([strip_at] * strips)) + struct.pack('<%dI' % strips, *([len(strip)] * strips))
    return b'II*\x00' + struct.pack('<I', ifd_at) + ifd + arrays + strip


def pcx_1bit(width, height):
    """A run-length coded 1-bit PCX of white rows, runs of 63 bytes."""
    row_bytes = (width + 15) // 16 * 2
    header = struct.pack('<BBBBhhhhhh', 10, 5, 1, 1, 0, 0, width - 1, height - 1, 72, 72) + bytes(48)
    header += struct.pack('<BBHH', 0, 1, row_bytes, 1) + bytes(58)
    row = bytearray()
    for x in range(0, row_bytes, 63):
        row += bytes((0xC0 | min(63, row_bytes - x), 0xFF))
    return header + bytes(row) * height


def gif_screen_without_black(width, height, frames):
    """A GIF89a of a `width` x `height` screen whose full 256-entry global
    table lacks black, with `frames` frames of one pixel at the top left."""
    out = bytearray(b'GIF89a')
    out += struct.pack('<HHBBB', width, height, 0xF7, 0, 0)
    for i in range(256):
        out += bytes((255, i, 255 - i // 2))
    pixel = struct.pack('<BHHHHB', 0x2C, 0, 0, 1, 1, 0) + b'\x08' + sub_blocks(lzw_constant(1, 8, 3))
    out += pixel * frames
    out.append(0x3B)
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

    # JPEG scans that pass over the picture thousands of times: refused
    # before decoding, by the library and by the open dialog's preview; a
    # file at the limit decodes.
    case('jpeg_5000_scans_8192', 'registry', 8192 * 8192, 'refuse', jpeg_empty_scans(8192, 8192, 5000))
    case('jpeg_5000_scans_4096', 'preview', 4096 * 4096, 'refuse', jpeg_empty_scans(4096, 4096, 5000))
    case('jpeg_20000_dc_scans_2048', 'registry', 2048 * 2048, 'refuse', jpeg_empty_scans(2048, 2048, 20000))
    # Its coefficients take two bytes a pixel beside the picture's one.
    case('jpeg_32_scans_4096', 'registry', 2 * 4096 * 4096, 'load', jpeg_empty_scans(4096, 4096, 32))
    # 150 bytes declaring 32000 x 32000: its coefficients alone pass the cap.
    case('jpeg_progressive_32000', 'registry', 0, 'refuse', jpeg_empty_scans(32000, 32000, 1))

    # Uncompressed pixels the file does not hold are not allocated.
    case('tga_header_only_16384x8192', 'registry', 0, 'refuse', tga(16384, 8192, 24, 2))
    case('bmp_16bit_zero_width', 'registry', 0, 'refuse', bmp(0, -2072444928, 16, 0, b''))
    case('bmp_24bit_3000_no_pixels', 'registry', 0, 'refuse', bmp(3000, 3000, 24, 0, b''))
    case('dib_24bit_3000_no_pixels', 'clipboard', 0, 'refuse', bmp(3000, 3000, 24, 0, b''))
    case('pgm_65535x16000_few_bytes', 'registry', 0, 'refuse', b'P5 65535 16000 255\n' + bytes(64))
    case('pbm_ascii_1000x1000_three_pixels', 'registry', 0, 'refuse', b'P1 1000 1000 1 0 1\n')

    # Run-length pictures that are really there load at the cost of their
    # pixels.
    case('bmp_rle8_8192_flat', 'registry', 8192 * 8192, 'load', bmp(8192, 8192, 8, 1, rle8_flat(8192, 8192)))
    case('tga_rle24_8192_flat', 'registry', 8192 * 8192 * 3, 'load', tga(8192, 8192, 24, 10,
                                                                      tga_rle_flat(8192, 8192, 24)))

    # PNGs that load with the library's warnings are described too.
    texts = b''.join(png_chunk(b'tEXt', b'k%d\x00v' % (i % 10)) for i in range(200000))
    case('png_200000_texts', 'info', 0, 'load', png(texts))
    ztxt = png(png_chunk(b'zTXt', b'big\x00\x00' + deflated_zeros(512 << 20)))
    case('png_ztxt_512mb', 'info', 0, 'load', ztxt)
    case('png_ztxt_512mb', 'registry', 0, 'load', ztxt)
    trns = png(png_chunk(b'tRNS', bytes(300)), 3, bytes(range(6)))
    case('png_trns_300_of_2', 'info', 0, 'load', trns)


def text_and_declared_size_cases():
    """Text that is not kept costs nothing (kept text, the 'chunks' path,
    stays within a budget); JPEG coefficients count in the image-size cap;
    the open dialog's information pane and preview refuse what open does."""
    # A 4 x 1 PNG whose 100 or 1000 zTXt chunks inflate to 7.9 MB each.
    ztxt = png_chunk(b'zTXt', b'k\x00\x00' + zlib.compress(b'a' * 7900000, 9))
    for count in (100, 1000):
        name = 'png_%d_ztxt_7900k' % count
        data = b''.join(png_sized(4, ztxt * count))
        for path in ('registry', 'info', 'preview', 'pro', 'chunks'):
            case(name, path, 0, 'load', data)
    itxt = png_chunk(b'iTXt', b'k\x00\x01\x00\x00\x00' + zlib.compress(b'a' * 7900000, 9))
    case('png_1000_itxt_7900k', 'registry', 0, 'load', b''.join(png_sized(4, itxt * 1000)))
    splt = png_chunk(b'sPLT', b'p\x00\x08' + bytes(60000))
    case('png_1000_splt_60k', 'registry', 0, 'load', b''.join(png_sized(4, splt * 1000)))
    text = png_chunk(b'tEXt', b'k\x00' + b'\n' * (1 << 20))
    texts = streamed(lambda: png_sized(4, (text for _ in range(300))))
    for path in ('registry', 'info', 'preview', 'pro', 'chunks'):
        case('png_300_text_1mb', path, 0, 'load', texts)

    # GIF comments: one of 200 MB, and 99 MB of small ones, before an 8 x 8
    # picture.
    one = streamed(lambda: gif_with_comments(1, 200 << 20))
    many = streamed(lambda: gif_with_comments(99000000 // 259, 255))
    for path in ('registry', 'info', 'preview', 'pro', 'lite'):
        case('gif_comment_200mb', path, 0, 'load', one)
        case('gif_comments_99mb', path, 0, 'load', many)

    # A PGM header's comment of 100 MB.
    pgm = streamed(lambda: (b'P5\n#', b'c' * (100 << 20), b'\n8 8\n255\n', bytes(64)))
    case('pgm_comment_100mb', 'registry', 0, 'load', pgm)

    # Progressive grey: the picture and its coefficients (two bytes a pixel)
    # together past the cap are refused in every path; just within it, the
    # information is given (decoding that gigabyte takes most of its time
    # budget on a busy machine: the unit tests load the edge under a lower
    # cap).
    big = jpeg_empty_scans(23000, 23000, 32)
    for path in ('registry', 'info', 'preview', 'pro'):
        case('jpeg_progressive_23000_32_scans', path, 0, 'refuse', big)
    case('jpeg_progressive_18912', 'info', 3 * 18912 * 18912, 'load', jpeg_empty_scans(18912, 18912, 1))
    for path in ('registry', 'preview', 'info'):
        case('jpeg_progressive_18920', path, 0, 'refuse', jpeg_empty_scans(18920, 18920, 1))
    # A baseline picture past the cap is refused by the preview too, which
    # would decode it at an eighth of its size; one at the cap loads there.
    for path in ('registry', 'info', 'preview', 'pro'):
        case('jpeg_baseline_65500', path, 0, 'refuse', jpeg_baseline(65500, 65500, 3))
    for path in ('info', 'preview'):
        case('jpeg_baseline_18918', path, 3 * 18918 * 18918 // 64, 'load', jpeg_baseline(18918, 18918, 3))
        case('jpeg_baseline_18919', path, 0, 'refuse', jpeg_baseline(18919, 18919, 3))

    # One side zero: refused by open and by the information pane alike.
    for path in ('registry', 'info', 'lite'):
        case('bmp_zero_width_0x106', path, 0, 'refuse', bmp(0, 106, 8, 0, b''))
        case('bmp_1x106', path, 0, 'load', bmp(1, 106, 8, 0, bytes(4 * 106)))
    for path in ('registry', 'info'):
        case('tga_zero_width_0x106', path, 0, 'refuse', tga(0, 106, 8, 3))
        case('tga_1x106', path, 0, 'load', tga(1, 106, 8, 3, bytes(106)))


def packed_and_canvas_cases():
    """1- and 4-bit pictures through every path, and the lite edition's GIF
    canvas."""
    # The full edition reduces what it opens to 8 bits: 1- and 4-bit
    # pictures are counted and converted a row at a time, so they cost what
    # an 8-bit picture of their size costs. Its picture is the one reduced
    # to 8 bits and the copy as loaded, in its own bits a pixel; the
    # library's and the open dialog's are the picture as loaded.
    def packed(name, width, height, bits, data, paths=('registry', 'info', 'preview', 'pro')):
        for path in paths:
            picture = width * height * bits // 8 if path != 'info' else 0
            if path == 'pro':
                picture += width * height
            case(name, path, picture, 'load', data)
    packed('png_1bit_32768', 32768, 32768, 1, png_image(32768, 32768, 1))
    packed('pbm_p4_65535x16000', 65536, 16000, 1, b'P4 65535 16000\n' + bytes(8192 * 16000))
    packed('tif_1bit_packbits_shared_32768', 32768, 32768, 1, tiff_packbits_shared(32768, 32768))
    packed('pcx_1bit_rle_32768x8192', 32768, 8192, 1, pcx_1bit(32768, 8192))
    packed('bmp_rle4_16384', 16384, 16384, 4, bmp(16384, 16384, 4, 2, b'\x00\x01'),
           ('registry', 'info', 'preview', 'pro', 'lite'))
    # 32768 x 32768 is the largest picture 8 bits can hold; one row more is
    # shown as it was loaded, unreduced (its picture and the copy, 4 bits a
    # pixel).
    packed('bmp_rle4_32768', 32768, 32768, 4, bmp(32768, 32768, 4, 2, b'\x00\x01'), ('pro',))
    case('bmp_rle4_32768x32769', 'pro', 2 * (32768 * 32769 // 2), 'either', bmp(32768, 32769, 4, 2, b'\x00\x01'))

    # The lite edition's picture of a GIF whose one-pixel frame leaves the
    # screen around it in black, which its full table lacks: 8 bits a pixel,
    # black taking an entry the frame does not use, also after 100,000
    # frames. 16384 x 16384 is the largest screen it shows; one row more is
    # refused.
    for name, path, picture in (('gif_no_black_16384', 'lite', 16384 * 16384),
                                ('gif_no_black_16384', 'registry', 1), ('gif_no_black_16384', 'info', 0),
                                ('gif_no_black_100000_frames', 'lite', 16384 * 16384),
                                ('gif_no_black_100000_frames', 'registry', 1)):
        frames = 100000 if 'frames' in name else 1
        case(name, path, picture, 'load', gif_screen_without_black(16384, 16384, frames))
    case('gif_no_black_16384x16385', 'lite', 0, 'refuse', gif_screen_without_black(16384, 16385, 1))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    make_cases()
    text_and_declared_size_cases()
    packed_and_canvas_cases()
    written = {}
    lines = []
    for name, path, picture, expect, data in CASES:
        # The extension is the name's first word: TGA is found by it alone.
        ext = '.' + {'jpeg': 'jpg'}.get(name.split('_')[0], name.split('_')[0])
        file = os.path.join(folder, name + ext)
        if written.get(file) != data:
            with open(file, 'wb') as f:
                if callable(data):
                    data(f)
                else:
                    f.write(data)
            written[file] = data
        lines.append('\t'.join((name, path, str(picture), expect, file)))
    with open(os.path.join(folder, 'cases.txt'), 'w') as f:
        f.write('\n'.join(lines) + '\n')


if __name__ == '__main__':
    main()
