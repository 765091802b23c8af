"""What every model check shares: its command line ([--count N] [--seed S]
[--native] -- COMMAND..., COMMAND running mhkbmp natively or through
wine-run.sh), a temporary folder for the run, mhkbmp run with Wine's own
messages kept apart, the cases and failures counted, one closing line
and the exit status.
"""

import argparse
import os
import random
import re
import subprocess
import tempfile

from mhk_model import SYSTEM_WORDS
from pack_model import exported_file, png_problem

# One of Wine's own messages, as wine-run.sh lets Wine's errors through:
# "0024:err:module:import_dll ...", or without the thread's number when it
# comes before the first thread exists ("err:virtual:virtual_alloc_first_teb").
WINE_MESSAGE = re.compile(rb"(?:[0-9a-f]{4}:)?(?:err|warn|fixme|trace):")


def run_tool(command, args, timeout=600, **kwargs):
    """(exit code, stdout, stderr) of COMMAND ARGS. Wine's own messages are
    taken out of stderr and printed, so that they never pass for the
    program's. Exit 1 with no output at all, which mhkbmp never gives (its
    usage error prints the usage), is how every Wine program ends whose
    wineserver is killed under it: that is said too."""
    done = subprocess.run(command + args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout,
                          **kwargs)
    lines = done.stderr.splitlines(keepends=True)
    err = b"".join(line for line in lines if not WINE_MESSAGE.match(line))
    for line in lines:
        if WINE_MESSAGE.match(line):
            print("wine: %s" % line.decode("utf-8", "replace").rstrip())
    if (done.returncode, done.stdout, err) == (1, b"", b""):
        print("%s: exit 1 with no output, as when the prefix's wineserver is killed under a run"
              % " ".join(command + args))
    return done.returncode, done.stdout, err


def same(expected, got):
    """expected == got, but for the system's own words (SYSTEM_WORDS in an
    expected bytes, at any depth of tuples), which stand for any words."""
    if isinstance(expected, tuple) and isinstance(got, tuple) and len(expected) == len(got):
        return all(same(e, g) for e, g in zip(expected, got))
    if isinstance(expected, bytes) and SYSTEM_WORDS in expected and isinstance(got, bytes):
        pattern = b"[^\n]+".join(re.escape(part) for part in expected.split(SYSTEM_WORDS))
        return re.fullmatch(pattern, got) is not None
    return expected == got


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def make_special(path, kind, size=10 << 30, head=b""):
    """Puts at path what is not a plain file to read: a "dir", a "fifo", a
    "fifo-link" (a link to PATH.fifo, made too), a "read-only" file (mode
    0444; the file is there already), a "sparse" file of size bytes that
    starts with head, or else a link to kind."""
    if kind == "dir":
        os.mkdir(path)
    elif kind == "read-only":
        os.chmod(path, 0o444)
    elif kind == "sparse":
        with open(path, "wb") as f:
            f.write(head)
            f.truncate(size)
    elif kind in ("fifo", "fifo-link"):
        os.mkfifo(path + (".fifo" if kind == "fifo-link" else ""))
        if kind == "fifo-link":
            os.symlink(os.path.basename(path) + ".fifo", path)
    else:
        os.symlink(kind, path)


class Harness:
    """A check's run: mhkbmp's command, the run's folder, whether Linux's
    devices and limits are at hand (--native), and the counts. A check
    subclasses it and puts its cases in checks()."""

    def __init__(self, name, command, tmp, native):
        self.name, self.command, self.tmp, self.native = name, command, tmp, native
        self.cases, self.runs, self.failures, self.kept = set(), 0, 0, None

    def run(self, args, cwd=None, **kwargs):
        """mhkbmp ARGS in cwd, or else in the run's folder."""
        self.runs += 1
        return run_tool(self.command, args, cwd=cwd or self.tmp, **kwargs)

    def check(self, case, ok, message):
        """Counts the case, and a failure unless ok; returns ok."""
        self.cases.add(case)
        if not ok:
            self.failures += 1
            print("FAIL %s: %s" % (case, message))
        return ok

    def compare(self, case, what, expected, got):
        return self.check(case, same(expected, got), "%s\n  expected %r\n  got      %r" % (what, expected, got))

    def folder(self, case, files=()):
        """The case's folder in the run's, holding files: {name: bytes} or
        [(name, bytes)]."""
        folder = os.path.join(self.tmp, case)
        os.makedirs(folder, exist_ok=True)
        for name, data in dict(files).items():
            write(os.path.join(folder, name), data)
        return folder

    def exports_as(self, case, folder, archive, index, picture, extension=".bmp"):
        """`export` of index to a file of that extension gives back picture,
        (width, height, bits, palette, rows): a PNG file as PIL reads it."""
        target = os.path.join(folder, "export-%d%s" % (index, extension))
        code, _, err = self.run(["export", archive, str(index), target], folder)
        got = open(target, "rb").read() if os.path.exists(target) else None
        want, png = exported_file(*picture), extension.lower() == ".png"
        problem = "no file" if got is None else png_problem(got, want) if png else got != want and "file differs"
        self.check(case, code == 0 and not problem, "export of %d: exit %d, %s %r" % (index, code, problem, err))

    def keep(self, case, content):
        """Saves a failed case's archive for a look afterwards, in a folder
        of the run's own that is left in place (under TMPDIR, which the test
        runner points into the build tree); returns its path."""
        if self.kept is None:
            self.kept = tempfile.mkdtemp(prefix="velder-%s-failures-" % self.name)
        path = os.path.join(self.kept, case + ".mhk")
        write(path, content)
        return path


def main(name, checker, count=0, seed=20261207, options=()):
    """Parses the command line (OPTIONS are more options taking a value),
    runs checker(...).checks(rng, args) in a temporary folder and returns
    the exit status: 1 if anything failed."""
    parser = argparse.ArgumentParser(prog="check_%s.py" % name)
    parser.add_argument("--count", type=int, default=count)
    parser.add_argument("--seed", type=int, default=seed)
    parser.add_argument("--native", action="store_true")
    for option in options:
        parser.add_argument(option)
    parser.add_argument("command", nargs="+")
    args = parser.parse_args()
    if os.sep in args.command[0]:  # cases run in folders of their own
        args.command[0] = os.path.abspath(args.command[0])
    with tempfile.TemporaryDirectory(prefix="velder-%s-" % name) as tmp:
        check = checker(name, args.command, tmp, args.native)
        check.checks(random.Random(args.seed), args)
    print("%d cases, %d runs, %d failures" % (len(check.cases), check.runs, check.failures))
    return 1 if check.failures else 0
