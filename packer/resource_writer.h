// resource_writer.h - builds tBMP resources and Mohawk archives: the
// writing side of what the viewer reads.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "bitmap/format.h"
#include "packer/compress.h"

// How pack stores an 8-bit picture. kStoreSmaller keeps the compressed
// stream only when it pays for its decoding (see BuildPaletteResource).
enum PixelFormat { kStoreSmaller = 0, kStorePlain = kFormatPlain, kStoreCompressed = kFormatCompressed };

// An 8-bit resource: header, palette block (palette: 256 entries of blue,
// green, red), then the pixels. area holds height rows of PalettePitch(width)
// palette indexes, top-down, padding included. width and height are 1 to 1024.
std::vector<uint8_t> BuildPaletteResource(unsigned width, unsigned height, const uint8_t* palette,
                                          const uint8_t* area, PixelFormat format = kStoreSmaller,
                                          const CompressOptions& options = CompressOptions());

// The 24-bit resource: 608 x 392, rows of 2432 bytes whose first 1824 are
// the pixels (blue, green, red) and the rest zero. pixels holds 392 rows of
// 1824 bytes, top-down.
std::vector<uint8_t> BuildTrueColourResource(const uint8_t* pixels);

// One tBMP resource of an archive.
struct ArchiveItem {
    uint16_t id;
    std::string name;            // empty: the resource has no name entry
    std::vector<uint8_t> data;   // 1 to 16,777,215 bytes
};

// Lays out an archive with one tBMP type: items in order, item i at
// file-table index i + 1, every named item in the name table. False, with a
// reason in *error, when the items cannot be expressed: a size outside the
// 24-bit range, a name containing a zero byte, more than 65,535 items,
// tables or names that do not fit the 16-bit offsets, or a file of 4 GiB or
// more.
bool BuildMohawkArchive(const std::vector<ArchiveItem>& items, std::vector<uint8_t>* archive, std::string* error);
