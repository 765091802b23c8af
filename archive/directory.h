// directory.h - where the tables of an archive lie, as its header and its
// directory say, each with whether it lies inside the file. The reader, the
// replace planner and mhkbmp info all take the tables from here, so that
// they agree on every archive, however damaged. Offsets are 64-bit, so
// that no sum wraps on the 32-bit viewer.
#pragma once

#include <stdint.h>

#include "archive/layout.h"

// The one bounds check: length bytes at offset lie inside a file of size
// bytes.
inline bool Inside(uint64_t offset, uint64_t length, uint32_t size)
{
    return offset <= size && length <= size - offset;
}

// A table: a count, then entries of one size.
struct TableSpan {
    uint64_t offset;   // where the table starts (its count, or the directory's name-area field)
    uint64_t entries;  // where its first entry starts
    uint32_t count;    // its entries, as the count says; 0 when the count is not in the file
    bool counted;      // the count lies inside the file
    bool inside;       // the whole table does
    uint64_t end;      // one past its last byte as the count says (past the count, when not counted)
};

struct ArchiveDirectory {
    bool located;        // the header holds the directory's offset (the file has 24 bytes)
    uint64_t directory;  // the directory's offset (the file's size when not located)
    uint64_t nameArea;   // where names count from (types.counted only)
    TableSpan types;     // the directory itself: name-area offset, type count, type entries
    TableSpan files;     // the file table; not even counted when the header lacks its offset
};

// Reads where the directory and the file table lie. base must have passed
// IsValidArchive (size is the file's size).
void ReadDirectory(const uint8_t* base, uint32_t size, ArchiveDirectory* directory);

// One type entry and where its tables lie.
struct TypeTables {
    uint32_t tag;
    TableSpan resources;
    TableSpan names;
};

// The type entry at index (0-based); false when the entry itself does not
// lie inside the file (or index is past the type count).
bool ReadTypeEntry(const uint8_t* base, uint32_t size, const ArchiveDirectory& directory, unsigned index,
                   TypeTables* type);

// Where the file entry of a 0-based entry number starts (entry number e is
// 1-based file-table index e + 1).
inline uint64_t FileEntryAt(const ArchiveDirectory& directory, uint64_t number)
{
    return directory.files.entries + uint64_t(kFileEntrySize) * number;
}
