// archive_builder.h - writes Mohawk archives and tBMP resources for the
// tests, well-formed by default; Layout tells where every table landed so
// that a test can break any field afterwards with PutBE16/PutBE32,
// truncate, or append.
#pragma once

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

typedef std::vector<uint8_t> Bytes;

void PutBE16(Bytes& bytes, size_t offset, uint16_t value);
void PutBE32(Bytes& bytes, size_t offset, uint32_t value);
void AppendBE16(Bytes& bytes, uint16_t value);
void AppendBE32(Bytes& bytes, uint32_t value);

struct ResourcePlan {
    uint16_t id;
    uint16_t index;  // 1-based file-table index
};

struct NamePlan {
    std::string name;  // written zero-terminated into the name area
    uint16_t index;    // file-table index that bears it
};

struct TypePlan {
    uint32_t tag;
    std::vector<ResourcePlan> resources;
    std::vector<NamePlan> names;
};

struct FilePlan {
    Bytes data;  // written after the tables; the entry's range covers it
};

struct ArchivePlan {
    std::vector<TypePlan> types;
    std::vector<FilePlan> files;
};

struct Layout {
    size_t directory = 0;                 // absolute offset of the resource directory
    std::vector<size_t> typeEntries;      // absolute offset of each type entry
    std::vector<size_t> resourceTables;   // absolute offset of each type's resource table
    std::vector<size_t> nameTables;       // absolute offset of each type's name table
    size_t nameArea = 0;                  // absolute offset of the name-string area
    std::vector<std::vector<size_t>> names;  // per type, absolute offset of each name string
    size_t fileTable = 0;                 // absolute offset of the file table
    std::vector<size_t> fileEntries;      // absolute offset of each file entry
    std::vector<size_t> data;             // absolute offset of each file's data
};

// Builds a valid archive from plan (header sizes filled in).
Bytes BuildArchive(const ArchivePlan& plan, Layout* layout = nullptr);

// Rewrites the two header size fields (offsets 4 and 16) to match bytes.size(),
// after a test has grown or shrunk the archive on purpose.
void FixHeaderSizes(Bytes& bytes);

// One line of what EnumerateResources reports.
struct ListedItem {
    uint16_t id;
    uint16_t index;
    std::string name;  // "<null>" for no name
    bool operator==(const ListedItem& o) const { return id == o.id && index == o.index && name == o.name; }
};

// Everything EnumerateResources reports for type tag of the archive at
// base: the items, and in *counts each count (0 for one after an item).
std::vector<ListedItem> ListResources(const uint8_t* base, uint32_t tag, std::vector<unsigned>* counts);

// An 8-bit tBMP resource, any field allowed: header (pitch PalettePitch(width)
// unless given), palette block with palette (256 blue, green, red triples),
// then body (format 10: the rows; 1034: four unread bytes and the stream).
Bytes EightBitResource(unsigned width, unsigned height, unsigned format, const Bytes& palette, const Bytes& body,
                       int pitch = -1);

// An 8-bit picture's area, height rows of PalettePitch(width) bytes, from a
// pixel function; padding bytes come from pad.
Bytes PixelArea(unsigned width, unsigned height, const std::function<uint8_t(unsigned, unsigned)>& pixel,
                uint8_t pad = 0);

// Writes bytes to a file; true on success.
bool WriteBytes(const std::string& path, const Bytes& bytes);

// A fresh path in the test's temporary directory.
std::string TempPath(const std::string& leaf);

// An archive with 65,535 tBMP resources and 65,535 name entries in reverse
// order of file-table index. All table offsets are 16-bit and directory-
// relative, so tables this large must overlap: the resource table and the
// name table are the same bytes, and names are read from those bytes too.
Bytes BuildMaximalArchive();
