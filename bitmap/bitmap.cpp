// bitmap.cpp - turns a tBMP resource into a packed device-independent
// bitmap: BITMAPINFOHEADER, for 8-bit pictures 256 RGBQUAD entries, the
// pixel rows, and one spare row used as scratch space for the bottom-up flip.
//
// The block's memory comes from block_win32.cpp or block_posix.cpp; the rest
// is portable and runs without a language runtime.
#include "bitmap/bitmap.h"

#include <string.h>

#include "bitmap/block.h"
#include "bitmap/decompress.h"
#include "bitmap/format.h"
#include "common/byte_order.h"

namespace {

const uint32_t kInfoHeaderSize = 40;
const uint32_t kPaletteSize = 256 * 4;

// The palette lies right in front of the pixel area, and is what a
// compressed stream reads when it reaches back before the first pixel.
static_assert(kPaletteSize >= kDecoderFrontRoom, "the palette must cover the decoder's reach before the area");

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

// Turns the 256 blue, green, red triples into RGBQUADs. Each entry is read
// as four bytes with the fourth cleared, four entries a round: byte by byte,
// this loop took longer than decoding a small picture. The last entries go
// byte by byte, as the palette block may be the end of the resource.
void ExpandPalette(uint8_t* entry, const uint8_t* colour)
{
    static const uint8_t kKeepThree[4] = {0xFF, 0xFF, 0xFF, 0};
    uint32_t keep;
    memcpy(&keep, kKeepThree, 4);
    unsigned i = 0;
    for (; i + 4 < 256; i += 4, entry += 16, colour += 12) {
        uint32_t a, b, c, d;
        memcpy(&a, colour, 4);
        memcpy(&b, colour + 3, 4);
        memcpy(&c, colour + 6, 4);
        memcpy(&d, colour + 9, 4);
        a &= keep;
        b &= keep;
        c &= keep;
        d &= keep;
        memcpy(entry, &a, 4);
        memcpy(entry + 4, &b, 4);
        memcpy(entry + 8, &c, 4);
        memcpy(entry + 12, &d, 4);
    }
    for (; i < 256; ++i, entry += 4, colour += 3) {
        entry[0] = colour[0];
        entry[1] = colour[1];
        entry[2] = colour[2];
        entry[3] = 0;
    }
}

}  // namespace

bool DecodeBitmapResource(const uint8_t* data, uint32_t size, bool bottomUp, BitmapBuffer* buffer)
{
    // Shorter than its own header: there is nothing to read the size from.
    if (size < kHeaderSize)
        return false;
    const uint32_t width = ReadBE16(data + kHeaderWidth);
    if (width == 0 || width > kMaxSide)
        return false;
    const uint32_t height = ReadBE16(data + kHeaderHeight);
    if (height == 0 || height > kMaxSide)
        return false;
    const uint32_t pitch = ReadBE16(data + kHeaderPitch);
    const uint16_t format = ReadBE16(data + kHeaderFormat);

    const bool eightBit = pitch == PalettePitch(width);
    uint32_t dibPitch;
    if (eightBit) {
        // Without its whole palette block the picture has no colours.
        if (size < kPaletteBlockEnd)
            return false;
        if (ReadBE16(data + kHeaderSize) != kPaletteBlockLength || data[kHeaderSize + 2] != kPaletteBits ||
            data[kHeaderSize + 3] != kPaletteLastIndex)
            return false;
        dibPitch = pitch;
    } else {
        if (width != kTrueColourWidth || height != kTrueColourHeight || pitch != kTrueColourPitch ||
            size != kTrueColourResourceSize || format != kFormat24Bit)
            return false;
        dibPitch = RowPitch(3 * width);
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
        ExpandPalette(base + kInfoHeaderSize, data + kPaletteColours);
    }
    buffer->header = reinterpret_cast<BITMAPINFOHEADER*>(base);

    // Everything no pixel is written to reads as zero, and so does the
    // spare row, which the clipboard receives with the block: no byte of
    // the fresh block goes anywhere uninitialised. Rather than clear the
    // whole area first and then fill it, only what the fill left is
    // cleared: the area is final up to `filled`. A stream reaching back
    // before the area reads the palette written above.
    uint8_t* pixels = base + pixelOffset;
    uint8_t* const spare = pixels + pixelBytes;
    uint8_t* filled = pixels;

    if (format == kFormat24Bit && !eightBit) {
        for (uint32_t row = 0; row < height; ++row)
            memcpy(pixels + row * dibPitch, data + kHeaderSize + row * kTrueColourPitch, dibPitch);
        filled = spare;
    } else if (format == kFormatPlain && size - kPixelsPlain == pixelBytes) {
        if (bottomUp) {
            memcpy(pixels, data + kPixelsPlain, pixelBytes);
        } else {
            // Displayed straight from the archive's view, which is only
            // ever read through this pointer; the block's own area is
            // never looked at, so it is not cleared either.
            pixels = const_cast<uint8_t*>(data + kPixelsPlain);
        }
        filled = spare;
    } else if (format == kFormatCompressed) {
        const uint8_t* end = data + size;
        const uint8_t* stream = size > kPixelsCompressed ? data + kPixelsCompressed : end;
        // Bytes the stream leaves as they were come out as zero, as over a
        // cleared area.
        filled = DecompressPixels(stream, pixels, spare, end, kKeptAsZero);
    }
    // Format 4 in the 8-bit layout, format 10 of the wrong size and unknown
    // formats fill nothing.
    memset(filled, 0, static_cast<size_t>(spare + dibPitch - filled));

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
