// png.cpp - see png.h.
#include "writer/png.h"

#include <stdlib.h>
#include <string.h>

#include <zlib.h>

#include "bitmap/format.h"
#include "common/byte_order.h"

namespace {

const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

enum ColourType { kGrey = 0, kRgb = 2, kIndexed = 3, kGreyAlpha = 4, kRgbAlpha = 6 };
enum Filter { kFilterNone, kFilterSub, kFilterUp, kFilterAverage, kFilterPaeth, kFilterCount };

// Chunk lengths and the stream the picture needs are far below this.
const uint32_t kMaxChunkLength = 0x7FFFFFFF;

uint8_t Paeth(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = abs(p - a), pb = abs(p - b), pc = abs(p - c);
    if (pa <= pb && pa <= pc)
        return static_cast<uint8_t>(a);
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

// The predictor of byte i of a row: left is bpp bytes back in the same
// row, above the same byte of the row above (all zero for the top row).
uint8_t Predict(unsigned filter, const uint8_t* row, const uint8_t* above, size_t i, size_t bpp)
{
    const int left = i >= bpp ? row[i - bpp] : 0;
    const int up = above[i];
    const int corner = i >= bpp ? above[i - bpp] : 0;
    switch (filter) {
    case kFilterSub: return static_cast<uint8_t>(left);
    case kFilterUp: return static_cast<uint8_t>(up);
    case kFilterAverage: return static_cast<uint8_t>((left + up) / 2);
    case kFilterPaeth: return Paeth(left, up, corner);
    default: return 0;
    }
}

// Copies bytes (a multiple of 3) of colour triples, turning blue, green,
// red into red, green, blue or back.
void SwapRedBlue(uint8_t* to, const uint8_t* from, size_t bytes)
{
    for (size_t i = 0; i < bytes; i += 3) {
        to[i] = from[i + 2];
        to[i + 1] = from[i + 1];
        to[i + 2] = from[i];
    }
}

void AppendChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t length)
{
    const size_t start = out.size();
    out.resize(start + 8);
    WriteBE32(&out[start], static_cast<uint32_t>(length));
    memcpy(&out[start + 4], type, 4);
    out.insert(out.end(), data, data + length);
    uint8_t crc[4];
    WriteBE32(crc, static_cast<uint32_t>(crc32(0, &out[start + 4], static_cast<uInt>(length + 4))));
    out.insert(out.end(), crc, crc + 4);
}

bool Refuse(std::string* error, const std::string& reason)
{
    *error = reason;
    return false;
}

// Ends the inflate stream on every way out of the parser.
struct Inflater {
    z_stream stream;
    bool started = false;
    ~Inflater()
    {
        if (started)
            inflateEnd(&stream);
    }
};

}  // namespace

std::vector<uint8_t> EncodePng(unsigned width, unsigned height, unsigned bitsPerPixel, const uint8_t* palette,
                               const uint8_t* topRow, size_t rowStep)
{
    const bool indexed = bitsPerPixel == 8;
    const size_t bpp = indexed ? 1 : 3;
    const size_t rowBytes = bpp * width;
    std::vector<uint8_t> filtered((rowBytes + 1) * height);
    std::vector<uint8_t> row(rowBytes), above(rowBytes, 0), trial(rowBytes);
    for (unsigned y = 0; y < height; ++y) {
        const uint8_t* source = topRow + rowStep * y;
        uint8_t* out = &filtered[(rowBytes + 1) * y];
        if (indexed) {
            // Palette indexes do not predict one another: no filter.
            out[0] = kFilterNone;
            memcpy(out + 1, source, rowBytes);
            continue;
        }
        SwapRedBlue(row.data(), source, rowBytes);
        // The usual heuristic: the filter whose output, read as signed
        // bytes, has the smallest sum of magnitudes.
        uint64_t best = UINT64_MAX;
        for (unsigned filter = kFilterNone; filter < kFilterCount; ++filter) {
            uint64_t sum = 0;
            for (size_t i = 0; i < rowBytes; ++i) {
                trial[i] = static_cast<uint8_t>(row[i] - Predict(filter, row.data(), above.data(), i, bpp));
                sum += static_cast<uint64_t>(abs(static_cast<int8_t>(trial[i])));
            }
            if (sum < best) {
                best = sum;
                out[0] = static_cast<uint8_t>(filter);
                memcpy(out + 1, trial.data(), rowBytes);
            }
        }
        row.swap(above);
    }

    uLongf packedSize = compressBound(static_cast<uLong>(filtered.size()));
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, filtered.data(), static_cast<uLong>(filtered.size()),
                  Z_DEFAULT_COMPRESSION) != Z_OK)
        return std::vector<uint8_t>();

    std::vector<uint8_t> out(kSignature, kSignature + 8);
    uint8_t header[13];
    WriteBE32(header, width);
    WriteBE32(header + 4, height);
    header[8] = 8;
    header[9] = indexed ? kIndexed : kRgb;
    header[10] = header[11] = header[12] = 0;  // deflate, adaptive filters, not interlaced
    AppendChunk(out, "IHDR", header, sizeof header);
    if (indexed) {
        uint8_t colours[768];
        SwapRedBlue(colours, palette, sizeof colours);
        AppendChunk(out, "PLTE", colours, sizeof colours);
    }
    AppendChunk(out, "IDAT", packed.data(), packedSize);
    AppendChunk(out, "IEND", nullptr, 0);
    return out;
}

