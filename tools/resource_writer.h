// resource_writer.h - builds tBMP resources and Mohawk archives: the
// writing side of what the viewer reads.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "tools/compress.h"

// Pixel formats of the 8-bit layout. kFormatSmaller picks whichever of the
// two gives the shorter resource.
enum PixelFormat { kFormatSmaller = 0, kFormatRaw = 10, kFormatCompressed = 1034 };

// The one 24-bit layout the viewer reads.
const unsigned kTrueColourWidth = 608;
const unsigned kTrueColourHeight = 392;
const unsigned kTrueColourPitch = 2432;
const size_t kTrueColourResourceSize = 8 + size_t(kTrueColourHeight) * kTrueColourPitch;  // 953,352

// Bytes per stored row of an 8-bit picture: the width rounded up to 4.
inline unsigned PalettePitch(unsigned width)
{
    return (width + 3) & ~3u;
}

// An 8-bit resource: header, palette block (palette: 256 entries of blue,
// green, red), then the pixels. area holds height rows of PalettePitch(width)
// palette indexes, top-down, padding included. width and height are 1 to 1024.
std::vector<uint8_t> BuildPaletteResource(unsigned width, unsigned height, const uint8_t* palette,
                                          const uint8_t* area, PixelFormat format = kFormatSmaller,
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
