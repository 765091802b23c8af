// make_demo_pictures.cpp - draws the pictures of the demo archive and writes
// them as bitmap files into a folder, then prints their file names, one a
// line, in the order they are packed.
//
// Only integer arithmetic is used, so every build on every platform draws
// the same bytes and the packed archive can be checked byte for byte.
//
// usage: make_demo_pictures FOLDER
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "bitmap/format.h"

namespace {

// ---- Integer helpers -------------------------------------------------------

// Sine of a 256-step circle, scaled to -127..127 (a parabola per half wave).
int Sin(int angle)
{
    int a = angle & 255, h = a & 127;
    int s = 4 * h * (128 - h) * 127 / (128 * 128);
    return a < 128 ? s : -s;
}

unsigned Sqrt(uint64_t v)
{
    uint64_t r = 0, bit = uint64_t(1) << 62;
    while (bit > v)
        bit >>= 2;
    while (bit != 0) {
        if (v >= r + bit) {
            v -= r + bit;
            r = (r >> 1) + bit;
        } else {
            r >>= 1;
        }
        bit >>= 2;
    }
    return unsigned(r);
}

int Clamp(int v, int lo, int hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

// Blends a into b by t/256.
int Mix(int a, int b, int t)
{
    return a + (b - a) * t / 256;
}

struct Colour {
    int b, g, r;
};

Colour MixColour(Colour a, Colour b, int t)
{
    return Colour{Mix(a.b, b.b, t), Mix(a.g, b.g, t), Mix(a.r, b.r, t)};
}

// A 4 x 4 ordered-dither threshold, 0..15.
int Bayer(int x, int y)
{
    static const int kTable[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};
    return kTable[(y & 3) * 4 + (x & 3)];
}

// A small deterministic generator.
struct Random {
    uint32_t state;
    int Below(int n)
    {
        state = state * 1664525u + 1013904223u;
        return int((state >> 8) % unsigned(n));
    }
};

// ---- Pictures and files ----------------------------------------------------

struct Picture8 {
    int width, height;
    std::vector<Colour> palette;  // up to 256 entries
    std::vector<uint8_t> pixels;  // width x height, top-down
    bool topDown = false;         // how the file stores its rows

    Picture8(int w, int h) : width(w), height(h), pixels(size_t(w) * h) {}
    uint8_t& At(int x, int y) { return pixels[size_t(y) * width + x]; }
    void Put(int x, int y, int index)
    {
        if (x >= 0 && y >= 0 && x < width && y < height)
            At(x, y) = uint8_t(index);
    }
};

struct Picture24 {
    int width, height;
    std::vector<Colour> pixels;

    Picture24(int w, int h) : width(w), height(h), pixels(size_t(w) * h) {}
    Colour& At(int x, int y) { return pixels[size_t(y) * width + x]; }
};

void Put16(std::vector<uint8_t>& out, unsigned v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

std::vector<uint8_t> FileHeaders(int width, int height, bool topDown, int bits, size_t colours, size_t pixelBytes)
{
    std::vector<uint8_t> out;
    const uint32_t offset = uint32_t(14 + 40 + 4 * colours);
    out.push_back('B');
    out.push_back('M');
    Put32(out, uint32_t(offset + pixelBytes));
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, 40);
    Put32(out, uint32_t(width));
    Put32(out, uint32_t(topDown ? -height : height));
    Put16(out, 1);
    Put16(out, unsigned(bits));
    Put32(out, 0);
    Put32(out, uint32_t(pixelBytes));
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, uint32_t(colours == 256 ? 0 : colours));
    Put32(out, 0);
    return out;
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

std::vector<uint8_t> Encode(const Picture8& p)
{
    const size_t stride = RowPitch(uint32_t(p.width));
    std::vector<uint8_t> out = FileHeaders(p.width, p.height, p.topDown, 8, p.palette.size(), stride * p.height);
    for (const Colour& c : p.palette) {
        out.push_back(uint8_t(Clamp(c.b, 0, 255)));
        out.push_back(uint8_t(Clamp(c.g, 0, 255)));
        out.push_back(uint8_t(Clamp(c.r, 0, 255)));
        out.push_back(0);
    }
    for (int row = 0; row < p.height; ++row) {
        int y = p.topDown ? row : p.height - 1 - row;
        out.insert(out.end(), p.pixels.begin() + size_t(y) * p.width, p.pixels.begin() + size_t(y + 1) * p.width);
        out.resize(out.size() + stride - p.width, 0);
    }
    return out;
}

std::vector<uint8_t> Encode(const Picture24& p)
{
    const size_t stride = RowPitch(uint32_t(p.width) * 3);
    std::vector<uint8_t> out = FileHeaders(p.width, p.height, false, 24, 0, stride * p.height);
    for (int y = p.height - 1; y >= 0; --y) {
        for (int x = 0; x < p.width; ++x) {
            const Colour& c = p.pixels[size_t(y) * p.width + x];
            out.push_back(uint8_t(Clamp(c.b, 0, 255)));
            out.push_back(uint8_t(Clamp(c.g, 0, 255)));
            out.push_back(uint8_t(Clamp(c.r, 0, 255)));
        }
        out.resize(out.size() + stride - size_t(p.width) * 3, 0);
    }
    return out;
}

// ---- A 5 x 7 font ----------------------------------------------------------

// Rows top to bottom, bit 4 the leftmost column.
const struct Glyph {
    char c;
    uint8_t rows[7];
} kFont[] = {
    {'A', {14, 17, 17, 31, 17, 17, 17}}, {'B', {30, 17, 17, 30, 17, 17, 30}}, {'C', {14, 17, 16, 16, 16, 17, 14}},
    {'D', {30, 17, 17, 17, 17, 17, 30}}, {'E', {31, 16, 16, 30, 16, 16, 31}}, {'F', {31, 16, 16, 30, 16, 16, 16}},
    {'G', {14, 17, 16, 23, 17, 17, 15}}, {'H', {17, 17, 17, 31, 17, 17, 17}}, {'I', {14, 4, 4, 4, 4, 4, 14}},
    {'J', {7, 2, 2, 2, 2, 18, 12}},      {'K', {17, 18, 20, 24, 20, 18, 17}}, {'L', {16, 16, 16, 16, 16, 16, 31}},
    {'M', {17, 27, 21, 21, 17, 17, 17}}, {'N', {17, 17, 25, 21, 19, 17, 17}}, {'O', {14, 17, 17, 17, 17, 17, 14}},
    {'P', {30, 17, 17, 30, 16, 16, 16}}, {'Q', {14, 17, 17, 17, 21, 18, 13}}, {'R', {30, 17, 17, 30, 20, 18, 17}},
    {'S', {15, 16, 16, 14, 1, 1, 30}},   {'T', {31, 4, 4, 4, 4, 4, 4}},       {'U', {17, 17, 17, 17, 17, 17, 14}},
    {'V', {17, 17, 17, 17, 17, 10, 4}},  {'W', {17, 17, 17, 21, 21, 21, 10}}, {'X', {17, 17, 10, 4, 10, 17, 17}},
    {'Y', {17, 17, 17, 10, 4, 4, 4}},    {'Z', {31, 1, 2, 4, 8, 16, 31}},     {'0', {14, 17, 19, 21, 25, 17, 14}},
    {'1', {4, 12, 4, 4, 4, 4, 14}},      {'2', {14, 17, 1, 2, 4, 8, 31}},     {'3', {31, 2, 4, 2, 1, 17, 14}},
    {'4', {2, 6, 10, 18, 31, 2, 2}},     {'5', {31, 16, 30, 1, 1, 17, 14}},  {'6', {6, 8, 16, 30, 17, 17, 14}},
    {'7', {31, 1, 2, 4, 8, 8, 8}},       {'8', {14, 17, 17, 14, 17, 17, 14}}, {'9', {14, 17, 17, 15, 1, 2, 12}},
    {'.', {0, 0, 0, 0, 0, 12, 12}},      {',', {0, 0, 0, 0, 12, 4, 8}},       {'-', {0, 0, 0, 31, 0, 0, 0}},
    {':', {0, 12, 12, 0, 12, 12, 0}},    {'\'', {4, 4, 8, 0, 0, 0, 0}},       {'!', {4, 4, 4, 4, 4, 0, 4}},
};

// Draws text with its top-left corner at (x, y), each font pixel scale x
// scale; returns the x after the last character.
int DrawText(Picture8& p, int x, int y, const char* text, int index, int scale = 1)
{
    for (; *text != '\0'; ++text, x += 6 * scale) {
        for (const Glyph& glyph : kFont) {
            if (glyph.c != *text)
                continue;
            for (int gy = 0; gy < 7; ++gy)
                for (int gx = 0; gx < 5; ++gx)
                    if (glyph.rows[gy] & (16 >> gx))
                        for (int sy = 0; sy < scale; ++sy)
                            for (int sx = 0; sx < scale; ++sx)
                                p.Put(x + gx * scale + sx, y + gy * scale + sy, index);
        }
    }
    return x;
}

// ---- The pictures ----------------------------------------------------------

// A sunset over the sea: a smooth sky, the sun and its glow, and a rippled
// reflection.
Picture8 Sunset()
{
    Picture8 p(640, 400);
    const int horizon = 262, sunX = 430, sunY = 222, sunR = 46;
    const Colour top{70, 18, 28}, middle{110, 60, 150}, low{60, 150, 255};
    for (int i = 0; i < 128; ++i)  // sky, top to horizon
        p.palette.push_back(i < 64 ? MixColour(top, middle, i * 4) : MixColour(middle, low, (i - 64) * 4));
    for (int i = 0; i < 16; ++i)  // the sun, rim to centre
        p.palette.push_back(MixColour(Colour{90, 200, 255}, Colour{215, 250, 255}, i * 16));
    for (int i = 0; i < 56; ++i)  // the sea, horizon to bottom
        p.palette.push_back(MixColour(Colour{95, 45, 70}, Colour{40, 10, 12}, i * 256 / 56));
    for (int i = 0; i < 56; ++i)  // glitter on the water, faint to bright
        p.palette.push_back(MixColour(Colour{90, 70, 150}, Colour{120, 210, 255}, i * 256 / 56));
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            int dx = x - sunX, dy = y - sunY;
            int d = int(Sqrt(uint64_t(dx * dx + dy * dy)));
            int index;
            if (y < horizon) {
                index = y * 127 / horizon;
                if (d < 160)  // the glow warms the sky towards the horizon colour
                    index = Clamp(index + (160 - d) * (127 - index) / 190, 0, 127);
                if (d < sunR)
                    index = 128 + (sunR - d) * 15 / sunR;
            } else {
                int depth = y - horizon;
                index = 144 + depth * 55 / (p.height - horizon);
                // The sun's path: wider with depth, broken by ripples.
                int band = 30 + depth * 2;
                int ripple = Sin(x * 3 + Sin(depth * 7) / 2 + depth * depth / 5) + Sin(depth * 11 - x);
                if (dx > -band && dx < band && ripple > 60) {
                    int strength = (band - (dx < 0 ? -dx : dx)) * 55 / band;
                    index = 200 + Clamp(strength - depth / 4, 0, 55);
                } else if (ripple > 200) {
                    index = Clamp(index - 6, 144, 199);
                }
            }
            p.At(x, y) = uint8_t(index);
        }
    }
    // A few birds.
    const int birds[][2] = {{150, 90}, {172, 104}, {196, 86}, {520, 60}, {540, 70}};
    for (const auto& bird : birds)
        for (int k = 0; k < 7; ++k) {
            p.Put(bird[0] - k, bird[1] - k / 2, 2);
            p.Put(bird[0] + k, bird[1] - k / 2, 2);
        }
    return p;
}

