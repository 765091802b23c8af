#!/usr/bin/env python3
"""`mhkbmp gallery` against export-all's model, and its pages in headless
Chromium over its DevTools pipe: each solid colour (and the stripes) over
its thumbnail's area in a screenshot; on every page each hostile name only
as text, every link named, every picture loaded once scrolled to, and no
violation in axe-core's audit (installed from the npm registry into AXE_DIR).

usage: check_gallery.py --axe AXE_DIR -- COMMAND...   (COMMAND runs mhkbmp)
"""

import base64
import ctypes
import html
import io
import json
import os
import pathlib
import re
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import archive_gen  # noqa: E402
import bitmap_model  # noqa: E402
from harness import Harness, main, make_special, write  # noqa: E402
from mhk_model import TBMP, be16, list_text, open_archive, resource_data  # noqa: E402

BOX, SCALE = 256, 2  # the thumbnail box in CSS pixels; screenshot pixels per CSS pixel
COLOURS = [(0, 0, 0), (230, 40, 90), (40, 200, 70), (30, 90, 220), (250, 200, 20), (150, 30, 200),
           (0, 160, 200), (120, 60, 0)]
# (name, format, width, height, colours of the columns in turn); format None: unreadable.
CARDS = [(b"<img src=x onerror=alert(1)>", 1034, 40, 30, (1,)), (b"</b></li></ol><h1>x</h1><!--", 10, 64, 16, (2,)),
         (b"\"quoted\" & 'single' &amp; \\", 4, 608, 392, (3,)), (bytes(range(0x80, 0x100)), 1034, 512, 256, (4,)),
         (b"tab\there\r\n\x01\x1b[31m\x7f end  ", 10, 2, 2, (5,)), (b"", 1034, 16, 16, (6, 7)),
         (b"broken <b>", None, 0, 0, ())]
PER_PAGE, AXE = 1000, "axe-core@4.10.3"
# Enough black cards after them for three pages; black is never counted.
ALL = CARDS + [(b"%d" % i, 10, 4, 4, (0,)) for i in range(2 * PER_PAGE + 3 - len(CARDS))]
# Scripts: each picture's natural size, once scrolled to and decoded; the audit's violations.
SCROLL = ("(async () => { for (const i of document.images) { i.scrollIntoView(); await i.decode(); } "
          "scrollTo(0, 0); return [...document.images].map(i => [i.naturalWidth, i.naturalHeight]); })()")
AUDIT = ";\naxe.run().then(r => r.violations.map(v => [v.id, v.nodes.map(n => n.target)]))"


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
    text = ("" if readable else "The image cannot be read.") + (shown(list_text(rid, name)) or "(empty name)")
    text += "ID %d \u00b7 index %d" % (rid, index)
    if readable:
        w, h, pitch, fmt = (be16(b, found[0] + at) for at in (0, 2, 4, 6))
        kind = "24-bit" if pitch != (w + 3) & ~3 else {1034: "8-bit compressed", 10: "8-bit plain"}.get(
            fmt, "8-bit, format %d" % fmt)
        text += "%d x %d \u00b7 %s" % (w, h, kind)
    return text + ("%d bytes" % found[1] if found else "")


def page_links(page, pages):
    """(text, href) of a page's links to the others: none when it is the only one."""
    targets = [("First", 0), ("Previous", page - 1)] + [(str(p + 1), p) for p in range(pages)] + [
        ("Next", page + 1), ("Last", pages - 1)]
    return [(text, "page-%d.html" % (p + 1) if p else "index.html") for text, p in targets
            if pages > 1 and 0 <= p < pages and p != page]


PR_SET_CHILD_SUBREAPER = 36  # prctl's: orphans of its descendants become its children


