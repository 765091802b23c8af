"""Plain models for checking `mhkbmp pack`: a writer and a reader of Windows
bitmap files of the kinds pack meets (and of kinds it must refuse), a PNG
writer for hostile files and Debian's PIL as the independent PNG reader, the
name pack gives an input, the layout of the resources it writes, and the
bitmap file that exporting a resource gives.

Written from the formats' descriptions, independently of the C++ code.
"""

import io
import struct
import zlib

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
    without a final .bmp or .png in any case; None when nothing is left."""
    name = path.replace("\\", "/").rsplit("/", 1)[-1]
    if name.lower().endswith((".bmp", ".png")):
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


# ---- PNG files -------------------------------------------------------------

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def png_chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def png_chunks(data):
    """[(type, body)] of a well-framed PNG file."""
    at, out = 8, []
    while at + 8 <= len(data):
        length, = struct.unpack_from(">I", data, at)
        out.append((data[at + 4:at + 8], data[at + 8:at + 8 + length]))
        at += 12 + length
    return out


def png_filtered(rows, filters, bpp):
    """The rows as filtered with the given filter types (a type above 4
    leaves the row as it is, behind that byte)."""
    out, above = b"", bytes(len(rows[0]) if rows else 0)
    for kind, row in zip(filters, rows):
        done = bytearray()
        for i, value in enumerate(row):
            a = row[i - bpp] if i >= bpp else 0
            b, c = above[i], above[i - bpp] if i >= bpp else 0
            p = a + b - c
            paeth = a if abs(p - a) <= min(abs(p - b), abs(p - c)) else b if abs(p - b) <= abs(p - c) else c
            predictor = [0, a, b, (a + b) // 2, paeth][kind] if kind <= 4 else 0
            done.append((value - predictor) & 255)
        out += bytes([kind]) + bytes(done)
        above = row
    return out


def png_file(width, height, depth, colour_type, rows, palette=None, interlace=0, filters=None, before_data=(),
             stream=None):
    """A PNG file built by hand, for the kinds no editor writes. rows: packed
    unfiltered rows; filters: each row's filter type (0 by default);
    palette: (red, green, blue) triples; before_data: (type, body) chunks
    between PLTE and IDAT; stream: the IDAT contents instead of the rows."""
    if stream is None:
        bpp = max(1, depth * {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour_type] // 8)
        stream = zlib.compress(png_filtered(rows, filters or [0] * len(rows), bpp))
    out = PNG_SIGNATURE + png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0,
                                                          interlace))
    if palette is not None:
        out += png_chunk(b"PLTE", b"".join(bytes(entry) for entry in palette))
    for kind, body in before_data:
        out += png_chunk(kind, body)
    return out + png_chunk(b"IDAT", stream) + png_chunk(b"IEND", b"")


def pil_png(width, height, bits, rows, palette):
    """What an ordinary editor saves: a PNG written by PIL. rows: top-down
    palette indexes (8-bit) or blue, green, red bytes (24-bit); palette:
    (blue, green, red) triples. PIL picks the bit depth (1, 2, 4 or 8) from
    the palette size."""
    from PIL import Image
    if bits == 8:
        image = Image.frombytes("P", (width, height), b"".join(rows))
        image.putpalette(bgr_to_rgb(b"".join(bytes(entry) for entry in palette)))
    else:
        image = Image.frombytes("RGB", (width, height), b"".join(bgr_to_rgb(r) for r in rows))
    out = io.BytesIO()
    image.save(out, "PNG")
    return out.getvalue()


def bgr_to_rgb(row):
    return b"".join(bytes(row[i:i + 3][::-1]) for i in range(0, len(row), 3))


def read_png(data):
    """What read_bmp gives, for a PNG file read by PIL: (width, height, bits,
    palette bytes (256 x BGR, zero-padded) or b"", top-down rows), or None
    when PIL reads it as neither an indexed nor an RGB picture."""
    from PIL import Image
    image = Image.open(io.BytesIO(data))
    image.load()
    width, height = image.size
    if image.mode == "P":
        rgb = bytes(image.getpalette())
        palette = bgr_to_rgb(rgb) + bytes(768 - len(rgb))
        pixels, bits, row = image.tobytes(), 8, width
    elif image.mode == "RGB":
        palette, bits, row = b"", 24, 3 * width
        pixels = bgr_to_rgb(image.tobytes())
    else:
        return None
    return width, height, bits, palette, [pixels[y * row:(y + 1) * row] for y in range(height)]


def png_problem(png, bmp):
    """None when the PNG file holds exactly the bitmap file's picture, laid
    out as export promises: bit depth 8, colour type 3 with a 256-entry PLTE
    or colour type 2, no transparency."""
    try:
        chunks = png_chunks(png)
        picture = read_png(png)
    except Exception as error:  # PIL's reasons vary
        return "unreadable: %s" % error
    expected = read_bmp(bmp)
    kinds = dict(chunks)
    layout = (kinds.get(b"IHDR", b"")[8:10], len(kinds.get(b"PLTE", b"")), b"tRNS" in kinds)
    if layout != ((b"\x08\x03", 768, False) if expected[2] == 8 else (b"\x08\x02", 0, False)):
        return "layout %r" % (layout,)
    return None if picture == expected else "picture differs"
