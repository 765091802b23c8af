// compress_test.cpp - the pixel-stream compressor, the resource and archive
// writers and the bitmap-file reader, checked by round trips through the
// plain model decoder (and the viewer's decoder where the build has it).
#include <gtest/gtest.h>
#include <string.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "bitmap/format.h"
#include "tests/support/archive_builder.h"
#include "tests/support/bench_pictures.h"
#include "tests/support/naive_decompress.h"
#include "tests/support/random.h"
#include "writer/bmp_reader.h"
#include "writer/compress.h"
#include "writer/resource_writer.h"

namespace {

// Compresses area, decodes it with every decoder and expects it back; the
// model also says whether the stream ends exactly at its end command and
// whether anything reached before the area. Gives the stream and the model's
// outcome, for tests that look at what the stream is made of.
struct RoundTrip {
    std::vector<uint8_t> stream;
    NaiveOutcome model;
};

RoundTrip ExpectRoundTrip(const std::vector<uint8_t>& area, const std::string& what,
                          const CompressOptions& options = CompressOptions())
{
    RoundTrip trip{CompressPixels(area.data(), area.size(), options), {}};
    const std::vector<uint8_t>& stream = trip.stream;
    if (stream.empty()) {
        ADD_FAILURE() << what << ": no stream";
        return trip;
    }
    trip.model = NaiveDecompress(stream, area.size(), 0xEE, std::vector<uint8_t>(1023, 0x77));
    const NaiveOutcome& model = trip.model;
    EXPECT_TRUE(model.sawEnd) << what << ": no end command where decoding stopped";
    EXPECT_EQ(model.consumed, stream.size()) << what << ": bytes after the end command";
    EXPECT_EQ(model.written, area.size()) << what;
    EXPECT_FALSE(model.reachedBefore) << what << ": the stream reads before the area";
    for (const StreamDecoder& decoder : StreamDecoders()) {
        std::vector<uint8_t> got = decoder.decode(stream, area.size());
        if (got != area) {
            size_t at = 0;
            while (at < area.size() && got[at] == area[at])
                ++at;
            ADD_FAILURE() << what << ": " << decoder.name << " differs first at byte " << at << " of "
                          << area.size() << " (stream " << stream.size() << " bytes)";
        }
    }
    return trip;
}

// An 8-bit picture's area (height rows of the padded pitch) from a pixel
// function; padding bytes come from pad.
std::vector<uint8_t> Area(unsigned width, unsigned height, const std::function<uint8_t(unsigned, unsigned)>& pixel,
                          uint8_t pad = 0)
{
    const unsigned pitch = PalettePitch(width);
    std::vector<uint8_t> area(size_t(pitch) * height, pad);
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x)
            area[size_t(y) * pitch + x] = pixel(x, y);
    return area;
}

// What a stream the model decoded is made of: commands by kind, two-byte pair
// codes by high nibble, 0xFC codes, longest distance.
struct Census {
    std::map<std::string, unsigned> commands;
    std::map<unsigned, unsigned> families;
    unsigned longReferences = 0;
    size_t maxDistance = 0;
};

Census Count(const NaiveOutcome& model)
{
    Census census;
    for (unsigned n : model.commands)
        ++census.commands[n == kCommandEnd           ? "end"
                          : n <= kLiteralRunLast ? "literal"
                          : n <= kPairRepeatLast ? "pair repeat"
                          : n <= kQuadRepeatLast ? "four-byte repeat"
                                                 : "group"];
    for (unsigned code : model.pairCodes) {
        if (code == kLongBackReference)
            ++census.longReferences;
        else if (!IsBackReferenceCode(code))
            ++census.families[code >> 4];
    }
    for (size_t distance : model.distances)
        census.maxDistance = std::max(census.maxDistance, distance);
    return census;
}

