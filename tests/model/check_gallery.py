#!/usr/bin/env python3
"""`mhkbmp gallery` against export-all's model, and its page in headless
Chromium: each solid colour (and the stripes) over its thumbnail's area in
a screenshot, each hostile name only as text in the DOM.

usage: check_gallery.py [--native] -- COMMAND...   (COMMAND runs mhkbmp)
"""

import html
import os
import pathlib
import re
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import archive_gen  # noqa: E402
import bitmap_model  # noqa: E402
from harness import Harness, main, write  # noqa: E402
from mhk_model import TBMP, be16, list_text, open_archive, resource_data  # noqa: E402

BOX, SCALE = 256, 2  # the thumbnail box in CSS pixels; screenshot pixels per CSS pixel
COLOURS = [(0, 0, 0), (230, 40, 90), (40, 200, 70), (30, 90, 220), (250, 200, 20), (150, 30, 200),
           (0, 160, 200), (120, 60, 0)]
# (name, format, width, height, colours of the columns in turn); format None: unreadable.
CARDS = [(b"<img src=x onerror=alert(1)>", 1034, 40, 30, (1,)), (b"</b></li></ol><h1>x</h1><!--", 10, 64, 16, (2,)),
         (b"\"quoted\" & 'single' &amp; \\", 4, 608, 392, (3,)), (bytes(range(0x80, 0x100)), 1034, 512, 256, (4,)),
         (b"tab\there\r\n\x01\x1b[31m\x7f end  ", 10, 2, 2, (5,)), (b"", 1034, 16, 16, (6, 7)),
         (b"broken <b>", None, 0, 0, ())]


