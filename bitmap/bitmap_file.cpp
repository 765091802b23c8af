// bitmap_file.cpp - the bitmap file's header fields and the order of the
// writes. Portable and free of any runtime: the caller supplies the writer
// (WriteFile in the viewer, stdio in mhkbmp).
#include "bitmap/bitmap_file.h"

namespace {

const uint32_t kFileHeaderSize = 14;

bool WriteLE32(BitmapFileWriter write, void* context, uint32_t value)
{
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return write(context, bytes, 4);
}

}  // namespace

bool WriteBitmapFile(const BitmapBuffer* bitmap, BitmapFileWriter write, void* context)
{
    const uint8_t* header = reinterpret_cast<const uint8_t*>(bitmap->header);
    const uint32_t pixelOffset = kFileHeaderSize + static_cast<uint32_t>(bitmap->pixels - header);
    return write(context, "BM", 2) && WriteLE32(write, context, kFileHeaderSize + bitmap->size) &&
           WriteLE32(write, context, 0) && WriteLE32(write, context, pixelOffset) &&
           write(context, header, bitmap->size);
}
