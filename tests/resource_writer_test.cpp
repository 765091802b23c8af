// resource_writer_test.cpp - tBMP resources as the writer builds them: the
// format it picks, the header, and the pixels decoded back by the plain model
// and the viewer's decoder.
#include <gtest/gtest.h>

#include <vector>

#include "bitmap/format.h"
#include "common/byte_order.h"
#include "tests/support/archive_builder.h"
#include "tests/support/naive_decompress.h"
#include "tests/support/random.h"
#include "packer/resource_writer.h"

namespace {

// Decodes resource with every decoder; each must give expected.
void ExpectDecodesTo(const std::vector<uint8_t>& resource, const DecodedPicture& expected)
{
    for (const ResourceDecoder& decoder : ResourceDecoders()) {
        SCOPED_TRACE(decoder.name);
        DecodedPicture picture;
        ASSERT_TRUE(decoder.decode(resource.data(), resource.size(), &picture));
        EXPECT_EQ(picture.width, expected.width);
        EXPECT_EQ(picture.height, expected.height);
        EXPECT_EQ(picture.bitsPerPixel, expected.bitsPerPixel);
        EXPECT_EQ(picture.palette, expected.palette);
        EXPECT_TRUE(picture.rows == expected.rows) << "the pixels differ";
    }
}

TEST(ResourceWriter, PaletteResourcesDecodeToTheirPixels)
{
    const struct {
        const char* name;
        unsigned width, height;
        unsigned noise;  // bits of noise: 0, a flat pattern; 8, noise alone; else on a ramp
        PixelFormat format;
        unsigned expectFormat;
    } cases[] = {
        {"flat picks 1034", 100, 50, 0, kStoreSmaller, 1034},
        {"noise picks 10", 100, 50, 8, kStoreSmaller, 10},
        // Pair codes would halve it, but decode far slower than plain rows.
        {"ramp with a bit of noise picks 10", 256, 64, 1, kStoreSmaller, 10},
        {"forced raw", 33, 7, 0, kStorePlain, 10},
        {"forced compressed noise", 33, 7, 8, kStoreCompressed, 1034},
        {"1x1", 1, 1, 8, kStoreSmaller, 10},
        {"1024x1024 flat", 1024, 1024, 0, kStoreSmaller, 1034},
    };
    Random random{3};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DecodedPicture expected{c.width, c.height, 8, std::vector<uint8_t>(768), {}};
        for (size_t i = 0; i < expected.palette.size(); ++i)
            expected.palette[i] = uint8_t(i * 7 + c.width);
        const std::vector<uint8_t> area = PixelArea(c.width, c.height, [&](unsigned x, unsigned y) {
            return uint8_t(c.noise == 8 ? random.Next()
                           : c.noise   ? x / 2 + (random.Next() >> (24 - c.noise))
                                       : (y / 8) * 3 + (x > c.width / 2));
        });
        for (unsigned y = 0; y < c.height; ++y)
            expected.rows.insert(expected.rows.end(), &area[y * PalettePitch(c.width)],
                                 &area[y * PalettePitch(c.width)] + c.width);
        const std::vector<uint8_t> resource =
            BuildPaletteResource(c.width, c.height, expected.palette.data(), area.data(), c.format);
        EXPECT_EQ(ReadBE16(&resource[6]), c.expectFormat);
        EXPECT_EQ(ReadBE16(&resource[4]), PalettePitch(c.width));
        if (c.expectFormat == 10) {
            EXPECT_EQ(resource.size(), 780 + area.size());
        }
        ExpectDecodesTo(resource, expected);
    }
}

TEST(ResourceWriter, TrueColourResourceHasTheOneLayout)
{
    std::vector<uint8_t> pixels(size_t(1824) * 392);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint8_t(i % 251);
    std::vector<uint8_t> resource = BuildTrueColourResource(pixels.data());
    ASSERT_EQ(resource.size(), 953352u);
    const unsigned header[] = {608, 392, 2432, 4};  // width, height, pitch, format
    for (size_t field = 0; field < 4; ++field)
        EXPECT_EQ(ReadBE16(&resource[2 * field]), header[field]) << "field " << field;
    // The unread tail of every row is zero.
    for (unsigned y = 0; y < 392; ++y)
        for (unsigned x = 1824; x < 2432; ++x)
            ASSERT_EQ(resource[8 + y * 2432 + x], 0) << "row " << y;
    ExpectDecodesTo(resource, DecodedPicture{608, 392, 24, {}, pixels});
}

}  // namespace
