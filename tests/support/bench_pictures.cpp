// bench_pictures.cpp - see bench_pictures.h.
#include "tests/support/bench_pictures.h"

#include "tests/support/random.h"

namespace {

const unsigned kSide = 1024;

std::vector<uint8_t> RampPalette()
{
    std::vector<uint8_t> palette;
    for (unsigned i = 0; i < 256; ++i) {
        palette.push_back(static_cast<uint8_t>(255 - i));  // blue
        palette.push_back(static_cast<uint8_t>(i / 2 + 64));
        palette.push_back(static_cast<uint8_t>(i));        // red
    }
    return palette;
}

// A diagonal ramp over the whole palette.
BenchPicture Gradient()
{
    BenchPicture picture{"gradient", RampPalette(), std::vector<uint8_t>(kSide * kSide)};
    for (unsigned y = 0; y < kSide; ++y)
        for (unsigned x = 0; x < kSide; ++x)
            picture.pixels[y * kSide + x] = static_cast<uint8_t>((x + y) * 255 / (2 * kSide - 2));
    return picture;
}

// A horizontal ramp over 16 shades, dithered at random between the two
// nearest: every pixel is one of two neighbouring indexes.
BenchPicture DitheredNoise()
{
    BenchPicture picture{"dithered-noise", RampPalette(), std::vector<uint8_t>(kSide * kSide)};
    Random random{12345};
    for (unsigned y = 0; y < kSide; ++y) {
        for (unsigned x = 0; x < kSide; ++x) {
            unsigned level = x * 15 * 256 / (kSide - 1);  // 8.8 fixed point, 0 to 15
            unsigned shade = level >> 8;
            if ((random.Next() & 255) < (level & 255))
                ++shade;
            picture.pixels[y * kSide + x] = static_cast<uint8_t>(shade * 17);
        }
    }
    return picture;
}

// One background colour with frames, lines, text-like glyph rows and a few
// scattered dots.
BenchPicture FlatWithDetail()
{
    BenchPicture picture{"flat-detail", RampPalette(), std::vector<uint8_t>(kSide * kSide, 200)};
    std::vector<uint8_t>& px = picture.pixels;
    Random random{777};
    for (unsigned box = 0; box < 12; ++box) {
        unsigned left = 40 + (box % 4) * 245, top = 60 + (box / 4) * 320;
        unsigned right = left + 200, bottom = top + 240;
        uint8_t frame = static_cast<uint8_t>(20 + box * 9);
        for (unsigned x = left; x <= right; ++x)
            px[top * kSide + x] = px[bottom * kSide + x] = frame;
        for (unsigned y = top; y <= bottom; ++y)
            px[y * kSide + left] = px[y * kSide + right] = frame;
        // Lines of 5 x 7 "glyphs" of random strokes.
        for (unsigned line = 0; line < 6; ++line) {
            unsigned y0 = top + 20 + line * 34;
            for (unsigned glyph = 0; glyph < 28; ++glyph) {
                uint32_t bits = random.Next();
                if ((bits & 7) == 0)
                    continue;  // a space
                for (unsigned gy = 0; gy < 7; ++gy)
                    for (unsigned gx = 0; gx < 5; ++gx)
                        if ((bits >> ((gy * 5 + gx) % 23)) & 1)
                            px[(y0 + gy) * kSide + left + 12 + glyph * 6 + gx] = 8;
            }
        }
    }
    for (unsigned dot = 0; dot < 400; ++dot)
        px[random.Next() % (kSide * kSide)] = static_cast<uint8_t>(random.Next());
    return picture;
}

}  // namespace

std::vector<BenchPicture> BenchPictures()
{
    return {Gradient(), DitheredNoise(), FlatWithDetail()};
}
