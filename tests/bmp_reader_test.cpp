// bmp_reader_test.cpp - the bitmap files that pack accepts, read back row
// by row and palette entry by entry, and every other kind refused with its
// reason.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bitmap/format.h"
#include "imagefile/bmp_reader.h"

namespace {

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
