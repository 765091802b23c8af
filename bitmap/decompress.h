// decompress.h - expands the compressed pixel stream of a tBMP resource
// (format 1034) into a pixel area.
#pragma once

#include <stdint.h>

// Decodes commands from source (up to, not including, sourceEnd) into the
// bytes from destination up to, not including, limit. Ends at the end
// command, or before the first command or pair code that would write at or
// past limit or read a stream byte at or past sourceEnd; everything written
// before stays. Back-references may read up to 1023 bytes before destination,
// so the caller must have that much readable memory in front of it.
void DecompressPixels(const uint8_t* source, uint8_t* destination, const uint8_t* limit,
                      const uint8_t* sourceEnd);
