// pictures.cpp - see pictures.h.
#include "tests/gui/pictures.h"

namespace {

const int kWidePitch = 2432;

// A palette with every colour distinct, different for each seed.
uint32_t PaletteColour(unsigned seed, unsigned i)
{
    return ((i * 3 + seed) & 0xFF) << 16 | ((255 - i) & 0xFF) << 8 | ((i * 7 + seed * 13) & 0xFF);
}

uint8_t PixelIndex(unsigned seed, int x, int y)
{
    return static_cast<uint8_t>(x * 5 + y * 11 + seed * 29 + (x ^ y));
}

// Header and palette block of an 8-bit picture, and its index rows (pitch
// bytes each, padding included).
ShownPicture EightBit(int width, int height, unsigned format, unsigned seed, Bytes* rows)
{
    const int pitch = (width + 3) & ~3;
    ShownPicture p;
    p.width = width;
    p.height = height;
    Bytes palette;
    for (unsigned i = 0; i < 256; ++i) {
        uint32_t c = PaletteColour(seed, i);
        palette.insert(palette.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c >> 16)});
    }
    p.resource = EightBitResource(width, height, format, palette, Bytes());
    rows->assign(static_cast<size_t>(pitch) * height, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < pitch; ++x) {
            uint8_t index = PixelIndex(seed, x, y);
            (*rows)[static_cast<size_t>(y) * pitch + x] = index;
            if (x < width)
                p.rgb.push_back(PaletteColour(seed, index));
        }
    }
    return p;
}

}  // namespace

ShownPicture RawPicture(int width, int height, unsigned seed)
{
    Bytes rows;
    ShownPicture p = EightBit(width, height, 10, seed, &rows);
    p.resource.insert(p.resource.end(), rows.begin(), rows.end());
    return p;
}

ShownPicture CompressedPicture(int width, int height, unsigned seed)
{
    Bytes rows;
    ShownPicture p = EightBit(width, height, 1034, seed, &rows);
    p.resource.insert(p.resource.end(), {0xDE, 0xAD, 0xBE, 0xEF});  // four bytes never read
    // Literal runs of up to 128 bytes; the area's size is a multiple of 4.
    for (size_t at = 0; at < rows.size(); at += 128) {
        size_t n = rows.size() - at < 128 ? rows.size() - at : 128;
        p.resource.push_back(static_cast<uint8_t>(n / 2));
        p.resource.insert(p.resource.end(), rows.begin() + at, rows.begin() + at + n);
    }
    p.resource.push_back(0x00);
    return p;
}

ShownPicture WidePicture(unsigned seed)
{
    ShownPicture p;
    p.width = 608;
    p.height = 392;
    p.resource.assign(8 + static_cast<size_t>(392) * kWidePitch, 0xEE);
    PutBE16(p.resource, 0, 608);
    PutBE16(p.resource, 2, 392);
    PutBE16(p.resource, 4, kWidePitch);
    PutBE16(p.resource, 6, 4);
    for (int y = 0; y < 392; ++y) {
        for (int x = 0; x < 608; ++x) {
            uint32_t c = PaletteColour(seed + static_cast<unsigned>(y), static_cast<unsigned>(x));
            uint8_t* px = &p.resource[8 + static_cast<size_t>(y) * kWidePitch + 3 * x];
            px[0] = static_cast<uint8_t>(c);
            px[1] = static_cast<uint8_t>(c >> 8);
            px[2] = static_cast<uint8_t>(c >> 16);
            p.rgb.push_back(c);
        }
    }
    return p;
}

Bytes BrokenResource()
{
    Bytes b = RawPicture(4, 4, 1).resource;
    PutBE16(b, 0, 0);
    return b;
}
