// bench_pictures.h - the 1024 x 1024 8-bit pictures that the decoding
// benchmark and the compressor tests share, one of each kind a real archive
// holds: linear and radial shading, a ramp, a ramp with noise, dithering, a
// noise-like texture, text, line art, flat interface art and a photo-like
// scene. Drawn with integer arithmetic only, so they are the same everywhere.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct BenchPicture {
    std::string name;
    std::vector<uint8_t> palette;  // 256 entries of blue, green, red
    std::vector<uint8_t> pixels;   // 1024 rows of 1024 palette indexes, top-down
};

std::vector<BenchPicture> BenchPictures();
