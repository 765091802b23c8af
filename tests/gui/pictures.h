// pictures.h - tBMP resources for the viewer's tests, each with the
// picture it must show, worked out here from the pixels put in (not by
// the decoder).
#pragma once

#include <stdint.h>

#include <vector>

#include "tests/support/archive_builder.h"

struct ShownPicture {
    Bytes resource;
    int width = 0;
    int height = 0;
    std::vector<uint32_t> rgb;  // top row first, 0xRRGGBB
};

// 8-bit, stored uncompressed (format 10).
ShownPicture RawPicture(int width, int height, unsigned seed);

// 8-bit, compressed (format 1034) as literal runs.
ShownPicture CompressedPicture(int width, int height, unsigned seed);

// The 24-bit 608 x 392 layout.
ShownPicture WidePicture(unsigned seed);

// A resource that passes no decode (width 0).
Bytes BrokenResource();
