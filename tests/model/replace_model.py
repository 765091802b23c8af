"""Plain models of `mhkbmp replace`, `import-all` and `info`, written from
the commands' descriptions: which bytes of an archive something claims,
where a new resource goes (over its old range or after the end of the
file), and the lines `info` prints.
"""

import struct

from mhk_model import be16, be32, resource_data


def file_table(b):
    """(offset, entry count or None) of the file table, or None."""
    if len(b) < 26:
        return None
    ft = be32(b, 20) + be16(b, 24)
    return ft, be32(b, ft) if ft + 4 <= len(b) else None


def entry_of(b, index):
    """Offset of the file-table entry of index, or None when it has none."""
    table = file_table(b)
    if table is None or table[1] is None:
        return None
    e = (index - 1) & 0xFFFF
    at = table[0] + 4 + 10 * e
    return at if e < table[1] and at + 10 <= len(b) else None


def set_range(b, at, offset, length):
    """Sets the offset and size fields of the file entry at at."""
    struct.pack_into(">IBBB", b, at, offset & 0xFFFFFFFF, (length >> 8) & 255, length & 255, length >> 16)


def claims(b):
    """[(start, end, file entry number or None)]: what each part of the
    archive claims, tables running past the end included."""
    size = len(b)
    out = [(0, 28, None)]  # both headers
    if size < 24:
        return out
    d = be32(b, 20)
    types = be16(b, d + 2) if d + 4 <= size else 0
    out.append((d, d + 4 + 8 * types, None))
    area = d + be16(b, d) if d + 2 <= size else None
    for t in range(types):
        entry = d + 4 + 8 * t
        if entry + 8 > size:
            break
        for table, named in ((d + be16(b, entry + 4), False), (d + be16(b, entry + 6), True)):
            count = be16(b, table) if table + 2 <= size else 0
            out.append((table, table + 2 + 4 * count, None))
            for j in range(count if named else 0):  # each name, its terminator included
                if table + 6 + 4 * j <= size and area is not None:
                    start = area + be16(b, table + 2 + 4 * j)
                    zero = b.find(b"\0", start) if start < size else -1
                    out.append((start, zero + 1 if zero >= 0 else size, None))
    table = file_table(b)
    if table is not None:
        ft, count = table
        out.append((ft, ft + 4 + 10 * (count or 0), None))
        for k in range(count or 0):
            at = ft + 4 + 10 * k
            if at + 10 > size:
                break
            length = (b[at + 6] << 16) | (b[at + 4] << 8) | b[at + 5]
            out.append((be32(b, at), be32(b, at) + length, k))
    return out


def append_start(b, replaced):
    """Where appended data starts: after the end of the file, of every file
    entry's range but the replaced ones' (entry numbers from 0), and of every
    entry of the file table that 16-bit indexes reach, all read as the file
    grown by zeros would read them."""
    ft = be32(b, 20) + be16(b, 24)
    padded = b + bytes(max(0, ft + 4 - len(b)))
    count = be32(padded, ft)
    start = max(len(b), ft + 4 + 10 * min(count, 65536))
    for k in range(count):
        at = ft + 4 + 10 * k
        if at >= len(b):
            break
        entry = b[at:at + 10] + bytes(10)
        if k not in replaced:
            start = max(start, be32(entry, 0) + ((entry[6] << 16) | (entry[4] << 8) | entry[5]))
    return start


def replace(b, pairs):
    """OUT after putting each (index, resource bytes) in turn, as (its
    bytes up to the old end, the zeros after them, the appended bytes), or
    None when it would pass 4 GiB. Appended data starts after the range of
    every entry that is not replaced, which a damaged file table may place
    gigabytes away."""
    head, tail, claimed = bytearray(b), bytearray(), claims(b)
    start = append_start(b, {(index - 1) & 0xFFFF for index, _ in pairs})
    for index, data in pairs:
        k, at, old = (index - 1) & 0xFFFF, entry_of(b, index), resource_data(b, index)
        if old and len(data) <= old[1] and not any(max(s, old[0]) < min(e, sum(old)) and who != k
                                                   for s, e, who in claimed):
            offset = old[0]
            head[offset:offset + old[1]] = data + bytes(old[1] - len(data))
        else:
            offset = start + len(tail)
            if offset + len(data) > 0xFFFFFFFF:
                return None
            tail += data
        set_range(head, at, offset, len(data))
    size = start + len(tail) if tail else len(b)
    struct.pack_into(">II", head, 4, size - 8, 0x52535243)
    struct.pack_into(">I", head, 16, size)
    return bytes(head), size - len(b) - len(tail), bytes(tail)


def whole(result):
    """The bytes of a result of replace."""
    return result[0] + bytes(result[1]) + result[2]


def tag_text(tag):
    raw = struct.pack(">I", tag)
    return raw if all(0x20 <= c <= 0x7E for c in raw) else b"0x%08X" % tag


def info(b):
    """stdout of `mhkbmp info` for a valid archive."""
    size, lines = len(b), [b"size\t%d" % len(b)]
    d = be32(b, 20) if size >= 24 else size
    types = be16(b, d + 2) if d + 4 <= size else None
    if types is not None and d + 4 + 8 * types <= size:
        for t in range(types):
            entry = d + 4 + 8 * t
            counts = []
            for table in (d + be16(b, entry + 4), d + be16(b, entry + 6)):
                count = be16(b, table) if table + 2 <= size else None
                counts.append(b"%d" % count if count is not None and table + 2 + 4 * count <= size else b"-")
            lines.append(b"type\t%s\t%s\t%s" % (tag_text(be32(b, entry)), counts[0], counts[1]))
    table = file_table(b)
    fits = table is not None and table[1] is not None and table[0] + 4 + 10 * table[1] <= size
    lines.append(b"files\t%s" % (b"%d" % table[1] if fits else b"-"))
    return b"".join(line + b"\n" for line in lines)