def picture(fmt, width, height, columns):
    rows = [bytes(columns[x % len(columns)] for x in range(width))] * height
    if fmt == 4:
        return struct.pack(">4H", width, height, 2432, 4) + b"".join(
            b"".join(bytes(COLOURS[i][::-1]) for i in row).ljust(2432, b"\0") for row in rows)
    pitch = (width + 3) & ~3
    head = struct.pack(">4H", width, height, pitch, fmt) + b"\x03\x04\x18\xff" + b"".join(
        bytes(c[::-1]) for c in COLOURS).ljust(768, b"\0")
    if fmt == 10:
        return head + b"".join(row.ljust(pitch, row[:1]) for row in rows)
    pairs = pitch * height // 2 - 1  # after one literal pair, that pair repeated
    return head + bytes(4) + bytes([1, columns[0], columns[-1]] + [0x80] * (pairs // 64) +
                                   [0x40 + pairs % 64] * (pairs % 64 > 0) + [0])


def shown(name):
    """Windows-1252, control bytes as \\xHH, the five undefined bytes as U+FFFD."""
    return "".join("\\x%02X" % c if c < 0x20 or c == 0x7F else "\ufffd" if c in (0x81, 0x8D, 0x8F, 0x90, 0x9D)
                   else bytes([c]).decode("cp1252") for c in name)


def card_text(b, rid, index, name, readable):
    found = resource_data(b, index)
    text = ("" if readable else "The image cannot be read.") + shown(list_text(rid, name))
    text += "ID %d \u00b7 index %d" % (rid, index)
    if readable:
        w, h, pitch, fmt = (be16(b, found[0] + at) for at in (0, 2, 4, 6))
        kind = "24-bit" if pitch != (w + 3) & ~3 else {1034: "8-bit compressed", 10: "8-bit plain"}.get(
            fmt, "8-bit, format %d" % fmt)
        text += "%d x %d \u00b7 %s" % (w, h, kind)
    return text + ("%d bytes" % found[1] if found else "")


def chromium(tmp, url, *options):
    """Chromium's output for the page; it keeps everything it writes in tmp, but
    for its socket."""
    home = tempfile.mkdtemp(dir=tmp)
    # Its one socket lives under TMPDIR, and a socket's path must fit in 107
    # bytes: the build tree, where the tests' TMPDIR points, may lie deeper.
    with tempfile.TemporaryDirectory(prefix="velder-", dir="/tmp") as sockets:
        env = dict(os.environ, HOME=home, TMPDIR=sockets, XDG_CONFIG_HOME=home, XDG_CACHE_HOME=home)
        done = subprocess.run(["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                               "--no-first-run", "--disable-background-networking", "--disable-component-update",
                               "--disable-sync", "--user-data-dir=" + home, *options, url],
                              capture_output=True, timeout=300, env=env, cwd=home)
    if done.returncode != 0:
        sys.exit("chromium failed:\n" + done.stderr.decode(errors="replace")[-3000:])
    return done.stdout


class Checker(Harness):
    def checks(self, rng, args):
        def check(what, expected, got):
            self.compare(what, "differs", expected, got)

        tmp = self.tmp
        path, folder, victim = (os.path.join(tmp, leaf) for leaf in ("gallery <i>&'\"\u00e9.mhk", "out", "victim"))
        archive = bytes(archive_gen.build(None, [picture(*card[1:]) if card[1] else b"\0\0" for card in CARDS], [(
            TBMP, [(100 + i, i + 1) for i in range(len(CARDS))], [(c[0], i + 1) for i, c in enumerate(CARDS)])])[0])
        for name, content in ((path, archive), (victim, b"")):
            write(name, content)
        os.mkdir(folder)
        code, files, out, err = bitmap_model.export_all(path, b".png")
        check("exit code and messages", (code, out, err), self.run(["gallery", path, folder]))
        check("files", sorted(files) + ["index.html"], sorted(os.listdir(folder)))
        # The page is checked with the pictures before anything is written:
        # a FIFO or the archive there refuses the run; a link is replaced.
        for planted, target, expected in (("fifo", None, 2), ("archive", path, 2), ("link", victim, code)):
            other = tempfile.mkdtemp(dir=tmp)
            os.symlink(target, other + "/index.html") if target else os.mkfifo(other + "/index.html")
            check("gallery over a planted " + planted, (expected, expected == 2, b"", archive),
                  (self.run(["gallery", path, other])[0], len(os.listdir(other)) == 1,
                   open(victim, "rb").read(), open(path, "rb").read()))

        # A file name is read as UTF-8 only when it strictly is: no overlong
        # form, surrogate or value past U+10FFFF; else as Windows-1252.
        for leaf in (b"ok-\xc3\xa9", b"overlong-\xc0\xaf", b"surrogate-\xed\xa0\x80", b"past-\xf4\x90\x80\x80"):
            other, named = tempfile.mkdtemp(dir=tmp), os.path.join(os.fsencode(tmp), leaf + b".mhk")
            write(named, archive)
            self.run(["gallery", os.fsdecode(named), other])
            try:
                title = leaf.decode("utf-8")
            except UnicodeDecodeError:
                title = leaf.decode("cp1252", errors="replace")
            page = open(os.path.join(other, "index.html"), "rb").read()
            check("title of %r" % leaf, (title + ".mhk").encode(), page.split(b"<title>")[1].split(b"</title>")[0])

        # The DOM as the browser built it: names only as text.
        _, b, items = open_archive(path)
        readable = [bitmap_model.image_file(b, index) is not None for _, index, _ in items]
        url = pathlib.Path(folder, "index.html").as_uri()
        dom = chromium(tmp, url, "--dump-dom").decode("utf-8")
        elements = [(tag, dict(re.findall(r'([\w-]+)(?:="([^"]*)")?', attributes)))
                    for tag, attributes in re.findall(r"<(\w+)([^>]*)>", dom)]
        check("elements and attributes", set(), ({tag for tag, _ in elements} | {k for _, a in elements for k in a}) -
              set("html head meta style title body h1 p ol li a img b br i lang charset name content start href src "
                  "width height alt loading decoding".split()))
        check("links and pictures", (list(files), [(leaf, str(c[2]), str(c[3])) for leaf, c in
                                                   zip(files, [c for c in CARDS if c[1]])]),
              ([a.get("href") for tag, a in elements if tag == "a"],
               [(a.get("src"), a.get("width"), a.get("height")) for tag, a in elements if tag == "img"]))
        texts = [(tag, html.unescape(re.sub(r"<[^>]*>", "", inner)))
                 for tag, inner in re.findall(r"<(li|title|h1)[^>]*>(.*?)</\1>", dom, re.S)]
        check("cards, title and heading", [("title", os.path.basename(path)), ("h1", os.path.basename(path))] +
              [("li", card_text(b, *item, ok)) for item, ok in zip(items, readable)], texts)

        # Every picture shows as its colours' pixels over its thumbnail's area.
        shot = os.path.join(tmp, "shot.png")
        chromium(tmp, url, "--screenshot=" + shot, "--window-size=1200,1500", "--hide-scrollbars",
                 "--force-device-scale-factor=%d" % SCALE, "--force-color-profile=srgb", "--virtual-time-budget=10000")
        from PIL import Image
        counts = {colour: count for count, colour in Image.open(shot).convert("RGB").getcolors(1 << 24)}
        for name, fmt, w, h, columns in CARDS:
            fit = SCALE * min(1.0, BOX / max(w, h, 1))
            width, height = round(w * fit), round(h * fit)
            for i in columns:
                check("%r shown in colour %d" % (name, i), True,
                      abs(counts.get(COLOURS[i], 0) - width * height // len(columns)) <= width + height)


if __name__ == "__main__":
    sys.exit(main("gallery", Checker))
