// bmp_writer.h - writes a decoded bitmap as a Windows bitmap (.bmp) file:
// a 14-byte file header, then the packed bitmap exactly as decoded.
#pragma once

#include <stdint.h>

#include "bitmap/bitmap.h"
#include "common/byte_writer.h"

// Writes bitmap (decoded bottom-up, so that its pixels lie in the block)
// through write, in five calls: "BM", the file size (14 + size), a zero,
// the pixel offset (14 + (pixels - header)), then the size bytes from
// header on; the spare row is not written. All fields are little-endian.
// Stops at the first failed write and returns false.
bool WriteBitmapFile(const BitmapBuffer* bitmap, ByteWriter write, void* context);
