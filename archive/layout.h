// layout.h - the Mohawk archive, in one place: the two headers at the start
// of the file, the resource directory with its type, resource and name
// tables, and the file table with its 24-bit sizes. The reader, the writer
// and mhkbmp take their numbers from here. All multi-byte fields are
// big-endian. Offsets stored inside the directory are 16-bit and count from
// the directory's first byte; only the directory's own offset and the
// resources' data offsets count from the start of the file.
#pragma once

#include <stdint.h>

#include "common/byte_order.h"

// ---- Archive header: the MHWK header, then the RSRC header ----
const uint32_t kArchiveMagic = 0;          // kMagicMohawk
const uint32_t kArchiveRestSize = 4;       // the file's size less kArchiveRestStart
const uint32_t kArchiveRestStart = 8;      // where the size at kArchiveRestSize starts counting
const uint32_t kArchiveResourceMagic = 8;  // kMagicResources
const uint32_t kArchiveVersion = 12;       // kVersionWord: a 16-bit version, then a 16-bit zero
const uint32_t kArchiveFileSize = 16;      // the file's size
const uint32_t kArchiveDirectory = 20;     // 32-bit, absolute: the resource directory
const uint32_t kArchiveFileTable = 24;     // 16-bit, directory-relative: the file table
const uint32_t kArchiveHeaderSize = 28;    // bytes 26 and 27 are not read

const uint32_t kMagicMohawk = 0x4D48574Bu;     // "MHWK"
const uint32_t kMagicResources = 0x52535243u;  // "RSRC"
const uint32_t kVersionWord = 0x01000000u;     // version 0x0100, then 0x0000, checked as one

// ---- Resource directory ----
const uint32_t kDirectoryNameArea = 0;   // 16-bit: the name-string area
const uint32_t kDirectoryTypeCount = 2;  // 16-bit: the number of type entries
const uint32_t kDirectoryTypes = 4;      // the type entries, one after another

// Type entry: a four-character tag read as one 32-bit value, and its tables.
const uint32_t kTypeEntryTag = 0;
const uint32_t kTypeEntryResources = 4;  // 16-bit, directory-relative: the resource table
const uint32_t kTypeEntryNames = 6;      // 16-bit, directory-relative: the name table
const uint32_t kTypeEntrySize = 8;

// Type tag of bitmap resources: 't' 'B' 'M' 'P'.
const uint32_t kTypeBitmap = 0x74424D50u;

// A type's resource table and name table: a 16-bit count, then the entries.
const uint32_t kTableCount = 0;
const uint32_t kTableEntries = 2;

// Resource entry: the resource's ID and the file-table index (1-based) of
// its bytes.
const uint32_t kResourceEntryId = 0;
const uint32_t kResourceEntryIndex = 2;
const uint32_t kResourceEntrySize = 4;

// Name entry: where the name starts in the name-string area, and the
// file-table index of the resource that bears it. Names end in a zero byte.
const uint32_t kNameEntryOffset = 0;
const uint32_t kNameEntryIndex = 2;
const uint32_t kNameEntrySize = 4;

// ---- File table: a 32-bit count, then the entries ----
const uint32_t kFileTableCount = 0;
const uint32_t kFileTableEntries = 4;

// File entry: where the resource's bytes start (absolute, 32-bit) and its
// 24-bit size, split: bytes 4 and 5 hold the low 16 bits big-endian, byte 6
// the bits 16 to 23. Bytes 7 to 9 are not read.
const uint32_t kFileEntryData = 0;
const uint32_t kFileEntrySizeLow = 4;
const uint32_t kFileEntrySizeHigh = 6;
const uint32_t kFileEntrySize = 10;

const uint32_t kMaxResourceSize = 0xFFFFFF;  // 16,777,215: 24 bits
const uint32_t kMaxTableOffset = 0xFFFF;     // directory-relative offsets are 16-bit
const uint32_t kMaxTableEntries = 0xFFFF;    // types, resources and names: 16-bit counts
const uint32_t kMaxFileIndex = 0xFFFF;       // file-table indexes are 16-bit
const uint32_t kMaxArchiveSize = 0xFFFFFFFFu;  // the header's sizes are 32-bit
const unsigned kArchiveLimitGiB = 4;           // what kMaxArchiveSize falls a byte short of
static_assert((uint64_t(kMaxArchiveSize) + 1) >> 30 == kArchiveLimitGiB, "4 GiB, less a byte");

inline uint32_t ReadResourceSize(const uint8_t* entry)
{
    return (static_cast<uint32_t>(entry[kFileEntrySizeHigh]) << 16) | ReadBE16(entry + kFileEntrySizeLow);
}

// size must be at most kMaxResourceSize; higher bits are dropped.
inline void WriteResourceSize(uint8_t* entry, uint32_t size)
{
    WriteBE16(entry + kFileEntrySizeLow, size & 0xFFFF);
    entry[kFileEntrySizeHigh] = static_cast<uint8_t>(size >> 16);
}
