// png.cpp - see png.h.
#include "imagefile/png.h"

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

// Eight bytes at a time, in 16-bit lanes (the compilers' vector extension:
// SSE2 on x86, plain code where there is none).
#if defined(__GNUC__) && !defined(__clang__)
// Without SSE, GCC warns that vectors pass differently; these helpers are
// internal and inlined, so no call between builds ever passes one.
#pragma GCC diagnostic ignored "-Wpsabi"
#endif
typedef int16_t Lanes __attribute__((vector_size(16)));
typedef uint8_t EightBytes __attribute__((vector_size(8)));

inline Lanes Load(const uint8_t* from)
{
    EightBytes bytes;
    memcpy(&bytes, from, sizeof bytes);
    return __builtin_convertvector(bytes, Lanes);
}

// Stores the low byte of each lane, and returns the lanes' magnitudes as
// signed bytes: what the heuristic counts.
inline Lanes StoreFiltered(uint8_t* to, Lanes difference)
{
    const EightBytes bytes = __builtin_convertvector(difference, EightBytes);
    memcpy(to, &bytes, sizeof bytes);
    const Lanes low = difference & 255, other = 256 - low;
    const Lanes less = low < other;
    return (low & less) | (other & ~less);
}

inline Lanes Absolute(Lanes value)
{
    const Lanes sign = value >> 15;
    return (value ^ sign) - sign;
}

// A row as the filters read it: kPad zero bytes before it (the missing left
// neighbours), kPad bytes of room after it.
const size_t kPad = 8;

// Filters row all five ways, into trials (five rows stride bytes apart, by
// filter type), and returns the filter whose output has the smallest sum
// of magnitudes (the lowest numbered one of equal sums). row and above are
// padded rows.
unsigned FilterFiveWays(const uint8_t* row, const uint8_t* above, size_t rowBytes, size_t bpp, uint8_t* trials,
                        size_t stride)
{
    size_t sums[kFilterCount] = {};
    for (size_t i = 0; i < rowBytes;) {
        // At most 128 per lane and step: 255 steps fit in 16 bits.
        Lanes totals[kFilterCount] = {};
        for (unsigned steps = 0; steps < 255 && i < rowBytes; ++steps, i += 8) {
            const Lanes x = Load(row + i), a = Load(row + i - bpp), b = Load(above + i), c = Load(above + i - bpp);
            const Lanes pa = Absolute(b - c), pb = Absolute(a - c), pc = Absolute(a + b - c - c);
            const Lanes takeA = (pa <= pb) & (pa <= pc), takeB = ~takeA & (pb <= pc);
            const Lanes paeth = (a & takeA) | (b & takeB) | (c & ~(takeA | takeB));
            // Lanes past the row's end are not counted.
            const Lanes lane = {0, 1, 2, 3, 4, 5, 6, 7};
            const Lanes inside = lane < static_cast<int16_t>(rowBytes - i < 8 ? rowBytes - i : 8);
            uint8_t* out = trials + i;
            totals[kFilterNone] += StoreFiltered(out, x) & inside;
            totals[kFilterSub] += StoreFiltered(out + stride, x - a) & inside;
            totals[kFilterUp] += StoreFiltered(out + 2 * stride, x - b) & inside;
            totals[kFilterAverage] += StoreFiltered(out + 3 * stride, x - ((a + b) >> 1)) & inside;
            totals[kFilterPaeth] += StoreFiltered(out + 4 * stride, x - paeth) & inside;
        }
        for (unsigned filter = kFilterNone; filter < kFilterCount; ++filter)
            for (unsigned lane = 0; lane < 8; ++lane)
                sums[filter] += static_cast<uint16_t>(totals[filter][lane]);
    }
    unsigned best = kFilterNone;
    for (unsigned filter = kFilterSub; filter < kFilterCount; ++filter)
        best = sums[filter] < sums[best] ? filter : best;
    return best;
}

// Level 8 with the strategy zlib has for filtered rows: see the figures in
// README.
const int kLevel = 8;
const int kStrategy = Z_FILTERED;

// A deflate state's hash table and symbol buffer grow with its memory
// level, and each reset clears the table, which at the default level costs
// more than deflating a small picture. A picture gets the smallest level
// whose buffer holds all its bytes (so that its stream is one block, as at
// the default level): the clearing then costs no more than its own bytes.
const int kMinMemLevel = 1, kMaxMemLevel = 8;

