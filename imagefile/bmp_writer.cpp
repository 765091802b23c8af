// bmp_writer.cpp - the bitmap file's header fields and the order of the
// writes. Portable and free of any runtime: the caller supplies the writer
// (WriteFile in the viewer, stdio in mhkbmp).
#include "imagefile/bmp_writer.h"

#include "common/byte_order.h"

namespace {

const uint32_t kFileHeaderSize = 14;

bool WriteField(ByteWriter write, void* context, uint32_t value)
{
    uint8_t bytes[4];
    WriteLE32(bytes, value);
    return write(context, bytes, 4);
}

}  // namespace

bool WriteBitmapFile(const BitmapBuffer* bitmap, ByteWriter write, void* context)
{
    const uint8_t* header = reinterpret_cast<const uint8_t*>(bitmap->header);
    const uint32_t pixelOffset = kFileHeaderSize + static_cast<uint32_t>(bitmap->pixels - header);
    return write(context, "BM", 2) && WriteField(write, context, kFileHeaderSize + bitmap->size) &&
           WriteField(write, context, 0) && WriteField(write, context, pixelOffset) &&
           write(context, header, bitmap->size);
}
