#!/usr/bin/env python3
"""picture_archive.py OUT.mhk SHOWN - writes an archive of two pictures for
the black-box run, a compressed one with a random stream and an uncompressed
one, and how each must look on the screen: SHOWN1.ppm and SHOWN2.ppm, worked
out with the decoder model (not with the viewer's decoder).
"""
import os
import random
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "model"))

import archive_gen  # noqa: E402
import bitmap_model  # noqa: E402
import check_export  # noqa: E402
from mhk_model import TBMP  # noqa: E402


def shown(resource):
    """(width, height, RGB bytes top row first) of an 8-bit picture as shown."""
    packed, start = bitmap_model.decode(resource, False)
    _, width, height = struct.unpack_from("<Iii", packed)
    height, pitch = -height, (width + 3) & ~3
    rgb = bytearray()
    for y in range(height):
        for x in range(width):
            entry = 40 + 4 * packed[start + y * pitch + x]
            rgb += bytes([packed[entry + 2], packed[entry + 1], packed[entry]])
    return width, height, bytes(rgb)


def main():
    out, prefix = sys.argv[1], sys.argv[2]
    rng = random.Random(5)
    width, height = 53, 41
    compressed = check_export.stream_resource(
        rng, width, height, check_export.random_stream(rng, 2 * ((width + 3) & ~3) * height))
    raw = check_export.header8(rng, 30, 20, 10) + bytes(rng.getrandbits(8) for _ in range(32 * 20))
    archive, _ = archive_gen.build(rng, [compressed, raw], [(TBMP, [(1, 1), (2, 2)], [(b"stream", 1)])])
    with open(out, "wb") as f:
        f.write(archive)
    for number, resource in enumerate((compressed, raw), 1):
        w, h, rgb = shown(resource)
        with open(f"{prefix}{number}.ppm", "wb") as f:
            f.write(b"P6\n%d %d\n255\n" % (w, h) + rgb)


if __name__ == "__main__":
    main()
