// bench_pictures.h - the 1024 x 1024 8-bit pictures that the decoding
// benchmark and the compressor tests share: a smooth gradient, dithered
// noise, and a flat picture with some detail. Deterministic.
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
