// bitmap.h - turns a tBMP resource into a packed device-independent bitmap
// (header, palette, pixel rows) in one movable memory block.
#pragma once

#include <stdint.h>

#ifdef _WIN32
#include <windows.h>
typedef HGLOBAL BlockHandle;
#else
// The platform's bitmap structures, with the layout Windows publishes.
#pragma pack(push, 2)
struct BITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
#pragma pack(pop)
struct RGBQUAD {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
};
typedef void* BlockHandle;
#endif

// The result of a decode. The block is locked once; its owner unlocks and
// frees it (ReleaseBitmap), or unlocks it and hands it to the clipboard.
struct BitmapBuffer {
    BlockHandle handle;        // the movable block: header, palette, rows, one spare row
    uint32_t size;             // length of the packed bitmap (the spare row excluded)
    BITMAPINFOHEADER* header;  // the block's first byte; the palette follows it
    uint8_t* pixels;           // first pixel row; for a top-down decode of format 10 it
                               // points into the resource (the archive's view)
};

// Decodes the resource at data (size bytes) top-down (bottomUp false, for
// display) or bottom-up (for the clipboard and files). False: nothing is left
// allocated and *buffer means nothing.
bool DecodeBitmapResource(const uint8_t* data, uint32_t size, bool bottomUp, BitmapBuffer* buffer);

// Reverses the order of the rows from first to last (inclusive), through the
// scratch row.
void FlipRows(uint8_t* first, uint8_t* last, uint16_t rowLength, uint8_t* scratch);

// Unlocks and frees a decoded block.
void ReleaseBitmap(BitmapBuffer* buffer);
