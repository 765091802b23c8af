#!/usr/bin/env python3
"""Compares `mhkbmp export` and `mhkbmp export-all` with the model: the
bitmap files byte for byte, the PNG files (read by PIL) picture for picture
against them, exit codes and messages, over hand-made and
random archives whose bitmap resources are random and hand-made streams
(ones that run out of output, out of stream, or reach back before the
area), both layouts, format 10 of the right and wrong size, unknown
formats and truncated resources. Then the output side: usage errors,
outputs that cannot be created, failed writes, replacing existing files,
never writing over the archive being read.

usage: check_export.py [--count N] [--seed S] [--native] -- COMMAND...
  (COMMAND runs mhkbmp; --native adds the checks that need Linux devices
  and resource limits)
"""

import os
import random
import resource
import stat
import struct
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import archive_gen  # noqa: E402
import bitmap_model  # noqa: E402
from harness import Harness, main, make_special, write  # noqa: E402
from check_list import on_terminal  # noqa: E402
from mhk_model import MESSAGES, SYSTEM_WORDS, TBMP, open_archive  # noqa: E402
from pack_model import png_problem  # noqa: E402


# --- Bitmap resources -------------------------------------------------------

def byte(rng):
    return rng.getrandbits(8)


def palette_block(rng):
    return b"\x03\x04\x18\xff" + bytes(byte(rng) for _ in range(768))


def header8(rng, width, height, fmt, pitch=None):
    pitch = (width + 3) & ~3 if pitch is None else pitch
    return struct.pack(">HHHH", width, height, pitch & 0xFFFF, fmt) + palette_block(rng)


def pair_code(rng):
    """One pair code with exactly the operands it reads."""
    code = byte(rng)
    if rng.random() < 0.3:  # favour back-references
        code = rng.choice([0xA4, 0xA8, 0xAC, 0xB5, 0xB9, 0xBE, 0xE6, 0xEB, 0xEC, 0xF7, 0xFA, 0xFC])
    m = byte(rng)
    ref = bitmap_model.back_reference(code, m)
    if ref is not None:
        distance = rng.choice([0, 1, 2, 3, 4, 7, 8, 9, 64, byte(rng)])
        ops = bytes([m, distance]) if code == 0xFC else bytes([distance])
        return bytes([code]) + ops + (bytes([byte(rng)]) if ref[2] else b"")
    h, low = code >> 4, code & 15
    count = bitmap_model.TWO_BYTE_OPERANDS[h][0 if low == 0 else 1]
    if h in (0xA, 0xB, 0xE, 0xF) and low:
        count = 0
    return bytes([code] + [byte(rng) for _ in range(count)])


def random_stream(rng, output):
    """Commands worth about output bytes (often more or less), ending in
    00 or not."""
    out, made = bytearray(), 0
    while made < output:
        kind = rng.random()
        if kind < 0.25:
            n = rng.choice([1, 2, 3, rng.randint(1, 0x40)])
            out += bytes([n] + [byte(rng) for _ in range(2 * n)])
            made += 2 * n
        elif kind < 0.4:
            n = rng.randint(0x41, 0xC0)
            out.append(n)
            made += 2 * (n - 0x40) if n <= 0x80 else 4 * (n - 0x80)
        else:
            count = rng.choice([1, 2, 5, rng.randint(1, 63)])
            out.append(0xC0 + count)
            for _ in range(count):
                out += pair_code(rng)
            made += 8 * count
    if rng.random() < 0.7:
        out.append(0)
    return bytes(out)


def stream_resource(rng, width, height, stream):
    return header8(rng, width, height, 1034) + bytes(byte(rng) for _ in range(4)) + stream


