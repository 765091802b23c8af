// directory.cpp - see directory.h.
#include "archive/directory.h"

namespace {

// A table at offset whose count (2 or 4 bytes) sits at countAt and whose
// entries of entrySize bytes start at entriesAt.
TableSpan Span(const uint8_t* base, uint32_t size, uint64_t offset, uint32_t countAt, uint32_t countBytes,
               uint32_t entriesAt, uint32_t entrySize)
{
    TableSpan span;
    span.offset = offset;
    span.entries = offset + entriesAt;
    span.counted = Inside(offset + countAt, countBytes, size);
    span.count = !span.counted ? 0 : countBytes == 2 ? ReadBE16(base + offset + countAt) : ReadBE32(base + offset + countAt);
    span.end = span.entries + uint64_t(entrySize) * span.count;
    span.inside = span.counted && span.end <= size;
    return span;
}

}  // namespace

void ReadDirectory(const uint8_t* base, uint32_t size, ArchiveDirectory* directory)
{
    directory->located = size >= kArchiveDirectory + 4;
    directory->directory = directory->located ? ReadBE32(base + kArchiveDirectory) : size;
    directory->types = Span(base, size, directory->directory, kDirectoryTypeCount, 2, kDirectoryTypes, kTypeEntrySize);
    directory->nameArea =
        directory->directory + (directory->types.counted ? ReadBE16(base + directory->directory + kDirectoryNameArea) : 0);
    // The file table's offset is the header's last field.
    const bool tableKnown = size >= kArchiveFileTable + 2;
    const uint64_t table = tableKnown ? directory->directory + ReadBE16(base + kArchiveFileTable) : size;
    directory->files = Span(base, size, table, kFileTableCount, 4, kFileTableEntries, kFileEntrySize);
}

bool ReadTypeEntry(const uint8_t* base, uint32_t size, const ArchiveDirectory& directory, unsigned index,
                   TypeTables* type)
{
    const uint64_t entry = directory.types.entries + uint64_t(kTypeEntrySize) * index;
    if (index >= directory.types.count || !Inside(entry, kTypeEntrySize, size))
        return false;
    const uint8_t* bytes = base + entry;
    type->tag = ReadBE32(bytes + kTypeEntryTag);
    type->resources = Span(base, size, directory.directory + ReadBE16(bytes + kTypeEntryResources), kTableCount, 2,
                           kTableEntries, kResourceEntrySize);
    type->names = Span(base, size, directory.directory + ReadBE16(bytes + kTypeEntryNames), kTableCount, 2,
                       kTableEntries, kNameEntrySize);
    return true;
}