int MemLevelFor(size_t bytes)
{
    int level = kMinMemLevel;
    while (level < kMaxMemLevel && (size_t(1) << (level + 6)) < bytes)
        ++level;
    return level;
}

}  // namespace

struct PngEncoder::State {
    // One deflate state per memory level, made when first needed and then
    // reset for each picture, which keeps its buffers.
    z_stream streams[kMaxMemLevel + 1];
    bool made[kMaxMemLevel + 1] = {};
    std::vector<uint8_t> filtered;
    std::vector<uint8_t> rows;    // padded rows, as red, green, blue for 24-bit
    std::vector<uint8_t> trials;  // a row filtered five ways
};

PngEncoder::PngEncoder() : state_(new State()) {}

PngEncoder::~PngEncoder()
{
    for (int level = kMinMemLevel; level <= kMaxMemLevel; ++level) {
        if (state_->made[level])
            deflateEnd(&state_->streams[level]);
    }
    delete state_;
}

std::vector<uint8_t> PngEncoder::Encode(unsigned width, unsigned height, unsigned bitsPerPixel,
                                        const uint8_t* palette, const uint8_t* topRow, size_t rowStep)
{
    State& state = *state_;
    const bool indexed = bitsPerPixel == 8;
    const size_t bpp = indexed ? 1 : 3;
    const size_t rowBytes = bpp * width;
    state.filtered.resize((rowBytes + 1) * height);
    // Three padded rows (zeros above the top row, then this row and the one
    // above in turn) and the five trials.
    const size_t stride = kPad + rowBytes + kPad;
    state.rows.assign(3 * stride, 0);
    state.trials.resize(kFilterCount * stride);
    const uint8_t* above = &state.rows[kPad];
    for (unsigned y = 0; y < height; ++y) {
        uint8_t* row = &state.rows[stride * (1 + y % 2) + kPad];
        if (indexed)
            memcpy(row, topRow + rowStep * y, rowBytes);
        else
            SwapRedBlue(row, topRow + rowStep * y, rowBytes);
        uint8_t* out = &state.filtered[(rowBytes + 1) * y];
        const unsigned filter = FilterFiveWays(row, above, rowBytes, bpp, state.trials.data(), stride);
        out[0] = static_cast<uint8_t>(filter);
        memcpy(out + 1, &state.trials[stride * filter], rowBytes);
        above = row;
    }

    const int memLevel = MemLevelFor(state.filtered.size());
    z_stream& stream = state.streams[memLevel];
    if (!state.made[memLevel]) {
        memset(&stream, 0, sizeof stream);
        if (deflateInit2(&stream, kLevel, Z_DEFLATED, 15, memLevel, kStrategy) != Z_OK)
            return std::vector<uint8_t>();
        state.made[memLevel] = true;
    } else if (deflateReset(&stream) != Z_OK) {
        return std::vector<uint8_t>();
    }

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

    // Deflated straight into the IDAT chunk.
    const size_t start = out.size();
    const uLong bound = deflateBound(&stream, static_cast<uLong>(state.filtered.size()));
    out.resize(start + 8 + bound + 4);
    stream.next_in = state.filtered.data();
    stream.avail_in = static_cast<uInt>(state.filtered.size());
    stream.next_out = &out[start + 8];
    stream.avail_out = static_cast<uInt>(bound);
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END)
        return std::vector<uint8_t>();
    const size_t length = stream.total_out;
    WriteBE32(&out[start], static_cast<uint32_t>(length));
    memcpy(&out[start + 4], "IDAT", 4);
    WriteBE32(&out[start + 8 + length], static_cast<uint32_t>(crc32(0, &out[start + 4], static_cast<uInt>(length + 4))));
    out.resize(start + 12 + length);
    AppendChunk(out, "IEND", nullptr, 0);
    return out;
}

std::vector<uint8_t> EncodePng(unsigned width, unsigned height, unsigned bitsPerPixel, const uint8_t* palette,
                               const uint8_t* topRow, size_t rowStep)
{
    return PngEncoder().Encode(width, height, bitsPerPixel, palette, topRow, rowStep);
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
