#!/usr/bin/env python3
"""Checks the bundled demo archive: drawing the pictures again and packing
them must give the committed archive byte for byte; the archive must list
as the model lists it, hold a 24-bit 608 x 392 and a 1024 x 1024 picture, and
every resource must carry its picture (checked through `mhkbmp export` where
mhkbmp has it).

usage: check_demo.py DEMO.mhk GENERATOR-COMMAND... -- MHKBMP-COMMAND...
"""

import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from harness import run_tool as run  # noqa: E402
from mhk_model import TBMP, enumerate_type, list_archive, resource_data  # noqa: E402
from pack_model import exported_file, read_bmp, resource_header, stored_rows  # noqa: E402


def main():
    args = sys.argv[1:]
    if "--" not in args or len(args) < 4:
        print(__doc__)
        return 2
    split = args.index("--")
    committed_path, generator, mhkbmp = args[0], args[1:split], args[split + 1:]
    with open(committed_path, "rb") as f:
        committed = f.read()
    failures = []

    with tempfile.TemporaryDirectory(prefix="velder-demo-") as tmp:
        code, out, err = run(generator, [tmp])
        if code != 0:
            print("generator failed: %r" % err)
            return 1
        names = out.decode().split()
        paths = [os.path.join(tmp, name) for name in names]
        rebuilt = os.path.join(tmp, "demo.mhk")
        code, _, err = run(mhkbmp, ["pack", rebuilt] + paths)
        if code != 0:
            print("pack failed: %r" % err)
            return 1
        with open(rebuilt, "rb") as f:
            again = f.read()
        if again != committed:
            at = next((i for i in range(min(len(again), len(committed))) if again[i] != committed[i]),
                      min(len(again), len(committed)))
            failures.append("rebuilt archive differs from %s (%d vs %d bytes, first difference at %d)"
                            % (committed_path, len(again), len(committed), at))

        if run(mhkbmp, ["list", committed_path]) != list_archive(committed_path):
            failures.append("list differs from the model")
        items = enumerate_type(committed, TBMP)
        wanted = [(i + 1, i + 1, name[:-4].encode()) for i, name in enumerate(names)]
        if items != wanted:
            failures.append("listed %r, expected %r" % (items, wanted))
        exporting = b"export" in run(mhkbmp, [])[2]
        sizes = set()
        for i, path in enumerate(paths):
            with open(path, "rb") as f:
                width, height, bits, palette, rows = read_bmp(f.read())
            sizes.add((width, height, bits))
            where = resource_data(committed, i + 1)
            resource = committed[where[0]:where[0] + where[1]] if where else b""
            header = resource_header(resource)
            if header is None or (header[0], header[1], header[4]) != (width, height, palette):
                failures.append("%s: the resource does not carry the picture's size and palette" % names[i])
            elif header[3] != 1034 and stored_rows(resource, header) != rows:
                failures.append("%s: the stored rows differ from the picture" % names[i])
            if exporting:
                target = os.path.join(tmp, "export-%d.bmp" % (i + 1))
                code, _, err = run(mhkbmp, ["export", committed_path, str(i + 1), target])
                got = open(target, "rb").read() if os.path.exists(target) else None
                if code != 0 or got != exported_file(width, height, bits, palette, rows):
                    failures.append("%s: export exit %d, %s" % (names[i], code, err))
        for needed in [(608, 392, 24), (1024, 1024, 8)]:
            if needed not in sizes:
                failures.append("no %d x %d %d-bit picture" % needed)

    for failure in failures:
        print("FAIL " + failure)
    print("%d pictures checked%s, %d failures" % (len(names), " and exported" if exporting else "", len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
