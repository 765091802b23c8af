"""An independent model of the archive reader, written from the format's
description: header validation, the resource directory with every table
bounded by the file, and what `mhkbmp list` prints for an archive.

Deliberately plain: dictionaries and slices, no attempt at speed beyond
linear time.
"""

import os

TBMP = 0x74424D50

MESSAGES = {
    2: b"The file cannot be opened.",
    3: b"This file is not a valid Velder Mohawk archive.",
    4: b"This archive does not contain any images.",
    5: b"The image cannot be read.",
    6: b"The file cannot be written.",
}


def be16(b, at):
    return (b[at] << 8) | b[at + 1]


def be32(b, at):
    return (b[at] << 24) | (b[at + 1] << 16) | (b[at + 2] << 8) | b[at + 3]


def fits(offset, length, size):
    return offset + length <= size


def is_valid(b):
    size = len(b)
    if size < 20:
        return False
    return (b[0:4] == b"MHWK" and be32(b, 4) == (size - 8) & 0xFFFFFFFF
            and b[8:12] == b"RSRC" and b[12:16] == b"\x01\x00\x00\x00"
            and be32(b, 16) == size)


def enumerate_type(b, tag):
    """[(id, index, name bytes or None)] in table order, [] when nothing is reported."""
    size = len(b)
    if size < 24:
        return []
    d = be32(b, 20)
    if not fits(d, 4, size):
        return []
    count = be16(b, d + 2)
    if not fits(d, 4 + 8 * count, size):
        return []
    entry = None
    for i in range(count):  # the last match wins
        e = d + 4 + 8 * i
        if be32(b, e) == tag:
            entry = e
    if entry is None:
        return []
    rt = d + be16(b, entry + 4)
    if not fits(rt, 2, size):
        return []
    r = be16(b, rt)
    if r == 0 or not fits(rt, 2 + 4 * r, size):
        return []

    names = {}
    nt = d + be16(b, entry + 6)
    if fits(nt, 2, size):
        n = be16(b, nt)
        if fits(nt, 2 + 4 * n, size):
            for j in range(n):  # later entries overwrite earlier ones
                names[be16(b, nt + 2 + 4 * j + 2)] = be16(b, nt + 2 + 4 * j)
    area = d + be16(b, d)

    out = []
    for k in range(r):
        rid = be16(b, rt + 2 + 4 * k)
        index = be16(b, rt + 2 + 4 * k + 2)
        name = None
        if index in names:
            start = area + names[index]
            if start < size:
                zero = b.find(b"\x00", start)
                if zero >= 0:
                    name = bytes(b[start:zero])
        out.append((rid, index, name))
    return out


def resource_data(b, index):
    """(offset, size) of file-table entry index (1-based), or None."""
    size = len(b)
    if size < 26:
        return None
    ft = be32(b, 20) + be16(b, 24)
    if not fits(ft, 4, size):
        return None
    count = be32(b, ft)
    e = (index - 1) & 0xFFFF
    if e >= count:
        return None
    entry = ft + 4 + 10 * e
    if not fits(entry, 10, size):
        return None
    offset = be32(b, entry)
    length = (b[entry + 6] << 16) | (b[entry + 4] << 8) | b[entry + 5]
    end = (offset + length) & 0xFFFFFFFF
    if end <= offset or end > be32(b, 16):
        return None
    return offset, length


def list_text(rid, name):
    return name if name is not None else b"[%d]" % rid


def open_archive(path):
    """(exit code, bytes, items) as the viewer's Open would end; only a
    regular file of less than 4 GiB is read."""
    if not os.path.isfile(path):
        return 2, None, []
    if os.path.getsize(path) >= 1 << 32:
        return 3, None, []
    with open(path, "rb") as f:
        b = f.read()
    if len(b) == 0:
        return 2, None, []
    if not is_valid(b):
        return 3, b, []
    items = enumerate_type(b, TBMP)
    if not items:
        return 4, b, []
    return 0, b, items


# Where the system's own words for an error stand in an expected stderr
# (they differ between systems); harness.same takes any words there.
SYSTEM_WORDS = b"<the system's words>"


def header_problem(b):
    """Why headers that is_valid refuses do not pass, as mhkbmp says it."""
    if len(b) < 20:
        return b"%d bytes, too short for an archive's headers" % len(b)
    if be32(b, 0) != 0x4D48574B:
        return b"no MHWK header"
    if be32(b, 8) != 0x52535243:
        return b"no RSRC header"
    if be32(b, 12) != 0x01000000:
        return b"an unknown archive version"
    return b"its headers give another size than the file's %d bytes" % len(b)


def refusal(command, path, code, b=None, shown=None):
    """stderr of `mhkbmp COMMAND path ...` when ARCHIVE path ends it with
    code (b: the file's bytes, for 3): the line naming the file (as shown,
    when given) and why, then the message."""
    if not os.path.exists(path):
        why = SYSTEM_WORDS
    elif not os.path.isfile(path):
        why = b"not a regular file"
    elif os.path.getsize(path) >= 1 << 32:
        why = b"%d bytes; an archive's size must fit its 32-bit header" % os.path.getsize(path)
    elif os.path.getsize(path) == 0:
        why = b"an empty file"
    else:
        why = header_problem(b) if code == 3 else b"no tBMP resources in its directory"
    return b"mhkbmp %s: %s: %s\n%s\n" % (command, shown or os.fsencode(path), why, MESSAGES[code])


def on_terminal(text):
    """A name as `list` shows it on a terminal: control bytes as \\xHH and
    backslashes doubled."""
    return b"".join(b"\\x%02X" % c if c < 0x20 or c == 0x7F else b"\\\\" if c == 0x5C else bytes([c])
                    for c in text)


def list_archive(path, terminal=False):
    """(exit code, stdout bytes, stderr bytes) of `mhkbmp list path`, piped
    or on a terminal."""
    code, b, items = open_archive(path)
    if code != 0:
        return code, b"", refusal(b"list", path, code, b)
    out = []
    for rid, index, name in items:
        found = resource_data(b, index)
        size = b"%d" % found[1] if found else b"-"
        text = list_text(rid, name)
        out.append(b"%d\t%d\t%s\t%s\n" % (rid, index, size, on_terminal(text) if terminal else text))
    return 0, b"".join(out), b""
