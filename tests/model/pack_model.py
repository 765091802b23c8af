"""Plain models for checking `mhkbmp pack`: a writer and a reader of Windows
bitmap files of the kinds pack meets (and of kinds it must refuse), the name
pack gives an input, the layout of the resources it writes, and the bitmap
file that exporting a resource gives.

Written from the formats' descriptions, independently of the C++ code.
"""

import struct

from mhk_model import be16


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

def resource_header(res):
    """(width, height, pitch, format, palette bytes or b"") of a resource
    as pack writes it, or None when it is not one of its two layouts.
    The pixels themselves are checked through `mhkbmp export`."""
    if len(res) < 8:
        return None
    width, height, pitch, fmt = be16(res, 0), be16(res, 2), be16(res, 4), be16(res, 6)
    if pitch == (width + 3) & ~3 and len(res) >= 784 and res[8:12] == b"\x03\x04\x18\xff":
        if fmt == 10 and len(res) == 780 + height * pitch or fmt == 1034 and res[780:784] == bytes(4):
            return width, height, pitch, fmt, bytes(res[12:780])
    if (width, height, pitch, fmt, len(res)) == (608, 392, 2432, 4, 953352):
        return width, height, pitch, fmt, b""
    return None


def stored_rows(res, header):
    """The top-down rows without padding of an uncompressed resource."""
    width, height, pitch, fmt, _ = header
    start, row = (780, width) if fmt == 10 else (8, 1824)
    return [bytes(res[start + y * pitch:start + y * pitch + row]) for y in range(height)]


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
