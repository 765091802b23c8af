// decompress.h - expands the compressed pixel stream of a tBMP resource
// (format 1034) into a pixel area.
#pragma once

#include <stdint.h>

// How a decode left the area: the bytes from destination up to end are the
// decoded ones (every byte after end keeps what it held), and skipped tells
// whether the stream left any of them as it was (a pair code that writes
// nothing, or a copy from distance 0). A caller that clears the area only
// after decoding needs both.
struct DecodedArea {
    uint8_t* end;
    bool skipped;
};

// Decodes commands from source (up to, not including, sourceEnd) into the
// bytes from destination up to, not including, limit. Ends at the end
// command, or before the first command or pair code that would write at or
// past limit or read a stream byte at or past sourceEnd; everything written
// before stays. Back-references may read up to 1023 bytes before destination,
// so the caller must have that much readable memory in front of it.
DecodedArea DecompressPixels(const uint8_t* source, uint8_t* destination, const uint8_t* limit,
                             const uint8_t* sourceEnd);
