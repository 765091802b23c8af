#!/usr/bin/env python3
"""mhkbmp as installed: the manual page renders without a warning and says
what every command's help says (synopses, options, exit codes); the bash
completion offers commands, options, archives and folders; cmake --install
lays out the tree the README promises.

usage: check_manual.py SOURCE_DIR BUILD_DIR -- COMMAND...   (COMMAND runs mhkbmp)
"""

import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from harness import Harness, main, write  # noqa: E402

COMPLETIONS = [  # (words, the last one being completed; what is offered)
    (["mhkbmp", "ex"], "export export-all"),
    (["mhkbmp", "help", "im"], "import-all"),
    (["mhkbmp", "import-all", "--"], "--png --price= --quiet --help --"),
    (["mhkbmp", "list", ""], "dir a.mhk b.MHK"),
    (["mhkbmp", "export-all", "a.mhk", ""], "dir"),
    (["mhkbmp", "replace", "a.mhk", "o.mhk", "1", ""], "dir c.png d.bmp"),
    (["mhkbmp", "export", "a.mhk", ""], ""),
]


class Checker(Harness):
    def checks(self, rng, args):
        source, build = args.source, args.build
        env = dict(os.environ, LC_ALL="C.UTF-8", MANWIDTH="80")
        page = os.path.join(source, "tools", "mhkbmp.1")
        shown = subprocess.run(["man", "--warnings", "-l", page], capture_output=True, env=env)
        self.compare("manual", "man --warnings", (0, b""), (shown.returncode, shown.stderr))
        text = re.sub(r"\s+", " ", shown.stdout.decode())
        usage = self.run(["--help"])[1].decode()
        for line in usage.splitlines():
            if line.startswith("  mhkbmp "):
                self.compare("manual", "synopsis", True, line.strip() in text)
        for command in re.findall(r"^  ([a-z-]+) ", usage.split("commands:")[1], re.M):
            helped = self.run([command, "--help"])[1].decode()
            options = re.findall(r"^  (-[-\w=]+)(?:, (--\w+))?", helped, re.M)
            codes = re.findall(r"^  (\d)  (.+)$", helped, re.M)
            self.compare("manual", command + ": options and exit codes", [], [
                what for what in [o for pair in options for o in pair if o] + [t for _, t in codes]
                if what.replace("-", "\u2010") not in text and what not in text])

        # The completion, in a folder of archives, pictures and a folder.
        folder = self.folder("completion", {name: b"" for name in ("a.mhk", "b.MHK", "c.png", "d.bmp", "e.txt")})
        os.mkdir(os.path.join(folder, "dir"))
        script = os.path.join(source, "tools", "mhkbmp.bash-completion")
        for words, offered in COMPLETIONS:
            done = subprocess.run(["bash", "-c", 'source "$0"; COMP_WORDS=("${@:1}"); COMP_CWORD=$(($# - 1)); '
                                   '_mhkbmp; printf "%s\\n" "${COMPREPLY[@]}"', script] + words,
                                  capture_output=True, cwd=folder)
            self.compare("completion", " ".join(words), sorted(offered.split()), sorted(done.stdout.decode().split()))

        # cmake --install into a folder of the test's own.
        prefix = os.path.join(self.tmp, "prefix")
        installed = subprocess.run(["cmake", "--install", build, "--prefix", prefix], capture_output=True)
        files = sorted(os.path.relpath(os.path.join(d, f), prefix) for d, _, fs in os.walk(prefix) for f in fs)
        self.compare("install", "the tree", (0, ["bin/mhkbmp", "share/bash-completion/completions/mhkbmp",
                                                 "share/doc/mhkbmp/README.md", "share/man/man1/mhkbmp.1"]),
                     (installed.returncode, files))
        version = subprocess.run([os.path.join(prefix, "bin", "mhkbmp"), "--version"], capture_output=True)
        self.compare("install", "mhkbmp --version", b"mhkbmp 1.0.0\n", version.stdout)


if __name__ == "__main__":
    sys.exit(main("manual", Checker, options=("--source", "--build")))
