// reference_decompress.cpp - see reference_decompress.h.
#include "tests/support/reference_decompress.h"

namespace {

struct Decoder {
    const uint8_t* stream;
    size_t streamSize;
    std::vector<uint8_t>& memory;
    size_t limit;
    size_t s;  // stream position
    size_t p;  // output position

    bool Available(size_t count) const { return s + count <= streamSize; }
    bool Fits(size_t count) const { return p + count <= limit; }
    uint8_t At(long offset) const { return memory.at(static_cast<size_t>(static_cast<long>(p) + offset)); }
    void Put(size_t offset, unsigned value) { memory.at(p + offset) = static_cast<uint8_t>(value); }

    // Operand bytes that follow pair code at stream position s (the code
    // itself not counted); reads m for 0xFC, which must be available.
    size_t Operands(unsigned code) const
    {
        const unsigned h = code >> 4, l = code & 15;
        switch (h) {
        case 0x0: case 0x2: case 0x3: case 0x8: case 0xC: return 0;
        case 0x1: case 0x4: return l == 0 ? 1 : 0;
        case 0x5: return l == 0 ? 2 : 1;
        case 0x6: case 0x7: case 0x9: case 0xD: return 1;
        default:
            if (l == 0) return 1;
            if (l < 4 || code >= 0xFD) return 0;
            if (code == 0xFC) return (stream[s + 1] & 4) ? 2 : 3;
            return 1 + (CopyLength(code, 0) % 2);
        }
    }

    static size_t CopyLength(unsigned code, unsigned m)
    {
        if (code == 0xFC) return 3 + m / 4;
        const unsigned h = code >> 4, l = code & 15;
        const unsigned g = h == 0xA ? 0 : h == 0xB ? 1 : h == 0xE ? 2 : 3;
        return 3 * g + l / 4 + 2;
    }

    // One pair code; false when decoding ends before it.
    bool PairCode()
    {
        if (!Fits(2) || !Available(1))
            return false;
        const unsigned code = stream[s];
        const unsigned h = code >> 4;
        const long l = code & 15;  // signed: it is subtracted from offsets
        const bool backReference = (h == 0xA || h == 0xB || h == 0xE || h == 0xF) && l >= 4 && code <= 0xFC;
        if (code == 0xFC && !Available(2))
            return false;
        const size_t operands = Operands(code);
        if (!Available(1 + operands))
            return false;
        const uint8_t* x = stream + s + 1;
        if (backReference) {
            const unsigned m = code == 0xFC ? x[0] : 0;
            const unsigned k = code == 0xFC ? x[1] : x[0];
            const size_t length = CopyLength(code, m);
            const size_t written = length + length % 2;
            if (!Fits(written))
                return false;
            const size_t distance = 256 * ((code == 0xFC ? m : l) % 4) + k;
            for (size_t i = 0; i < length; ++i)
                memory.at(p + i) = memory.at(p + i - distance);
            if (length % 2)
                Put(length, x[operands - 1]);
            s += 1 + operands;
            p += written;
            return true;
        }
        switch (h) {
        case 0x0: if (l != 0) { Put(0, At(-2 * l)); Put(1, At(1 - 2 * l)); } break;
        case 0x1: Put(0, At(-2)); Put(1, l == 0 ? x[0] : At(1 - l)); break;
        case 0x2: Put(0, At(-2)); Put(1, At(-1) + l); break;
        case 0x3: Put(0, At(-2)); Put(1, At(-1) - l); break;
        case 0x4: Put(0, l == 0 ? x[0] : At(-l)); Put(1, At(-1)); break;
        case 0x5:
            if (l == 0) { Put(0, x[0]); Put(1, x[1]); }
            else if (l < 8) { Put(0, At(-l)); Put(1, x[0]); }
            else { Put(0, x[0]); Put(1, At(9 - l)); }
            break;
        case 0x6: Put(0, x[0]); Put(1, At(-1) + l); break;
        case 0x7: Put(0, x[0]); Put(1, At(-1) - l); break;
        case 0x8: Put(0, At(-2) + l); Put(1, At(-1)); break;
        case 0x9: Put(0, At(-2) + l); Put(1, x[0]); break;
        case 0xC: Put(0, At(-2) - l); Put(1, At(-1)); break;
        case 0xD: Put(0, At(-2) - l); Put(1, x[0]); break;
        default:
            if (l == 0) {
                const unsigned hi = x[0] >> 4, lo = x[0] & 15;
                Put(0, h == 0xA || h == 0xB ? At(-2) + hi : At(-2) - hi);
                Put(1, h == 0xA || h == 0xE ? At(-1) + lo : At(-1) - lo);
            }
            break;  // the unassigned codes write nothing
        }
        s += 1 + operands;
        p += 2;
        return true;
    }

    void Run()
    {
        for (;;) {
            if (!Available(1))
                return;
            const unsigned n = stream[s];
            if (n == 0)
                return;
            if (n <= 0x40) {
                if (!Available(1 + 2 * n) || !Fits(2 * n))
                    return;
                for (unsigned i = 0; i < 2 * n; ++i)
                    Put(i, stream[s + 1 + i]);
                s += 1 + 2 * n;
                p += 2 * n;
            } else if (n <= 0xC0) {
                const size_t period = n <= 0x80 ? 2 : 4;
                const size_t count = n <= 0x80 ? n - 0x40 : n - 0x80;
                if (!Fits(period * count))
                    return;
                std::vector<uint8_t> pattern;
                for (size_t i = 0; i < period; ++i)
                    pattern.push_back(memory.at(p - period + i));
                for (size_t i = 0; i < period * count; ++i)
                    Put(i, pattern[i % period]);
                s += 1;
                p += period * count;
            } else {
                s += 1;
                for (unsigned i = 0; i < n - 0xC0; ++i)
                    if (!PairCode())
                        return;
            }
        }
    }
};

}  // namespace

size_t ReferenceDecompress(const uint8_t* stream, size_t streamSize, std::vector<uint8_t>& memory, size_t start,
                           size_t limit)
{
    Decoder decoder{stream, streamSize, memory, limit, 0, start};
    decoder.Run();
    return decoder.p;
}
