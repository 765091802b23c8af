// fuzz_png.cpp - arbitrary bytes through the PNG reader, two ways:
//   1. as they are;
//   2. behind the PNG signature, with every whole chunk's CRC made right,
//      so that mutations reach past the CRC check into the chunks, the
//      inflating and the row filters.
// Every buffer is exactly as large as what it holds. A picture that is
// accepted must keep to the promised limits and come back unchanged
// through the PNG writer and the reader again; otherwise abort.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>

#include <zlib.h>

#include "bitmap/format.h"
#include "common/byte_order.h"
#include "tests/fuzz/fuzz_check.h"
#include "imagefile/png.h"

namespace {

void Parse(const uint8_t* data, size_t size)
{
    BmpImage image;
    std::string error;
    if (!ParsePng(data, size, &image, &error)) {
        Check(!error.empty());
        return;
    }
    const bool indexed = image.bitsPerPixel == 8;
    if (indexed) {
        Check(image.width >= 1 && image.width <= kMaxSide && image.height >= 1 && image.height <= kMaxSide);
        // Past the colours of the PLTE chunk (an accepted file has one),
        // every palette byte is zero.
        size_t colourBytes = 769, at = 8;
        for (; at + 8 <= size && colourBytes == 769; at += 12 + size_t(ReadBE32(data + at))) {
            if (memcmp(data + at + 4, "PLTE", 4) == 0)
                colourBytes = ReadBE32(data + at);
        }
        Check(colourBytes <= 768 && image.palette.size() == 768);
        for (size_t i = colourBytes; i < 768; ++i)
            Check(image.palette[i] == 0);
    } else {
        Check(image.bitsPerPixel == 24 && image.width == kTrueColourWidth && image.height == kTrueColourHeight);
        Check(image.palette.empty());
    }
    const size_t row = indexed ? PalettePitch(image.width) : 3 * size_t(image.width);
    Check(image.rows.size() == row * image.height);

    const std::vector<uint8_t> encoded =
        EncodePng(image.width, image.height, image.bitsPerPixel, image.palette.data(), image.rows.data(), row);
    std::unique_ptr<uint8_t[]> copy(new uint8_t[encoded.size()]);
    memcpy(copy.get(), encoded.data(), encoded.size());
    BmpImage again;
    Check(ParsePng(copy.get(), encoded.size(), &again, &error));
    Check(again.width == image.width && again.height == image.height && again.bitsPerPixel == image.bitsPerPixel);
    Check(again.palette == image.palette && again.rows == image.rows);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::unique_ptr<uint8_t[]> exact(new uint8_t[size]);
    memcpy(exact.get(), data, size);
    Parse(exact.get(), size);

    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const bool signed_ = IsPng(data, size);
    const size_t start = signed_ ? 0 : 8;
    std::unique_ptr<uint8_t[]> framed(new uint8_t[start + size]);
    memcpy(framed.get(), kSignature, 8);
    memcpy(framed.get() + start, data, size);
    const size_t total = start + size;
    for (size_t at = 8; total - at >= 12;) {
        const uint32_t length = ReadBE32(framed.get() + at);
        if (length > total - at - 12)
            break;
        WriteBE32(framed.get() + at + 8 + length, static_cast<uint32_t>(crc32(0, framed.get() + at + 4, length + 4)));
        at += 12 + size_t(length);
    }
    Parse(framed.get(), total);
    return 0;
}