// Rolling hills under a cloudy sky, dithered to 16 colours.
Picture8 Hills()
{
    Picture8 p(512, 384);
    const Colour kPalette[16] = {
        {250, 215, 170}, {240, 190, 130}, {225, 160, 95}, {205, 130, 60},  // sky, light to deep
        {255, 255, 255},                                                 // cloud
        {150, 160, 120}, {120, 140, 95}, {95, 120, 75},                    // far hills
        {80, 190, 120}, {60, 160, 90}, {45, 130, 65}, {30, 100, 45},       // near hills
        {20, 60, 25}, {40, 70, 110}, {60, 110, 160}, {30, 40, 60},         // trees, path, roofs, dark
    };
    p.palette.assign(kPalette, kPalette + 16);
    // Dithers level (0..steps*16) over the ramp first..first+steps.
    auto ramp = [](int first, int steps, int level, int x, int y) {
        level = Clamp(level, 0, steps * 16 - 1);
        return first + level / 16 + ((level % 16) > Bayer(x, y) ? 1 : 0);
    };
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            int far = 190 + Sin(x / 2 + 40) / 6 + Sin(x + 100) / 14;
            int near = 250 + Sin(x / 3 + 150) / 4 + Sin(x * 2 / 3) / 12;
            int index;
            if (y >= near) {
                index = ramp(8, 3, (y - near) * 2 + Sin(x * 5 + y * 3) / 40 + 4, x, y);
            } else if (y >= far) {
                index = ramp(5, 2, (y - far) * 2 + 2, x, y);
            } else {
                index = ramp(0, 3, (far - y) * 48 / far, x, y);
                // Two clouds: dithered edges, solid middles.
                int c1 = (x - 140) * (x - 140) / 9 + (y - 70) * (y - 70);
                int c2 = (x - 370) * (x - 370) / 16 + (y - 110) * (y - 110) * 2;
                int cloud = 1200 - (c1 < c2 ? c1 : c2 * 3 / 4);
                if (cloud > 0 && cloud / 30 > Bayer(x, y))
                    index = 4;
            }
            p.At(x, y) = uint8_t(index);
        }
    }
    // Trees along the near ridge: dark triangles on trunks.
    Random random{42};
    for (int t = 0; t < 18; ++t) {
        int tx = 20 + t * 28 + random.Below(14);
        int ground = 250 + Sin(tx / 3 + 150) / 4 + Sin(tx * 2 / 3) / 12 + 6 + random.Below(20);
        int h = 18 + random.Below(14);
        for (int k = 0; k < h; ++k)
            for (int w = -k / 3; w <= k / 3; ++w)
                p.Put(tx + w, ground - h + k, 12);
        for (int k = 0; k < 4; ++k)
            p.Put(tx, ground + k, 15);
    }
    // A house with a path.
    for (int y = 300; y < 330; ++y)
        for (int x = 330; x < 370; ++x)
            p.Put(x, y, (x == 345 || x == 346) && y > 315 ? 15 : 4);
    for (int k = 0; k < 22; ++k)
        for (int x = 326 + k; x < 374 - k; ++x)
            p.Put(x, 299 - k, 13);
    for (int y = 330; y < p.height; ++y)
        for (int x = 344 - (y - 330) / 3; x < 348 + (y - 330) / 2; ++x)
            if (Bayer(x, y) < 12)
                p.Put(x, y, 14);
    return p;
}

