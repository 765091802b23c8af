// naive_decompress.cpp - see naive_decompress.h.
#include "tests/support/naive_decompress.h"

#include <string.h>

#include <memory>
#include <utility>

#include "bitmap/bitmap.h"
#include "bitmap/decompress.h"
#include "bitmap/format.h"
#include "common/byte_order.h"

namespace {

struct Machine {
    const std::vector<uint8_t>& stream;
    const std::vector<uint8_t>& front;
    NaiveOutcome out;
    size_t s = 0;  // stream position
    size_t p = 0;  // output position

    Machine(const std::vector<uint8_t>& stream_, const std::vector<uint8_t>& front_) : stream(stream_), front(front_) {}

    // The byte at p - back (back may exceed p: then it lies before the area).
    uint8_t Earlier(size_t at, size_t back)
    {
        if (back <= at)
            return out.area[at - back];
        out.reachedBefore = true;
        size_t before = back - at;  // 1 is the byte just in front of the area
        return before <= front.size() ? front[front.size() - before] : 0;
    }
    bool StreamHas(size_t count) const { return s + count <= stream.size(); }
    bool AreaHas(size_t count) const { return p + count <= out.area.size(); }
    void Put(uint8_t value) { out.area[p++] = value; }

    // Carries out one pair code at stream position s; false ends decoding.
    bool PairCode();
    void Run();
};

bool Machine::PairCode()
{
    if (!AreaHas(2) || !StreamHas(1))
        return false;
    const uint8_t code = stream[s];
    const unsigned h = code >> 4, l = code & 15;
    const uint8_t* x = stream.data() + s + 1;  // operands, valid once checked

    // Back-references: high nibble A, B, E, F with L >= 4 (F: up to C).
    if ((h == 0xA || h == 0xB || h == 0xE || (h == 0xF && l <= 0xC)) && l >= 4) {
        unsigned copy, operands;
        bool literal;
        size_t distance;
        if (code == kLongBackReference) {
            if (!StreamHas(3))
                return false;
            unsigned m = x[0];
            copy = 3 + m / 4;
            literal = (m & 4) == 0;
            operands = literal ? 3 : 2;
            distance = 256 * (m % 4) + x[1];
        } else {
            unsigned g = h == 0xA ? 0 : h == 0xB ? 1 : h == 0xE ? 2 : 3;
            copy = 3 * g + l / 4 + 2;
            literal = copy % 2 == 1;
            operands = literal ? 2 : 1;
            if (!StreamHas(1 + operands))
                return false;
            distance = 256 * (l % 4) + x[0];
        }
        if (!StreamHas(1 + operands) || !AreaHas(copy + (literal ? 1 : 0)))
            return false;
        out.pairCodes.push_back(code);
        out.distances.push_back(distance);
        for (unsigned i = 0; i < copy; ++i) {
            uint8_t value = distance == 0 ? out.area[p] : Earlier(p, distance);
            Put(value);
        }
        if (literal)
            Put(x[operands - 1]);
        s += 1 + operands;
        return true;
    }

    // Two-byte codes: how many operands, then the two bytes.
    unsigned operands = 0;
    if (code == 0x10 || code == 0x40 || (h == 5 && l >= 1) || h == 6 || h == 7 || h == 9 || h == 0xD ||
        code == 0xA0 || code == 0xB0 || code == 0xE0 || code == 0xF0)
        operands = 1;
    else if (code == 0x50)
        operands = 2;
    if (!StreamHas(1 + operands))
        return false;
    s += 1 + operands;
    out.pairCodes.push_back(code);

    bool skip = code == 0x00 || (l >= 1 && l <= 3 && (h == 0xA || h == 0xB || h == 0xE || h == 0xF)) ||
                code >= 0xFD;
    if (skip) {
        p += 2;
        return true;
    }
    const size_t at = p;
    uint8_t first;
    switch (h) {
    case 0x0: first = Earlier(at, 2 * l); break;
    case 0x1: case 0x2: case 0x3: first = Earlier(at, 2); break;
    case 0x4: first = l == 0 ? x[0] : Earlier(at, l); break;
    case 0x5: first = l == 0 ? x[0] : l <= 7 ? Earlier(at, l) : x[0]; break;
    case 0x6: case 0x7: first = x[0]; break;
    case 0x8: case 0x9: case 0xA: case 0xB: {
        unsigned add = (h == 0xA || h == 0xB) ? x[0] >> 4 : l;
        first = static_cast<uint8_t>(Earlier(at, 2) + add);
        break;
    }
    default: {  // 0xC to 0xF
        unsigned sub = (h == 0xE || h == 0xF) ? x[0] >> 4 : l;
        first = static_cast<uint8_t>(Earlier(at, 2) - sub);
        break;
    }
    }
    Put(first);
    // The second byte is worked out after the first is in place.
    const size_t at1 = at + 1;
    uint8_t second;
    switch (h) {
    case 0x0: second = Earlier(at1, 2 * l); break;
    case 0x1: second = l == 0 ? x[0] : Earlier(at1, l); break;
    case 0x2: second = static_cast<uint8_t>(Earlier(at1, 2) + l); break;
    case 0x3: second = static_cast<uint8_t>(Earlier(at1, 2) - l); break;
    case 0x4: second = Earlier(at1, 2); break;
    case 0x5:
        if (l == 0)
            second = x[1];
        else if (l <= 7)
            second = x[0];
        else if (l == 8)
            second = out.area[at1];  // distance 0: keeps what it held
        else
            second = Earlier(at1, l - 8);
        break;
    case 0x6: second = static_cast<uint8_t>(Earlier(at1, 2) + l); break;
    case 0x7: second = static_cast<uint8_t>(Earlier(at1, 2) - l); break;
    case 0x8: case 0xC: second = Earlier(at1, 2); break;
    case 0x9: case 0xD: second = x[0]; break;
    case 0xA: case 0xE: second = static_cast<uint8_t>(Earlier(at1, 2) + (x[0] & 15)); break;
    default: second = static_cast<uint8_t>(Earlier(at1, 2) - (x[0] & 15)); break;  // 0xB, 0xF
    }
    Put(second);
    return true;
}

void Machine::Run()
{
    for (;;) {
        if (!StreamHas(1))
            return;
        const unsigned n = stream[s];
        out.commands.push_back(static_cast<uint8_t>(n));
        if (n == 0) {
            ++s;
            out.sawEnd = true;
            return;
        }
        if (n <= kLiteralRunLast) {
            if (!StreamHas(1 + 2 * n) || !AreaHas(2 * n))
                return;
            for (unsigned i = 0; i < 2 * n; ++i)
                Put(stream[s + 1 + i]);
            s += 1 + 2 * n;
        } else if (n <= kQuadRepeatLast) {
            const unsigned period = n <= kPairRepeatLast ? 2 : 4;
            const unsigned count = n <= kPairRepeatLast ? n - kLiteralRunLast : n - kPairRepeatLast;
            if (!AreaHas(period * count))
                return;
            ++s;
            for (unsigned i = 0; i < period * count; ++i)
                Put(Earlier(p, period));
        } else {
            ++s;
            for (unsigned c = n - kQuadRepeatLast; c > 0; --c)
                if (!PairCode())
                    return;
        }
    }
}

std::vector<uint8_t> ViewerStream(const std::vector<uint8_t>& stream, size_t areaSize)
{
    // Exactly sized, so that AddressSanitizer sees a read one byte past the
    // stream or a write one byte past the area: the front room a reference
    // may read, then the area; the stream in its own allocation.
    std::unique_ptr<uint8_t[]> source(new uint8_t[stream.size()]);
    memcpy(source.get(), stream.data(), stream.size());
    std::unique_ptr<uint8_t[]> block(new uint8_t[kDecoderFrontRoom + areaSize]);
    memset(block.get(), 0, kDecoderFrontRoom + areaSize);
    uint8_t* area = block.get() + kDecoderFrontRoom;
    DecompressPixels(source.get(), area, area + areaSize, source.get() + stream.size());
    return std::vector<uint8_t>(area, area + areaSize);
}

bool ViewerResource(const uint8_t* data, size_t size, DecodedPicture* picture)
{
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size]);
    memcpy(copy.get(), data, size);
    BitmapBuffer buffer;
    if (!DecodeBitmapResource(copy.get(), static_cast<uint32_t>(size), false, &buffer))
        return false;
    const BITMAPINFOHEADER* header = buffer.header;
    *picture = DecodedPicture();
    picture->width = static_cast<unsigned>(header->biWidth);
    picture->height = static_cast<unsigned>(header->biHeight < 0 ? -header->biHeight : header->biHeight);
    picture->bitsPerPixel = header->biBitCount;
    picture->rowBytes = picture->width * picture->bitsPerPixel / 8;
    const unsigned pitch = (picture->rowBytes + 3) & ~3u;
    if (picture->bitsPerPixel == 8) {
        const uint8_t* quad = reinterpret_cast<const uint8_t*>(header) + 40;
        for (unsigned i = 0; i < 256; ++i)
            picture->palette.insert(picture->palette.end(), quad + 4 * i, quad + 4 * i + 3);
    }
    for (unsigned y = 0; y < picture->height; ++y) {
        const uint8_t* row = buffer.pixels + size_t(y) * pitch;
        picture->rows.insert(picture->rows.end(), row, row + picture->rowBytes);
    }
    ReleaseBitmap(&buffer);
    return true;
}

