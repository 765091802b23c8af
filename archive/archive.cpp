// archive.cpp - header validation and the resource directory, read in place.
//
// The tables of an archive are trusted for nothing: every table, entry and
// name is checked to lie inside the file before it is read. Offsets are
// added in 64 bits so that no sum can wrap on the 32-bit viewer.
#include "archive/archive.h"

#include <string.h>

namespace {

// Header fields, as file offsets.
const uint32_t kOffsetFileSize = 16;   // total size, equal to the file's after validation
const uint32_t kOffsetDirectory = 20;  // absolute offset of the resource directory
const uint32_t kOffsetFileTable = 24;  // directory-relative offset of the file table

const uint32_t kTypeEntrySize = 8;
const uint32_t kResourceEntrySize = 4;
const uint32_t kNameEntrySize = 4;
const uint32_t kFileEntrySize = 10;

// True when length bytes at offset lie inside a file of fileSize bytes.
inline bool Fits(uint64_t offset, uint64_t length, uint32_t fileSize)
{
    return offset <= fileSize && length <= fileSize - offset;
}

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
    const uint8_t* entry = nameTable + 2;
    for (unsigned i = 0; i < count; ++i, entry += kNameEntrySize) {
        uint16_t index = ReadBE16(entry + 2);
        s_nameStamp[index] = s_stamp;
        s_nameOffset[index] = ReadBE16(entry);
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

// The type entry for type in the directory, or null when there is none or
// the type table does not lie inside the file (end is one past its last byte).
const uint8_t* FindTypeEntry(const uint8_t* directory, uint32_t type, const uint8_t* end)
{
    uint64_t room = static_cast<uint64_t>(end - directory);
    if (room < 4)
        return nullptr;
    unsigned count = ReadBE16(directory + 2);
    // The whole type table must be in the file, not just the entry that
    // matches: a table that runs off the end is no table.
    if (4 + static_cast<uint64_t>(kTypeEntrySize) * count > room)
        return nullptr;
    // Last to first: when a tag is stored twice, the later entry wins.
    for (unsigned i = count; i-- > 0;) {
        const uint8_t* entry = directory + 4 + kTypeEntrySize * i;
        if (ReadBE32(entry) == type)
            return entry;
    }
    return nullptr;
}

}  // namespace

bool IsValidArchive(const uint8_t* base, uint32_t size)
{
    // Nothing shorter than the 20 bytes checked below can be an archive, and
    // nothing past the end may be read.
    if (size < 20)
        return false;
    return ReadBE32(base) == 0x4D48574Bu                // "MHWK"
           && ReadBE32(base + 4) == size - 8u           //
           && ReadBE32(base + 8) == 0x52535243u         // "RSRC"
           && ReadBE32(base + 12) == 0x01000000u        // version 0x0100, then 0x0000
           && ReadBE32(base + kOffsetFileSize) == size;
}

void EnumerateResources(const uint8_t* base, uint32_t type, ResourceCountCallback onCount,
                        ResourceItemCallback onItem)
{
    uint32_t fileSize = ReadBE32(base + kOffsetFileSize);
    if (fileSize < kOffsetDirectory + 4)
        return;
    const uint8_t* end = base + fileSize;
    uint32_t dirOffset = ReadBE32(base + kOffsetDirectory);
    if (!Fits(dirOffset, 4, fileSize))
        return;
    const uint8_t* directory = base + dirOffset;

    const uint8_t* typeEntry = FindTypeEntry(directory, type, end);
    if (typeEntry == nullptr)
        return;

    uint64_t tableOffset = static_cast<uint64_t>(dirOffset) + ReadBE16(typeEntry + 4);
    if (!Fits(tableOffset, 2, fileSize))
        return;
    const uint8_t* resourceTable = base + tableOffset;
    unsigned count = ReadBE16(resourceTable);
    if (count == 0 || !Fits(tableOffset, 2 + static_cast<uint64_t>(kResourceEntrySize) * count,
                            fileSize))
        return;

    onCount(count);

    // A name table that leaves the file is treated as empty. Names must
    // start inside the file and end before it does.
    const uint8_t* nameArea = nullptr;
    const uint8_t* namesEnd = nullptr;
    uint64_t namesOffset = static_cast<uint64_t>(dirOffset) + ReadBE16(typeEntry + 6);
    if (Fits(namesOffset, 2, fileSize)) {
        unsigned nameCount = ReadBE16(base + namesOffset);
        uint64_t areaOffset = static_cast<uint64_t>(dirOffset) + ReadBE16(directory);
        if (nameCount != 0 && areaOffset < fileSize &&
            Fits(namesOffset, 2 + static_cast<uint64_t>(kNameEntrySize) * nameCount, fileSize)) {
            BuildNameIndex(base + namesOffset, nameCount);
            nameArea = base + areaOffset;
            namesEnd = EndOfTerminatedNames(nameArea, end);
        }
    }

    const uint8_t* entry = resourceTable + 2;
    for (unsigned i = 0; i < count; ++i, entry += kResourceEntrySize) {
        uint16_t index = ReadBE16(entry + 2);
        onItem(ReadBE16(entry), index, FindResourceName(nameArea, index, namesEnd));
    }
}

bool GetResourceData(const uint8_t* base, uint16_t index, const uint8_t** data, uint32_t* size)
{
    uint32_t fileSize = ReadBE32(base + kOffsetFileSize);
    if (fileSize < kOffsetFileTable + 2)
        return false;
    uint64_t tableOffset =
        static_cast<uint64_t>(ReadBE32(base + kOffsetDirectory)) + ReadBE16(base + kOffsetFileTable);
    if (!Fits(tableOffset, 4, fileSize))
        return false;
    uint32_t count = ReadBE32(base + tableOffset);

    // 16-bit, so that index 0 becomes 65535 and fails with any table that
    // fits the 16-bit indexes.
    uint16_t entryNumber = static_cast<uint16_t>(index - 1);
    if (entryNumber >= count)
        return false;
    uint64_t entryOffset = tableOffset + 4 + static_cast<uint64_t>(kFileEntrySize) * entryNumber;
    if (!Fits(entryOffset, kFileEntrySize, fileSize))
        return false;

    const uint8_t* entry = base + entryOffset;
    uint32_t dataOffset = ReadBE32(entry);
    uint32_t length = (static_cast<uint32_t>(entry[6]) << 16) | (static_cast<uint32_t>(entry[4]) << 8) |
                      entry[5];
    *size = length;
    uint32_t dataEnd = dataOffset + length;  // may wrap; caught below
    if (dataEnd <= dataOffset || dataEnd > fileSize)
        return false;
    *data = base + dataOffset;
    return true;
}