TEST(Compress, RoundTripsHandMadePictures)
{
    Random random{99};
    struct Case {
        const char* name;
        unsigned width, height;
        std::function<uint8_t(unsigned, unsigned)> pixel;
    };
    const Case cases[] = {
        {"single pixel", 1, 1, [](unsigned, unsigned) { return uint8_t(0xAB); }},
        {"one column of 1024", 1, 1024, [](unsigned, unsigned y) { return uint8_t(y * 7); }},
        {"one row of 1024", 1024, 1, [](unsigned x, unsigned) { return uint8_t(x / 3); }},
        {"flat 1024x1024", 1024, 1024, [](unsigned, unsigned) { return uint8_t(42); }},
        {"zeros", 64, 64, [](unsigned, unsigned) { return uint8_t(0); }},
        {"vertical gradient", 300, 200, [](unsigned, unsigned y) { return uint8_t(y * 255 / 199); }},
        {"horizontal gradient", 301, 50, [](unsigned x, unsigned) { return uint8_t(x * 255 / 300); }},
        {"diagonal gradient", 513, 97, [](unsigned x, unsigned y) { return uint8_t((x + y) / 3); }},
        {"noise", 257, 33, [&](unsigned, unsigned) { return uint8_t(random.Next()); }},
        {"two-colour noise", 123, 45, [&](unsigned, unsigned) { return uint8_t(random.Below(2) ? 5 : 250); }},
        {"odd width 5", 5, 9, [](unsigned x, unsigned y) { return uint8_t(x * 40 + y); }},
        {"odd width 7", 7, 13, [](unsigned x, unsigned y) { return uint8_t(x ^ y); }},
        {"odd width 1023", 1023, 3, [](unsigned x, unsigned y) { return uint8_t(x * y); }},
        {"run of 129 then change", 1024, 2, [](unsigned x, unsigned) { return uint8_t(x < 129 ? 1 : x < 400 ? 2 : 3); }},
        {"runs of 127, 128, 255, 256, 257", 1023, 1,
         [](unsigned x, unsigned) { return uint8_t(x < 127 ? 1 : x < 255 ? 2 : x < 510 ? 3 : x < 766 ? 4 : 5); }},
        // Rows of 1024 repeat at distance 1024, one beyond the furthest
        // back-reference; rows of 1020 (+ padding) repeat at 1020.
        {"rows repeating at 1024", 1024, 6, [](unsigned x, unsigned) { return uint8_t((x * 37) ^ (x >> 3)); }},
        {"rows repeating at 1020", 1020, 6, [](unsigned x, unsigned) { return uint8_t((x * 37) ^ (x >> 3)); }},
        {"rows shifted by one", 1024, 6, [](unsigned x, unsigned y) { return uint8_t(((x + y) * 37) ^ ((x + y) >> 3)); }},
        {"stripes", 640, 48, [](unsigned x, unsigned y) { return uint8_t(((x / 4) + (y / 4)) % 2 ? 17 : 200); }},
        {"checkerboard of pixels", 64, 64, [](unsigned x, unsigned y) { return uint8_t((x ^ y) & 1); }},
    };
    for (const Case& c : cases)
        ExpectRoundTrip(Area(c.width, c.height, c.pixel), c.name);
    for (const BenchPicture& picture : BenchPictures())
        ExpectRoundTrip(picture.pixels, picture.name);
}

TEST(Compress, RoundTripsRandomPictures)
{
    Random random{20261207};
    for (int i = 0; i < 300; ++i) {
        const unsigned width = 1 + (i % 5 == 0 ? random.Below(1024) : random.Below(40));
        const unsigned height = 1 + random.Below(i % 7 == 0 ? 200 : 20);
        const unsigned mode = random.Below(6);
        const unsigned colours = 1 + random.Below(8);
        const uint8_t base = uint8_t(random.Next());
        std::vector<uint8_t> area(size_t(PalettePitch(width)) * height);
        for (size_t k = 0; k < area.size(); ++k) {
            switch (mode) {
            case 0: area[k] = uint8_t(random.Next()); break;                       // noise
            case 1: area[k] = uint8_t(base + random.Below(colours)); break;        // few colours
            case 2: area[k] = uint8_t(k > 0 && random.Below(10) ? area[k - 1] : random.Next()); break;  // runs
            case 3: area[k] = uint8_t(k >= 2 ? area[k - 2] + random.Below(3) - 1 : base); break;  // small steps
            case 4: area[k] = uint8_t(k >= 700 && random.Below(20) ? area[k - 700 + random.Below(2)] : random.Next()); break;
            default: area[k] = uint8_t((k * k) >> 7); break;
            }
        }
        // The speed-blind and the default cost models must both be exact.
        CompressOptions options;
        options.codePenalty = i % 2 ? 0 : 1000;
        ExpectRoundTrip(area, "random picture " + std::to_string(i) + " (" + std::to_string(width) + "x" +
                                  std::to_string(height) + ", mode " + std::to_string(mode) + ")",
                        options);
    }
}

