#!/usr/bin/env python3
"""Checks `mhkbmp pack` against the models: packs hand-made and random
bitmap files and PNG files saved by PIL, then reads the archive back with
the archive model, expecting one resource per input with the input's size,
palette (the file's entries, then zeros) and, where stored uncompressed,
rows. Where mhkbmp has `export`, every resource is exported and compared
byte for byte with the bitmap file the input should give back, and PNG
inputs are exported to PNG again and read back with PIL. Refused inputs
(hostile PNGs among them), unwritable outputs and usage errors must give
their exit codes and leave no archive behind.

usage: check_pack.py [--count N] [--seed S] [--native] -- COMMAND...
  (COMMAND runs mhkbmp; --native adds the checks that need POSIX links)
"""

import os
import stat
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from harness import Harness, main, write  # noqa: E402
from mhk_model import TBMP, enumerate_type, is_valid, list_archive, resource_data  # noqa: E402
from pack_model import (bgr_to_rgb, bmp_file, pack_name, pil_png, png_chunks, png_file, resource_header,  # noqa: E402
                        stored_rows)


class Picture:
    """An input bitmap: what pack must keep of it, and its file bytes."""

    def __init__(self, width, height, bits, rows, palette, png=False, **file_options):
        self.width, self.height, self.bits = width, height, bits
        self.rows = [bytes(r) for r in rows]
        self.palette = list(palette)
        self.png = png
        if png:
            self.data = pil_png(width, height, bits, self.rows, self.palette)
            # PIL may pad the palette to the bit depth it picked.
            plte = dict(png_chunks(self.data)).get(b"PLTE", b"")
            self.palette = [tuple(plte[i:i + 3][::-1]) for i in range(0, len(plte), 3)]
        else:
            self.data = bmp_file(width, height, bits, self.rows, self.palette, **file_options)

    def read(self):
        """The picture as pack_model reads a bitmap file."""
        return self.width, self.height, self.bits, self.palette_bytes(), self.rows

    def palette_bytes(self):
        """The 256-entry palette the resource must carry."""
        if self.bits != 8:
            return b""
        out = b"".join(bytes(entry) for entry in self.palette)
        return out + bytes(768 - len(out))


def random_palette(rng, count):
    return [(rng.randrange(256), rng.randrange(256), rng.randrange(256)) for _ in range(count)]


