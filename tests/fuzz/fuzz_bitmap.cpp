// fuzz_bitmap.cpp - arbitrary bytes through the bitmap decoder, three ways:
//   1. as a whole tBMP resource, decoded top-down and bottom-up;
//   2. behind a valid 8-bit header and palette (format 1034 or 10, sides
//      from the first two bytes), which is what reaches the stream decoder
//      through DecodeBitmapResource, compared with the reference decoder
//      over a cleared area;
//   3. as a bare stream into an area of exactly its size with 1024
//      readable bytes in front, compared with the reference decoder.
// Every buffer is exactly as large as what it holds, so that an access one
// byte past the end trips AddressSanitizer. A wrong result aborts.
#include <stdint.h>
#include <string.h>

#include <memory>
#include <vector>

#include "bitmap/bitmap.h"
#include "bitmap/decompress.h"
#include "bitmap/format.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/support/archive_builder.h"
#include "tests/support/naive_decompress.h"

namespace {

// The sum of a range's bytes: the sanitizer vets every one of them.
unsigned Touch(const uint8_t* p, size_t n)
{
    unsigned sum = 0;
    for (size_t i = 0; i < n; ++i)
        sum += p[i];
    return sum;
}

void DecodeBothWays(const uint8_t* data, uint32_t size)
{
    BitmapBuffer top, bottom;
    const bool topOk = DecodeBitmapResource(data, size, false, &top);
    const bool bottomOk = DecodeBitmapResource(data, size, true, &bottom);
    Check(topOk == bottomOk);
    if (!topOk)
        return;
    const BITMAPINFOHEADER* h = bottom.header;
    const uint32_t width = static_cast<uint32_t>(h->biWidth);
    const uint32_t height = static_cast<uint32_t>(h->biHeight);
    Check(width >= 1 && width <= kMaxSide && height >= 1 && height <= kMaxSide);
    Check(top.header->biHeight == -h->biHeight && top.size == bottom.size);
    const uint32_t front = h->biBitCount == 8 ? 1064 : 40;
    const uint32_t pitch = h->biBitCount == 8 ? (width + 3) & ~3u : (3 * width + 3) & ~3u;
    Check(bottom.size == front + height * pitch);
    const uint8_t* block = reinterpret_cast<const uint8_t*>(h);
    Check(bottom.pixels == block + front);
    const uint8_t* topBlock = reinterpret_cast<const uint8_t*>(top.header);
    Check(top.pixels == topBlock + front || top.pixels == data + kPixelsPlain);
    // The spare row goes to the clipboard with the block: a top-down decode
    // never writes it, so it must still be clear.
    Check(Touch(topBlock + top.size, pitch) == 0);
    // Same header after biHeight, same palette; the same rows in the opposite order.
    Check(memcmp(block + 12, topBlock + 12, front - 12) == 0);
    for (uint32_t r = 0; r < height; ++r)
        Check(memcmp(bottom.pixels + r * pitch, top.pixels + (height - 1 - r) * pitch, pitch) == 0);
    ReleaseBitmap(&top);
    ReleaseBitmap(&bottom);
}

template <typename T>
std::unique_ptr<T[]> Exact(size_t n)
{
    return std::unique_ptr<T[]>(new T[n]);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 0x100000)
        return 0;
    DecodeBothWays(data, static_cast<uint32_t>(size));
    if (size < 2)
        return 0;

    // 2. The rest of the input behind a valid header and palette.
    {
        const unsigned width = 1 + data[0] % 96, height = 1 + data[1] % 32;
        const unsigned format = (data[0] & 0x80) && (data[1] & 0x80) ? 10 : 1034;
        Bytes palette(3 * 256 + 4);  // the four unread bytes of 1034 too
        for (size_t i = 0; i < palette.size(); ++i)
            palette[i] = static_cast<uint8_t>(i * 37);
        Bytes body(palette.end() - (format == 1034 ? 4 : 0), palette.end());
        body.insert(body.end(), data + 2, data + size);
        const Bytes built = EightBitResource(width, height, format, palette, body);
        auto resource = Exact<uint8_t>(built.size());
        memcpy(resource.get(), built.data(), built.size());
        DecodeBothWays(resource.get(), static_cast<uint32_t>(built.size()));
        if (format == 1034) {
            // Every byte the stream leaves unwritten reads as zero, as over
            // an area cleared before decoding, with the palette in front.
            BitmapBuffer top;
            Check(DecodeBitmapResource(resource.get(), static_cast<uint32_t>(built.size()), false, &top));
            const uint8_t* block = reinterpret_cast<const uint8_t*>(top.header);
            const size_t areaSize = size_t(PalettePitch(width)) * height;
            NaiveOutcome model = NaiveDecompressOver(Bytes(data + 2, data + size), Bytes(areaSize, 0),
                                                     Bytes(block + 40, block + 1064));
            Check(memcmp(top.pixels, model.area.data(), areaSize) == 0);
            ReleaseBitmap(&top);
        }
    }

    // 3. A bare stream into an exactly sized area, against the reference.
    {
        const size_t area = (static_cast<size_t>(data[0]) << 8 | data[1]) % 16384;
        const size_t streamSize = size - 2;
        auto stream = Exact<uint8_t>(streamSize);
        if (streamSize != 0)
            memcpy(stream.get(), data + 2, streamSize);
        auto block = Exact<uint8_t>(1024 + area);
        std::vector<uint8_t> expected(1024 + area);
        for (size_t i = 0; i < 1024 + area; ++i)
            block[i] = expected[i] = static_cast<uint8_t>(i * 13 + 5);
        DecompressPixels(stream.get(), block.get() + 1024, block.get() + 1024 + area, stream.get() + streamSize);
        NaiveOutcome model = NaiveDecompressOver(std::vector<uint8_t>(data + 2, data + size),
                                                 std::vector<uint8_t>(expected.begin() + 1024, expected.end()),
                                                 std::vector<uint8_t>(expected.begin(), expected.begin() + 1024));
        Check(memcmp(block.get(), expected.data(), 1024) == 0);
        Check(area == 0 || memcmp(block.get() + 1024, model.area.data(), area) == 0);
    }
    return 0;
}