// Pictures built so that each tool of the stream is the natural choice:
// the compressor must use it, and the result must still decode exactly.
TEST(Compress, UsesEveryKindOfCommand)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> area;
        std::function<void(const Census&, const std::vector<uint8_t>&)> expect;
    };
    Random random{5};
    std::vector<uint8_t> noise(4096);
    for (uint8_t& b : noise)
        b = uint8_t(random.Next());
    // A block of noise repeated 1023 bytes later, and one repeated 1024
    // bytes later (out of reach, so it cannot shrink).
    std::vector<uint8_t> within(noise.begin(), noise.begin() + 1023), beyond(noise.begin(), noise.begin() + 1024);
    within.insert(within.end(), noise.begin(), noise.begin() + 1023);
    within.resize(2048, 0);
    beyond.insert(beyond.end(), noise.begin(), noise.begin() + 1024);
    // A walk of pairs, each with one byte stepped up or down a little from
    // the pair before.
    std::vector<uint8_t> steps{100, 200};
    for (int i = 0; i < 2000; ++i) {
        uint8_t a = steps[steps.size() - 2], b = steps.back();
        uint8_t step = uint8_t(1 + random.Below(15));
        switch (random.Below(4)) {
        case 0: a = uint8_t(a + step); break;
        case 1: a = uint8_t(a - step); break;
        case 2: b = uint8_t(b + step); break;
        default: b = uint8_t(b - step); break;
        }
        steps.push_back(a);
        steps.push_back(b);
    }
    const Case cases[] = {
        {"flat", std::vector<uint8_t>(4096, 9),
         [](const Census& c, const std::vector<uint8_t>& s) {
             EXPECT_GT(c.commands.at("four-byte repeat"), 0u);
             EXPECT_LT(s.size(), 40u);
         }},
        {"alternating pair", Area(1024, 1, [](unsigned x, unsigned) { return uint8_t(x % 2 ? 3 : 4); }),
         [](const Census& c, const std::vector<uint8_t>& s) {
             EXPECT_GT(c.commands.count("four-byte repeat") + c.commands.count("pair repeat"), 0u);
             EXPECT_LT(s.size(), 20u);
         }},
        {"noise", noise,
         [](const Census& c, const std::vector<uint8_t>& s) {
             EXPECT_GE(c.commands.at("literal"), 4096u / 128);
             EXPECT_LE(s.size(), 4096u + 64);
         }},
        {"noise repeated at 1023", within,
         [](const Census& c, const std::vector<uint8_t>& s) {
             EXPECT_EQ(c.maxDistance, 1023u);
             EXPECT_GT(c.longReferences, 10u);
             EXPECT_LT(s.size(), 1023u + 100 + 1023 / 66 * 3);
         }},
        {"noise repeated at 1024", beyond,
         [](const Census& c, const std::vector<uint8_t>& s) {
             EXPECT_LE(c.maxDistance, 1023u);
             EXPECT_GT(s.size(), 2040u);
         }},
        // One-byte pair codes would halve it, but decode much more slowly
        // than literal runs; the smallest stream is checked further down.
        {"small steps", steps,
         [](const Census& c, const std::vector<uint8_t>& s) {
             EXPECT_GE(c.commands.at("literal"), 4002u / 128);
             EXPECT_LE(s.size(), 4002u + 4002 / 128 + 40);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RoundTrip trip = ExpectRoundTrip(c.area, c.name);
        c.expect(Count(trip.model), trip.stream);
    }
}

// With no speed term every pair-code family that can win should appear on
// pictures of small, structured differences.
TEST(Compress, SmallestStreamsUseThePairCodeFamilies)
{
    Random random{11};
    std::vector<uint8_t> area(20, 1);
    for (int i = 0; i < 30000; ++i) {
        const size_t k = area.size();
        const uint8_t a2 = area[k - 2], b1 = area[k - 1], any = uint8_t(random.Next()), other = uint8_t(random.Next());
        const uint8_t up = uint8_t(1 + random.Below(15));
        uint8_t a, b;
        switch (random.Below(12)) {
        case 0: a = area[k - 10]; b = area[k - 9]; break;  // the pair five pairs back
        case 1: a = a2; b = any; break;
        case 2: a = a2; b = uint8_t(b1 + up); break;
        case 3: a = a2; b = uint8_t(b1 - up); break;
        case 4: a = any; b = b1; break;
        case 5: a = area[k - 3]; b = any; break;
        case 6: a = any; b = uint8_t(b1 + up); break;
        case 7: a = any; b = uint8_t(b1 - up); break;
        case 8: a = uint8_t(a2 + up); b = b1; break;
        case 9: a = uint8_t(a2 + up); b = any; break;
        case 10: a = uint8_t(a2 - up); b = b1; break;
        default: a = uint8_t(a2 - up); b = other; break;
        }
        area.push_back(a);
        area.push_back(b);
    }
    CompressOptions smallest;
    smallest.codePenalty = 0;
    Census census = Count(ExpectRoundTrip(area, "structured differences", smallest).model);
    for (unsigned family : {0x0u, 0x1u, 0x2u, 0x3u, 0x4u, 0x5u, 0x6u, 0x7u, 0x8u, 0x9u, 0xCu, 0xDu})
        EXPECT_GT(census.families[family], 0u) << "pair codes " << std::hex << family << "x never used";
}

TEST(Compress, OddSizesAreRefused)
{
    uint8_t bytes[3] = {1, 2, 3};
    EXPECT_TRUE(CompressPixels(bytes, 3).empty());
    std::vector<uint8_t> empty = CompressPixels(bytes, 0);
    EXPECT_EQ(empty, std::vector<uint8_t>{0x00});
}

TEST(Compress, FlatMegabyteCompressesToAlmostNothing)
{
    std::vector<uint8_t> area(1024 * 1024, 7);
    std::vector<uint8_t> stream = CompressPixels(area.data(), area.size());
    // Four literal bytes (or one pair and a pair repeat), then 256 bytes
    // per four-byte repeat.
    EXPECT_LE(stream.size(), 5u + area.size() / 256 + 1);
}

// ---- Resources -------------------------------------------------------------

std::vector<uint8_t> TestPalette(uint8_t seed)
{
    std::vector<uint8_t> palette(768);
    for (size_t i = 0; i < palette.size(); ++i)
        palette[i] = uint8_t(i * 7 + seed);
    return palette;
}

TEST(Resource, PaletteResourcesDecodeToTheirPixels)
{
    Random random{3};
    struct Case {
        const char* name;
        unsigned width, height;
        unsigned noise;  // bits of noise: 0, a flat pattern; 8, noise alone; else on a ramp
        PixelFormat format;
        unsigned expectFormat;
    };
    const Case cases[] = {
        {"flat picks 1034", 100, 50, 0, kStoreSmaller, 1034},
        {"noise picks 10", 100, 50, 8, kStoreSmaller, 10},
        // Pair codes would halve it, but decode far slower than plain rows.
        {"ramp with a bit of noise picks 10", 256, 64, 1, kStoreSmaller, 10},
        {"forced raw", 33, 7, 0, kStorePlain, 10},
        {"forced compressed noise", 33, 7, 8, kStoreCompressed, 1034},
        {"1x1", 1, 1, 8, kStoreSmaller, 10},
        {"1024x1024 flat", 1024, 1024, 0, kStoreSmaller, 1034},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> palette = TestPalette(uint8_t(c.width));
        std::vector<uint8_t> area = Area(c.width, c.height, [&](unsigned x, unsigned y) {
            return uint8_t(c.noise == 8 ? random.Next()
                           : c.noise   ? x / 2 + (random.Next() >> (24 - c.noise))
                                       : (y / 8) * 3 + (x > c.width / 2));
        });
        std::vector<uint8_t> resource = BuildPaletteResource(c.width, c.height, palette.data(), area.data(), c.format);
        EXPECT_EQ(ReadBE16(&resource[6]), c.expectFormat);
        EXPECT_EQ(ReadBE16(&resource[4]), PalettePitch(c.width));
        if (c.expectFormat == 10) {
            EXPECT_EQ(resource.size(), 780 + area.size());
        }
        for (const ResourceDecoder& decoder : ResourceDecoders()) {
            DecodedPicture picture;
            ASSERT_TRUE(decoder.decode(resource.data(), resource.size(), &picture)) << decoder.name;
            EXPECT_EQ(picture.width, c.width);
            EXPECT_EQ(picture.height, c.height);
            EXPECT_EQ(picture.bitsPerPixel, 8u);
            EXPECT_EQ(picture.palette, palette) << decoder.name;
            for (unsigned y = 0; y < c.height; ++y)
                ASSERT_EQ(memcmp(picture.Row(y), &area[size_t(y) * PalettePitch(c.width)], c.width), 0)
                    << decoder.name << ", row " << y;
        }
    }
}

TEST(Resource, TrueColourResourceHasTheOneLayout)
{
    std::vector<uint8_t> pixels(size_t(1824) * 392);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint8_t(i % 251);
    std::vector<uint8_t> resource = BuildTrueColourResource(pixels.data());
    ASSERT_EQ(resource.size(), 953352u);
    EXPECT_EQ(ReadBE16(&resource[0]), 608u);
    EXPECT_EQ(ReadBE16(&resource[2]), 392u);
    EXPECT_EQ(ReadBE16(&resource[4]), 2432u);
    EXPECT_EQ(ReadBE16(&resource[6]), 4u);
    // The unread tail of every row is zero.
    for (unsigned y = 0; y < 392; ++y)
        for (unsigned x = 1824; x < 2432; ++x)
            ASSERT_EQ(resource[8 + y * 2432 + x], 0) << "row " << y;
    for (const ResourceDecoder& decoder : ResourceDecoders()) {
        DecodedPicture picture;
        ASSERT_TRUE(decoder.decode(resource.data(), resource.size(), &picture)) << decoder.name;
        EXPECT_EQ(picture.bitsPerPixel, 24u);
        EXPECT_EQ(picture.rows, pixels) << decoder.name;
    }
}

// ---- Archives --------------------------------------------------------------

TEST(Archive, WrittenArchivesReadBack)
{
    std::vector<ArchiveItem> items;
    for (unsigned i = 0; i < 40; ++i) {
        ArchiveItem item;
        item.id = uint16_t(i + 1);
        item.name = i % 3 == 0 ? "" : "picture " + std::to_string(i);
        item.data.assign(1 + i * 97, uint8_t(i));
        items.push_back(item);
    }
    items[5].data.assign(0x12345, 0x5A);  // needs the size's third byte
    std::vector<uint8_t> archive;
    std::string error;
    ASSERT_TRUE(BuildMohawkArchive(items, &archive, &error)) << error;
    ASSERT_TRUE(IsValidArchive(archive.data(), uint32_t(archive.size())));
    std::vector<unsigned> counts;
    const std::vector<ListedItem> listed = ListResources(archive.data(), kTypeBitmap, &counts);
    ASSERT_EQ(listed.size(), items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(listed[i].id, items[i].id);
        EXPECT_EQ(listed[i].index, i + 1);
        EXPECT_EQ(listed[i].name, items[i].name.empty() ? "<null>" : items[i].name);
        const uint8_t* data;
        uint32_t size;
        ASSERT_TRUE(GetResourceData(archive.data(), uint16_t(i + 1), &data, &size));
        ASSERT_EQ(size, items[i].data.size());
        EXPECT_EQ(memcmp(data, items[i].data.data(), size), 0);
    }
}

TEST(Archive, RefusesWhatTheTablesCannotHold)
{
    std::vector<uint8_t> archive;
    std::string error;
    // Nameless items: 14 bytes of table each (resource and file entries)
    // before the file table, which must start within 65535 bytes.
    auto items = [](size_t count, size_t nameLength) {
        std::vector<ArchiveItem> list(count);
        for (size_t i = 0; i < count; ++i) {
            list[i].id = uint16_t(i + 1);
            list[i].name.assign(nameLength, 'n');
            list[i].data.assign(1, 0);
        }
        return list;
    };
    // The file table starts at 16 + 4 x count (+ 4 + name bytes per name).
    EXPECT_TRUE(BuildMohawkArchive(items(16379, 0), &archive, &error)) << error;
    ASSERT_TRUE(IsValidArchive(archive.data(), uint32_t(archive.size())));
    const uint8_t* data;
    uint32_t size;
    EXPECT_TRUE(GetResourceData(archive.data(), 16379, &data, &size));
    EXPECT_FALSE(BuildMohawkArchive(items(16380, 0), &archive, &error));
    EXPECT_NE(error.find("16-bit"), std::string::npos) << error;
    EXPECT_TRUE(BuildMohawkArchive(items(3639, 9), &archive, &error)) << error;   // 16 + 18 x 3639 = 65518
    EXPECT_FALSE(BuildMohawkArchive(items(3640, 9), &archive, &error));
    EXPECT_FALSE(BuildMohawkArchive(items(65536, 0), &archive, &error));
    EXPECT_NE(error.find("65535"), std::string::npos) << error;

    std::vector<ArchiveItem> odd = items(1, 3);
    odd[0].name[1] = '\0';
    EXPECT_FALSE(BuildMohawkArchive(odd, &archive, &error));
    odd = items(1, 3);
    odd[0].data.clear();
    EXPECT_FALSE(BuildMohawkArchive(odd, &archive, &error));
    odd[0].data.assign(0x1000000, 0);
    EXPECT_FALSE(BuildMohawkArchive(odd, &archive, &error));
}

// ---- Bitmap files ----------------------------------------------------------

// A bitmap file: header size, bits, width, signed height, colours in the
// palette (colours used field = declared), pixel rows given top-down.
std::vector<uint8_t> MakeBmp(int width, int height, unsigned bits, unsigned colours, unsigned headerSize = 40,
                             uint32_t compression = 0, uint32_t declared = ~0u)
{
    const unsigned absHeight = unsigned(height < 0 ? -height : height);
    const size_t stride = ((size_t(width) * bits / 8) + 3) & ~size_t(3);
    const size_t paletteBytes = 4 * size_t(colours);
    const size_t offset = 14 + headerSize + paletteBytes;
    std::vector<uint8_t> out(offset + stride * absHeight, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out[at + i] = uint8_t(v >> (8 * i));
    };
    out[0] = 'B';
    out[1] = 'M';
    put32(2, uint32_t(out.size()));
    put32(10, uint32_t(offset));
    put32(14, headerSize);
    put32(18, uint32_t(width));
    put32(22, uint32_t(height));
    out[26] = 1;
    out[28] = uint8_t(bits);
    put32(30, compression);
    put32(46, declared == ~0u ? (colours == 256 ? 0 : colours) : declared);
    for (size_t i = 0; i < paletteBytes; ++i)
        out[14 + headerSize + i] = uint8_t(i * 3 + 1);
    for (unsigned row = 0; row < absHeight; ++row) {
        const unsigned y = height < 0 ? row : absHeight - 1 - row;  // the picture's row stored here
        for (size_t x = 0; x < size_t(width) * bits / 8; ++x)
            out[offset + stride * row + x] = uint8_t(x * 5 + y * 11);
    }
    return out;
}

TEST(BmpReader, AcceptsTheTwoKinds)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        unsigned width, height, bits, colours;
    };
    const Case cases[] = {
        {"8-bit bottom-up", MakeBmp(13, 7, 8, 256), 13, 7, 8, 256},
        {"8-bit top-down", MakeBmp(13, -7, 8, 256), 13, 7, 8, 256},
        {"8-bit short palette", MakeBmp(5, 3, 8, 16), 5, 3, 8, 16},
        {"8-bit one colour", MakeBmp(1, 1, 8, 1), 1, 1, 8, 1},
        {"8-bit version-5 header", MakeBmp(1024, 2, 8, 256, 124), 1024, 2, 8, 256},
        {"8-bit 1x1024", MakeBmp(1, 1024, 8, 2), 1, 1024, 8, 2},
        {"24-bit 608x392", MakeBmp(608, 392, 24, 0), 608, 392, 24, 0},
        {"24-bit top-down", MakeBmp(608, -392, 24, 0), 608, 392, 24, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BmpImage image;
        std::string error;
        ASSERT_TRUE(ParseBmp(c.file.data(), c.file.size(), &image, &error)) << error;
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.height, c.height);
        EXPECT_EQ(image.bitsPerPixel, c.bits);
        const size_t row = c.bits == 8 ? PalettePitch(c.width) : 3 * c.width;
        ASSERT_EQ(image.rows.size(), row * c.height);
        for (unsigned y = 0; y < c.height; ++y) {
            for (size_t x = 0; x < row; ++x) {
                uint8_t expected = x < c.width * c.bits / 8 ? uint8_t(x * 5 + y * 11) : 0;
                ASSERT_EQ(image.rows[row * y + x], expected) << "row " << y << " byte " << x;
            }
        }
        if (c.bits == 8) {
            ASSERT_EQ(image.palette.size(), 768u);
            for (unsigned i = 0; i < 256; ++i)
                for (unsigned k = 0; k < 3; ++k)
                    ASSERT_EQ(image.palette[3 * i + k], i < c.colours ? uint8_t((4 * i + k) * 3 + 1) : 0)
                        << "entry " << i;
        }
    }
}