class Chromium:
    """Headless Chromium over its DevTools pipe (fds 3 and 4). It writes only
    in tmp, but for its socket: a socket's path must fit in 107 bytes, and
    the build tree, where the tests' TMPDIR points, may lie deeper."""

    def __init__(self, tmp):
        # Its crash handlers leave it and live on, writing in tmp: as their
        # subreaper this process can wait for them too (close).
        ctypes.CDLL(None).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)
        home, self.sockets = tempfile.mkdtemp(dir=tmp), tempfile.TemporaryDirectory(prefix="velder-", dir="/tmp")
        (into, self.to), (self.back, out) = os.pipe(), os.pipe()
        self.log = open(os.path.join(home, "log"), "w+b")
        self.process = subprocess.Popen(["sh", "-c", 'exec "$@" 3<&%d 4>&%d' % (into, out), "sh", "chromium"] + (
            "--headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking "
            "--disable-component-update --disable-sync --force-color-profile=srgb --hide-scrollbars "
            "--remote-debugging-pipe").split() + ["--user-data-dir=" + home], pass_fds=(into, out), cwd=home,
            stdout=self.log, stderr=self.log, env=dict(os.environ, HOME=home, TMPDIR=self.sockets.name,
                                                       XDG_CONFIG_HOME=home, XDG_CACHE_HOME=home))
        os.close(into), os.close(out)
        self.buffer, self.count, self.session = b"", 0, {}
        target = self.call("Target.createTarget", url="about:blank")["targetId"]
        self.session = {"sessionId": self.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]}
        self.call("Page.enable"), self.call("Emulation.setScrollbarsHidden", hidden=True)

    def call(self, method, until=None, **params):
        """The result of a command, once the event named until has come too."""
        self.count += 1
        command = dict(id=self.count, method=method, params=params, **self.session)
        os.write(self.to, json.dumps(command).encode() + b"\0")
        result, seen = None, until is None
        while result is None or not seen:
            while b"\0" not in self.buffer:
                self.buffer += os.read(self.back, 1 << 20) or b"\0"  # its end: an empty message
            message, self.buffer = self.buffer.split(b"\0", 1)
            message = json.loads(message or b"{}")
            if not message or "error" in message or "exceptionDetails" in message.get("result", {}):
                self.log.seek(0)
                sys.exit("chromium: %s: %r\n%s" % (method, message, self.log.read().decode(errors="replace")[-3000:]))
            result = message["result"] if message.get("id") == self.count else result
            seen = seen or message.get("method") == until
        return result

    def close(self):
        """Ends Chromium and waits for every process it started, so that
        none still writes in tmp when tmp is removed."""
        self.process.kill()
        self.process.wait()
        deadline = time.monotonic() + 30
        while True:
            try:
                if os.waitpid(-1, os.WNOHANG) != (0, 0):
                    continue
            except ChildProcessError:
                break
            if time.monotonic() > deadline:
                sys.exit("chromium: processes it started still run 30 s after it was ended")
            time.sleep(0.01)
        self.sockets.cleanup()

    def run(self, script):
        """The value of a script (its promise's, when it gives one)."""
        return self.call("Runtime.evaluate", expression=script, awaitPromise=True, returnByValue=True)["result"].get(
            "value")


def axe_source(folder):
    """axe-core's script, installed into folder from the npm registry on the first run."""
    script = os.path.join(folder, "node_modules", "axe-core", "axe.min.js")
    if not os.path.exists(script):
        subprocess.run(["npm", "install", "--no-audit", "--no-fund", "--prefix", folder, AXE], check=True, timeout=600,
                       stdout=subprocess.DEVNULL, env=dict(os.environ, npm_config_cache=os.path.join(folder, "cache")))
    with open(script) as f:
        return f.read()


