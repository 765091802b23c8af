// naive_decompress.h - a deliberately plain model of the compressed pixel
// stream and of tBMP resources, for checking the compressor and the resource
// writer: one byte at a time, straight from the command and pair-code tables,
// with every read of earlier output going through one accessor that notes
// when it reaches before the area.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

struct NaiveOutcome {
    std::vector<uint8_t> area;  // the area after decoding
    size_t written = 0;         // output position where decoding stopped
    size_t consumed = 0;        // stream bytes used, the end command included
    bool sawEnd = false;        // stopped at an end command
    bool reachedBefore = false; // some read of earlier output lay before the area
    // What was carried out, in order: command bytes (the end included), pair
    // codes, and the distance of each back-reference.
    std::vector<uint8_t> commands, pairCodes;
    std::vector<size_t> distances;
};

// Decodes stream into an area of areaSize bytes that starts out holding
// fill. front holds the bytes directly in front of the area (its last byte
// is the one just before the area); reads further back give 0. Decoding
// ends at the end command, before a command or pair code that does not fit
// in the area, or before one whose bytes run past the end of the stream.
NaiveOutcome NaiveDecompress(const std::vector<uint8_t>& stream, size_t areaSize, uint8_t fill = 0,
                             const std::vector<uint8_t>& front = std::vector<uint8_t>());

// The same into an area that starts out holding area's bytes.
NaiveOutcome NaiveDecompressOver(const std::vector<uint8_t>& stream, std::vector<uint8_t> area,
                                 const std::vector<uint8_t>& front);

// A decoded picture: what a bitmap file or the clipboard would carry.
struct DecodedPicture {
    unsigned width = 0;
    unsigned height = 0;
    unsigned bitsPerPixel = 0;     // 8 or 24
    std::vector<uint8_t> palette;  // 8-bit: 256 entries of blue, green, red; empty for 24-bit
    std::vector<uint8_t> rows;     // top-down rows, each rowBytes long
    unsigned rowBytes = 0;         // width (8-bit) or 3 x width bytes that carry pixels

    // The pixels of row y without row padding.
    const uint8_t* Row(unsigned y) const { return rows.data() + size_t(y) * rowBytes; }
};

// Decodes a tBMP resource the plain way: the 8-bit layout (formats 10 and
// 1034, anything else gives zero pixels) and the one 24-bit layout. A
// back-reference that reaches before the pixels reads the palette as the
// decode block lays it out. False when the resource is refused.
bool NaiveDecodeResource(const uint8_t* data, size_t size, DecodedPicture* picture);

// A way of decoding resources, with a name for messages: the model above,
// and the viewer's own decoder.
struct ResourceDecoder {
    const char* name;
    bool (*decode)(const uint8_t* data, size_t size, DecodedPicture* picture);
};
std::vector<ResourceDecoder> ResourceDecoders();

// The same for bare streams: decodes stream into an area of areaSize bytes
// (exactly sized, with 1023 readable bytes in front), returning the area.
struct StreamDecoder {
    const char* name;
    std::vector<uint8_t> (*decode)(const std::vector<uint8_t>& stream, size_t areaSize);
};
std::vector<StreamDecoder> StreamDecoders();
