#!/usr/bin/env python3
"""Compares `mhkbmp list` with the model, byte for byte and exit code for
exit code, over hand-made and random archives; with --native also on a
terminal, where control bytes in names must come out escaped.

usage: check_list.py [--count N] [--seed S] [--native] -- COMMAND...
  (COMMAND runs mhkbmp)
"""

import os
import pty
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import archive_gen  # noqa: E402
from harness import Harness, main, make_special, same, write  # noqa: E402
from mhk_model import TBMP, list_archive  # noqa: E402


# The smallest valid archive: headers and an empty directory.
MINIMAL = b"MHWK\0\0\0\x14RSRC\x01\0\0\0\0\0\0\x1c" + b"\0" * 8


def hand_made(rng):
    """(name, bytes or None for a missing file, or one of SPECIAL)."""
    cases = [("missing", None), ("folder", "dir"), ("empty", b""), ("huge", "huge")]
    # Never waited on, named directly or through a link (under Wine a FIFO
    # is a named pipe, which mhkbmp.exe refuses as well).
    cases += [("fifo", "fifo"), ("link-to-fifo", "fifo-link")]
    cases.append(("minimal-28", MINIMAL))
    cases.append(("short-19", MINIMAL[:19]))
    big = archive_gen.build(rng, [b"x" * 3, b"y"],
                            [(TBMP, [(i, 1 + i % 3) for i in range(3000)],
                              [(b"n%d" % i, i % 2 + 1) for i in range(3000)])])[0]
    cases.append(("three-thousand", bytes(big)))
    cases.append(("no-bitmaps", bytes(archive_gen.build(rng, [b"abc"], [(0x74575156, [(1, 1)], [])])[0])))
    cases.append(("empty-bitmap-type", bytes(archive_gen.build(rng, [], [(TBMP, [], [(b"n", 1)])])[0])))
    # Any name the system can hold, on Windows too.
    cases.append(("архив-\u00e9t\u00e9", bytes(archive_gen.build(rng, [b"ab"], [(TBMP, [(3, 1)], [(b"n", 1)])])[0])))
    cases.append(("unnamed-ids", bytes(archive_gen.build(
        rng, [b"a"], [(TBMP, [(1000, 1), (40000, 1), (65535, 0)], [])])[0])))
    return cases


def on_terminal(command, args):
    """(exit code, output) of COMMAND ARGS on a terminal, its \\r\\n taken back."""
    pid, fd = pty.fork()
    if pid == 0:
        os.execv(command[0], command + args)
    out = b""
    while True:
        try:
            chunk = os.read(fd, 65536)
        except OSError:  # the terminal closes with the program
            break
        if not chunk:
            break
        out += chunk
    os.close(fd)
    return os.WEXITSTATUS(os.waitpid(pid, 0)[1]), out.replace(b"\r\n", b"\n")


class Checker(Harness):
    def checks(self, rng, args):
        cases = hand_made(rng)
        for i in range(args.count):
            cases.append(("random-%d" % i, bytes(archive_gen.random_archive(rng))))
        for name, content in cases:
            path = os.path.join(self.tmp, name + ".mhk")
            if content == "huge":  # 4 GiB and 28 bytes, whose header claims 28 (the low 32 bits of its size)
                make_special(path, "sparse", (1 << 32) + 28, MINIMAL)
            elif isinstance(content, str):
                make_special(path, content)
            elif content is not None:
                write(path, content)
            expected = list_archive(path)
            got = self.run([path], timeout=120)
            if content == "huge":
                os.remove(path)
            if not self.check(name, same(expected, got), "\n  expected %r\n  got      %r" % (
                    (expected[0], expected[1][:300], expected[2]), (got[0], got[1][:300], got[2]))):
                print("  (archive kept as %s)" % (self.keep(name, content) if isinstance(content, bytes) else
                                                  "nothing to keep"))
            if isinstance(content, bytes) and not name.startswith("random-"):  # "-": the same from standard input
                with open(path, "rb") as f:
                    self.compare(name, "list - < archive", expected[:2] + (expected[2].replace(
                        os.fsencode(path), b"standard input").replace(b"an empty file", b"empty"),), self.run(
                        ["-"], stdin=f))
        if self.native:
            self.runs += 1
            path = os.path.join(self.tmp, "terminal.mhk")
            # Escape sequences, every other control byte, DEL, a backslash
            # and bytes above 0x7F, which stay as they are.
            hostile = b"\x1b[2J\x1b]0;title\x07" + bytes(range(1, 32)) + b"\x7f\\\x80\xff"
            write(path, archive_gen.build(rng, [b"x"], [(TBMP, [(1, 1), (2, 1)], [(hostile, 1)])])[0])
            self.compare("terminal", "list on a terminal", list_archive(path, terminal=True)[:2],
                         on_terminal(self.command, [path]))


if __name__ == "__main__":
    sys.exit(main("list", Checker, count=400))
