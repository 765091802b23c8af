"""Random Mohawk archives for model comparisons: well-formed ones, and ones
broken in the ways a hostile or damaged file would be (fields pointing past
the end, truncation, appended bytes, duplicate tags and names, index 0,
unterminated names, ranges ending at or just past the end).
"""

import random
import struct

from mhk_model import TBMP

OTHER_TAGS = [0x74575156, 0x7453434E, 0x434C5253, 0x74424D51]


def _name(rng):
    length = rng.choice([0, 1, 3, 8, 20])
    alphabet = b"abcXYZ019 _-.\t[]" + bytes([0x80, 0xE9, 0xFF, 0x01, 0x7F])
    return bytes(rng.choice(alphabet) for _ in range(length))


def build(rng, files, types, name_area_extra=b""):
    """files: [bytes]; types: [(tag, [(id, index)], [(name bytes, index)])].
    Returns (archive bytearray, dict of field offsets worth mutating)."""
    out = bytearray(b"MHWK\0\0\0\0RSRC\x01\0\0\0" + b"\0" * 12)
    fields = {"header": [4, 16, 20, 24]}
    directory = len(out)
    out += struct.pack(">HH", 0, len(types))
    type_entries = []
    for tag, _, _ in types:
        type_entries.append(len(out))
        out += struct.pack(">IHH", tag, 0, 0)
    fields["type_entries"] = type_entries
    name_fixups = []
    fields["resource_tables"] = []
    fields["name_tables"] = []
    for t, (tag, resources, names) in enumerate(types):
        struct.pack_into(">H", out, type_entries[t] + 4, (len(out) - directory) & 0xFFFF)
        fields["resource_tables"].append(len(out))
        out += struct.pack(">H", len(resources))
        for rid, index in resources:
            out += struct.pack(">HH", rid, index)
        struct.pack_into(">H", out, type_entries[t] + 6, (len(out) - directory) & 0xFFFF)
        fields["name_tables"].append(len(out))
        out += struct.pack(">H", len(names))
        for name, index in names:
            name_fixups.append((len(out), name))
            out += struct.pack(">HH", 0, index)
    area = len(out)
    struct.pack_into(">H", out, directory, (area - directory) & 0xFFFF)
    fields["name_offsets"] = []
    for at, name in name_fixups:
        struct.pack_into(">H", out, at, (len(out) - area) & 0xFFFF)
        fields["name_offsets"].append(at)
        out += name + b"\0"
    out += name_area_extra
    table = len(out)
    struct.pack_into(">H", out, 24, (table - directory) & 0xFFFF)
    out += struct.pack(">I", len(files))
    entries = []
    for _ in files:
        entries.append(len(out))
        out += b"\0" * 10
    fields["file_entries"] = entries
    fields["file_table"] = [table]
    for f, data in enumerate(files):
        struct.pack_into(">I", out, entries[f], len(out))
        out[entries[f] + 4] = (len(data) >> 8) & 0xFF
        out[entries[f] + 5] = len(data) & 0xFF
        out[entries[f] + 6] = (len(data) >> 16) & 0xFF
        out += data
    struct.pack_into(">I", out, 20, directory)
    fields["directory"] = [directory]
    fix_sizes(out)
    return out, fields


def fix_sizes(b):
    if len(b) >= 20:
        struct.pack_into(">I", b, 4, (len(b) - 8) & 0xFFFFFFFF)
        struct.pack_into(">I", b, 16, len(b))


def random_structure(rng, max_resources=12, file_bytes=None):
    nfiles = rng.randint(0, 8)
    files = []
    for _ in range(nfiles):
        if file_bytes is not None:
            files.append(file_bytes(rng))
        else:
            files.append(bytes(rng.getrandbits(8) for _ in range(rng.choice([0, 1, 5, 40]))))
    types = []
    for _ in range(rng.randint(0, 3)):
        tag = TBMP if rng.random() < 0.6 else rng.choice(OTHER_TAGS)
        resources = []
        for _ in range(rng.randint(0, max_resources)):
            rid = rng.choice([0, 1, 7, 1000, 32767, 32768, 40000, 65535, rng.getrandbits(16)])
            index = rng.choice([0, nfiles, nfiles + 1, 65535] + list(range(1, nfiles + 1)) * 3)
            resources.append((rid, index & 0xFFFF))
        names = []
        for _ in range(rng.randint(0, max_resources)):
            index = rng.choice([rid for rid, _ in resources] + [i for _, i in resources] + [0, 1, 2])
            names.append((_name(rng), index))
        types.append((tag, resources, names))
    return files, types


def mutate(rng, b, fields):
    """Applies one to three damaging changes in place; returns the new bytes."""
    for _ in range(rng.randint(1, 3)):
        kind = rng.randrange(8)
        if kind == 0 and len(b) > 0:  # truncate, keeping or fixing the size fields
            del b[rng.randrange(len(b)):]
            if rng.random() < 0.7:
                fix_sizes(b)
        elif kind == 1:  # append
            b += bytes(rng.getrandbits(8) for _ in range(rng.randint(1, 30)))
            if rng.random() < 0.7:
                fix_sizes(b)
        elif kind in (2, 3, 4):  # a 16-bit table field made large or small
            groups = [g for g in fields.values() if g]
            if not groups:
                continue
            at = rng.choice(rng.choice(groups)) + rng.choice([0, 2, 4, 6])
            if at + 2 <= len(b):
                value = rng.choice([0, 1, 0xFFFF, 0x8000, len(b) & 0xFFFF, (len(b) - 28) & 0xFFFF,
                                    rng.getrandbits(16)])
                struct.pack_into(">H", b, at, value)
        elif kind == 5 and len(b) >= 24:  # the directory offset
            struct.pack_into(">I", b, 20, rng.choice([0, 8, len(b), len(b) - 2, 0xFFFFFFFF,
                                                      rng.getrandbits(32)]))
        elif kind == 6 and fields.get("file_entries"):  # a resource range at or past the end
            entry = rng.choice(fields["file_entries"])
            if entry + 10 <= len(b):
                length = rng.choice([0, 1, 16, 0xFFFFFF])
                offset = rng.choice([len(b) - length, len(b) - length + 1, 0xFFFFFFFF, 0, 28])
                struct.pack_into(">I", b, entry, offset & 0xFFFFFFFF)
                b[entry + 4] = (length >> 8) & 0xFF
                b[entry + 5] = length & 0xFF
                b[entry + 6] = (length >> 16) & 0xFF
        elif kind == 7 and len(b) > 0:  # random byte flips
            for _ in range(rng.randint(1, 4)):
                b[rng.randrange(len(b))] ^= 1 << rng.randrange(8)
    return b


def unterminated_name(rng):
    """A valid archive whose last name runs to the end of the file."""
    files, types = random_structure(rng)
    types.append((TBMP, [(5, 1), (6, 2)], [(b"ok", 1)]))
    b, fields = build(rng, files, types)
    tail = len(b)
    b += b"runaway"
    fix_sizes(b)
    area = fields["directory"][0] + struct.unpack_from(">H", b, fields["directory"][0])[0]
    at = fields["name_offsets"][-1]
    struct.pack_into(">H", b, at, (tail - area) & 0xFFFF)
    return b


def random_archive(rng, file_bytes=None):
    """One random archive: mostly well-formed, often damaged."""
    roll = rng.random()
    if roll < 0.05:
        return unterminated_name(rng)
    files, types = random_structure(rng, file_bytes=file_bytes)
    b, fields = build(rng, files, types)
    if roll < 0.45:
        return b
    return mutate(rng, b, fields)