TEST(BmpReader, RefusesEverythingElse)
{
    std::vector<uint8_t> good = MakeBmp(10, 10, 8, 256);
    std::vector<uint8_t> notBm = good;
    notBm[0] = 'X';
    std::vector<uint8_t> planes = good;
    planes[26] = 2;
    std::vector<uint8_t> overlap = good;
    overlap[10] = 54;  // pixels said to start inside the palette
    overlap[11] = 0;
    const struct {
        const char* name;
        std::vector<uint8_t> file;
        const char* reason;  // a fragment of the message
    } cases[] = {
        {"empty", {}, "signature"},
        {"not BM", notBm, "signature"},
        {"header only", std::vector<uint8_t>(good.begin(), good.begin() + 30), "truncated"},
        {"palette cut", std::vector<uint8_t>(good.begin(), good.begin() + 54 + 1000), "truncated"},
        {"last row cut", std::vector<uint8_t>(good.begin(), good.end() - 1), "truncated"},
        {"core header", MakeBmp(10, 10, 8, 256, 12), "header of 12 bytes"},
        {"4-bit", MakeBmp(10, 10, 4, 16), "4-bit"},
        {"1-bit", MakeBmp(10, 10, 1, 2), "1-bit"},
        {"32-bit", MakeBmp(10, 10, 32, 0), "32-bit"},
        {"16-bit", MakeBmp(10, 10, 16, 0), "16-bit"},
        {"RLE8", MakeBmp(10, 10, 8, 256, 40, 1), "RLE"},
        {"bit fields", MakeBmp(608, 392, 24, 0, 40, 3), "compression 3"},
        {"too wide", MakeBmp(1025, 1, 8, 2), "1025 x 1"},
        {"too tall", MakeBmp(1, -1025, 8, 2), "1 x 1025"},
        {"zero width", MakeBmp(0, 5, 8, 2), "0 x 5"},
        {"24-bit wrong size", MakeBmp(607, 392, 24, 0), "only 608 x 392"},
        {"24-bit 608x393", MakeBmp(608, 393, 24, 0), "only 608 x 392"},
        {"palette of 257", MakeBmp(4, 4, 8, 16, 40, 0, 257), "257 colours"},
        {"two planes", planes, "planes"},
        {"pixels inside palette", overlap, "overlap"},
    };
    for (const auto& c : cases) {
        BmpImage image;
        std::string error;
        EXPECT_FALSE(ParseBmp(c.file.data(), c.file.size(), &image, &error)) << c.name;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": \"" << error << "\"";
    }
}

// Every truncation of a valid file is refused, and none reads past the end
// (the sanitizer build checks that).
TEST(BmpReader, EveryTruncationIsRefused)
{
    std::vector<uint8_t> good = MakeBmp(6, 3, 8, 4, 108);
    for (size_t cut = 0; cut < good.size(); ++cut) {
        std::vector<uint8_t> copy(good.begin(), good.begin() + cut);  // exactly sized
        BmpImage image;
        std::string error;
        EXPECT_FALSE(ParseBmp(copy.data(), copy.size(), &image, &error)) << "cut at " << cut;
    }
}

}  // namespace
