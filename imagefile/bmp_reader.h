// bmp_reader.h - reads the Windows bitmap files that mhkbmp pack accepts:
// uncompressed 8-bit palettised pictures of 1 to 1024 pixels each way, and
// uncompressed 24-bit pictures of exactly 608 x 392. Rows may be stored
// bottom-up or top-down.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

struct BmpImage {
    unsigned width = 0;
    unsigned height = 0;
    unsigned bitsPerPixel = 0;     // 8 or 24
    std::vector<uint8_t> palette;  // 8-bit: 256 entries of blue, green, red; missing entries are zero
    // Rows top-down. 8-bit: PalettePitch(width) bytes each, padding zero.
    // 24-bit: 3 x width bytes each.
    std::vector<uint8_t> rows;
};

// Parses a whole bitmap file. False, with the reason in *error (a phrase
// such as "RLE-compressed bitmaps are not accepted"), when the file is not
// one of the accepted kinds or is truncated or inconsistent.
bool ParseBmp(const uint8_t* data, size_t size, BmpImage* image, std::string* error);