// A harbour at dusk in 24-bit colour: sky, mountains in haze, the sea, a
// lighthouse and a sailing boat.
Picture24 Harbour()
{
    Picture24 p(608, 392);
    const int horizon = 250;
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            Colour c;
            if (y < horizon) {
                c = y < 150 ? MixColour(Colour{120, 60, 40}, Colour{170, 120, 190}, y * 256 / 150)
                            : MixColour(Colour{170, 120, 190}, Colour{150, 190, 250}, (y - 150) * 256 / 100);
                int dx = x - 470, dy = y - 215;
                int d = int(Sqrt(uint64_t(dx * dx + dy * dy)));
                if (d < 22)
                    c = Colour{200, 240, 255};
                else if (d < 120)
                    c = MixColour(c, Colour{170, 220, 255}, (120 - d) * 2);
                // Two ranges of mountains, the nearer one darker.
                int far = 200 + Sin(x / 2 + 30) / 5 + Sin(x * 2 + 7) / 20;
                int near = 225 + Sin(x / 3 + 90) / 6 + Sin(x + 50) / 25;
                if (y >= near)
                    c = MixColour(Colour{100, 70, 80}, Colour{130, 110, 130}, (y - near) * 8);
                else if (y >= far)
                    c = MixColour(Colour{150, 130, 150}, c, 90);
            } else {
                int depth = y - horizon;
                c = MixColour(Colour{150, 110, 120}, Colour{90, 40, 30}, depth * 256 / (p.height - horizon));
                int wave = Sin(x * 4 + Sin(y * 9) / 3 + depth * depth / 6);
                c = MixColour(c, Colour{210, 220, 250}, Clamp(wave - 90, 0, 80));
                int dx = x - 470;
                if (dx > -20 - depth && dx < 20 + depth && wave > 40)
                    c = MixColour(c, Colour{170, 225, 255}, 150 - Clamp(depth, 0, 140));
            }
            p.At(x, y) = c;
        }
    }
    // The rock and the lighthouse.
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < 170; ++x) {
            int top = 270 + (x * x) / 160 - Sin(x * 6) / 16;
            if (y >= top)
                p.At(x, y) = MixColour(Colour{50, 55, 60}, Colour{25, 25, 30}, Clamp((y - top) * 6, 0, 255));
        }
    for (int y = 120; y < 275; ++y) {
        int half = 10 + (y - 120) / 12;
        for (int x = 70 - half; x <= 70 + half; ++x) {
            bool red = ((y - 120) / 22) % 2 == 1;
            int shade = 200 - (x - 70 + half) * 90 / (2 * half + 1);
            p.At(x, y) = red ? Colour{shade / 4, shade / 4, shade} : Colour{shade, shade, shade};
        }
    }
    for (int y = 100; y < 120; ++y)
        for (int x = 58; x <= 82; ++x)
            p.At(x, y) = y < 106 ? Colour{40, 40, 60} : Colour{120, 240, 255};
    // The beam.
    for (int x = 82; x < 330; ++x)
        for (int y = 108 - (x - 82) / 10; y <= 112 + (x - 82) / 8; ++y)
            p.At(x, y) = MixColour(p.At(x, y), Colour{170, 245, 255}, 110 - (x - 82) * 110 / 248);
    // The boat: hull and two sails, dark against the glow.
    for (int y = 272; y < 284; ++y)
        for (int x = 320 + (y - 272); x < 400 - (y - 272) * 2; ++x)
            p.At(x, y) = Colour{40, 30, 30};
    for (int y = 190; y < 270; ++y) {
        for (int x = 358 - (y - 190) * 30 / 80; x < 360; ++x)
            p.At(x, y) = Colour{200, 215, 230};
        for (int x = 362; x < 362 + (y - 190) * 26 / 80; ++x)
            p.At(x, y) = Colour{180, 195, 215};
    }
    for (int y = 185; y < 274; ++y)
        p.At(360, y) = p.At(361, y) = Colour{30, 30, 40};
    return p;
}

