// png.h - PNG files for mhkbmp: writing a decoded picture as PNG, and
// reading the PNG files that pack accepts. zlib does the deflating,
// inflating and CRCs; the chunk framing and the row filters are here.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "imagefile/bmp_reader.h"

// Encodes pictures as PNG, its deflate states (one per memory level) kept
// for all of them (a new state costs more than a small picture's whole
// encoding). Each row gets the filter whose output, read as signed bytes,
// has the smallest sum of magnitudes.
class PngEncoder {
public:
    PngEncoder();
    ~PngEncoder();
    PngEncoder(const PngEncoder&) = delete;
    PngEncoder& operator=(const PngEncoder&) = delete;

    // bitsPerPixel 8: colour type 3, bit depth 8, a PLTE of all 256 entries
    // of palette (blue, green, red triples) in order, no transparency.
    // bitsPerPixel 24: colour type 2, pixels blue, green, red. Rows are
    // stored top-down from topRow, rowStep bytes apart, and read for width
    // (x 3) bytes; padding is never written. Empty when zlib fails.
    std::vector<uint8_t> Encode(unsigned width, unsigned height, unsigned bitsPerPixel, const uint8_t* palette,
                                const uint8_t* topRow, size_t rowStep);

private:
    struct State;
    State* state_;
};

// One picture with an encoder of its own.
std::vector<uint8_t> EncodePng(unsigned width, unsigned height, unsigned bitsPerPixel, const uint8_t* palette,
                               const uint8_t* topRow, size_t rowStep);

// True when data starts with the PNG signature.
bool IsPng(const uint8_t* data, size_t size);

// Parses a whole PNG file into the same picture a bitmap file gives: a
// non-interlaced indexed PNG (bit depth 1, 2, 4 or 8, widened to 8 bits;
// up to 256 palette entries) of 1 to 1024 pixels each way, or an 8-bit RGB
// PNG of exactly 608 x 392. False, with the reason in *error, for anything
// else: other colour types and depths, transparency, interlacing, a bad
// CRC, a truncated file, a stream that inflates to more or less than the
// picture needs, bad filter types, unknown critical chunks.
bool ParsePng(const uint8_t* data, size_t size, BmpImage* image, std::string* error);
