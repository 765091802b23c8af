// bmp_reader.cpp - see bmp_reader.h.
#include "imagefile/bmp_reader.h"

#include <string.h>

#include "bitmap/format.h"
#include "common/byte_order.h"

namespace {

bool Refuse(std::string* error, const std::string& reason)
{
    *error = reason;
    return false;
}

}  // namespace

bool ParseBmp(const uint8_t* data, size_t size, BmpImage* image, std::string* error)
{
    if (size < 2 || data[0] != 'B' || data[1] != 'M')
        return Refuse(error, "not a Windows bitmap file (no \"BM\" signature)");
    if (size < 14 + 4)
        return Refuse(error, "truncated bitmap file (the headers are incomplete)");
    const uint32_t pixelOffset = ReadLE32(data + 10);
    const uint32_t headerSize = ReadLE32(data + 14);
    // The info header and its later versions all begin with the same 40 bytes.
    if (headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 && headerSize != 124)
        return Refuse(error, "unsupported bitmap header of " + std::to_string(headerSize) + " bytes");
    if (size < 14 + size_t(headerSize))
        return Refuse(error, "truncated bitmap file (the headers are incomplete)");
    const uint8_t* info = data + 14;
    const int64_t width = int32_t(ReadLE32(info + 4));
    const int64_t rawHeight = int32_t(ReadLE32(info + 8));
    const unsigned planes = ReadLE16(info + 12);
    const unsigned bits = ReadLE16(info + 14);
    const uint32_t compression = ReadLE32(info + 16);
    const uint32_t coloursUsed = ReadLE32(info + 32);
    const bool topDown = rawHeight < 0;
    const int64_t height = topDown ? -rawHeight : rawHeight;

    if (planes != 1)
        return Refuse(error, "corrupt bitmap header (" + std::to_string(planes) + " planes)");
    if (bits != 8 && bits != 24)
        return Refuse(error, std::to_string(bits) +
                                 "-bit bitmaps are not accepted (only 8-bit palettised, or 24-bit of 608 x 392)");
    if (compression == 1 || compression == 2)
        return Refuse(error, "RLE-compressed bitmaps are not accepted (only uncompressed ones)");
    if (compression != 0)
        return Refuse(error, "compressed bitmaps (compression " + std::to_string(compression) +
                                 ") are not accepted (only uncompressed ones)");
    const std::string dimensions = std::to_string(width) + " x " + std::to_string(height);
    if (bits == 8 && (width < 1 || width > kMaxSide || height < 1 || height > kMaxSide))
        return Refuse(error, "8-bit bitmap of " + dimensions + " pixels (accepted: 1 to 1024 each way)");
    if (bits == 24 && (width != kTrueColourWidth || height != kTrueColourHeight))
        return Refuse(error, "24-bit bitmap of " + dimensions + " pixels (accepted: only 608 x 392)");

    size_t tablesEnd = 14 + size_t(headerSize);
    unsigned colours = 0;
    if (bits == 8) {
        if (coloursUsed > 256)
            return Refuse(error, "corrupt bitmap header (a palette of " + std::to_string(coloursUsed) + " colours)");
        colours = coloursUsed == 0 ? 256 : coloursUsed;
        tablesEnd += 4 * size_t(colours);
        if (size < tablesEnd)
            return Refuse(error, "truncated bitmap file (the palette is incomplete)");
    }
    if (pixelOffset < tablesEnd)
        return Refuse(error, "corrupt bitmap file (the pixels overlap the headers or the palette)");

    const size_t rowBytes = size_t(width) * bits / 8;
    const size_t stride = RowPitch(uint32_t(rowBytes));
    const size_t pixelBytes = stride * size_t(height);
    if (pixelOffset > size || size - pixelOffset < pixelBytes)
        return Refuse(error, "truncated bitmap file (the pixel rows are incomplete)");

    image->width = unsigned(width);
    image->height = unsigned(height);
    image->bitsPerPixel = bits;
    image->palette.assign(bits == 8 ? 768 : 0, 0);
    for (unsigned i = 0; i < colours; ++i)
        memcpy(&image->palette[3 * i], data + 14 + headerSize + 4 * i, 3);
    const size_t outRow = bits == 8 ? PalettePitch(image->width) : rowBytes;
    image->rows.assign(outRow * image->height, 0);
    for (unsigned y = 0; y < image->height; ++y) {
        const unsigned stored = topDown ? y : image->height - 1 - y;
        memcpy(&image->rows[outRow * y], data + pixelOffset + stride * stored, rowBytes);
    }
    return true;
}