// An interference pattern of waves in rainbow colours, 1024 x 1024.
Picture8 Plasma()
{
    Picture8 p(1024, 1024);
    for (int i = 0; i < 256; ++i)
        p.palette.push_back(Colour{128 + Sin(i + 170) * 7 / 8, 128 + Sin(i + 85) * 7 / 8, 128 + Sin(i) * 7 / 8});
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            int dx = x - 600, dy = y - 380, ex = x - 200, ey = y - 800;
            int v = Sin(x / 4) + Sin(y / 5 + 30) + Sin((x + y) / 7) +
                    Sin(int(Sqrt(uint64_t(dx * dx + dy * dy))) / 3) + Sin(int(Sqrt(uint64_t(ex * ex + ey * ey))) / 4 + 99);
            p.At(x, y) = uint8_t((v + 640) * 255 / 1270);
        }
    }
    return p;
}

// A page of text: a title bar, paragraphs, a margin line. Stored top-down.
Picture8 Letters()
{
    Picture8 p(400, 240);
    p.topDown = true;
    p.palette = {{215, 240, 250}, {60, 50, 45}, {120, 60, 20}, {255, 255, 255}, {70, 70, 200}, {180, 200, 210}};
    for (uint8_t& px : p.pixels)
        px = 0;
    for (int y = 0; y < 34; ++y)
        for (int x = 0; x < p.width; ++x)
            p.At(x, y) = 2;
    DrawText(p, 14, 10, "VELDER IMAGE VIEWER", 3, 2);
    for (int y = 34; y < p.height; ++y)
        p.At(30, y) = 4;
    for (int y = 58; y < p.height; y += 14)
        for (int x = 0; x < p.width; ++x)
            if (p.At(x, y) == 0)
                p.At(x, y) = 5;
    static const char* const kLines[] = {
        "MOHAWK ARCHIVES HOLD BITMAPS, SOUNDS AND",
        "SCRIPTS. THIS VIEWER LISTS THE BITMAPS,",
        "SHOWS THE ONE YOU PICK, AND COPIES OR",
        "SAVES IT AS A WINDOWS BITMAP FILE.",
        "",
        "THE QUICK BROWN FOX JUMPS OVER THE LAZY",
        "DOG. 0123456789 - PACK IT, LIST IT,",
        "EXPORT IT: WHAT GOES IN COMES BACK OUT!",
        "",
        "1. OPEN AN ARCHIVE FROM THE FILE MENU.",
        "2. PICK AN IMAGE IN THE LIST.",
        "3. COPY IT, OR SAVE IT AS A BMP FILE.",
    };
    int y = 47;
    for (const char* line : kLines) {
        DrawText(p, 38, y, line, 1);
        y += 14;
    }
    return p;
}

