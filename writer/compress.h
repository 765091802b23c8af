// compress.h - the compressor for the pixel stream of format-1034 bitmap
// resources: the inverse of DecompressPixels.
//
// The stream never reads before the first byte of the area (neither a
// back-reference nor a pair code reaches back past it), so what the decoder
// keeps in front of the area does not matter.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

struct CompressOptions {
    // Extra cost, in 1/256 byte, charged for every pair code (back-references
    // included) and every repeat command: each one is a separate dispatch in
    // the decoder, while a literal run moves up to 128 bytes at once. Raising
    // it trades size for decoding speed; 0 asks for the smallest stream the
    // parser can find.
    unsigned codePenalty = 160;
    // How many earlier positions with the same 4-byte hash are tried when
    // looking for a back-reference.
    unsigned chainDepth = 48;
};

// Compresses size bytes of palette indexes (rows top-down, padding
// included; size must be even) into a stream that ends with the end command
// and decodes to exactly those bytes. An odd size yields an empty stream.
std::vector<uint8_t> CompressPixels(const uint8_t* pixels, size_t size,
                                    const CompressOptions& options = CompressOptions());