bool IsPng(const uint8_t* data, size_t size)
{
    return size >= 8 && memcmp(data, kSignature, 8) == 0;
}

bool ParsePng(const uint8_t* data, size_t size, BmpImage* image, std::string* error)
{
    if (!IsPng(data, size))
        return Refuse(error, "not a PNG file");
    unsigned width = 0, height = 0, depth = 0, colourType = 0;
    size_t rowBytes = 0, bpp = 1;
    unsigned colours = 0;
    uint8_t palette[768] = {};
    // The filtered rows, exactly as long as the picture needs: the stream
    // is inflated into it and never past it.
    std::vector<uint8_t> filtered;
    Inflater inflater;
    z_stream& stream = inflater.stream;
    bool streamEnded = false;
    enum { kBeforeData, kInData, kAfterData } stage = kBeforeData;

    size_t at = 8;
    for (;;) {
        if (size - at < 12)
            return Refuse(error, "truncated PNG file (it ends before its IEND chunk)");
        const uint32_t length = ReadBE32(data + at);
        const uint8_t* type = data + at + 4;
        const std::string name(reinterpret_cast<const char*>(type), 4);
        for (unsigned i = 0; i < 4; ++i) {
            const uint8_t letter = type[i] & ~0x20;
            if (letter < 'A' || letter > 'Z')
                return Refuse(error, "corrupt PNG file (a chunk type that is not four letters)");
        }
        if (length > kMaxChunkLength)
            return Refuse(error, "corrupt PNG file (the " + name + " chunk is longer than 2^31 - 1 bytes)");
        if (size - at - 12 < length)
            return Refuse(error, "truncated PNG file (the " + name + " chunk is incomplete)");
        const uint8_t* body = data + at + 8;
        if (crc32(0, type, length + 4) != ReadBE32(body + length))
            return Refuse(error, "corrupt PNG file (bad CRC in the " + name + " chunk)");
        at += 12 + size_t(length);

        if (depth == 0 && name != "IHDR")
            return Refuse(error, "corrupt PNG file (IHDR is not the first chunk)");
        if (stage == kInData && name != "IDAT")
            stage = kAfterData;
        if (name == "IHDR") {
            if (depth != 0 || length != 13)
                return Refuse(error, "corrupt PNG file (a bad IHDR chunk)");
            const uint32_t w = ReadBE32(body), h = ReadBE32(body + 4);
            depth = body[8];
            colourType = body[9];
            if (w == 0 || h == 0 || w > kMaxChunkLength || h > kMaxChunkLength || body[10] != 0 || body[11] != 0 ||
                body[12] > 1 || depth == 0)
                return Refuse(error, "corrupt PNG file (a bad IHDR chunk)");
            const std::string dimensions = std::to_string(w) + " x " + std::to_string(h);
            if (colourType == kGrey)
                return Refuse(error, "greyscale PNG files are not accepted (only indexed, or RGB of 608 x 392)");
            if (colourType == kGreyAlpha || colourType == kRgbAlpha)
                return Refuse(error, "PNG files with an alpha channel are not accepted (only indexed, or RGB of 608 x 392)");
            if (colourType == kRgb && depth == 16)
                return Refuse(error, "PNG files with 16-bit channels are not accepted (only 8-bit)");
            if (colourType == kRgb && depth == 8) {
                if (w != kTrueColourWidth || h != kTrueColourHeight)
                    return Refuse(error, "RGB PNG file of " + dimensions + " pixels (accepted: only 608 x 392)");
                rowBytes = 3 * size_t(w);
                bpp = 3;
            } else if (colourType == kIndexed && (depth == 1 || depth == 2 || depth == 4 || depth == 8)) {
                if (w > kMaxSide || h > kMaxSide)
                    return Refuse(error, "indexed PNG file of " + dimensions + " pixels (accepted: 1 to 1024 each way)");
                rowBytes = (size_t(w) * depth + 7) / 8;
            } else {
                return Refuse(error, "corrupt PNG file (bit depth " + std::to_string(depth) + " with colour type " +
                                         std::to_string(colourType) + ")");
            }
            if (body[12] == 1)
                return Refuse(error, "interlaced PNG files are not accepted");
            width = w;
            height = h;
            filtered.resize((rowBytes + 1) * height);
            memset(&stream, 0, sizeof stream);
            if (inflateInit(&stream) != Z_OK)
                return Refuse(error, "out of memory");
            inflater.started = true;
        } else if (name == "PLTE") {
            if (colours != 0 || stage != kBeforeData || length == 0 || length % 3 != 0 || length > 768)
                return Refuse(error, "corrupt PNG file (a bad or misplaced PLTE chunk)");
            // An RGB file's palette is only a suggestion; the pixels stand alone.
            colours = length / 3;
            SwapRedBlue(palette, body, length);
        } else if (name == "tRNS") {
            return Refuse(error, "PNG files with transparency (a tRNS chunk) are not accepted");
        } else if (name == "IDAT") {
            if (stage == kAfterData)
                return Refuse(error, "corrupt PNG file (IDAT chunks that are not consecutive)");
            if (colourType == kIndexed && colours == 0)
                return Refuse(error, "corrupt PNG file (an indexed picture without a PLTE chunk before its pixels)");
            stage = kInData;
            stream.next_in = const_cast<uint8_t*>(body);
            stream.avail_in = length;
            while (stream.avail_in > 0 && !streamEnded) {
                // Once the rows are complete, a one-byte spare shows whether
                // the stream holds more.
                uint8_t spare;
                const bool full = stream.total_out >= filtered.size();
                stream.next_out = full ? &spare : &filtered[stream.total_out];
                stream.avail_out = full ? 1 : static_cast<uInt>(filtered.size() - stream.total_out);
                const int result = inflate(&stream, Z_NO_FLUSH);
                if (stream.total_out > filtered.size())
                    return Refuse(error, "corrupt PNG file (the pixel data inflates to more than the picture needs)");
                if (result == Z_STREAM_END)
                    streamEnded = true;
                else if (result != Z_OK)
                    return Refuse(error, "corrupt PNG file (bad compressed pixel data)");
            }
            if (stream.avail_in > 0)
                return Refuse(error, "corrupt PNG file (data after the end of the compressed pixels)");
        } else if (name == "IEND") {
            break;
        } else if ((type[0] & 0x20) == 0) {
            return Refuse(error, "PNG files with a " + name + " chunk are not accepted");
        }
    }
    if (stage == kBeforeData)
        return Refuse(error, "corrupt PNG file (no IDAT chunk)");
    if (!streamEnded)
        return Refuse(error, "truncated PNG file (the compressed pixel data ends early)");
    if (stream.total_out != filtered.size())
        return Refuse(error, "corrupt PNG file (the pixel data inflates to less than the picture needs)");

    // Unfilter in place, each row against the unfiltered one above.
    const std::vector<uint8_t> zeros(rowBytes, 0);
    for (unsigned y = 0; y < height; ++y) {
        uint8_t* row = &filtered[(rowBytes + 1) * y];
        const uint8_t* above = y == 0 ? zeros.data() : row - rowBytes;
        if (row[0] >= kFilterCount)
            return Refuse(error, "corrupt PNG file (filter type " + std::to_string(row[0]) + " in row " +
                                     std::to_string(y) + ")");
        if (row[0] != kFilterNone)
            for (size_t i = 0; i < rowBytes; ++i)
                row[1 + i] = static_cast<uint8_t>(row[1 + i] + Predict(row[0], row + 1, above, i, bpp));
    }

    image->width = width;
    image->height = height;
    image->bitsPerPixel = colourType == kIndexed ? 8 : 24;
    image->colours = colourType == kIndexed ? colours : 0;
    image->palette.assign(palette, palette + (colourType == kIndexed ? 768 : 0));
    const size_t outRow = colourType == kIndexed ? PalettePitch(width) : rowBytes;
    image->rows.assign(outRow * height, 0);
    for (unsigned y = 0; y < height; ++y) {
        const uint8_t* in = &filtered[(rowBytes + 1) * y + 1];
        uint8_t* out = &image->rows[outRow * y];
        if (colourType == kRgb) {
            SwapRedBlue(out, in, rowBytes);
        } else if (depth == 8) {
            memcpy(out, in, width);
        } else {
            // Pixels narrower than a byte: the leftmost in the high bits.
            const unsigned perByte = 8 / depth, mask = (1u << depth) - 1;
            for (unsigned x = 0; x < width; ++x)
                out[x] = static_cast<uint8_t>(in[x / perByte] >> (8 - depth * (x % perByte + 1)) & mask);
        }
    }
    return true;
}