// The Mandelbrot set in fixed point, coloured by escape time.
Picture8 Mandelbrot()
{
    Picture8 p(320, 240);
    p.palette.push_back(Colour{20, 0, 0});
    for (int i = 1; i < 256; ++i) {
        int t = i * 4 % 256;
        p.palette.push_back(i < 64 ? MixColour(Colour{80, 10, 10}, Colour{40, 160, 250}, t)
                                   : MixColour(Colour{40, 160, 250}, Colour{230, 250, 255}, Clamp(i * 2, 0, 255)));
    }
    const int64_t one = int64_t(1) << 24;
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            int64_t cr = -2 * one + int64_t(x) * (3 * one) / p.width + one / 4;
            int64_t ci = -one * 9 / 8 + int64_t(y) * (one * 9 / 4) / p.height;
            int64_t zr = 0, zi = 0;
            int n = 0;
            while (n < 255) {
                int64_t rr = zr * zr / one, ii = zi * zi / one;
                if (rr + ii > 4 * one)
                    break;
                zi = 2 * zr * zi / one + ci;
                zr = rr - ii + cr;
                ++n;
            }
            p.At(x, y) = uint8_t(n == 255 ? 0 : 1 + n % 255);
        }
    }
    return p;
}

// A mosaic of diamond tiles; 97 pixels wide, so its rows carry padding.
Picture8 Tiles()
{
    Picture8 p(97, 61);
    for (int i = 0; i < 48; ++i)
        p.palette.push_back(Colour{128 + Sin(i * 16 + 20) * 3 / 4, 128 + Sin(i * 16 + 100) * 3 / 4,
                                   128 + Sin(i * 16 + 200) * 3 / 4});
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            int u = (x + y) / 12, v = (x - y + 120) / 12;
            bool grout = (x + y) % 12 == 0 || (x - y + 120) % 12 == 0;
            p.At(x, y) = uint8_t(grout ? 47 : (u * 7 + v * 3) % 40);
        }
    }
    return p;
}