def random_resource(rng):
    """One tBMP resource, valid or not, kept small so the model stays quick."""
    width = rng.choice([1, 2, 3, 4, 5, 7, 8, 13, 16, rng.randint(1, 40)])
    height = rng.choice([1, 2, 3, 5, rng.randint(1, 24)])
    area = ((width + 3) & ~3) * height
    roll = rng.random()
    if roll < 0.40:  # a stream about the size of the area
        return stream_resource(rng, width, height, random_stream(rng, area))
    if roll < 0.48:  # runs out of output
        return stream_resource(rng, width, height, random_stream(rng, 3 * area + 40))
    if roll < 0.56:  # runs out of stream, inside a command
        stream = random_stream(rng, area)
        return stream_resource(rng, width, height, stream[:rng.randrange(len(stream) + 1)])
    if roll < 0.62:  # reaches back into the palette from the start
        start = bytes([0xC1, rng.choice([0xAB, 0xBF, 0xEF, 0xFB]), 0xFF, byte(rng)])
        start = rng.choice([start, b"\x42", b"\x81", b"\xc1\xfc\xff\xff", b"\xc2\x01\x0f"])
        return stream_resource(rng, width, height, start + random_stream(rng, area))
    if roll < 0.72:  # uncompressed, right size or one byte off
        size = area + rng.choice([0, 0, 0, -1, 1])
        return header8(rng, width, height, 10) + bytes(byte(rng) for _ in range(max(size, 0)))
    if roll < 0.78:  # formats with no pixels: 4 in the 8-bit layout, unknown codes
        fmt = rng.choice([4, 0, 1, 11, 1033, 1035, 65535])
        return header8(rng, width, height, fmt) + bytes(byte(rng) for _ in range(area))
    if roll < 0.84:  # truncated anywhere, down to nothing
        whole = stream_resource(rng, width, height, random_stream(rng, area))
        return whole[:rng.choice([0, 1, 7, 8, 11, 779, 780, 783, 784, rng.randrange(len(whole))])]
    if roll < 0.92:  # a broken header field
        res = bytearray(stream_resource(rng, width, height, random_stream(rng, area)))
        at = rng.choice([0, 2, 4, 8, 10, 11])
        if at in (0, 2):
            struct.pack_into(">H", res, at, rng.choice([0, 1025, 65535]))
        elif at == 4:
            struct.pack_into(">H", res, at, rng.choice([width, width + 4, 0]) if width % 4 else width + 1)
        else:
            res[at] ^= 1 << rng.randrange(8)
        return bytes(res)
    if roll < 0.97:  # a 24-bit-shaped header that does not pass
        fmt, size = rng.choice([(10, 953352), (4, 953351), (4, 2000), (1034, 953352)])
        res = bytearray(struct.pack(">HHHH", 608, 392, 2432, fmt)) + bytes(size - 8)
        return bytes(res)
    # Large but cheap: one 1024-wide row, a 1024-high column, or the full 1024 x 1024.
    w, h = rng.choice([(1024, 1), (1, 1024), (1024, 1024)])
    return stream_resource(rng, w, h, random_stream(rng, 300))


