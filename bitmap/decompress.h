// decompress.h - expands the compressed pixel stream of a tBMP resource
// (format 1034) into a pixel area.
#pragma once

#include <stdint.h>

// What the bytes that the stream leaves as they were (a pair code that
// writes nothing, the second byte of 0x58, a copy from distance 0) hold
// after decoding.
enum KeptBytes : uint8_t {
    kKeptAsTheyWere,  // what the area held
    kKeptAsZero,      // zero, as over an area cleared before decoding
};

// Decodes commands from source (up to, not including, sourceEnd) into the
// bytes from destination up to, not including, limit, and returns the end
// of the bytes it decoded. Ends at the end command, or before the first
// command or pair code that would write at or past limit or read a stream
// byte at or past sourceEnd; everything written before stays, and every
// byte from the returned end on keeps what it held. Back-references may
// read up to 1023 bytes before destination, so the caller must have that
// much readable memory in front of it.
uint8_t* DecompressPixels(const uint8_t* source, uint8_t* destination, const uint8_t* limit,
                          const uint8_t* sourceEnd, KeptBytes kept = kKeptAsTheyWere);
