// bitmap_test.cpp - resource to packed bitmap: acceptance rules, sizes,
// palette, row order, where the pixels live, cleared areas, and the bitmap
// file bytes.
#include <gtest/gtest.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "bitmap/bitmap.h"
#include "imagefile/bmp_writer.h"
#include "common/byte_order.h"
#include "tests/support/archive_builder.h"

namespace {

// Colour i of the test palette: blue i, green 255 - i, red 3i.
uint8_t Colour(unsigned i, unsigned channel)
{
    return static_cast<uint8_t>(channel == 0 ? i : channel == 1 ? 255 - i : 3 * i);
}

Bytes Resource8(unsigned width, unsigned height, unsigned format, const Bytes& body, int pitch = -1)
{
    Bytes palette;
    for (unsigned i = 0; i < 256; ++i)
        for (unsigned c = 0; c < 3; ++c)
            palette.push_back(Colour(i, c));
    return EightBitResource(width, height, format, palette, body, pitch);
}

// Rows of the given pitch whose bytes tell row and column apart.
Bytes Rows(unsigned pitch, unsigned height)
{
    Bytes rows(pitch * height);
    for (unsigned r = 0; r < height; ++r)
        for (unsigned x = 0; x < pitch; ++x)
            rows[r * pitch + x] = static_cast<uint8_t>(r * 16 + x);
    return rows;
}

const unsigned kWidePitch = 2432;

Bytes Resource24(unsigned format = 4, size_t size = 8 + 392 * kWidePitch)
{
    Bytes b(size);
    PutBE16(b, 0, 608);
    PutBE16(b, 2, 392);
    PutBE16(b, 4, kWidePitch);
    PutBE16(b, 6, static_cast<uint16_t>(format));
    for (size_t i = 8; i < size; ++i)
        b[i] = static_cast<uint8_t>(i % 251);
    return b;
}

// A decode of an exactly sized heap copy of the resource; the copy lives
// as long as the result, since a top-down format 10 points into it.
struct Decoded {
    Decoded(const Bytes& resource, bool bottomUp)
        : data(new uint8_t[resource.size()]), size(static_cast<uint32_t>(resource.size()))
    {
        if (!resource.empty())
            memcpy(data.get(), resource.data(), resource.size());
        ok = DecodeBitmapResource(data.get(), size, bottomUp, &bitmap);
    }
    ~Decoded()
    {
        if (ok)
            ReleaseBitmap(&bitmap);
    }
    const uint8_t* Block() const { return reinterpret_cast<const uint8_t*>(bitmap.header); }
    Bytes Pixels(size_t count) const { return Bytes(bitmap.pixels, bitmap.pixels + count); }