def random_rows(rng, width, height, mode):
    rows = []
    base = rng.randrange(256)
    for y in range(height):
        if mode == "noise":
            row = bytes(rng.randrange(256) for _ in range(width))
        elif mode == "flat":
            row = bytes([base]) * width
        elif mode == "gradient":
            row = bytes((base + (x + y) * 255 // (width + height)) & 255 for x in range(width))
        elif mode == "few":
            row = bytes((base + rng.randrange(3)) & 255 for _ in range(width))
        else:  # shapes: stripes and boxes
            row = bytes(((x // 7) ^ (y // 5)) & 3 for x in range(width))
        rows.append(row)
    return rows


def random_picture(rng, small=True):
    png = rng.randrange(3) == 0
    if rng.randrange(12) == 0:
        rows = [bytes(rng.randrange(256) if rng.randrange(4) == 0 else 80 for _ in range(1824))
                for _ in range(392)]
        if png:
            return Picture(608, 392, 24, rows, [], png=True)
        return Picture(608, 392, 24, rows, [], top_down=rng.randrange(2) == 0)
    limit = 40 if small else 1024
    width = rng.choice([1, 2, 3, 4, 5, 7, rng.randrange(1, limit + 1)])
    height = rng.choice([1, 2, 3, rng.randrange(1, limit + 1)])
    mode = rng.choice(["noise", "flat", "gradient", "few", "shapes"])
    colours = rng.choice([1, 2, 3, 4, 16, 255, 256, rng.randrange(1, 257)])
    rows = random_rows(rng, width, height, mode)
    if png:  # an editor's indexed picture uses only the colours it has
        rows = [bytes(v % colours for v in row) for row in rows]
        return Picture(width, height, 8, rows, random_palette(rng, colours), png=True)
    return Picture(width, height, 8, rows, random_palette(rng, colours),
                   top_down=rng.randrange(2) == 0, header_size=rng.choice([40, 40, 108, 124]))


class Checker(Harness):
    def inputs(self, case, named):
        """named: [(file name, Picture or bytes)] -> (folder, paths)."""
        folder = self.folder(case, [(name, getattr(content, "data", content)) for name, content in named])
        return folder, [os.path.join(folder, name) for name, _ in named]

    def accepted(self, case, named, out_leaf="out.mhk"):
        """Packs the pictures and checks the archive through the models."""
        folder, paths = self.inputs(case, named)
        out = os.path.join(folder, out_leaf)
        # OUT by its name in the folder: a long one stays inside the
        # Windows build's path limit too.
        code, _, err = self.run(["pack", out_leaf] + paths, cwd=folder)
        if not self.check(case, code == 0, "pack exit %d: %r" % (code, err)):
            return
        with open(out, "rb") as f:
            archive = f.read()
        if not self.check(case, is_valid(archive), "archive not valid"):
            return
        items = enumerate_type(archive, TBMP)
        expected_items = [(i + 1, i + 1, pack_name(p)) for i, p in enumerate(paths)]
        if not self.check(case, items == expected_items, "listed %r, expected %r" % (items[:5], expected_items[:5])):
            return
        listed = self.run(["list", out_leaf], cwd=folder)
        self.check(case, listed == list_archive(out), "list differs from the model: %r" % (listed[:2],))
        for i, (name, picture) in enumerate(named):
            where = resource_data(archive, i + 1)
            if not self.check(case, where is not None, "%s: no resource data" % name):
                continue
            resource = archive[where[0]:where[0] + where[1]]
            header = resource_header(resource)
            if not self.check(case, header is not None, "%s: not a resource of either layout" % name):
                continue
            width, height, pitch, fmt, palette = header
            bits = 24 if fmt == 4 else 8
            if (width, height, bits) != (picture.width, picture.height, picture.bits):
                self.check(case, False, "%s: %dx%dx%d, expected %dx%dx%d" % (
                    name, width, height, bits, picture.width, picture.height, picture.bits))
            elif palette != picture.palette_bytes():
                self.check(case, False, "%s: palette differs" % name)
            elif fmt != 1034 and stored_rows(resource, header) != picture.rows:
                self.check(case, False, "%s: stored rows differ" % name)
            elif fmt == 1034 and len(resource) >= 780 + height * pitch:
                self.check(case, False, "%s: compressed although plain rows are no larger" % name)
            if self.export:  # and back to PNG, read by PIL, where it came from one
                for extension in (".bmp", ".PNG") if picture.png else (".bmp",):
                    self.exports_as(case, folder, out_leaf, i + 1, picture.read(), extension)

    def refused(self, case, named, expected_code, args=None, out=None, keep_existing=False):
        """Runs pack and expects expected_code, a message naming the
        culprit, and no archive (or what was at OUT, one of the inputs
        among them, untouched; out may be a name in the case's folder)."""
        folder, paths = self.inputs(case, named)
        out = "" if out == "" else os.path.join(folder, out or "out.mhk")
        if keep_existing:
            write(out, b"an earlier file")
        before = open(out, "rb").read() if os.path.isfile(out) else None
        code, _, err = self.run(["pack", out] + (paths if args is None else args))
        self.check(case, code == expected_code, "exit %d, expected %d (%r)" % (code, expected_code, err))
        self.check(case, not os.path.isfile(out) or before == open(out, "rb").read(), "an archive was left behind")
        parent = os.path.dirname(out)
        leftovers = [n for n in os.listdir(parent) if ".tmp" in n] if os.path.isdir(parent) else []
        self.check(case, not leftovers, "temporary files left: %r" % leftovers)
        return err

    def temporary_link(self, picture):
        """A link waiting at the temporary name pack tries first
        (.mhkbmp-PID-0.tmp beside OUT, made in the child before it runs) is
        neither followed nor replaced."""
        folder, paths = self.inputs("temporary-link", [("good.bmp", picture), ("victim", b"precious")])
        out, victim = os.path.join(folder, "out.mhk"), paths.pop()

        def plant_link():
            os.symlink(victim, os.path.join(folder, ".mhkbmp-%d-0.tmp" % os.getpid()))

        code = self.run(["pack", out] + paths, preexec_fn=plant_link)[0]
        links = [n for n in os.listdir(folder) if os.path.islink(os.path.join(folder, n))]
        state = (code, open(victim, "rb").read(), os.path.islink(out), len(links),
                 is_valid(open(out, "rb").read()) if os.path.exists(out) else None)
        self.compare("temporary-link", "exit, victim, OUT a link, links, valid archive",
                     (0, b"precious", False, 1, True), state)

    def checks(self, rng, args):
        self.export = b"export" in self.run([])[2]
        tmp = self.tmp
        grey = [(i, i, i) for i in range(256)]

        # Sizes at the edges, both row orders, short palettes, the 24-bit kind.
        self.accepted("edges", [
            ("one.bmp", Picture(1, 1, 8, [b"\x07"], grey[:8])),
            ("column.bmp", Picture(1, 1024, 8, random_rows(rng, 1, 1024, "noise"), grey, top_down=True)),
            ("row.bmp", Picture(1024, 1, 8, random_rows(rng, 1024, 1, "gradient"), grey)),
            ("odd.bmp", Picture(5, 3, 8, random_rows(rng, 5, 3, "noise"), random_palette(rng, 3))),
            ("big.bmp", Picture(1024, 1024, 8, random_rows(rng, 1024, 1024, "shapes"), random_palette(rng, 256))),
            ("noise.bmp", Picture(333, 77, 8, random_rows(rng, 333, 77, "noise"), random_palette(rng, 200))),
            ("true.bmp", Picture(608, 392, 24, random_rows(rng, 1824, 392, "gradient"), [])),
            ("true-top.bmp", Picture(608, 392, 24, random_rows(rng, 1824, 392, "few"), [], top_down=True)),
            ("v5.bmp", Picture(17, 9, 8, random_rows(rng, 17, 9, "few"), grey[:20], header_size=124)),
        ])
        # Names: folder and a final .bmp in any case are dropped; nothing left: no name.
        tiny = Picture(2, 2, 8, [b"\1\2", b"\3\4"], grey[:4])
        self.accepted("names", [("Sunset.BMP", tiny), ("x.y.bmp", tiny), ("plain", tiny), (".bmp", tiny),
                                ("a.bmp.bmp", tiny), ("with space.bmp", tiny), ("bmp", tiny),
                                ("Dawn.PNG", Picture(2, 2, 8, [b"\1\2", b"\3\0"], grey[:4], png=True))])
        # PNGs at the edges of what pack accepts: every bit depth, both sizes.
        self.accepted("png-edges", [
            ("one-bit.png", Picture(9, 3, 8, [bytes([x & 1 for x in range(9)])] * 3, grey[:2], png=True)),
            ("two-bit.png", Picture(7, 2, 8, [bytes([x % 3 for x in range(7)])] * 2, grey[:3], png=True)),
            ("four-bit.png", Picture(5, 5, 8, [bytes([(x * y) % 16 for x in range(5)]) for y in range(5)],
                                     random_palette(rng, 16), png=True)),
            ("column.png", Picture(1, 1024, 8, random_rows(rng, 1, 1024, "noise"), grey, png=True)),
            ("big.png", Picture(1024, 1024, 8, random_rows(rng, 1024, 1024, "shapes"), random_palette(rng, 256),
                                png=True)),
            ("true.png", Picture(608, 392, 24, random_rows(rng, 1824, 392, "gradient"), [], png=True)),
        ])
        for i in range(args.count):
            count = rng.choice([1, 1, 2, 3, 5])
            pictures = [random_picture(rng) for k in range(count)]
            self.accepted("random-%d" % i, [("p%d.%s" % (k, "png" if p.png else "bmp"), p)
                                            for k, p in enumerate(pictures)])

        # Refusals, each between good inputs.
        good = Picture(3, 3, 8, [b"abc"] * 3, grey[:3])
        bad_files = {
            "rle8": bmp_file(4, 4, 8, [b"\0" * 4] * 4, grey, compression=1),
            "4-bit": bmp_file(4, 4, 4, [b"\0" * 2] * 4, grey[:16]),
            "32-bit": bmp_file(4, 4, 32, [b"\0" * 16] * 4),
            "24-bit-small": bmp_file(4, 4, 24, [b"\0" * 12] * 4),
            "too-wide": bmp_file(1025, 1, 8, [b"\0" * 1025], grey),
            "too-tall": bmp_file(1, 1025, 8, [b"\0"] * 1025, grey, top_down=True),
            "truncated": good.data[:-1],
            "headers-only": good.data[:40],
            "not-bmp": b"GIF89a" + bytes(100),
            "empty": b"",
            "palette-257": bmp_file(2, 2, 8, [b"\0\0"] * 2, grey, colours_field=257),
            "core-header": bmp_file(2, 2, 8, [b"\0\0"] * 2, grey, header_size=12),
        }
        # Hostile and unaccepted PNGs, hand-made around one good indexed one.
        rgb = [(i, 255 - i, 7) for i in range(4)]
        rows = [bytes([0, 1, 2, 3]), bytes([3, 2, 1, 0])]
        good_png = png_file(4, 2, 8, 3, rows, rgb)
        cut = good_png.index(b"IDAT") + 10
        bad_files.update({
            "png-16-bit": png_file(2, 1, 16, 2, [bytes(12)]),
            "png-rgba": png_file(2, 1, 8, 6, [bytes(8)]),
            "png-grey-alpha": png_file(2, 1, 8, 4, [bytes(4)]),
            "png-grey": png_file(2, 1, 8, 0, [bytes(2)]),
            "png-rgb-small": png_file(2, 1, 8, 2, [bytes(6)]),
            "png-too-wide": png_file(1025, 1, 8, 3, [bytes(1025)], rgb),
            "png-huge-header": png_file(0x7FFFFFFF, 0x7FFFFFFF, 8, 3, [], rgb, stream=zlib.compress(bytes(99))),
            "png-interlaced": png_file(4, 2, 8, 3, rows, rgb, interlace=1),
            "png-trns": png_file(4, 2, 8, 3, rows, rgb, before_data=[(b"tRNS", b"\0")]),
            "png-unknown-critical": png_file(4, 2, 8, 3, rows, rgb, before_data=[(b"CRIT", b"")]),
            "png-no-plte": png_file(4, 2, 8, 3, rows),
            "png-bad-filter": png_file(4, 2, 8, 3, rows, rgb, filters=[0, 5]),
            "png-bad-crc": good_png[:-1] + bytes([good_png[-1] ^ 1]),
            "png-truncated": good_png[:cut],
            "png-no-iend": good_png[:-12],
            "png-long-stream": png_file(4, 2, 8, 3, rows + [bytes(4)], rgb, filters=[0, 0, 0]),
            "png-short-stream": png_file(4, 2, 8, 3, rows[:1], rgb),
            "png-garbage-stream": png_file(4, 2, 8, 3, rows, rgb, stream=b"\x78\x9c\xff\xff\xff"),
        })
        # Every filter type, in indexed rows of 1 and 8 bits and in RGB rows.
        hand_made = []
        for depth, width, height in ((8, 9, 6), (1, 19, 6), (8, 608, 392)):
            indexed = width != 608
            pixels = [bytes(rng.randrange(1 << depth) for _ in range(width if indexed else 1824))
                      for _ in range(height)]
            packed = pixels if depth == 8 else [bytes(int("".join(str(v) for v in r[x:x + 8]).ljust(8, "0"), 2)
                                                      for x in range(0, width, 8)) for r in pixels]
            palette = random_palette(rng, 1 << depth) if indexed else []
            picture = Picture(width, height, 8 if indexed else 24, pixels, palette)
            picture.data = png_file(width, height, depth, 3 if indexed else 2,
                                    packed if indexed else [bgr_to_rgb(r) for r in pixels],
                                    [e[::-1] for e in palette] if indexed else None,
                                    filters=[y % 5 for y in range(height)])
            picture.png = True
            hand_made.append(("filters-%d-%d.png" % (depth, width), picture))
        self.accepted("png-filters", hand_made)
        for name, data in bad_files.items():
            leaf = name + (".png" if name.startswith("png-") else ".bmp")
            err = self.refused("refuse-" + name, [("good.bmp", good), (leaf, data), ("also.bmp", good)], 7)
            self.check("refuse-" + name, leaf.encode() in err, "message does not name the file: %r" % err)
        self.refused("refuse-keeps-earlier", [("bad.bmp", bad_files["rle8"])], 7, keep_existing=True)
        self.refused("missing-input", [("good.bmp", good)], 2,
                     args=[os.path.join(tmp, "missing-input", "good.bmp"), os.path.join(tmp, "nowhere.bmp")])
        self.refused("no-inputs", [], 1, args=[])
        self.refused("unwritable", [("good.bmp", good)], 2, out=os.path.join(tmp, "no", "such", "folder.mhk"))
        os.makedirs(os.path.join(tmp, "out-is-folder", "taken.mhk"))
        self.refused("out-is-folder", [("good.bmp", good)], 2, out="taken.mhk")
        self.refused("empty-out", [("good.bmp", good)], 1, out="")
        os.makedirs(os.path.join(tmp, "out-read-only"))
        write(os.path.join(tmp, "out-read-only", "ro.mhk"), b"an earlier file")
        os.chmod(os.path.join(tmp, "out-read-only", "ro.mhk"), 0o444)  # refused for everyone, root too
        self.refused("out-read-only", [("good.bmp", good)], 2, out="ro.mhk")
        # Told by its size, never read: a sparse 10 GiB file.
        folder = self.inputs("input-too-large", [("huge.bmp", b"")])[0]
        os.truncate(os.path.join(folder, "huge.bmp"), 10 << 30)
        self.refused("input-too-large", [("good.bmp", good)], 7, args=[os.path.join(folder, "good.bmp"),
                                                                      os.path.join(folder, "huge.bmp")])
        # An input is never written over, whichever place it has.
        two = [("a.bmp", good), ("b.png", Picture(2, 2, 8, [b"\1\2", b"\3\0"], grey[:4], png=True))]
        self.refused("out-is-first-input", two, 2, out="a.bmp")
        self.refused("out-is-second-input", two, 2, out="b.png")
        # A name of 250 bytes is legal: the temporary file's name does not grow with it.
        self.accepted("long-out-name", [("good.bmp", good)], out_leaf="o" * 246 + ".mhk")

        if self.native:
            self.temporary_link(good)
            os.makedirs(os.path.join(tmp, "out-is-fifo"))
            os.mkfifo(os.path.join(tmp, "out-is-fifo", "fifo.mhk"))
            self.refused("out-is-fifo", [("good.bmp", good)], 2, out="fifo.mhk")
            os.mkfifo(os.path.join(tmp, "out-is-fifo", "in.bmp"))  # an input is never waited on
            self.refused("input-is-fifo", [("good.bmp", good)], 2, args=[os.path.join(tmp, "out-is-fifo", "in.bmp")])
            self.check("out-is-fifo", stat.S_ISFIFO(os.lstat(os.path.join(tmp, "out-is-fifo", "fifo.mhk")).st_mode),
                       "the FIFO was replaced")

        if not self.export:
            print("no export command: pixels of compressed resources unchecked")


if __name__ == "__main__":
    sys.exit(main("pack", Checker, count=40))
