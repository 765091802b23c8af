// reference_decoder.cpp - see reference_decoder.h. The build puts that
// commit's decoder sources (bitmap.cpp, decompress.cpp, decompress.h,
// format.h) in a folder searched before this tree's, and they are compiled
// here inside a namespace of their own, over this tree's bitmap.h and
// decode block, which they find already included.
#include "tests/bench/reference_decoder.h"

#include <stddef.h>
#include <string.h>

#include "bitmap/block.h"
#include "common/byte_order.h"

namespace reference {
#include "bitmap/bitmap.cpp"
#include "bitmap/decompress.cpp"
}  // namespace reference

const char kReferenceCommit[] = VELDER_BENCH_REFERENCE;

bool ReferenceDecode(const uint8_t* data, uint32_t size, std::vector<uint8_t>* pixels)
{
    BitmapBuffer buffer;
    if (!reference::DecodeBitmapResource(data, size, false, &buffer))
        return false;
    if (pixels != nullptr) {
        const uint32_t width = uint32_t(buffer.header->biWidth), height = uint32_t(-buffer.header->biHeight);
        const uint32_t pitch = buffer.header->biBitCount == 8 ? (width + 3) & ~3u : (3 * width + 3) & ~3u;
        pixels->assign(buffer.pixels, buffer.pixels + size_t(height) * pitch);
    }
    reference::ReleaseBitmap(&buffer);
    return true;
}
