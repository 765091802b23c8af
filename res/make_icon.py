#!/usr/bin/env python3
"""make_icon.py - draws the viewer's icon and writes VelderImage.ico.

The picture, a framed landscape (sky, sun, two hills), is described by
shape functions over the unit square and sampled 4 x 4 times per pixel; the
16-colour images take each pixel's most frequent material.
The file holds six images in this order: 48, 32 and 16 pixels at 4 bits per
pixel (the standard 16-colour palette, 1-bit mask), then the same sizes at
32 bits per pixel with alpha. Pure Python, no image library.

    python3 res/make_icon.py [OUT.ico]     (default: res/VelderImage.ico)
"""
import math
import os
import struct
import sys

SIZES = (48, 32, 16)
SAMPLES = 4

# The standard 16-colour palette, in its usual order (R, G, B).
PALETTE16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]

# Materials of the picture: the colour at 32 bits and the palette index at 4 bits.
FRAME = ((43, 58, 85), 4)
SUN = ((255, 210, 63), 11)
FAR_HILL = ((46, 125, 80), 2)
NEAR_HILL = ((110, 180, 70), 10)
SKY_TOP, SKY_BOTTOM, SKY_INDEX = (40, 110, 210), (190, 225, 255), 14


def inside_rounded_square(u, v, inset, radius):
    """True when (u, v) lies in the square [inset, 1 - inset] with rounded corners."""
    if not (inset <= u <= 1.0 - inset and inset <= v <= 1.0 - inset):
        return False
    lo, hi = inset + radius, 1.0 - inset - radius
    cu = min(max(u, lo), hi)
    cv = min(max(v, lo), hi)
    return (u - cu) ** 2 + (v - cv) ** 2 <= radius ** 2


def sample(u, v):
    """Material at (u, v) as ((r, g, b), palette index), or None outside; v grows downwards."""
    if not inside_rounded_square(u, v, 0.03, 0.14):
        return None
    if not inside_rounded_square(u, v, 0.11, 0.07):
        return FRAME
    if v >= 0.78 - 0.12 * math.cos((u - 0.8) * 3.0):
        return NEAR_HILL
    if v >= 0.52 + 0.5 * (u - 0.3) ** 2:
        return FAR_HILL
    if (u - 0.68) ** 2 + (v - 0.33) ** 2 <= 0.11 ** 2:
        return SUN
    t = min(max((v - 0.11) / 0.6, 0.0), 1.0)
    return tuple(int(round(a + (b - a) * t)) for a, b in zip(SKY_TOP, SKY_BOTTOM)), SKY_INDEX


def render(size):
    """Rows of (r, g, b, a, index), top row first: the averaged straight colour
    and coverage, and the palette index of the most frequent material."""
    rows = []
    n = SAMPLES * SAMPLES
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0]
            covered = 0
            votes = {}
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    material = sample((x + (sx + 0.5) / SAMPLES) / size, (y + (sy + 0.5) / SAMPLES) / size)
                    if material is None:
                        continue
                    colour, index = material
                    covered += 1
                    for i in range(3):
                        acc[i] += colour[i]
                    votes[index] = votes.get(index, 0) + 1
            rgb = tuple(int(round(c / covered)) for c in acc) if covered else (0, 0, 0)
            index = max(sorted(votes), key=lambda i: votes[i]) if votes else 0
            row.append(rgb + (int(round(covered * 255 / n)), index))
        rows.append(row)
    return rows


def mask_rows(rows):
    """The 1-bit AND mask, bottom row first: 1 where the picture is transparent."""
    size = len(rows)
    stride = ((size + 31) // 32) * 4
    out = b""
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, px in enumerate(row):
            if px[3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bytes(bits)
    return out


def info_header(size, bits, image_bytes):
    # The height counts colour and mask together.
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, image_bytes, 0, 0,
                       16 if bits == 4 else 0, 0)


def image4(rows):
    size = len(rows)
    stride = ((size * 4 + 31) // 32) * 4
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in PALETTE16)
    pixels = b""
    for row in reversed(rows):
        line = bytearray(stride)
        for x, px in enumerate(row):
            index = px[4] if px[3] >= 128 else 0
            line[x // 2] |= index << (4 if x % 2 == 0 else 0)
        pixels += bytes(line)
    mask = mask_rows(rows)
    return info_header(size, 4, len(pixels) + len(mask)) + palette + pixels + mask


def image32(rows):
    pixels = b"".join(struct.pack("BBBB", px[2], px[1], px[0], px[3]) for row in reversed(rows) for px in row)
    mask = mask_rows(rows)
    return info_header(len(rows), 32, len(pixels) + len(mask)) + pixels + mask


def build_icon():
    rendered = {size: render(size) for size in SIZES}
    images = [(size, 4, image4(rendered[size])) for size in SIZES]
    images += [(size, 32, image32(rendered[size])) for size in SIZES]
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries = b""
    for size, bits, data in images:
        entries += struct.pack("<BBBBHHII", size, size, 16 if bits == 4 else 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    return header + entries + b"".join(data for _, _, data in images), [len(d) for _, _, d in images]


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                             "VelderImage.ico")
    data, lengths = build_icon()
    # The resource tables of the program expect exactly these image sizes.
    assert lengths == [1640, 744, 296, 9640, 4264, 1128], lengths
    with open(out, "wb") as f:
        f.write(data)
    print(out, len(data), "bytes;", " ".join(map(str, lengths)))


if __name__ == "__main__":
    main()