def wide_resource(rng):
    res = bytearray(struct.pack(">HHHH", 608, 392, 2432, 4))
    res += os.urandom(392 * 2432) if rng.random() < 0.5 else bytes(range(256)) * (392 * 2432 // 256)
    return bytes(res)


def archive_with(rng, resources, names=True):
    """A well-formed archive listing every resource, some twice, plus an
    entry whose file-table index does not exist."""
    listed = [(rng.getrandbits(16), i + 1) for i in range(len(resources))]
    if resources and rng.random() < 0.3:
        listed.append((rng.getrandbits(16), rng.randint(1, len(resources))))
    if rng.random() < 0.3:
        listed.append((7, len(resources) + 1))
    rng.shuffle(listed)
    named = [(archive_gen._name(rng) or b"x", index) for _, index in listed if names and rng.random() < 0.7]
    return bytes(archive_gen.build(rng, resources, [(TBMP, listed, named)])[0])


# --- Cases ------------------------------------------------------------------

def hand_made(rng):
    def res(width, height, stream):
        return stream_resource(rng, width, height, bytes.fromhex(stream))

    cases = [
        ("examples", archive_with(rng, [
            res(4, 4, "02 0A 0B 0C 0D 42 C2 21 5A 99 00"),
            res(3, 2, "01 10 FE C2 25 11 00"),
            res(18, 1, "02 01 02 03 04 C1 F8 02 77 00"),
            res(5, 2, "02 01 02 03 04 C1 FC 08 01 55 00"),
            res(2, 3, "C1 00 C1 A1 01 AA BB 00"),
            res(4, 1, "42 00"),
            res(4, 1, "C1 AB FF"),
        ])),
        ("edges", archive_with(rng, [
            stream_resource(rng, 4, 1, b""),
            header8(rng, 5, 3, 10) + bytes(range(24)),
            header8(rng, 5, 3, 10) + bytes(range(25)),
            header8(rng, 5, 3, 4) + bytes(range(24)),
            header8(rng, 608, 392, 1034, pitch=608) + b"\0\0\0\0\x42",
            header8(rng, 1, 1, 1034)[:779],
            b"\0\1\0\1\0\4\4",
        ])),
        ("wide", archive_with(rng, [wide_resource(rng), res(2, 2, "01 01 02 41")])),
        # Names far too long for a file name are cut; the images after them still come out.
        ("long-names", bytes(archive_gen.build(rng, [res(4, 1, "42 00")] * 4, [(TBMP, [(i, i) for i in (1, 2, 3, 4)], [
            (b"n" * 300, 1), (b"m" * 65, 2), (b"k" * 64, 3), (b"\xe9" * 200, 4)])])[0])),
        ("not-an-archive", b"MHWK" + bytes(40)),
        ("no-images", bytes(archive_gen.build(rng, [b"x"], [(0x74575156, [(1, 1)], [])])[0])),
    ]
    return cases


def random_cases(rng, count):
    cases = []
    for i in range(count):
        if rng.random() < 0.8:
            archive = archive_with(rng, [random_resource(rng) for _ in range(rng.randint(1, 6))])
        else:  # a damaged archive around the same kind of resources
            archive = bytes(archive_gen.random_archive(rng, file_bytes=random_resource))
        cases.append(("random-%d" % i, archive))
    return cases


# --- Running ----------------------------------------------------------------

class Checker(Harness):
    def export_all(self, name, path, png, quiet=False):
        expected_code, files, out, err = bitmap_model.export_all(path, b".png" if png else b".bmp")
        if quiet:  # the failures' lines only
            err = b"".join(line for line in err.splitlines(True) if line.endswith(MESSAGES[5] + b"\n") or
                           line.startswith(b"mhkbmp") or line in (b"%s\n" % m for m in MESSAGES.values()))
        folder = tempfile.mkdtemp(dir=self.tmp)
        code, got_out, got_err = self.run(["export-all"] + (["--png"] if png else []) + (["-q"] if quiet else []) +
                                          [path, folder])
        self.compare(name, "export-all result", (expected_code, out, err), (code, got_out, got_err))
        got = {}
        for leaf in os.listdir(folder):
            with open(os.path.join(folder, leaf), "rb") as f:
                got[leaf] = f.read()
        if png and set(got) == set(files):
            for leaf in sorted(files):
                self.compare(name, "export-all --png " + leaf, None, png_problem(got[leaf], files[leaf]))
        elif got != files:
            bad = sorted(k for k in set(got) | set(files) if got.get(k) != files.get(k))
            self.check(name, False, "export-all files %r, %r bytes" % (bad, [len(got.get(k) or b"") for k in bad]))

    def export(self, name, path, index, png):
        expected_code, data, out, err = bitmap_model.export(path, index)
        target = os.path.join(self.tmp, "one.Png" if png else "one.bmp")
        if os.path.exists(target):
            os.remove(target)
        code, got_out, got_err = self.run(["export", path, str(index), target])
        self.compare(name, "export %d result" % index, (expected_code, out, err), (code, got_out, got_err))
        got = None
        if os.path.exists(target):
            with open(target, "rb") as f:
                got = f.read()
        if png and got is not None and data is not None:
            self.compare(name, "export %d to PNG" % index, None, png_problem(got, data))
        elif got != data:
            self.check(name, False, "export %d file: %r bytes, expected %r" % (index, got and len(got),
                                                                               data and len(data)))

    def archive(self, rng, name, content):
        path = os.path.join(self.tmp, name + ".mhk")
        write(path, content)
        failures = self.failures
        self.export_all(name, path, False)
        self.export_all(name, path, True)
        if not name.startswith("random-"):
            self.export_all(name, path, False, quiet=True)
        code, b, items = open_archive(path)
        indexes = sorted({index for _, index, _ in items})[:3] + [rng.choice([0, 1, 9, 65535])]
        for index in indexes:
            self.export(name, path, index, False)
        if not name.startswith("random-"):  # export-all --png covers the random ones
            self.export(name, path, indexes[0], True)
        if self.failures != failures:
            print("  (archive kept as %s)" % self.keep(name, content))
        os.remove(path)

    def output_side(self):
        """Usage errors, outputs that cannot be created or written, and
        replacing an existing file."""
        rng = random.Random(7)
        good = stream_resource(rng, 5, 3, bytes.fromhex("02 01 02 03 04 C1 F8 02 77 00"))
        path = os.path.join(self.tmp, "side.mhk")
        write(path, archive_with(rng, [good, b"\0\0"], names=False))
        data = bitmap_model.image_file(open(path, "rb").read(), 1)
        out = os.path.join(self.tmp, "side.bmp")

        for args in (["export", path, "1"], ["export", path, "1", out, "x"], ["export", path, "", out],
                     ["export", path, "-1", out], ["export", path, "+1", out], ["export", path, " 1", out],
                     ["export", path, "65536", out], ["export", path, "1x", out], ["export", path, "0x1", out],
                     ["export", path, "99999999999999999999", out], ["export", path, "1", ""], ["export-all", path],
                     ["export-all", path, ""], ["export-all", path, self.tmp, "x"], ["export-all", "--png", path],
                     ["export-all", path, "--png", self.tmp], ["export-all", "--PNG", path, self.tmp]):
            code, _, err = self.run(args)
            self.compare("usage", " ".join(args[:1] + args[2:]), (1, False), (code, os.path.exists(out)))
            self.compare("usage", "message", True, err.startswith(b"usage:"))

        def failure(command, what, why, code):  # stderr of a failure: its line, then the message
            return b"mhkbmp %s: %s: %s\n%s\n" % (command, os.fsencode(what), why, MESSAGES[code])

        def refused(err, why=b""):  # an output refused before anything is written
            return err.endswith(why + b"; nothing written\n" + MESSAGES[2] + b"\n")

        missing = os.path.join(self.tmp, "no", "such.bmp")
        self.compare("output", "missing folder", (2, b"", failure(
            b"export", missing, SYSTEM_WORDS + b" (its temporary file cannot be made beside it)", 2)),
                     self.run(["export", path, "1", missing]))
        code, _, err = self.run(["export", path, "1", self.tmp])
        self.compare("output", "a folder as output", (2, True),
                     (code, refused(err, b": not a regular file")))
        code, _, err = self.run(["export-all", path, os.path.join(self.tmp, "no")])
        self.compare("output", "export-all into a missing folder", (2, True),
                     (code, b": not written\nmhkbmp export-all: " in err and err.endswith(MESSAGES[2] + b"\n")))

        # The archive among the outputs, under its own path, another spelling
        # of it or through a link: refused before anything is written.
        named = bytes(archive_gen.build(rng, [good, good], [(TBMP, [(1, 1), (2, 2)], [(b"x", 1)])])[0])
        for leaf, args, how in (("0001_x.bmp", ["export-all"], "its path"),
                                ("0001_x.png", ["export-all", "--png"], "a hard link"),
                                ("t.mhk", ["export", "{archive}", "1"], "its path"),
                                ("t.mhk", ["export", "{archive}", "1"], "its path from ."),
                                ("t.bmp", ["export", "{archive}", "1"], "a symbolic link")):
            folder = tempfile.mkdtemp(dir=self.tmp)
            archive = os.path.join(folder, leaf) if how.startswith("its path") else os.path.join(folder, "a.mhk")
            write(archive, named)
            if how == "a hard link":
                os.link(archive, os.path.join(folder, leaf))
            elif how == "a symbolic link":
                os.symlink("a.mhk", os.path.join(folder, leaf))
            target = ("./" if how.endswith("from .") else "") + leaf
            command = [a.replace("{archive}", archive) for a in args] + \
                ([archive, folder] if args[0] == "export-all" else [target])
            code, _, err = self.run(command, cwd=folder)
            self.compare("output", " ".join(args[:1]) + " over the archive through " + how,
                         (2, True, sorted(set([leaf, os.path.basename(archive)])), True),
                         (code, refused(err), sorted(os.listdir(folder)),
                          open(archive, "rb").read() == named))

        # Leading zeros are digits like any other; an existing file is replaced whole.
        write(out, b"old" * 5000)
        self.compare("output", "replace", (0, b"", b""), self.run(["export", path, "0001", out]))
        self.compare("output", "replaced bytes", data, open(out, "rb").read())
        # An unreadable image leaves an existing file as it was, and creates none.
        self.compare("output", "unreadable", (5, b"", failure(b"export", path, b"file-table index 2 is not a picture the "
                                                              b"viewer can read", 5)), self.run(["export", path, "2", out]))
        self.compare("output", "unreadable keeps the file", data, open(out, "rb").read())
        os.remove(out)
        self.run(["export", path, "2", out])
        self.compare("output", "unreadable creates nothing", False, os.path.exists(out))
        # "-" is standard output, in either format; a file without write permission is refused, as root too.
        png = bitmap_model.export(path, 1)[1]
        for args, want in ((["export", path, "1", "-"], data), (["export", "--png", path, "1", "-"], png)):
            code, got, _ = self.run(args)
            self.compare("output", " ".join(args[:2]) + " to standard output", (0, None),
                         (code, png_problem(got, want) if "--png" in args else got != want or None))
        write(out, b"kept")
        os.chmod(out, 0o444)
        code, _, err = self.run(["export", path, "1", out])
        self.compare("output", "read-only", (2, True, b"kept"),
                     (code, refused(err, b": a read-only file"),
                      open(out, "rb").read()))
        os.remove(out)

        all_code, all_files, _, _ = bitmap_model.export_all(path)
        first = sorted(all_files)[0]
        # A link planted in DIR under a name export-all writes is replaced,
        # never followed out of DIR (links made here are links to Wine too).
        folder = tempfile.mkdtemp(dir=self.tmp)
        victim = os.path.join(self.tmp, "precious.txt")
        write(victim, b"precious")
        planted = os.path.join(folder, first)
        os.symlink(os.path.join("..", "precious.txt"), planted)
        code, _, _ = self.run(["export-all", path, folder])
        self.compare("output", "export-all over a planted link", (all_code, b"precious", False, all_files[first]),
                     (code, open(victim, "rb").read(), os.path.islink(planted), open(planted, "rb").read()))

        if not self.native:
            # A bare drive is that drive's current folder: Wine's Z: holds the
            # working directory.
            folder = tempfile.mkdtemp(dir=self.tmp)
            code, _, _ = self.run(["export-all", path, "Z:"], cwd=folder)
            self.compare("output", "export-all into a bare drive", (all_code, sorted(all_files)),
                         (code, sorted(os.listdir(folder))))
            return
        # Only a regular file or a link is ever replaced: a FIFO at the
        # output's name, alone or among export-all's names, stays a FIFO.
        # A link to one (/dev/stdout, say) names a stream: refused, never replaced.
        for args, link in ((["export", path, "1", "{fifo}"], False), (["export-all", path, "{folder}"], False),
                           (["export", path, "1", "{fifo}"], True), (["export-all", path, "{folder}"], True)):
            folder = tempfile.mkdtemp(dir=self.tmp)
            fifo = os.path.join(folder, first if args[0] == "export-all" else "out.bmp")
            make_special(fifo, "fifo-link" if link else "fifo")
            reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)  # so that a writer fails rather than waits
            code, _, err = self.run([a.format(fifo=fifo, folder=folder) for a in args])
            os.close(reader)
            why = b"a link to something that is not a regular file" if link else b"not a regular file"
            self.compare("output", args[0] + " onto a FIFO" + " through a link" * link,
                         (2, True, sorted([os.path.basename(fifo)] + [os.path.basename(fifo) + ".fifo"] * link), True),
                         (code, refused(err, b": " + why),
                          sorted(os.listdir(folder)), stat.S_ISLNK(os.lstat(fifo).st_mode) == link))

        # On a terminal, progress is one line rewritten in place, cleared at
        # the end: the summary is the one line left.
        folder = tempfile.mkdtemp(dir=self.tmp)
        code, seen = on_terminal(self.command, ["export-all", path, folder])
        self.compare("output", "export-all on a terminal", (all_code, True, 1),
                     (code, b"\r1/2 " in seen and seen.endswith(b"cannot be read.\n1 written, 1 unreadable\n"),
                      seen.count(b"\n") - seen.count(MESSAGES[5])))

        # Past 9,999 pictures every position gets a fifth digit, so that the
        # names sort in list order.
        many = os.path.join(self.tmp, "many.mhk")
        write(many, archive_gen.build(rng, [good], [(TBMP, [(i, 1) for i in range(10005)], [])])[0])
        folder = tempfile.mkdtemp(dir=self.tmp)
        code, _, _ = self.run(["export-all", many, folder])
        names = sorted(os.listdir(folder))
        self.compare("output", "export-all of 10,005 pictures", (0, sorted(bitmap_model.export_all(many)[1]), True),
                     (code, names, names[9999:10001] == ["10000__9999_.bmp", "10001__10000_.bmp"]))

        def small_files():  # SIGXFSZ as it comes: mhkbmp takes the limit for a failed write
            resource.setrlimit(resource.RLIMIT_FSIZE, (600, 600))

        self.compare("output", "file too large", (6, b"", failure(b"export", out, SYSTEM_WORDS, 6)),
                     self.run(["export", path, "1", out], preexec_fn=small_files))
        self.compare("output", "partial file removed", False, os.path.exists(out))
        folder = tempfile.mkdtemp(dir=self.tmp)
        code, _, err = self.run(["export-all", path, folder], preexec_fn=small_files)
        self.compare("output", "export-all, file too large", (6, [], True),
                     (code, os.listdir(folder), b": not written\nmhkbmp export-all: " in err and
                      err.endswith(MESSAGES[6] + b"\n")))

    def checks(self, rng, args):
        self.output_side()
        for name, content in hand_made(rng) + random_cases(rng, args.count):
            self.archive(rng, name, content)


if __name__ == "__main__":
    sys.exit(main("export", Checker, count=300))
