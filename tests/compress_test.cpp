// compress_test.cpp - the pixel-stream compressor, checked by round trips
// through the plain model decoder and the viewer's decoder, and by what the
// streams it writes are made of.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "bitmap/format.h"
#include "tests/support/archive_builder.h"
#include "tests/support/bench_pictures.h"
#include "tests/support/naive_decompress.h"
#include "tests/support/random.h"
#include "packer/compress.h"

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
        else if (DescribePairCode(code).kind != kPairFixedReference)
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
        ExpectRoundTrip(PixelArea(c.width, c.height, c.pixel), c.name);
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
// the compressor must use it, as far as it shrinks the stream, and the
// result must still decode exactly.
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
        // Four literal bytes (or one pair and a pair repeat), then 256 bytes
        // per four-byte repeat.
        {"flat megabyte", std::vector<uint8_t>(1024 * 1024, 7),
         [](const Census&, const std::vector<uint8_t>& s) { EXPECT_LE(s.size(), 5u + 1024 * 1024 / 256 + 1); }},
        {"alternating pair", PixelArea(1024, 1, [](unsigned x, unsigned) { return uint8_t(x % 2 ? 3 : 4); }),
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

}  // namespace