// A small gem icon.
Picture8 Gem()
{
    Picture8 p(32, 32);
    p.palette = {{60, 40, 30}, {255, 120, 60}, {255, 170, 110}, {255, 220, 180}, {200, 80, 30}, {140, 40, 10},
                 {255, 255, 255}};
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            int dx = x * 2 - 31, index = 0;
            if (y >= 6 && y < 12 && (dx < 0 ? -dx : dx) <= 10 + (y - 6) * 2)
                index = dx < -6 ? 2 : dx > 6 ? 1 : 3;  // the crown
            else if (y >= 12 && y < 28 && (dx < 0 ? -dx : dx) <= 22 - (y - 12) * 22 / 16)
                index = dx < 0 ? 4 : 5;  // the pavilion
            if (index != 0 && (y == 12 || dx == 0))
                index = 1;
            p.At(x, y) = uint8_t(index);
        }
    }
    p.At(12, 8) = p.At(13, 8) = p.At(12, 9) = 6;
    return p;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fputs("usage: make_demo_pictures FOLDER\n", stderr);
        return 1;
    }
    const std::string folder = std::string(argv[1]) + "/";
    struct Output {
        const char* file;
        std::vector<uint8_t> bytes;
    };
    const Output outputs[] = {
        {"sunset.bmp", Encode(Sunset())},   {"hills.bmp", Encode(Hills())},         {"harbour.bmp", Encode(Harbour())},
        {"plasma.bmp", Encode(Plasma())},   {"letters.bmp", Encode(Letters())},     {"mandelbrot.bmp", Encode(Mandelbrot())},
        {"tiles.bmp", Encode(Tiles())},     {"gem.bmp", Encode(Gem())},
    };
    for (const Output& output : outputs) {
        if (!WriteBytes(folder + output.file, output.bytes)) {
            fprintf(stderr, "make_demo_pictures: cannot write %s%s\n", folder.c_str(), output.file);
            return 1;
        }
        printf("%s\n", output.file);
    }
    return 0;
}