class Checker(Harness):
    def checks(self, rng, args):
        def check(what, expected, got):
            self.compare(what, "differs", expected, got)

        tmp, axe_folder = self.tmp, args.axe
        path, folder, victim = (os.path.join(tmp, leaf) for leaf in ("gallery <i>&'\"\u00e9.mhk", "out", "victim"))
        archive = bytes(archive_gen.build(None, [picture(*card[1:]) if card[1] else b"\0\0" for card in ALL], [(
            TBMP, [(100 + i, i + 1) for i in range(len(ALL))], [(c[0], i + 1) for i, c in enumerate(ALL)])])[0])
        for name, content in ((path, archive), (victim, b"")):
            write(name, content)
        os.mkdir(folder)
        code, files, out, err = bitmap_model.export_all(path, b".png")
        pages = ["index.html"] + ["page-%d.html" % p for p in range(2, -(-len(ALL) // PER_PAGE) + 1)]
        check("exit code and messages", (code, out, err), self.run(["gallery", path, folder]))
        check("files", sorted(list(files) + pages), sorted(os.listdir(folder)))
        # The pages are checked with the pictures before anything is written:
        # a FIFO or the archive there refuses the run; a link is replaced.
        for planted, leaf, target, expected in (("fifo", "index.html", None, 2), ("archive", "index.html", path, 2),
                                                ("link", "index.html", victim, code), ("fifo", pages[-1], None, 2)):
            other = tempfile.mkdtemp(dir=tmp)
            make_special(other + "/" + leaf, target or "fifo")
            check("gallery over a planted %s at %s" % (planted, leaf), (expected, expected == 2, b"", archive),
                  (self.run(["gallery", path, other])[0], len(os.listdir(other)) == 1,
                   open(victim, "rb").read(), open(path, "rb").read()))

        # A file name is read as UTF-8 only when it strictly is: no overlong
        # form, surrogate or value past U+10FFFF; else as Windows-1252.
        for leaf in (b"ok-\xc3\xa9", b"overlong-\xc0\xaf", b"surrogate-\xed\xa0\x80", b"past-\xf4\x90\x80\x80"):
            other, named = tempfile.mkdtemp(dir=tmp), os.path.join(os.fsencode(tmp), leaf + b".mhk")
            write(named, archive_gen.build(None, [picture(10, 4, 4, (0,))], [(TBMP, [(1, 1)], [])])[0])
            self.run(["gallery", os.fsdecode(named), other])
            try:
                title = leaf.decode("utf-8")
            except UnicodeDecodeError:
                title = leaf.decode("cp1252", errors="replace")
            page = open(os.path.join(other, "index.html"), "rb").read()
            check("title of %r" % leaf, (title + ".mhk").encode(), page.split(b"<title>")[1].split(b"</title>")[0])

        _, b, items = open_archive(path)
        readable = [bitmap_model.image_file(b, index) is not None for _, index, _ in items]
        shown_files, browser, axe = iter(files), Chromium(tmp), axe_source(axe_folder)
        for p, page in enumerate(pages):
            cards, links = range(p * PER_PAGE, min(len(ALL), (p + 1) * PER_PAGE)), page_links(p, len(pages))
            linked = [i for i in cards if readable[i]]
            browser.call("Emulation.setDeviceMetricsOverride", width=1200, height=1500, deviceScaleFactor=SCALE,
                         mobile=False)
            browser.call("Page.navigate", "Page.loadEventFired", url=pathlib.Path(folder, page).as_uri())
            # The DOM as the browser built it: names only as text.
            dom = browser.run("document.documentElement.outerHTML")
            elements = [(tag, dict(re.findall(r'([\w-]+)(?:="([^"]*)")?', attributes)))
                        for tag, attributes in re.findall(r"<(\w+)([^>]*)>", dom)]
            check("elements and attributes", set(), ({t for t, _ in elements} | {k for _, a in elements for k in a}) -
                  set("html head meta style title body main nav span em h1 p ol li a img b br i lang charset name "
                      "content start href src width height alt loading aria-label aria-current".split()))
            leaves = [next(shown_files) for _ in linked]
            check(page + ": links and pictures", ([h for _, h in links] + leaves + [h for _, h in links], [
                (leaf, str(ALL[i][2]), str(ALL[i][3])) for leaf, i in zip(leaves, linked)]),
                  ([a.get("href") for tag, a in elements if tag == "a"],
                   [(a.get("src"), a.get("width"), a.get("height")) for tag, a in elements if tag == "img"]))
            texts = [(tag, html.unescape(re.sub(r"<[^>]*>", "", inner)))
                     for tag, inner in re.findall(r"<(li|title|h1|p)[^>]*>(.*?)</\1>", dom, re.S)]
            name = os.path.basename(path)
            check(page + ": cards, title, heading and counts", [
                ("title", name + ", page %d of %d" % (p + 1, len(pages))), ("h1", name),
                ("p", "%d pictures, %d unreadable; page %d of %d: pictures %d to %d" % (
                    len(ALL), readable.count(False), p + 1, len(pages), cards[0] + 1, cards[-1] + 1))] +
                [("li", card_text(b, *items[i], readable[i])) for i in cards], texts)
            # Every link named as a reader hears it (spaces run together), a
            # card's by its list text; every picture loaded once scrolled to,
            # at its size; no violation in the audit.
            browser.call("Accessibility.enable")
            names = sorted(n["name"]["value"] for n in browser.call("Accessibility.getFullAXTree")["nodes"]
                           if n.get("role", {}).get("value") == "link")
            check(page + ": link names, pictures loaded, audit", (sorted([t for t, _ in links] * 2 + [
                re.sub(" +", " ", shown(list_text(*items[i][::2])) or "(empty name)") for i in linked]),
                [[ALL[i][2], ALL[i][3]] for i in linked], []), (names, browser.run(SCROLL), browser.run(axe + AUDIT)))
            if p > 0:
                continue
            # Every picture shows as its colours' pixels over its thumbnail's area.
            from PIL import Image
            shot = io.BytesIO(base64.b64decode(browser.call("Page.captureScreenshot", format="png")["data"]))
            counts = {colour: count for count, colour in Image.open(shot).convert("RGB").getcolors(1 << 24)}
            for name, fmt, w, h, columns in CARDS:
                fit = SCALE * min(1.0, BOX / max(w, h, 1))
                width, height = round(w * fit), round(h * fit)
                for i in columns:
                    check("%r shown in colour %d" % (name, i), True,
                          abs(counts.get(COLOURS[i], 0) - width * height // len(columns)) <= width + height)
        browser.close()


if __name__ == "__main__":
    sys.exit(main("gallery", Checker, options=("--axe",)))
