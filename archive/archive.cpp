// archive.cpp - header validation and the resource directory, read in place.
//
// The tables of an archive are trusted for nothing: every table, entry and
// name is checked to lie inside the file before it is read. Offsets are
// added in 64 bits so that no sum can wrap on the 32-bit viewer.
#include "archive/archive.h"

#include <string.h>

#include "archive/directory.h"

namespace {

// One past the last zero byte at or after from, or from itself when there is
// none. A name starting at q (from <= q < result) is therefore terminated
// inside the file; one starting at or past the result is not.
const uint8_t* EndOfTerminatedNames(const uint8_t* from, const uint8_t* end)
{
    const uint8_t* p = end;
    while (p > from && p[-1] != 0)
        --p;
    return p;
}

// Index from file-table index to the name offset of the last name entry
// that bears it, so that naming R resources costs R + N steps rather than
// R x N. Stamped per enumeration so that it is never cleared in full except
// once every 65535 enumerations.
uint16_t s_nameOffset[65536];
uint16_t s_nameStamp[65536];
uint16_t s_stamp;

void BuildNameIndex(const uint8_t* nameTable, unsigned count)
{
    if (++s_stamp == 0) {
        memset(s_nameStamp, 0, sizeof s_nameStamp);
        s_stamp = 1;
    }
    // First to last, so that the entry stored last for an index wins.
    const uint8_t* entry = nameTable + kTableEntries;
    for (unsigned i = 0; i < count; ++i, entry += kNameEntrySize) {
        uint16_t index = ReadBE16(entry + kNameEntryIndex);
        s_nameStamp[index] = s_stamp;
        s_nameOffset[index] = ReadBE16(entry + kNameEntryOffset);
    }
}

// FindResourceName: the name of the resource at file-table index, from the
// index BuildNameIndex made; null when the type has no usable name table
// (nameArea null) or the name does not end inside the file.
const char* FindResourceName(const uint8_t* nameArea, uint16_t index, const uint8_t* namesEnd)
{
    // The entry stored last for the index decides; an unusable name is no
    // name, not a reason to fall back to an earlier entry.
    if (nameArea == nullptr || s_nameStamp[index] != s_stamp || s_nameOffset[index] >= namesEnd - nameArea)
        return nullptr;
    return reinterpret_cast<const char*>(nameArea + s_nameOffset[index]);
}

// The type entry for type, or false when there is none or the type table
// does not lie wholly inside the file: a table that runs off the end is no
// table, even where the entry that matches is inside.
bool FindTypeEntry(const uint8_t* base, uint32_t size, const ArchiveDirectory& directory, uint32_t type,
                   TypeTables* found)
{
    if (!directory.types.inside)
        return false;
    // Last to first: when a tag is stored twice, the later entry wins.
    for (unsigned i = directory.types.count; i-- > 0;) {
        if (ReadTypeEntry(base, size, directory, i, found) && found->tag == type)
            return true;
    }
    return false;
}

}  // namespace

bool IsValidArchive(const uint8_t* base, uint32_t size)
{
    // Nothing shorter than the 20 bytes checked below can be an archive, and
    // nothing past the end may be read.
    if (size < kArchiveFileSize + 4)
        return false;
    return ReadBE32(base + kArchiveMagic) == kMagicMohawk
           && ReadBE32(base + kArchiveRestSize) == size - kArchiveRestStart
           && ReadBE32(base + kArchiveResourceMagic) == kMagicResources
           && ReadBE32(base + kArchiveVersion) == kVersionWord
           && ReadBE32(base + kArchiveFileSize) == size;
}

void EnumerateResources(const uint8_t* base, uint32_t type, ResourceCountCallback onCount,
                        ResourceItemCallback onItem)
{
    const uint32_t fileSize = ReadBE32(base + kArchiveFileSize);
    ArchiveDirectory directory;
    ReadDirectory(base, fileSize, &directory);
    TypeTables tables;
    if (!FindTypeEntry(base, fileSize, directory, type, &tables))
        return;
    const TableSpan& resources = tables.resources;
    if (resources.count == 0 || !resources.inside)
        return;

    onCount(resources.count);

    // A name table that leaves the file is treated as empty. Names must
    // start inside the file and end before it does.
    const uint8_t* nameArea = nullptr;
    const uint8_t* namesEnd = nullptr;
    if (tables.names.count != 0 && tables.names.inside && directory.nameArea < fileSize) {
        BuildNameIndex(base + tables.names.offset, tables.names.count);
        nameArea = base + directory.nameArea;
        namesEnd = EndOfTerminatedNames(nameArea, base + fileSize);
    }

    const uint8_t* entry = base + resources.entries;
    for (unsigned i = 0; i < resources.count; ++i, entry += kResourceEntrySize) {
        uint16_t index = ReadBE16(entry + kResourceEntryIndex);
        onItem(ReadBE16(entry + kResourceEntryId), index, FindResourceName(nameArea, index, namesEnd));
    }
}

bool GetResourceData(const uint8_t* base, uint16_t index, const uint8_t** data, uint32_t* size)
{
    const uint32_t fileSize = ReadBE32(base + kArchiveFileSize);
    ArchiveDirectory directory;
    ReadDirectory(base, fileSize, &directory);
    // 16-bit, so that index 0 becomes 65535 and fails with any table that
    // fits the 16-bit indexes.
    const uint16_t entryNumber = static_cast<uint16_t>(index - 1);
    const uint64_t entryOffset = FileEntryAt(directory, entryNumber);
    if (!directory.files.counted || entryNumber >= directory.files.count || !Inside(entryOffset, kFileEntrySize, fileSize))
        return false;

    const uint8_t* entry = base + entryOffset;
    uint32_t dataOffset = ReadBE32(entry + kFileEntryData);
    uint32_t length = ReadResourceSize(entry);
    *size = length;
    uint32_t dataEnd = dataOffset + length;  // may wrap; caught below
    if (dataEnd <= dataOffset || dataEnd > fileSize)
        return false;
    *data = base + dataOffset;
    return true;
}