std::vector<uint8_t> ModelStream(const std::vector<uint8_t>& stream, size_t areaSize)
{
    return NaiveDecompress(stream, areaSize).area;
}

}  // namespace

NaiveOutcome NaiveDecompressOver(const std::vector<uint8_t>& stream, std::vector<uint8_t> area,
                                 const std::vector<uint8_t>& front)
{
    Machine machine(stream, front);
    machine.out.area = std::move(area);
    machine.Run();
    machine.out.written = machine.p;
    machine.out.consumed = machine.s;
    return machine.out;
}

NaiveOutcome NaiveDecompress(const std::vector<uint8_t>& stream, size_t areaSize, uint8_t fill,
                             const std::vector<uint8_t>& front)
{
    return NaiveDecompressOver(stream, std::vector<uint8_t>(areaSize, fill), front);
}

bool NaiveDecodeResource(const uint8_t* data, size_t size, DecodedPicture* picture)
{
    if (size < kHeaderSize)
        return false;
    const unsigned width = ReadBE16(data + kHeaderWidth), height = ReadBE16(data + kHeaderHeight),
                   pitch = ReadBE16(data + kHeaderPitch), format = ReadBE16(data + kHeaderFormat);
    if (width < 1 || width > kMaxSide || height < 1 || height > kMaxSide)
        return false;
    *picture = DecodedPicture();
    picture->width = width;
    picture->height = height;
    if (pitch == PalettePitch(width)) {
        if (size < kPaletteBlockEnd || ReadBE16(data + kHeaderSize) != kPaletteBlockLength ||
            data[kHeaderSize + 2] != kPaletteBits || data[kHeaderSize + 3] != kPaletteLastIndex)
            return false;
        picture->bitsPerPixel = 8;
        picture->rowBytes = width;
        picture->palette.assign(data + kPaletteColours, data + kPaletteBlockEnd);
        std::vector<uint8_t> area(size_t(height) * pitch, 0);
        if (format == kFormatPlain && size == kPixelsPlain + area.size()) {
            area.assign(data + kPixelsPlain, data + size);
        } else if (format == kFormatCompressed) {
            // In the decode block the palette, as blue, green, red, zero
            // quads, lies directly in front of the pixels.
            std::vector<uint8_t> front;
            for (unsigned i = 0; i < 256; ++i) {
                front.insert(front.end(), data + kPaletteColours + 3 * i, data + kPaletteColours + 3 * i + 3);
                front.push_back(0);
            }
            std::vector<uint8_t> stream;
            if (size > kPixelsCompressed)
                stream.assign(data + kPixelsCompressed, data + size);
            area = NaiveDecompress(stream, area.size(), 0, front).area;
        }
        for (unsigned y = 0; y < height; ++y)
            picture->rows.insert(picture->rows.end(), area.begin() + size_t(y) * pitch,
                                 area.begin() + size_t(y) * pitch + width);
        return true;
    }
    if (width != kTrueColourWidth || height != kTrueColourHeight || pitch != kTrueColourPitch ||
        size != kTrueColourResourceSize || format != kFormat24Bit)
        return false;
    picture->bitsPerPixel = 24;
    picture->rowBytes = kTrueColourRowBytes;
    for (unsigned y = 0; y < height; ++y) {
        const uint8_t* row = data + kHeaderSize + size_t(y) * pitch;
        picture->rows.insert(picture->rows.end(), row, row + kTrueColourRowBytes);
    }
    return true;
}

std::vector<ResourceDecoder> ResourceDecoders()
{
    std::vector<ResourceDecoder> decoders{{"model", NaiveDecodeResource}};
    decoders.push_back({"DecodeBitmapResource", ViewerResource});
    return decoders;
}

std::vector<StreamDecoder> StreamDecoders()
{
    std::vector<StreamDecoder> decoders{{"model", ModelStream}};
    decoders.push_back({"DecompressPixels", ViewerStream});
    return decoders;
}