    std::unique_ptr<uint8_t[]> data;
    uint32_t size;
    bool ok;
    BitmapBuffer bitmap;
};

bool Accepts(const Bytes& resource)
{
    return Decoded(resource, false).ok && Decoded(resource, true).ok;
}

TEST(Bitmap, AcceptsSidesAndPitches)
{
    struct Case {
        unsigned width, height;
        int pitch;
        bool ok;
    } cases[] = {
        {1, 1, 4, true},        {1, 1, 1, false},     {1, 1, 8, false},      {5, 3, 8, true},
        {5, 3, 5, false},       {5, 3, 12, false},    {1024, 1, 1024, true}, {1023, 2, 1024, true},
        {1024, 1024, 1024, true}, {1025, 1, 1028, false}, {0, 1, 0, false},  {1, 0, 4, false},
        {1, 1025, 4, false},    {608, 392, 608, true},  // the 8-bit layout, not the 24-bit test
    };
    for (const Case& c : cases)
        EXPECT_EQ(Accepts(Resource8(c.width, c.height, 1034, {0}, c.pitch)), c.ok)
            << c.width << "x" << c.height << " pitch " << c.pitch;
}

// The 24-bit layout exactly, and the palette block's header exactly (03 04 18 FF).
TEST(Bitmap, AcceptsTheOneWideLayoutAndPaletteHeader)
{
    auto flip = [](Bytes b, size_t at, uint8_t mask) { b[at] ^= mask; return b; };  // a copy, one byte changed
    const Bytes wide = Resource24(), narrow = Resource8(4, 1, 10, Bytes(4));
    const struct {
        const char* what;
        Bytes resource;
        bool ok;
    } cases[] = {
        {"608 x 392, pitch 2432", wide, true},         {"a byte short", Resource24(4, 953351), false},
        {"a byte long", Resource24(4, 953353), false}, {"format 10", Resource24(10), false},
        {"format 1034", Resource24(1034), false},      {"609 wide", flip(wide, 1, 1), false},
        {"393 high", flip(wide, 3, 1), false},         {"pitch 2433", flip(wide, 5, 1), false},
        {"palette header 03 04 18 FF", narrow, true},  {"13 04 18 FF", flip(narrow, 8, 0x10), false},
        {"03 14 18 FF", flip(narrow, 9, 0x10), false}, {"03 04 08 FF", flip(narrow, 10, 0x10), false},
        {"03 04 18 FE", flip(narrow, 11, 1), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Accepts(c.resource), c.ok) << c.what;
}

TEST(Bitmap, RefusesWhatEndsBeforeThePaletteBlock)
{
    // Shorter than the header; then shorter than the palette block.
    const Bytes whole = Resource8(4, 1, 1034, {1, 2, 3, 4, 0x41});
    for (size_t size = 0; size < 780; size += size < 12 ? 1 : 97)
        EXPECT_FALSE(Accepts(Bytes(whole.begin(), whole.begin() + size))) << size;
    EXPECT_FALSE(Accepts(Bytes(whole.begin(), whole.begin() + 779)));
    for (size_t size = 780; size <= 784; ++size)
        EXPECT_TRUE(Accepts(Bytes(whole.begin(), whole.begin() + size))) << size;
}

TEST(Bitmap, HeaderPaletteAndSizes)
{
    for (bool bottomUp : {false, true}) {
        Decoded d(Resource8(10, 3, 1034, {0}), bottomUp);
        ASSERT_TRUE(d.ok);
        EXPECT_EQ(d.bitmap.size, 1100u);
        const BITMAPINFOHEADER* h = d.bitmap.header;
        EXPECT_EQ(h->biSize, 40u);
        EXPECT_EQ(h->biWidth, 10);
        EXPECT_EQ(h->biHeight, bottomUp ? 3 : -3);
        EXPECT_EQ(h->biPlanes, 1);
        EXPECT_EQ(h->biBitCount, 8);
        EXPECT_EQ(h->biCompression + h->biSizeImage + h->biClrUsed + h->biClrImportant, 0u);
        EXPECT_EQ(h->biXPelsPerMeter | h->biYPelsPerMeter, 0);
        for (unsigned i = 0; i < 256; ++i) {
            const uint8_t* entry = d.Block() + 40 + 4 * i;
            EXPECT_EQ(Bytes(entry, entry + 4), (Bytes{Colour(i, 0), Colour(i, 1), Colour(i, 2), 0})) << i;
        }
        EXPECT_EQ(d.bitmap.pixels, d.Block() + 1064);
        // The spare row completes the 1112-byte block; it is cleared too.
        EXPECT_EQ(Bytes(d.Block() + 1064, d.Block() + 1112), Bytes(48, 0));
#ifdef _WIN32
        EXPECT_GE(GlobalSize(d.bitmap.handle), 1112u);
#endif
    }
    for (bool bottomUp : {false, true}) {
        Decoded d(Resource24(), bottomUp);
        ASSERT_TRUE(d.ok);
        EXPECT_EQ(d.bitmap.size, 715048u);
        EXPECT_EQ(d.bitmap.header->biBitCount, 24);
        EXPECT_EQ(d.bitmap.header->biHeight, bottomUp ? 392 : -392);
        EXPECT_EQ(d.bitmap.pixels, d.Block() + 40);
        // Each row keeps the first 1824 of its 2432 bytes.
        for (unsigned r : {0u, 1u, 200u, 391u}) {
            const unsigned shown = bottomUp ? 391 - r : r;
            const uint8_t* from = d.data.get() + 8 + r * kWidePitch;
            EXPECT_EQ(Bytes(d.bitmap.pixels + shown * 1824, d.bitmap.pixels + (shown + 1) * 1824),
                      Bytes(from, from + 1824)) << r;
        }
        // The spare row completes the block; a top-down decode leaves it clear.
        if (!bottomUp) {
            EXPECT_EQ(Bytes(d.Block() + 715048, d.Block() + 716872), Bytes(1824, 0));
        }
    }
}

TEST(Bitmap, UncompressedRowsAndFlips)
{
    for (unsigned height : {1u, 2u, 3u, 4u, 5u}) {
        const Bytes rows = Rows(8, height);
        const Bytes resource = Resource8(5, height, 10, rows);
        Decoded top(resource, false);
        ASSERT_TRUE(top.ok);
        // Top-down: no copy, the pixels are the resource's own.
        EXPECT_EQ(top.bitmap.pixels, top.data.get() + 780);
        EXPECT_EQ(top.bitmap.size, 1064u + rows.size());
        Decoded bottom(resource, true);
        ASSERT_TRUE(bottom.ok);
        EXPECT_EQ(bottom.bitmap.pixels, bottom.Block() + 1064);
        for (unsigned r = 0; r < height; ++r)
            EXPECT_EQ(Bytes(bottom.bitmap.pixels + r * 8, bottom.bitmap.pixels + r * 8 + 8),
                      Bytes(rows.begin() + (height - 1 - r) * 8, rows.begin() + (height - r) * 8))
                << "height " << height << " row " << r;
    }
}

TEST(Bitmap, FlipRowsKeepsAnOddMiddleRow)
{
    Bytes scratch(4, 0xCC);
    for (unsigned height : {1u, 5u}) {
        Bytes rows = Rows(4, height);
        const Bytes original = rows;
        FlipRows(rows.data(), rows.data() + 4 * (height - 1), 4, scratch.data());
        for (unsigned r = 0; r < height; ++r)
            EXPECT_EQ(Bytes(rows.begin() + 4 * r, rows.begin() + 4 * r + 4),
                      Bytes(original.begin() + 4 * (height - 1 - r), original.begin() + 4 * (height - r)))
                << "height " << height << " row " << r;
    }
}

// Every case where some or all pixels are never written: those bytes are 0.
TEST(Bitmap, UnwrittenPixelsAreZero)
{
    struct Case {
        const char* what;
        Bytes resource;
        Bytes expected;  // top-down pixel area
    } cases[] = {
        {"format 4, 8-bit layout", Resource8(5, 2, 4, Rows(8, 2)), Bytes(16, 0)},
        {"format 10 one byte long", Resource8(5, 2, 10, Bytes(17, 9)), Bytes(16, 0)},
        {"format 10 one byte short", Resource8(5, 2, 10, Bytes(15, 9)), Bytes(16, 0)},
        {"format 0", Resource8(5, 2, 0, Rows(8, 2)), Bytes(16, 0)},
        {"format 11", Resource8(5, 2, 11, Rows(8, 2)), Bytes(16, 0)},
        {"format 1033", Resource8(5, 2, 1033, Rows(8, 2)), Bytes(16, 0)},
        {"format 65535", Resource8(5, 2, 65535, Rows(8, 2)), Bytes(16, 0)},
        {"1034, no stream", Resource8(5, 2, 1034, {}), Bytes(16, 0)},
        {"1034, three bytes", Resource8(5, 2, 1034, {1, 1, 1}), Bytes(16, 0)},
        // Skipped pairs, a distance-0 run, then an early end.
        {"1034, skips", Resource8(5, 2, 1034, {0, 0, 0, 0, 0xC3, 0x00, 0xA1, 0xA4, 0x00, 0x77, 0x01, 5, 6, 0}),
         {0, 0, 0, 0, 0, 0, 0, 0x77, 5, 6, 0, 0, 0, 0, 0, 0}},
        // Reaching back before the area reads the palette: the pair in front is
        // entry 255's red byte and its 0; from 2 bytes in, distance 1023 starts
        // at entry 0's fourth byte.
        {"1034, into the palette", Resource8(5, 2, 1034, {0, 0, 0, 0, 0x41, 0xC1, 0xAB, 0xFF}),
         {Colour(255, 2), 0, 0, Colour(1, 0), Colour(1, 1), Colour(1, 2), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        Decoded top(c.resource, false);
        ASSERT_TRUE(top.ok) << c.what;
        EXPECT_EQ(top.Pixels(16), c.expected) << c.what;
        EXPECT_EQ(Bytes(top.Block() + 1080, top.Block() + 1088), Bytes(8, 0)) << c.what << ": spare row";
        Decoded bottom(c.resource, true);
        ASSERT_TRUE(bottom.ok) << c.what;
        Bytes flipped(c.expected.begin() + 8, c.expected.end());
        flipped.insert(flipped.end(), c.expected.begin(), c.expected.begin() + 8);
        EXPECT_EQ(bottom.Pixels(16), flipped) << c.what;
    }
}

// A writer that records its calls and fails the call numbered failAt
// (1-based; 0 never), or writes short when asked to.
struct Recorder {
    std::vector<Bytes> calls;
    unsigned failAt = 0;
};

bool Record(void* context, const void* bytes, size_t count)
{
    Recorder* r = static_cast<Recorder*>(context);
    const uint8_t* b = static_cast<const uint8_t*>(bytes);
    r->calls.push_back(Bytes(b, b + count));
    return r->calls.size() != r->failAt;
}

TEST(BitmapFile, FieldsAndOrder)
{
    struct Case {
        Bytes resource;
        uint32_t fileSize, pixelOffset;
    } cases[] = {
        {Resource8(5, 3, 10, Rows(8, 3)), 1102, 1078},
        {Resource24(), 715062, 54},
    };
    for (const Case& c : cases) {
        Decoded d(c.resource, true);
        ASSERT_TRUE(d.ok);
        Recorder r;
        ASSERT_TRUE(WriteBitmapFile(&d.bitmap, Record, &r));
        ASSERT_EQ(r.calls.size(), 5u);
        EXPECT_EQ(r.calls[0], (Bytes{'B', 'M'}));
        EXPECT_EQ(ReadLE32(r.calls[1].data()), c.fileSize);
        EXPECT_EQ(r.calls[2], Bytes(4, 0));
        EXPECT_EQ(ReadLE32(r.calls[3].data()), c.pixelOffset);
        EXPECT_EQ(r.calls[4], Bytes(d.Block(), d.Block() + d.bitmap.size));
        size_t total = 0;
        for (const Bytes& call : r.calls)
            total += call.size();
        EXPECT_EQ(total, c.fileSize);
        // The first row in the file is the picture's bottom row.
        if (c.fileSize == 1102) {
            const Bytes rows = Rows(8, 3);
            EXPECT_EQ(Bytes(r.calls[4].begin() + 1064, r.calls[4].begin() + 1072), Bytes(rows.begin() + 16, rows.end()));
        }
    }
}

TEST(BitmapFile, StopsAtAFailedWrite)
{
    Decoded d(Resource8(5, 3, 10, Rows(8, 3)), true);
    ASSERT_TRUE(d.ok);
    for (unsigned failAt = 1; failAt <= 5; ++failAt) {
        Recorder r;
        r.failAt = failAt;
        EXPECT_FALSE(WriteBitmapFile(&d.bitmap, Record, &r)) << failAt;
        EXPECT_EQ(r.calls.size(), failAt) << "no write after the failed one";
    }
}

}  // namespace
