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
    // The price of decoding time, in 1/256 byte per nanosecond: the parser
    // charges every command and pair code what it costs the viewer's decoder
    // (measured per kind, see compress.cpp) at this rate, beside its size,
    // so that it takes a few bytes more where they decode much faster. 0
    // asks for the smallest stream the parser can find.
    unsigned codePenalty = 128;
    // How many earlier positions with the same 4-byte hash are tried when
    // looking for a back-reference.
    unsigned chainDepth = 48;
};

// The result of CompressPixels with what the parser estimated for it.
struct CompressedPixels {
    std::vector<uint8_t> stream;
    uint64_t decodeNanoseconds = 0;  // estimated time the viewer takes to decode it
};
CompressedPixels CompressPixelsEstimated(const uint8_t* pixels, size_t size,
                                         const CompressOptions& options = CompressOptions());

// Compresses size bytes of palette indexes (rows top-down, padding
// included; size must be even) into a stream that ends with the end command
// and decodes to exactly those bytes. An odd size yields an empty stream.
std::vector<uint8_t> CompressPixels(const uint8_t* pixels, size_t size,
                                    const CompressOptions& options = CompressOptions());
