// bitmap.cpp - turns a tBMP resource into a packed device-independent
// bitmap: BITMAPINFOHEADER, for 8-bit pictures 256 RGBQUAD entries, the
// pixel rows, and one spare row used as scratch space for the bottom-up flip.
//
// The block's memory comes from block_win32.cpp or block_posix.cpp; the rest
// is portable and runs without a language runtime.
#include "bitmap/bitmap.h"

#include <string.h>

#include "archive/archive.h"
#include "bitmap/block.h"
#include "bitmap/decompress.h"

namespace {

const uint32_t kInfoHeaderSize = 40;
const uint32_t kPaletteSize = 256 * 4;
const uint32_t kMaxSide = 1024;

// The 8-bit layout: 8-byte header, then the palette block (4-byte palette
// header and 256 blue-green-red triples).
const uint32_t kPaletteBlockEnd = 780;
// Format 1034's stream starts after 4 unread bytes.
const uint32_t kStreamStart = 784;

const uint16_t kFormatRaw = 4;
const uint16_t kFormatUncompressed = 10;
const uint16_t kFormatCompressed = 1034;

// The one 24-bit layout that is accepted.
const uint32_t kWideWidth = 608;
const uint32_t kWideHeight = 392;
const uint32_t kWidePitch = 2432;
const uint32_t kWideResourceSize = 8 + kWideHeight * kWidePitch;  // 953,352

void FillInfoHeader(uint8_t* block, uint32_t width, uint32_t height, bool bottomUp, bool eightBit)
{
    BITMAPINFOHEADER* header = reinterpret_cast<BITMAPINFOHEADER*>(block);
    memset(header, 0, sizeof *header);
    header->biSize = kInfoHeaderSize;
    header->biWidth = static_cast<int32_t>(width);
    // A negative height marks a top-down bitmap.
    header->biHeight = bottomUp ? static_cast<int32_t>(height) : -static_cast<int32_t>(height);
    header->biPlanes = 1;
    header->biBitCount = eightBit ? 8 : 24;
    // BI_RGB, and image size, resolution and colour counts all 0: the memset.
}

}  // namespace

bool DecodeBitmapResource(const uint8_t* data, uint32_t size, bool bottomUp, BitmapBuffer* buffer)
{
    // Shorter than its own header: there is nothing to read the size from.
    if (size < 8)
        return false;
    const uint32_t width = ReadBE16(data);
    if (width == 0 || width > kMaxSide)
        return false;
    const uint32_t height = ReadBE16(data + 2);
    if (height == 0 || height > kMaxSide)
        return false;
    const uint32_t pitch = ReadBE16(data + 4);
    const uint16_t format = ReadBE16(data + 6);

    const bool eightBit = pitch == ((width + 3) & ~3u);
    uint32_t dibPitch;
    if (eightBit) {
        // Without its whole palette block the picture has no colours.
        if (size < kPaletteBlockEnd)
            return false;
        if (ReadBE16(data + 8) != 0x0304 || data[10] != 0x18 || data[11] != 0xFF)
            return false;
        dibPitch = pitch;
    } else {
        if (width != kWideWidth || height != kWideHeight || pitch != kWidePitch || size != kWideResourceSize ||
            format != kFormatRaw)
            return false;
        dibPitch = (3 * width + 3) & ~3u;
    }

    const uint32_t pixelBytes = height * dibPitch;
    const uint32_t pixelOffset = kInfoHeaderSize + (eightBit ? kPaletteSize : 0);
    const uint32_t packedSize = pixelOffset + pixelBytes;
    BlockHandle block = AllocateBlock(packedSize + dibPitch);
    if (block == nullptr)
        return false;
    buffer->handle = block;
    buffer->size = packedSize;
    uint8_t* base = LockBlock(block);
    if (base == nullptr) {
        FreeBlock(block);
        return false;
    }

    FillInfoHeader(base, width, height, bottomUp, eightBit);
    if (eightBit) {
        uint8_t* entry = base + kInfoHeaderSize;
        const uint8_t* colour = data + 12;
        for (unsigned i = 0; i < 256; ++i, entry += 4, colour += 3) {
            entry[0] = colour[0];
            entry[1] = colour[1];
            entry[2] = colour[2];
            entry[3] = 0;
        }
    }
    buffer->header = reinterpret_cast<BITMAPINFOHEADER*>(base);

    // Everything no pixel is written to reads as zero, and so does the
    // spare row, which the clipboard receives with the block: no byte of
    // the fresh block goes anywhere uninitialised. A stream reaching back
    // before the area reads the palette written above.
    uint8_t* pixels = base + pixelOffset;
    memset(pixels, 0, pixelBytes + dibPitch);

    if (format == kFormatRaw && !eightBit) {
        for (uint32_t row = 0; row < height; ++row)
            memcpy(pixels + row * dibPitch, data + 8 + row * kWidePitch, dibPitch);
    } else if (format == kFormatUncompressed) {
        if (size - kPaletteBlockEnd == pixelBytes) {
            if (bottomUp) {
                memcpy(pixels, data + kPaletteBlockEnd, pixelBytes);
            } else {
                // Displayed straight from the archive's view, which is only
                // ever read through this pointer.
                pixels = const_cast<uint8_t*>(data + kPaletteBlockEnd);
            }
        }
    } else if (format == kFormatCompressed) {
        const uint8_t* end = data + size;
        const uint8_t* stream = size > kStreamStart ? data + kStreamStart : end;
        DecompressPixels(stream, pixels, pixels + pixelBytes, end);
    }
    // Format 4 in the 8-bit layout and unknown formats keep the cleared area.

    // With the flag set, pixels always lies in the block, before its spare row.
    if (bottomUp)
        FlipRows(pixels, pixels + pixelBytes - dibPitch, static_cast<uint16_t>(dibPitch), pixels + pixelBytes);
    buffer->pixels = pixels;
    return true;
}

void FlipRows(uint8_t* first, uint8_t* last, uint16_t rowLength, uint8_t* scratch)
{
    while (first < last) {
        memcpy(scratch, first, rowLength);
        memcpy(first, last, rowLength);
        memcpy(last, scratch, rowLength);
        first += rowLength;
        last -= rowLength;
    }
}

void ReleaseBitmap(BitmapBuffer* buffer)
{
    UnlockBlock(buffer->handle);
    FreeBlock(buffer->handle);
}
