"""An independent model of the bitmap decoder, written from the format's
description: a tBMP resource to a packed device-independent bitmap, the
compressed pixel stream, the bitmap file, and what `mhkbmp export` and
`mhkbmp export-all` write for an archive.

Plain and slow on purpose: one byte at a time, bytes objects and slices.
The stream decoder keeps the whole decode block (header, palette, pixel
area) in one bytearray, so reaching back before the area reads the palette.
"""

import functools
import os
import struct

from mhk_model import MESSAGES, be16, list_text, open_archive, refusal, resource_data

PALETTE_BLOCK_END = 780   # 8-byte header, 4-byte palette header, 768 colour bytes
STREAM_START = 784        # 4 bytes skipped after the palette block
WIDE = (608, 392, 2432, 953352)  # the one 24-bit layout: width, height, pitch, resource size

# Operand bytes after a two-byte pair code, by high nibble: (for L = 0, for L > 0).
TWO_BYTE_OPERANDS = {0x0: (0, 0), 0x1: (1, 0), 0x2: (0, 0), 0x3: (0, 0), 0x4: (1, 0), 0x5: (2, 1),
                     0x6: (1, 1), 0x7: (1, 1), 0x8: (0, 0), 0x9: (1, 1), 0xC: (0, 0), 0xD: (1, 1),
                     0xA: (1, 0), 0xB: (1, 0), 0xE: (1, 0), 0xF: (1, 0)}


def back_reference(code, m):
    """(copy length, distance high bits, has literal) of a back-reference code, or None."""
    h, low = code >> 4, code & 15
    if h not in (0xA, 0xB, 0xE, 0xF) or low < 4 or code > 0xFC:
        return None
    if code == 0xFC:
        length = 3 + m // 4
        return length, m % 4, length % 2 == 1
    length = 3 * {0xA: 0, 0xB: 1, 0xE: 2, 0xF: 3}[h] + low // 4 + 2
    return length, low % 4, length % 2 == 1


def two_byte(mem, p, code, ops):
    """Writes one two-byte pair code at p; the second byte is worked out
    after the first is written. None leaves a byte as it was."""
    h, low = code >> 4, code & 15

    def at(offset):
        return mem[p + offset]

    rules = {
        0x0: (lambda: at(-2 * low) if low else None, lambda: at(1 - 2 * low) if low else None),
        0x1: (lambda: at(-2), lambda: ops[0] if low == 0 else at(1 - low)),
        0x2: (lambda: at(-2), lambda: at(-1) + low),
        0x3: (lambda: at(-2), lambda: at(-1) - low),
        0x4: (lambda: ops[0] if low == 0 else at(-low), lambda: at(-1)),
        0x6: (lambda: ops[0], lambda: at(-1) + low),
        0x7: (lambda: ops[0], lambda: at(-1) - low),
        0x8: (lambda: at(-2) + low, lambda: at(-1)),
        0x9: (lambda: at(-2) + low, lambda: ops[0]),
        0xC: (lambda: at(-2) - low, lambda: at(-1)),
        0xD: (lambda: at(-2) - low, lambda: ops[0]),
    }
    if h == 0x5:
        if low == 0:
            rules[h] = (lambda: ops[0], lambda: ops[1])
        elif low < 8:
            rules[h] = (lambda: at(-low), lambda: ops[0])
        else:
            rules[h] = (lambda: ops[0], lambda: at(9 - low))  # 0x58: the byte itself
    elif h in (0xA, 0xB, 0xE, 0xF):
        if low != 0:
            return  # 0xA1-0xA3 and the like: the pair is skipped
        hi, lo = ops[0] >> 4, ops[0] & 15
        rules[h] = (lambda: at(-2) + (hi if h in (0xA, 0xB) else -hi),
                    lambda: at(-1) + (lo if h in (0xA, 0xE) else -lo))
    first, second = rules[h]
    value = first()
    if value is not None:
        mem[p] = value & 0xFF
    value = second()
    if value is not None:
        mem[p + 1] = value & 0xFF


def decompress(stream, mem, start, limit):
    """Decodes stream (all the bytes there are) into mem[start:limit]."""
    s, p = 0, start
    while s < len(stream):
        n = stream[s]
        if n == 0:
            return
        if n <= 0x40:
            count = 2 * n
            if s + 1 + count > len(stream) or p + count > limit:
                return
            mem[p:p + count] = stream[s + 1:s + 1 + count]
            s, p = s + 1 + count, p + count
        elif n <= 0xC0:
            period, times = (2, n - 0x40) if n <= 0x80 else (4, n - 0x80)
            if p + period * times > limit:
                return
            mem[p:p + period * times] = bytes(mem[p - period:p]) * times
            s, p = s + 1, p + period * times
        else:
            s += 1
            for _ in range(n - 0xC0):
                if p + 2 > limit or s >= len(stream):
                    return
                code = stream[s]
                if code == 0xFC and s + 1 >= len(stream):
                    return
                ref = back_reference(code, stream[s + 1] if code == 0xFC else 0)
                if ref is None:
                    count = TWO_BYTE_OPERANDS[code >> 4][0 if code & 15 == 0 else 1]
                    if (code >> 4) in (0xA, 0xB, 0xE, 0xF) and code & 15:
                        count = 0
                    if s + 1 + count > len(stream):
                        return
                    two_byte(mem, p, code, stream[s + 1:s + 1 + count])
                    s, p = s + 1 + count, p + 2
                    continue
                length, high, literal = ref
                written = length + (1 if literal else 0)
                count = (2 if code == 0xFC else 1) + (1 if literal else 0)
                if p + written > limit or s + 1 + count > len(stream):
                    return
                ops = stream[s + 1:s + 1 + count]
                distance = 256 * high + (ops[1] if code == 0xFC else ops[0])
                for i in range(length):
                    mem[p + i] = mem[p + i - distance]
                if literal:
                    mem[p + length] = ops[-1]
                s, p = s + 1 + count, p + written


