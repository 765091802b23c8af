// bench_pictures.cpp - see bench_pictures.h.
#include "tests/support/bench_pictures.h"

#include <stdlib.h>

#include "tests/support/random.h"

namespace {

const unsigned kSide = 1024;

unsigned SquareRoot(uint64_t v)
{
    uint64_t r = 0;
    for (uint64_t bit = uint64_t(1) << 40; bit != 0; bit >>= 2) {
        if (v >= r + bit) {
            v -= r + bit;
            r = (r >> 1) + bit;
        } else {
            r >>= 1;
        }
    }
    return static_cast<unsigned>(r);
}

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

BenchPicture Blank(const char* name, uint8_t fill = 0)
{
    return BenchPicture{name, RampPalette(), std::vector<uint8_t>(kSide * kSide, fill)};
}

// A diagonal ramp over the whole palette.
BenchPicture Gradient()
{
    BenchPicture picture = Blank("gradient");
    for (unsigned y = 0; y < kSide; ++y)
        for (unsigned x = 0; x < kSide; ++x)
            picture.pixels[y * kSide + x] = static_cast<uint8_t>((x + y) * 255 / (2 * kSide - 2));
    return picture;
}

// Distance from a point off the centre, over 256 shades.
BenchPicture Radial()
{
    BenchPicture picture = Blank("radial");
    const int cx = 400, cy = 300;
    const unsigned reach = SquareRoot(uint64_t(kSide - cx) * (kSide - cx) + uint64_t(kSide - cy) * (kSide - cy));
    for (int y = 0; y < int(kSide); ++y)
        for (int x = 0; x < int(kSide); ++x) {
            const unsigned d = SquareRoot(uint64_t((x - cx) * (x - cx) + (y - cy) * (y - cy)));
            picture.pixels[y * kSide + x] = static_cast<uint8_t>(d * 255 / reach);
        }
    return picture;
}

// Top to bottom over the whole palette: every row is one colour.
BenchPicture VerticalRamp()
{
    BenchPicture picture = Blank("vertical-ramp");
    for (unsigned y = 0; y < kSide; ++y)
        for (unsigned x = 0; x < kSide; ++x)
            picture.pixels[y * kSide + x] = static_cast<uint8_t>(y * 255 / (kSide - 1));
    return picture;
}

// A horizontal ramp with two bits of noise on every pixel: what a scanned
// or rendered shading looks like.
BenchPicture NoisyRamp()
{
    BenchPicture picture = Blank("noisy-ramp");
    Random random{4242};
    for (unsigned y = 0; y < kSide; ++y)
        for (unsigned x = 0; x < kSide; ++x)
            picture.pixels[y * kSide + x] = static_cast<uint8_t>(x * 252 / (kSide - 1) + (random.Next() >> 22));
    return picture;
}

// A horizontal ramp over 16 shades, dithered at random between the two
// nearest: every pixel is one of two neighbouring indexes.
BenchPicture DitheredNoise()
{
    BenchPicture picture = Blank("dithered-noise");
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

// Value noise: random levels on a lattice of the given cell size,
// interpolated between the corners (0 to 255 << 8 in fixed point).
std::vector<unsigned> ValueNoise(unsigned cell, uint32_t seed)
{
    const unsigned cells = kSide / cell + 1;
    std::vector<unsigned> lattice(cells * cells);
    Random random{seed};
    for (unsigned& v : lattice)
        v = random.Next() & 255;
    std::vector<unsigned> out(kSide * kSide);
    for (unsigned y = 0; y < kSide; ++y)
        for (unsigned x = 0; x < kSide; ++x) {
            const unsigned gx = x / cell, gy = y / cell, fx = x % cell * 256 / cell, fy = y % cell * 256 / cell;
            const unsigned a = lattice[gy * cells + gx], b = lattice[gy * cells + gx + 1];
            const unsigned c = lattice[(gy + 1) * cells + gx], d = lattice[(gy + 1) * cells + gx + 1];
            const unsigned top = a * (256 - fx) + b * fx, bottom = c * (256 - fx) + d * fx;
            out[y * kSide + x] = (top * (256 - fy) + bottom * fy) >> 8;
        }
    return out;
}

// Stone or cloth: two octaves of value noise and a little grain.
BenchPicture Texture()
{
    BenchPicture picture = Blank("texture");
    std::vector<unsigned> coarse = ValueNoise(64, 1), fine = ValueNoise(8, 2);
    Random random{3};
    for (size_t i = 0; i < picture.pixels.size(); ++i)
        picture.pixels[i] = static_cast<uint8_t>((coarse[i] * 3 + fine[i]) / 4 / 256 / 2 + 64 + (random.Next() >> 21));
    return picture;
}

// One background colour with frames, lines, text-like glyph rows and a few
// scattered dots.
BenchPicture FlatWithDetail()
{
    BenchPicture picture = Blank("flat-detail", 200);
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

void Line(std::vector<uint8_t>& px, int x0, int y0, int x1, int y1, uint8_t colour)
{
    const int dx = abs(x1 - x0), dy = -abs(y1 - y0), sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    for (int error = dx + dy;;) {
        if (x0 >= 0 && y0 >= 0 && x0 < int(kSide) && y0 < int(kSide))
            px[y0 * kSide + x0] = colour;
        if (x0 == x1 && y0 == y1)
            return;
        const int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x0 += sx;
        }
        if (twice <= dx) {
            error += dx;
            y0 += sy;
        }
    }
}

// A technical drawing: lines and circles in a few inks on white.
BenchPicture LineArt()
{
    BenchPicture picture = Blank("line-art", 255);
    Random random{99};
    for (unsigned i = 0; i < 300; ++i) {
        const uint8_t ink = static_cast<uint8_t>(random.Next() % 4 * 40);
        Line(picture.pixels, random.Next() % kSide, random.Next() % kSide, random.Next() % kSide,
             random.Next() % kSide, ink);
    }
    for (unsigned i = 0; i < 60; ++i) {
        const int cx = random.Next() % kSide, cy = random.Next() % kSide, r = 10 + random.Next() % 150;
        for (int step = 0; step < 8 * r; ++step) {
            // A polygon of 8r short chords, with a parabolic sine.
            const int a = step * 1024 / (8 * r), b = (step + 1) * 1024 / (8 * r);
            auto point = [&](int t, int* x, int* y) {
                const int q = t & 255, s = q * (256 - q) / 64;  // 0 to 256
                const int c = 256 - s * s / 256;
                const int quadrant = t >> 8 & 3;
                const int sx = quadrant == 0 || quadrant == 3 ? 1 : -1, sy = quadrant < 2 ? 1 : -1;
                *x = cx + sx * r * (quadrant % 2 ? s : c) / 256;
                *y = cy + sy * r * (quadrant % 2 ? c : s) / 256;
            };
            int x0, y0, x1, y1;
            point(a, &x0, &y0);
            point(b, &x1, &y1);
            Line(picture.pixels, x0, y0, x1, y1, 8);
        }
    }
    return picture;
}

// Interface art: windows with title bars shaded in a few bands, bevelled
// buttons, icon tiles and flat panels.
BenchPicture FlatInterface()
{
    BenchPicture picture = Blank("flat-ui", 180);
    std::vector<uint8_t>& px = picture.pixels;
    Random random{2024};
    auto fill = [&](unsigned left, unsigned top, unsigned width, unsigned height, uint8_t colour) {
        for (unsigned y = top; y < top + height && y < kSide; ++y)
            for (unsigned x = left; x < left + width && x < kSide; ++x)
                px[y * kSide + x] = colour;
    };
    for (unsigned w = 0; w < 9; ++w) {
        const unsigned left = 20 + (w % 3) * 335, top = 20 + (w / 3) * 335, size = 300;
        fill(left, top, size, size, 220);
        for (unsigned band = 0; band < 10; ++band)
            fill(left + band * 30, top, 30, 24, static_cast<uint8_t>(40 + band * 6));
        for (unsigned b = 0; b < 6; ++b) {
            const unsigned bx = left + 16 + (b % 3) * 90, by = top + 200 + (b / 3) * 44;
            fill(bx, by, 80, 34, 250);
            fill(bx + 2, by + 2, 78, 32, 120);
            fill(bx + 2, by + 2, 76, 30, 200);
        }
        for (unsigned icon = 0; icon < 8; ++icon) {
            const unsigned ix = left + 16 + icon * 34, iy = top + 40;
            for (unsigned y = 0; y < 32; ++y)
                for (unsigned x = 0; x < 32; ++x)
                    px[(iy + y) * kSide + ix + x] = static_cast<uint8_t>((x / 4 + y / 4 + icon) % 5 * 30 + 10);
        }
        for (unsigned row = 0; row < 5; ++row)
            for (unsigned x = 0; x < 260; ++x)
                if (random.Next() % 3 == 0)
                    px[(top + 100 + row * 18) * kSide + left + 16 + x] = 8;
    }
    return picture;
}

// Sky, hills and water in smooth shading with fine grain and hard edges
// between them: what a scanned photograph reduced to 256 colours gives.
BenchPicture PhotoLike()
{
    BenchPicture picture = Blank("photo");
    std::vector<unsigned> hills = ValueNoise(128, 7), detail = ValueNoise(16, 8);
    Random random{55};
    for (unsigned y = 0; y < kSide; ++y)
        for (unsigned x = 0; x < kSide; ++x) {
            const size_t i = y * kSide + x;
            const unsigned ridge = 300 + hills[x] / 256 + detail[x] / 1024;
            unsigned level;
            if (y < ridge)  // sky: a vertical shading
                level = 160 + y * 60 / ridge;
            else if (y < 760)  // land: the textures
                level = 40 + (hills[i] * 2 + detail[i]) / 3 / 256 / 3 + (y - ridge) / 12;
            else  // water: the sky mirrored, with ripples
                level = 150 + (y - 760) / 8 + detail[i] / 256 / 16;
            picture.pixels[i] = static_cast<uint8_t>(level + (random.Next() >> 22) % 3);
        }
    return picture;
}

}  // namespace

std::vector<BenchPicture> BenchPictures()
{
    return {Gradient(), Radial(),       VerticalRamp(), NoisyRamp(),     DitheredNoise(),
            Texture(),  FlatWithDetail(), LineArt(),    FlatInterface(), PhotoLike()};
}
