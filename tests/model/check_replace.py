#!/usr/bin/env python3
"""Checks `mhkbmp replace`, `import-all` and `info` against replace_model:
OUT byte for byte over random archives (each new resource being what `pack`
makes of its picture alone) and each replaced picture exported again;
refusals as rows of a table (nothing written, no temporary file left);
`info` over random and damaged archives; import-all on the demo archive.

usage: check_replace.py [--count N] [--seed S] [--demo DEMO.mhk] [--native] -- COMMAND...
  (--native adds a FIFO among import-all's files)
"""

import fcntl
import io
import os
import shlex
import shutil
import signal
import stat
import subprocess
import struct
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from archive_gen import OTHER_TAGS, build, fix_sizes, random_archive, random_structure  # noqa: E402
from bitmap_model import export_name, image_file  # noqa: E402
from check_pack import Picture, random_picture  # noqa: E402
from harness import Harness, main, make_special, run_tool, write  # noqa: E402
from mhk_model import (MESSAGES, TBMP, be16, be32, enumerate_type, is_valid, list_text, refusal,  # noqa: E402
                       resource_data)
from pack_model import bmp_file, exported_file, read_bmp, read_png  # noqa: E402
from replace_model import entry_of, info, replace, set_range, whole  # noqa: E402


def replace_archive(rng):
    """A valid archive with pictures to replace: unclaimed bytes after the
    header and after the names (a table or a name sometimes moved among
    them), a table sometimes running past the end, unread entry bytes set,
    and ranges that share, overlap, reach over what the archive claims or
    past its end."""
    while True:
        files, types = random_structure(rng, 6, lambda r: r.randbytes(r.choice([0, 5, 40, 900, 1600, 3000])))
        extra = rng.randbytes(rng.choice([0, 3000, 3000]))
        b, fields = build(rng, files, types, extra)
        if rng.randrange(4) == 0:  # a table running past the end of the file
            at = rng.choice(fields["resource_tables"] + fields["name_tables"] + fields["file_table"])
            b[at:at + 2] = b"\x7f\xff"
        if any(entry_of(b, i) is not None for _, i, _ in enumerate_type(b, TBMP)):
            break
    gap = rng.choice([0, 3000, 3000])
    b[28:28] = rng.randbytes(gap)
    d, entries = 28 + gap, [at + gap for at in fields["file_entries"]]
    struct.pack_into(">I", b, 20, d)
    for at in entries:
        struct.pack_into(">I", b, at, be32(b, at) + gap)
    area, ft = d + be16(b, d), fields["file_table"][0] + gap
    spare = ft - len(extra)
    moves = [[(e + gap + k, d) for e in fields["type_entries"] for k in (4, 6)],
             [(at + gap, area) for at in fields["name_offsets"]]]
    moves = [group for group in moves if group]
    if extra and moves:
        at, base = rng.choice(rng.choice(moves))
        to, old = spare + rng.randrange(1000, 2000), base + be16(b, at)
        moved = b[old:old + 2 + 4 * min(6, be16(b, old))] if base == d else b"moved\0"
        b[to:to + len(moved)] = moved
        struct.pack_into(">H", b, at, to - base)
    places = [at + gap for name, group in fields.items() if name != "header" for at in group]
    pictures = {entry_of(b, i) for _, i, _ in enumerate_type(b, TBMP)}
    for at in entries:
        b[at + 7:at + 10] = rng.randbytes(3)
        if rng.randrange(3) < (2 if at in pictures else 1):
            other = rng.choice(entries)
            offset, length = be32(b, other), (b[other + 6] << 16) | (b[other + 4] << 8) | b[other + 5]
            set_range(b, at, *rng.choice(rng.choice([
                [(offset, length), (offset + length // 2, length), (offset, rng.randrange(length + 1)),
                 (offset, 0), (len(b) - 2, 16), (len(b) - 900, 3000), (0xFFFFFFF0, 32)],
                [(rng.randrange(28), 2500), (max(0, d - 2500), 2500 + rng.choice([0, 4])), (spare - 1, 900),
                 (ft - 2500, 2500 + rng.choice([0, 4])), (spare, rng.choice([900, 2999])),
                 (rng.choice(places), rng.choice([4, 1500, 3000]))]])))
    b += rng.randbytes(rng.choice([0, 0, 1, 50]))
    fix_sizes(b)
    return bytes(b)


def waiting_on(file):
    """How many flock waiters /proc/locks shows for the file (an os.stat)."""
    count = 0
    for line in open("/proc/locks"):
        fields = line.split()
        if "->" in fields:
            major, minor, inode = fields[-3].split(":")
            count += (int(major, 16), int(minor, 16), int(inode)) == (os.major(file.st_dev), os.minor(file.st_dev),
                                                                     file.st_ino)
    return count


class Checker(Harness):
    def encoded(self, path, price):
        """The resource pack makes of the picture at path alone."""
        if (path, price) not in self.packed:
            out = os.path.join(self.tmp, "single-%d.mhk" % len(self.packed))
            single = open(out, "rb").read() if self.run(["pack"] + list(price) + [out, path])[0] == 0 else b""
            where = resource_data(single, 1) or (0, 0)
            self.packed[path, price] = single[where[0]:where[0] + where[1]]
        return self.packed[path, price]

    def holds(self, case, path, expected):
        """The file at path is expected: bytes, or (bytes, that many zeros,
        bytes), whose zeros may run to gigabytes and are read in pieces."""
        head, gap, tail = expected if isinstance(expected, tuple) else (expected, 0, b"")
        with open(path, "rb") if os.path.exists(path) else io.BytesIO() as f:
            got = f.read(len(head))
            while got == head and gap > 0:
                piece = f.read(min(gap, 1 << 24))
                gap = gap - len(piece) if piece and piece.count(0) == len(piece) else -1
            got += f.read() if got == head and gap == 0 else b"?"
        want = head + tail
        at = next((i for i, (x, y) in enumerate(zip(got, want)) if x != y), min(len(got), len(want)))
        return self.check(case, got == want, "%s differs from byte %d" % (os.path.basename(path), at))

    def replace_case(self, rng, case, pool):
        b = bytearray(replace_archive(rng))
        listed = sorted({i for _, i, _ in enumerate_type(b, TBMP) if entry_of(b, i) is not None})
        indexes = rng.sample(listed, min(len(listed), rng.randint(1, 3)))
        pictures = [rng.choice(pool) for _ in indexes]
        price = rng.choice([[], [], ["--price=0"], ["--price=300"], ["--price=65536"]])
        data = [self.encoded(path, tuple(price)) for path, _ in pictures]
        old = resource_data(b, indexes[0])
        if old and old[1] >= len(data[0]) and rng.randrange(2):  # a range as long as the data, or a byte short
            set_range(b, entry_of(b, indexes[0]), old[0], len(data[0]) - rng.randrange(2))
        folder = self.folder(case, {"archive.mhk": b})
        out = rng.choice(["archive.mhk", "out.mhk", "out.mhk"])
        pairs = [a for i, (path, _) in zip(indexes, pictures) for a in (rng.choice(["%d", "0%d"]) % i, path)]
        code, _, err = self.run(["replace"] + price + ["archive.mhk", out] + pairs, folder)
        expected = replace(bytes(b), list(zip(indexes, data)))
        if expected is None:  # past 4 GiB: refused, nothing written
            self.check(case, code == 8 and sorted(os.listdir(folder)) == ["archive.mhk"], "exit %d: %r" % (code, err))
        elif self.check(case, code == 0, "exit %d: %r" % (code, err)) and self.holds(
                case, os.path.join(folder, out), expected):
            for i, (_, p) in zip(indexes, pictures):
                self.exports_as(case, folder, out, i, p.read(), ".png" if p.png else ".bmp")
        if out != "archive.mhk":
            self.holds(case, os.path.join(folder, "archive.mhk"), b)

    def refused(self, case, files, args, expected_code, culprit, special):
        """Expects the exit code, culprit on stderr and every file as it was;
        special: (name, a kind of make_special: "fifo", "fifo-link", "sparse"
        (10 GiB), "read-only" or a link's target) made there too."""
        folder, kind, made = self.folder(case, files), None, []
        if special:
            name, what = special
            path = os.path.join(folder, name)
            make_special(path, what)
            made = [] if what == "read-only" else [name, name + ".fifo"]
            kind = os.lstat(path).st_mode
        code, _, err = self.run(args, folder)
        self.check(case, code == expected_code and culprit in err, "exit %d, not %d: %r" % (code, expected_code, err))
        now = {n: open(os.path.join(folder, n), "rb").read() for n in os.listdir(folder) if n not in made}
        self.check(case, now == files and (not special or os.lstat(path).st_mode == kind),
                   "files changed or left: %r" % sorted(set(now) ^ set(files)))

    def writes(self, files, good, other):
        """Two runs at once, interruptions, owner and mode, another user;
        under Wine the first two, Ctrl+C (SIGINT) the one interruption."""
        archive = files["a.mhk"]
        # Held at the lock together, both land, the second on the first's result.
        folder = self.folder("two-at-once", {"a.mhk": archive, "good.bmp": good, "other.bmp": other})
        edits = [(i, self.encoded(os.path.join(folder, leaf), ())) for i, leaf in ((1, "good.bmp"), (2, "other.bmp"))]
        with open(os.path.join(folder, "a.mhk"), "rb") as held:
            if self.native:  # Windows runs lock by a named mutex instead
                fcntl.flock(held, fcntl.LOCK_EX)
            runs = [subprocess.Popen(self.command + ["replace", "a.mhk", "a.mhk", str(i), leaf], cwd=folder)
                    for i, leaf in ((1, "good.bmp"), (2, "other.bmp"))]
            while self.native and waiting_on(os.fstat(held.fileno())) < 2 and all(r.poll() is None for r in runs):
                time.sleep(0.01)
        codes = [r.wait() for r in runs]
        results = [whole(replace(whole(replace(archive, [a])), [b])) for a, b in (edits, edits[::-1])]
        self.check("two-at-once", codes == [0, 0] and open(os.path.join(folder, "a.mhk"), "rb").read() in results,
                   "exits %r" % codes)
        # An interrupted run removes its temporary file; the archive stays.
        size = len(archive) + (256 << 20)
        for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)[:3 if self.native else 1]:
            folder = self.folder("interrupted-%d" % sig, {"good.bmp": good})
            with open(os.path.join(folder, "a.mhk"), "wb") as f:
                f.write(archive[:4] + struct.pack(">I", size - 8) + archive[8:16] + struct.pack(">I", size) +
                        archive[20:])
                f.truncate(size)
            run = subprocess.Popen(self.command + ["replace", "a.mhk", "a.mhk", "1", "good.bmp"], cwd=folder,
                                   preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
            while run.poll() is None and len(os.listdir(folder)) == 2:
                pass
            run.send_signal(sig)
            got = (run.wait(), sorted(os.listdir(folder)), os.path.getsize(os.path.join(folder, "a.mhk")))
            self.check("interrupted-%d" % sig, got == (128 + sig, ["a.mhk", "good.bmp"], size), "%r" % (got,))
        if not self.native or os.geteuid() != 0 or not shutil.which("setpriv"):
            return
        # Another user's file keeps its owner, group and mode; read-only means the mode for everyone.
        os.chmod(self.tmp, 0o755)
        folder = self.folder("owner-kept", {"a.mhk": archive, "good.bmp": good, "r.bmp": good})
        os.chmod(folder, 0o777)
        os.chown(os.path.join(folder, "a.mhk"), 65534, 65534)
        os.chmod(os.path.join(folder, "a.mhk"), 0o640)
        os.chmod(os.path.join(folder, "r.bmp"), 0o444)
        nobody = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
        codes = [self.run(["replace", "a.mhk", "a.mhk", "1", "good.bmp"], folder)[0],
                 run_tool(nobody + self.command, ["export", "a.mhk", "1", "r.bmp"], cwd=folder)[0],
                 run_tool(nobody + self.command, ["replace", "a.mhk", "a.mhk", "1", "good.bmp"], cwd=folder)[0]]
        owner = os.stat(os.path.join(folder, "a.mhk"))
        self.check("owner-kept", (codes, owner.st_uid, owner.st_gid, stat.S_IMODE(owner.st_mode)) ==
                   ([0, 2, 0], 65534, 65534, 0o640), "%r" % ((codes, owner),))

    def import_all(self, case, demo, edit, png, options=(), out="out.mhk", summary=None):
        """export-all, then edit {position: function of the file's path, or
        None to remove it}, import-all and compare with the model; with no
        summary the edits must refuse the run."""
        folder = self.folder(case, {"demo.mhk": demo})
        self.run(["export-all"] + png + ["demo.mhk", "."], folder)
        items = enumerate_type(demo, TBMP)
        lines, pairs, counts, refused = [], [], {"replaced": 0, "unchanged": 0, "missing": 0}, []
        for position, (rid, index, name) in enumerate(items, 1):
            leaf = export_name(position, list_text(rid, name), b".png" if png else b".bmp", len(items))
            path = os.path.join(folder, leaf.decode())
            if position in edit:
                (edit[position] or os.remove)(path)
            try:
                picture = (read_png if png else read_bmp)(open(path, "rb").read())
            except FileNotFoundError:
                picture = None
            except Exception:  # PIL's reasons vary
                refused.append(leaf)
                continue
            status = "missing" if picture is None else "unchanged" if picture == read_bmp(image_file(demo, index)) \
                else "replaced"
            counts[status] += 1
            lines.append(b"%d/%d %s: %s\n" % (position, len(items), leaf, status.encode()))
            if status == "replaced":
                pairs.append((index, path, picture))
        code, stdout, err = self.run(["import-all"] + png + list(options) + ["demo.mhk", ".", out], folder)
        if summary is None:
            self.check(case, code == 7 and all(line in err for line in lines + refused), "exit %d: %r" % (code, err))
            self.check(case, len(os.listdir(folder)) == len(items) + 1, "files left: %r" % os.listdir(folder))
            return self.holds(case, os.path.join(folder, "demo.mhk"), demo)
        expected = b"%d replaced, %d unchanged, %d missing\n" % tuple(counts.values())
        self.check(case, (code, stdout, err) == (0, summary, b"".join(lines)) and expected == summary,
                   "%r" % ((code, stdout, err),))
        if self.holds(case, os.path.join(folder, out), replace(demo, [
                (i, self.encoded(path, tuple(options))) for i, path, _ in pairs])):
            for index, _, picture in pairs:
                self.exports_as(case, folder, out, index, picture, ".png" if png else ".bmp")


    def checks(self, rng, args):
        tmp, self.packed = self.tmp, {}
        pool = [(os.path.join(tmp, "p%d.%s" % (k, "png" if p.png else "bmp")), p)
                for k, p in enumerate(random_picture(rng) for _ in range(6))]
        for path, picture in pool:
            write(path, picture.data)
        for i in range(args.count):
            self.replace_case(rng, "replace-%d" % i, pool)
        for i in range(args.count + 1):  # the last one empty
            b = random_archive(rng) if i % 2 else replace_archive(rng) if i < args.count else b""
            code = 0 if is_valid(b) else 3 if b else 2
            folder = self.folder("info-%d" % i, {"a.mhk": b})
            got = self.run(["info", "a.mhk"], folder)
            expected = (0, info(b), b"") if code == 0 else (
                code, b"", refusal(b"info", os.path.join(folder, "a.mhk"), code, b, shown=b"a.mhk"))
            self.check("info-%d" % i, got == expected, "%r, expected %r" % (got, expected))

        grey = [(i, i, i) for i in range(256)]
        good = Picture(3, 2, 8, [b"abc", b"cba"], grey[:3]).data
        files = {"a.mhk": bytes(build(rng, [rng.randbytes(2000), b"x" * 50, rng.randbytes(900)], [
                     (TBMP, [(1, 1), (2, 2), (9, 7)], [(b"one", 1)]), (OTHER_TAGS[0], [(5, 3)], [])])[0]),
                 "n.mhk": bytes(build(rng, [b"y" * 10], [(OTHER_TAGS[1], [(1, 1)], [])])[0]),
                 "t.mhk": bytes(build(rng, [bytes(900)], [(TBMP, [(1, 1), (2, 1)], [(b"t", 1)])])[0]),
                 "good.bmp": good, "0001_one.bmp": good, "0001_t.bmp": good,
                 "0002_t.bmp": Picture(1, 1, 8, [b"\0"], grey[:1]).data,
                 "bad.bmp": bmp_file(2, 2, 8, [b"\0\0"] * 2, grey, compression=1)}
        # Usage errors: exit 1, the usage on stderr.
        misuse = {"twice": "replace a.mhk o.mhk 1 good.bmp 1 good.bmp", "no-image": "replace a.mhk o.mhk 1",
                  "twice-spelled": "replace a.mhk o.mhk 2 good.bmp 02 good.bmp",
                  "not-digits": "replace a.mhk o.mhk +1 good.bmp", "empty-out": "replace a.mhk '' 1 good.bmp",
                  "import-all-empty-out": "import-all a.mhk . ''"}
        for case, command, code, culprit, special in [(c, cmd, 1, b"usage", None) for c, cmd in misuse.items()] + [
                ("not-listed", "replace a.mhk o.mhk 3 good.bmp", 7, b"", None),
                ("no-file-entry", "replace a.mhk o.mhk 7 good.bmp", 7, b"", None),
                ("out-is-image", "replace a.mhk good.bmp 1 good.bmp", 2, b"good.bmp", None),
                ("out-links-to-image", "replace a.mhk link.mhk 1 good.bmp", 2, b"", ("link.mhk", "good.bmp")),
                ("refused-image", "replace a.mhk a.mhk 2 good.bmp 1 bad.bmp", 7, b"bad.bmp", None),
                ("missing-image", "replace a.mhk o.mhk 1 gone.bmp", 2, b"gone.bmp", None),
                ("missing-archive", "replace gone.mhk o.mhk 1 good.bmp", 2, MESSAGES[2], None),
                ("invalid-archive", "replace good.bmp o.mhk 1 good.bmp", 3, MESSAGES[3], None),
                ("no-pictures", "replace n.mhk o.mhk 1 good.bmp", 4, MESSAGES[4], None),
                ("existing-out-kept", "replace a.mhk n.mhk 2 bad.bmp", 7, b"bad.bmp", None),
                ("import-all-out-is-read", "import-all a.mhk . 0001_one.bmp", 2, b"0001_one.bmp", None),
                ("import-all-no-folder", "import-all a.mhk gone o.mhk", 2, b"gone: not a folder", None),
                ("import-all-file-as-folder", "import-all a.mhk good.bmp o.mhk", 2, b"good.bmp: not a", None),
                ("import-all-two-edits", "import-all t.mhk . o.mhk", 7, b"0002_t.bmp", None),
                ("import-all-fifo", "import-all a.mhk . o.mhk", 7, b"0002__2_.bmp", ("0002__2_.bmp", "fifo")),
                # Read-only means the mode, whoever runs it; nothing read waits or reads a file too large.
                ("read-only-archive", "replace a.mhk a.mhk 1 good.bmp", 2, b"a.mhk: a read-only",
                 ("a.mhk", "read-only")),
                ("archive-fifo", "replace f.mhk o.mhk 1 good.bmp", 2, b"f.mhk: not a regular", ("f.mhk", "fifo")),
                ("image-fifo-link", "replace a.mhk o.mhk 1 f.bmp", 2, b"f.bmp: not a regular", ("f.bmp", "fifo-link")),
                ("import-all-fifo-link", "import-all a.mhk . o.mhk", 7, b"0002__2_.bmp: not a regular",
                 ("0002__2_.bmp", "fifo-link")),
                ("import-all-huge-file", "import-all a.mhk . o.mhk", 7, b"0002__2_.bmp: too large",
                 ("0002__2_.bmp", "sparse"))]:
            if self.native or not special or not special[1].startswith("fifo"):
                self.refused("refuse-" + case, files, shlex.split(command), code, culprit, special)

        usage = self.run(["--help"])
        self.check("help", usage[0] == 0 and b"import-all" in usage[1] and self.run(["-h"]) == usage, repr(usage))
        self.check("version", self.run(["--version"]) == (0, b"mhkbmp 1.0.0\n", b""), "")
        wrong = self.run(["replace", "a.mhk"])
        self.check("usage-error", wrong[0] == 1 and not wrong[1] and usage[1] in wrong[2] and wrong[2].endswith(
            b"\nmhkbmp replace: 1 operand: it takes ARCHIVE OUT.mhk INDEX IMAGE [INDEX IMAGE]...\n"), repr(wrong))
        # Every command's help, three ways alike, on stdout: synopsis, options, exit codes, an example.
        for command in b"list info export export-all gallery pack replace import-all".split():
            helps = [self.run(args) for args in ([command, "--help"], [command, "-h"], ["help", command])]
            self.check("help-" + command.decode(), helps[0][0] == 0 and helps[0][1].startswith(b"usage: mhkbmp " + command)
                       and all(part in helps[0][1] for part in (b"\noptions:\n", b"\nexit codes:\n", b"\nexample:\n"))
                       and helps.count(helps[0]) == 3 and command in usage[1], repr(helps[0]))

        self.writes(files, good, Picture(2, 1, 8, [b"\1\2"], grey[:3]).data)

        if args.demo:
            demo = open(args.demo, "rb").read()

            def paint(path):  # as an editor would, keeping the picture indexed
                from PIL import Image
                image = Image.open(path)
                image.paste(7 if image.mode == "P" else (7, 8, 9), (0, 0, image.width // 2, image.height // 3))
                image.save(path)

            def repaint(path):
                width, height, bits, palette, rows = read_bmp(open(path, "rb").read())
                write(path, exported_file(width, height, bits, palette, [bytes(len(rows[0]))] + rows[1:]))

            def spoil(path):
                write(path, b"not a picture")
            self.import_all("demo-round-trip", demo, {2: paint, 7: paint}, ["--png"],
                            summary=b"2 replaced, 6 unchanged, 0 missing\n")
            self.import_all("demo-onto-itself", demo, {1: None, 5: repaint, 8: None}, [], ["--price=0"], "demo.mhk",
                            b"1 replaced, 5 unchanged, 2 missing\n")
            self.import_all("demo-refused", demo, {2: paint, 4: spoil, 6: spoil}, ["--png"])


if __name__ == "__main__":
    sys.exit(main("replace", Checker, count=40, seed=20261208, options=("--demo",)))