def decode(res, bottom_up):
    """(packed bitmap bytes, pixel offset in them) or None when the decode fails.
    The packed bitmap is what a file holds after its 14-byte header."""
    if len(res) < 8:
        return None
    width, height, pitch, fmt = (be16(res, at) for at in (0, 2, 4, 6))
    if not (1 <= width <= 1024 and 1 <= height <= 1024):
        return None
    eight_bit = pitch == (width + 3) & ~3
    if eight_bit:
        if len(res) < PALETTE_BLOCK_END or bytes(res[8:12]) != b"\x03\x04\x18\xff":
            return None
        row = pitch
        palette = b"".join(bytes(res[12 + 3 * i:15 + 3 * i]) + b"\0" for i in range(256))
    else:
        if (width, height, pitch, len(res), fmt) != WIDE[:4] + (4,):
            return None
        row = (3 * width + 3) & ~3
        palette = b""
    header = struct.pack("<IiiHHIIiiII", 40, width, height if bottom_up else -height, 1,
                         8 if eight_bit else 24, 0, 0, 0, 0, 0, 0)
    start = len(header) + len(palette)
    mem = bytearray(header + palette + bytes(height * row))
    if not eight_bit:
        for r in range(height):
            mem[start + r * row:start + (r + 1) * row] = res[8 + r * pitch:8 + r * pitch + row]
    elif fmt == 10 and len(res) == PALETTE_BLOCK_END + height * row:
        mem[start:] = res[PALETTE_BLOCK_END:]
    elif fmt == 1034:
        decompress(bytes(res[STREAM_START:]), mem, start, len(mem))
    if bottom_up:
        rows = [bytes(mem[start + r * row:start + (r + 1) * row]) for r in range(height)]
        mem[start:] = b"".join(reversed(rows))
    return bytes(mem), start


def bitmap_file(packed, pixel_offset):
    return b"BM" + struct.pack("<III", 14 + len(packed), 0, 14 + pixel_offset) + packed


def export_name(position, text, extension=b".bmp", total=0):
    """NNNN_TEXT.bmp, NNNN as wide as the largest position (total), four
    digits at least, TEXT cut to 64 bytes and made safe."""
    safe = b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._-"
    digits = max(4, len(str(total)))
    return b"%0*d_" % (digits, position) + bytes(c if c in safe else ord("_") for c in text[:64]) + extension


@functools.lru_cache(maxsize=16)  # the export checks ask for each picture several times
def image_file(b, index):
    """The bitmap file of file-table entry index, or None when unreadable.
    b must be bytes."""
    found = resource_data(b, index)
    if found is None:
        return None
    offset, size = found
    decoded = decode(b[offset:offset + size], True)
    return bitmap_file(*decoded) if decoded else None


def export(path, index):
    """(exit code, file bytes or None, stdout, stderr) of `mhkbmp export path index OUT`."""
    code, b, _ = open_archive(path)
    if code == 0:
        data = image_file(b, index)
        if data is not None:
            return 0, data, b"", b""
        why = b"is not a picture the viewer can read" if resource_data(b, index) else \
            b"has no entry whose data lies inside the file"
        return 5, None, b"", b"mhkbmp export: %s: file-table index %d %s\n%s\n" % (
            os.fsencode(path), index, why, MESSAGES[5])
    return code, None, b"", refusal(b"export", path, code, b)


def export_all(path, extension=b".bmp"):
    """(exit code, {file name: bitmap file bytes}, stdout, stderr) of
    `mhkbmp export-all path DIR` into an empty, writable DIR (with --png the
    names end in .png and the files hold the same pictures)."""
    code, b, items = open_archive(path)
    if code != 0:
        return code, {}, b"", refusal(b"export-all", path, code, b)
    files, err, unreadable = {}, [], 0
    for position, (rid, index, name) in enumerate(items, 1):
        file_name = export_name(position, list_text(rid, name), extension, len(items))
        data = image_file(b, index)
        line = b"%d/%d %s" % (position, len(items), file_name)
        if data is None:
            unreadable += 1
            line += b": " + MESSAGES[5]
        else:
            files[os.fsdecode(file_name)] = data
        err.append(line + b"\n")
    out = b"%d written, %d unreadable\n" % (len(files), unreadable)
    return (5 if unreadable else 0), files, out, b"".join(err)
