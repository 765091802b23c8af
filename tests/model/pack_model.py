"""Plain models for checking `mhkbmp pack`: a writer of Windows bitmap files
of every kind pack meets (and of kinds it must refuse), the name pack gives an
input, a byte-at-a-time decoder of tBMP resources and their compressed pixel
stream, and the bitmap file that exporting a resource gives.

Written from the formats' descriptions, independently of the C++ code.
"""

import struct


# ---- Bitmap files ----------------------------------------------------------

def bmp_file(width, height, bits, pixel_rows, palette=(), top_down=False, header_size=40,
             compression=0, planes=1, colours_field=None, pixel_offset=None):
    """A bitmap file. pixel_rows: top-down rows of pixel bytes (no padding);
    palette: (blue, green, red) triples; colours_field defaults to the
    palette length (0 for a full 256-entry palette)."""
    stride = (width * bits // 8 + 3) & ~3
    stored = pixel_rows if top_down else list(reversed(pixel_rows))
    pixels = b"".join(bytes(row) + b"\0" * (stride - len(row)) for row in stored)
    table = b"".join(bytes([b, g, r, 0]) for b, g, r in palette)
    if colours_field is None:
        colours_field = 0 if len(palette) == 256 else len(palette)
    offset = 14 + header_size + len(table) if pixel_offset is None else pixel_offset
    info = struct.pack("<IiiHHIIiiII", header_size, width, -height if top_down else height, planes, bits,
                       compression, len(pixels), 2835, 2835, colours_field, 0)
    info += b"\0" * (header_size - len(info))
    head = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    body = head + info + table
    body += b"\0" * (offset - len(body))
    return body + pixels


def pack_name(path):
    """The resource name of an input: the file name without its folder and
    without a final .bmp in any case; None when nothing is left."""
    name = path.replace("\\", "/").rsplit("/", 1)[-1]
    if name.lower().endswith(".bmp"):
        name = name[:-4]
    return name.encode("latin-1") if name else None


# ---- tBMP resources --------------------------------------------------------

def be16(b, at):
    return (b[at] << 8) | b[at + 1]


def decompress(stream, size, front):
    """The area of size bytes that stream gives; front is what lies just
    before the area (its last byte the nearest). Returns (area, reached
    before the area)."""
    out = bytearray(size)
    reached = [False]
    s = 0
    p = 0

    def at(i):
        if i >= 0:
            return out[i]
        reached[0] = True
        return front[len(front) + i] if -i <= len(front) else 0

    def has(k):
        return s + k <= len(stream)

    while has(1):
        n = stream[s]
        if n == 0:
            break
        if n <= 0x40:
            if not has(1 + 2 * n) or p + 2 * n > size:
                break
            out[p:p + 2 * n] = stream[s + 1:s + 1 + 2 * n]
            p += 2 * n
            s += 1 + 2 * n
            continue
        if n <= 0xC0:
            period, count = (2, n - 0x40) if n <= 0x80 else (4, n - 0x80)
            if p + period * count > size:
                break
            s += 1
            for _ in range(period * count):
                out[p] = at(p - period)
                p += 1
            continue
        s += 1
        stop = False
        for _ in range(n - 0xC0):
            if p + 2 > size or not has(1):
                stop = True
                break
            code = stream[s]
            h, l = code >> 4, code & 15
            if h in (0xA, 0xB, 0xE, 0xF) and l >= 4 and code <= 0xFC:
                if code == 0xFC:
                    if not has(3):
                        stop = True
                        break
                    m = stream[s + 1]
                    copy, literal = 3 + m // 4, not (m & 4)
                    distance = 256 * (m % 4) + stream[s + 2]
                    operands = 3 if literal else 2
                else:
                    copy = 3 * {0xA: 0, 0xB: 1, 0xE: 2, 0xF: 3}[h] + l // 4 + 2
                    literal = copy % 2 == 1
                    if not has(2):
                        stop = True
                        break
                    distance = 256 * (l % 4) + stream[s + 1]
                    operands = 2 if literal else 1
                if not has(1 + operands) or p + copy + literal > size:
                    stop = True
                    break
                for _ in range(copy):
                    if distance:
                        out[p] = at(p - distance)
                    p += 1
                if literal:
                    out[p] = stream[s + operands]
                    p += 1
                s += 1 + operands
                continue
            one = code in (0x10, 0x40, 0xA0, 0xB0, 0xE0, 0xF0) or h in (6, 7, 9, 0xD) or (h == 5 and l > 0)
            operands = 2 if code == 0x50 else 1 if one else 0
            if not has(1 + operands):
                stop = True
                break
            x = stream[s + 1:s + 1 + operands]
            s += 1 + operands
            if code == 0 or (h in (0xA, 0xB, 0xE, 0xF) and 1 <= l <= 3) or code >= 0xFD:
                p += 2
                continue
            # First byte.
            if h == 0:
                a = at(p - 2 * l)
            elif h in (1, 2, 3):
                a = at(p - 2)
            elif h == 4:
                a = x[0] if l == 0 else at(p - l)
            elif h == 5:
                a = at(p - l) if 1 <= l <= 7 else x[0]
            elif h in (6, 7):
                a = x[0]
            elif h in (8, 9):
                a = (at(p - 2) + l) & 255
            elif h in (0xA, 0xB):
                a = (at(p - 2) + (x[0] >> 4)) & 255
            elif h in (0xC, 0xD):
                a = (at(p - 2) - l) & 255
            else:
                a = (at(p - 2) - (x[0] >> 4)) & 255
            out[p] = a
            q = p + 1
            # Second byte, worked out with the first in place.
            if h == 0:
                b = at(q - 2 * l)
            elif h == 1:
                b = x[0] if l == 0 else at(q - l)
            elif h == 2:
                b = (at(q - 2) + l) & 255
            elif h == 3:
                b = (at(q - 2) - l) & 255
            elif h == 4:
                b = at(q - 2)
            elif h == 5:
                b = x[1] if l == 0 else x[0] if l <= 7 else out[q] if l == 8 else at(q - (l - 8))
            elif h == 6:
                b = (at(q - 2) + l) & 255
            elif h == 7:
                b = (at(q - 2) - l) & 255
            elif h in (8, 0xC):
                b = at(q - 2)
            elif h in (9, 0xD):
                b = x[0]
            elif h in (0xA, 0xE):
                b = (at(q - 2) + (x[0] & 15)) & 255
            else:
                b = (at(q - 2) - (x[0] & 15)) & 255
            out[q] = b
            p += 2
        if stop:
            break
    return bytes(out), reached[0]


def decode_resource(res):
    """(width, height, bits, palette bytes (256 x BGR) or b"", top-down rows
    without padding, reached before the area) or None when refused."""
    if len(res) < 8:
        return None
    width, height, pitch, fmt = be16(res, 0), be16(res, 2), be16(res, 4), be16(res, 6)
    if not (1 <= width <= 1024 and 1 <= height <= 1024):
        return None
    if pitch == (width + 3) & ~3:
        if len(res) < 780 or res[8:12] != b"\x03\x04\x18\xff":
            return None
        palette = bytes(res[12:780])
        size = height * pitch
        reached = False
        if fmt == 10 and len(res) == 780 + size:
            area = bytes(res[780:])
        elif fmt == 1034:
            front = b"".join(palette[3 * i:3 * i + 3] + b"\0" for i in range(256))
            area, reached = decompress(bytes(res[784:]), size, front)
        else:
            area = bytes(size)
        rows = [area[y * pitch:y * pitch + width] for y in range(height)]
        return width, height, 8, palette, rows, reached
    if (width, height, pitch, len(res), fmt) != (608, 392, 2432, 953352, 4):
        return None
    rows = [bytes(res[8 + y * 2432:8 + y * 2432 + 1824]) for y in range(392)]
    return width, height, 24, b"", rows, False


def exported_file(width, height, bits, palette, rows):
    """The bitmap file that exporting a decoded resource writes: the packed
    bottom-up bitmap behind a 14-byte header."""
    stride = (width * bits // 8 + 3) & ~3
    table = b"".join(palette[3 * i:3 * i + 3] + b"\0" for i in range(256)) if bits == 8 else b""
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(row + b"\0" * (stride - len(row)) for row in reversed(rows))
    offset = 14 + 40 + len(table)
    return struct.pack("<2sIII", b"BM", offset + len(pixels), 0, offset) + info + table + pixels


def read_bmp(data):
    """(width, height, bits, palette bytes (256 x BGR, zero-padded) or b"",
    top-down rows without padding) of an uncompressed bitmap file."""
    offset, = struct.unpack_from("<I", data, 10)
    header, width, height, _, bits, compression = struct.unpack_from("<IiiHHI", data, 14)
    colours, = struct.unpack_from("<I", data, 46)
    assert compression == 0 and bits in (8, 24)
    palette = b""
    if bits == 8:
        colours = colours or 256
        table = data[14 + header:14 + header + 4 * colours]
        palette = b"".join(table[4 * i:4 * i + 3] for i in range(colours)) + bytes(3 * (256 - colours))
    rows_high = abs(height)
    stride = (width * bits // 8 + 3) & ~3
    stored = [data[offset + y * stride:offset + y * stride + width * bits // 8] for y in range(rows_high)]
    return width, rows_high, bits, palette, stored if height < 0 else stored[::-1]
