// fuzz_roundtrip.cpp - arbitrary 8-bit pictures through the compressor and
// back. The first bytes give the size and the cost model, the rest the
// pixels (repeated, with a drift, when the picture is larger than the
// input). The stream is decoded by the model (which must also find that it
// ends exactly at its end command and never reads before the area) and by
// the viewer's decoder where the build has it; then the whole picture goes
// through a tBMP resource and every resource decoder. Every buffer is exactly
// as large as its data.
#include <stdint.h>
#include <string.h>

#include <vector>

#include "tests/fuzz/fuzz_check.h"
#include "tests/support/naive_decompress.h"
#include "packer/compress.h"
#include "packer/resource_writer.h"

namespace {

// Larger areas only slow the fuzzer down without reaching new code.
const size_t kMaxArea = 16 * 1024;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 6)
        return 0;
    const unsigned width = 1 + ((unsigned(data[0]) << 8 | data[1]) % 1024);
    unsigned height = 1 + ((unsigned(data[2]) << 8 | data[3]) % 1024);
    const unsigned pitch = PalettePitch(width);
    if (size_t(pitch) * height > kMaxArea)
        height = unsigned(kMaxArea / pitch) > 0 ? unsigned(kMaxArea / pitch) : 1;
    CompressOptions options;
    options.codePenalty = data[4] % 3 == 0 ? 0 : data[4] % 3 == 1 ? 160 : 2000;
    const uint8_t drift = data[5];
    const uint8_t* pixels = data + 6;
    const size_t count = size - 6;

    const size_t areaSize = size_t(pitch) * height;
    std::vector<uint8_t> area(areaSize);
    for (size_t k = 0; k < areaSize; ++k)
        area[k] = count == 0 ? drift : uint8_t(pixels[k % count] + drift * (k / count));

    std::vector<uint8_t> stream = CompressPixels(area.data(), area.size(), options);
    Check(!stream.empty() && stream.back() == 0x00);
    NaiveOutcome model = NaiveDecompress(stream, areaSize, 0xEE);
    Check(model.area == area);
    Check(model.sawEnd && model.consumed == stream.size() && model.written == areaSize);
    Check(!model.reachedBefore);
    for (const StreamDecoder& decoder : StreamDecoders())
        Check(decoder.decode(stream, areaSize) == area);

    std::vector<uint8_t> palette(768);
    for (size_t i = 0; i < palette.size(); ++i)
        palette[i] = uint8_t(i + drift);
    std::vector<uint8_t> resource = BuildPaletteResource(width, height, palette.data(), area.data(), kStoreSmaller,
                                                         options);
    for (const ResourceDecoder& decoder : ResourceDecoders()) {
        DecodedPicture picture;
        Check(decoder.decode(resource.data(), resource.size(), &picture));
        Check(picture.width == width && picture.height == height && picture.palette == palette);
        for (unsigned y = 0; y < height; ++y)
            Check(memcmp(picture.Row(y), &area[size_t(y) * pitch], width) == 0);
    }
    return 0;
}
