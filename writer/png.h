// png.h - PNG files for mhkbmp: writing a decoded picture as PNG, and
// reading the PNG files that pack accepts. zlib does the deflating,
// inflating and CRCs; the chunk framing and the row filters are here.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "writer/bmp_reader.h"

// Encodes a picture as PNG. bitsPerPixel 8: colour type 3, bit depth 8, a
// PLTE of all 256 entries of palette (blue, green, red triples) in order, no
// transparency. bitsPerPixel 24: colour type 2, pixels blue, green, red.
// Rows are stored top-down from topRow, rowStep bytes apart, and read for
// width (x 3) bytes; padding is never written.
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
