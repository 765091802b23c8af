// decompress.cpp - the tBMP pixel stream decoder.
//
// One forward pass, no allocation. Every command is tested once against the
// output limit and once against the end of the stream, for all the bytes it
// writes and reads, before it writes anything; the copies after the tests
// are then free of per-byte checks. Sizes are compared as
// "count > (size_t)(end - position)", which cannot wrap on a 32-bit target.
//
// Pair groups are the hot spot for pictures with smooth detail: a group whose
// worst case (4 stream bytes and 66 output bytes per pair code) fits in both
// bounds runs without any test; only a group near either end takes the
// checked path.
#include "bitmap/decompress.h"

#include <stddef.h>
#include <string.h>

namespace {

// Most bytes one pair code can read (0xFC with its literal) and write.
const size_t kMaxPairCodeInput = 4;
const size_t kMaxPairCodeOutput = 66;

inline void Copy2(uint8_t* to, const uint8_t* from) { memcpy(to, from, 2); }
inline void Copy4(uint8_t* to, const uint8_t* from) { memcpy(to, from, 4); }
inline void Copy8(uint8_t* to, const uint8_t* from) { memcpy(to, from, 8); }
inline void Copy16(uint8_t* to, const uint8_t* from) { memcpy(to, from, 16); }

// Copies exactly n bytes (1 to 256) between ranges that do not overlap. The
// fixed-size pieces overlap each other instead of running past the end, so
// no byte after to + n is ever touched: an early end must leave the rest of
// the area as it was.
inline void CopyExact(uint8_t* to, const uint8_t* from, size_t n)
{
    if (n >= 16) {
        size_t i = 0;
        for (; i + 16 <= n; i += 16)
            Copy16(to + i, from + i);
        if (i != n)
            Copy16(to + n - 16, from + n - 16);
    } else if (n >= 8) {
        uint8_t head[8], tail[8];
        memcpy(head, from, 8);
        memcpy(tail, from + n - 8, 8);
        memcpy(to, head, 8);
        memcpy(to + n - 8, tail, 8);
    } else if (n >= 4) {
        uint8_t head[4], tail[4];
        memcpy(head, from, 4);
        memcpy(tail, from + n - 4, 4);
        memcpy(to, head, 4);
        memcpy(to + n - 4, tail, 4);
    } else {
        for (size_t i = 0; i < n; ++i)
            to[i] = from[i];
    }
}

// Stores count copies of a pattern whose period divides 8 (2 or 4 bytes).
// word holds the pattern repeated to 8 bytes; n is count x period.
inline void FillPattern(uint8_t* to, const uint8_t word[8], size_t n, size_t period)
{
    if (n >= 8) {
        size_t i = 0;
        for (; i + 8 <= n; i += 8)
            memcpy(to + i, word, 8);
        // The last store ends exactly at n; it starts a multiple of the
        // period after to, so it is in phase with the others.
        if (i != n)
            memcpy(to + n - 8, word, 8);
    } else if (period == 2) {
        for (size_t i = 0; i < n; i += 2)
            Copy2(to + i, word);
    } else {
        Copy4(to, word);  // n < 8 with a period of 4: one copy
    }
}

// The back-reference copy: byte i of the run becomes the byte at
// to + i - distance, read after bytes 0 to i - 1 have been written.
inline void CopyBack(uint8_t* to, size_t distance, size_t length)
{
    if (distance == 0)
        return;  // every byte is copied onto itself
    const uint8_t* from = to - distance;
    if (distance >= length) {
        CopyExact(to, from, length);  // no overlap: any order gives the same bytes
        return;
    }
    if (distance < 8) {
        // A run that repeats its last d bytes also repeats its last D bytes
        // for any multiple D of d, once D - d bytes of it exist. Bytes up to
        // the first multiple of at least 8 go one at a time; after that the
        // run is copied 8 bytes at a time from distance D, each piece read
        // from bytes already written.
        static const uint8_t kStride[8] = {0, 8, 8, 9, 8, 10, 12, 14};
        size_t stride = kStride[distance];
        if (length < stride + 8) {
            for (size_t i = 0; i < length; ++i)
                to[i] = from[i];
            return;
        }
        for (size_t i = 0; i < stride; ++i)
            to[i] = from[i];
        distance = stride;
        to += stride;
        length -= stride;
        from = to - distance;
    }
    // distance >= 8: each 8-byte piece reads only bytes written before it.
    // The last piece ends exactly at the run's end and rewrites a few bytes
    // with the values they already hold.
    size_t i = 0;
    for (; i + 8 <= length; i += 8)
        Copy8(to + i, from + i);
    if (i != length)
        Copy8(to + length - 8, from + length - 8);
}

inline uint8_t Add(uint8_t a, unsigned b) { return static_cast<uint8_t>(a + b); }
inline uint8_t Sub(uint8_t a, unsigned b) { return static_cast<uint8_t>(a - b); }

// Runs count pair codes from s. kChecked: test every pair code and operand
// against the bounds; otherwise the caller has made sure the whole group
// fits in its worst case. Returns the stream position after the group, or
// null when decoding ends inside it.
template <bool kChecked>
const uint8_t* RunPairGroup(const uint8_t* s, uint8_t** position, unsigned count, const uint8_t* limit,
                            const uint8_t* sourceEnd)
{
    uint8_t* p = *position;
    const uint8_t* end = nullptr;  // the result when a test fails
    for (; count != 0; --count) {
        if (kChecked && (static_cast<size_t>(limit - p) < 2 || s == sourceEnd))
            goto done;
        {
            const unsigned code = *s++;
            const unsigned h = code >> 4;
            const unsigned l = code & 15;
            // Operand bytes still available after the pair code.
            const size_t available = kChecked ? static_cast<size_t>(sourceEnd - s) : kMaxPairCodeInput;
            switch (h) {
            case 0x0:
                if (l != 0)
                    Copy2(p, p - 2 * l);
                break;
            case 0x1:
                if (l == 0) {
                    if (kChecked && available < 1)
                        goto done;
                    p[0] = p[-2];
                    p[1] = *s++;
                } else {
                    p[0] = p[-2];
                    p[1] = p[1 - static_cast<int>(l)];  // for L = 1 the byte just written
                }
                break;
            case 0x2:
                p[0] = p[-2];
                p[1] = Add(p[-1], l);
                break;
            case 0x3:
                p[0] = p[-2];
                p[1] = Sub(p[-1], l);
                break;
            case 0x4:
                if (l == 0) {
                    if (kChecked && available < 1)
                        goto done;
                    p[0] = *s++;
                    p[1] = p[-1];
                } else {
                    p[0] = p[-static_cast<int>(l)];
                    p[1] = p[-1];
                }
                break;
            case 0x5:
                if (l == 0) {
                    if (kChecked && available < 2)
                        goto done;
                    p[0] = s[0];
                    p[1] = s[1];
                    s += 2;
                } else {
                    if (kChecked && available < 1)
                        goto done;
                    if (l < 8) {
                        p[0] = p[-static_cast<int>(l)];
                        p[1] = *s++;
                    } else {
                        p[0] = *s++;
                        if (l != 8)  // 0x58: distance 0, the byte keeps its value
                            p[1] = p[9 - static_cast<int>(l)];
                    }
                }
                break;
            case 0x6:
            case 0x7:
                if (kChecked && available < 1)
                    goto done;
                p[0] = *s++;
                p[1] = h == 0x6 ? Add(p[-1], l) : Sub(p[-1], l);
                break;
            case 0x8:
                p[0] = Add(p[-2], l);
                p[1] = p[-1];
                break;
            case 0x9:
                if (kChecked && available < 1)
                    goto done;
                p[0] = Add(p[-2], l);
                p[1] = *s++;
                break;
            case 0xC:
                p[0] = Sub(p[-2], l);
                p[1] = p[-1];
                break;
            case 0xD:
                if (kChecked && available < 1)
                    goto done;
                p[0] = Sub(p[-2], l);
                p[1] = *s++;
                break;
            default: {  // 0xA, 0xB, 0xE, 0xF
                if (l == 0) {
                    if (kChecked && available < 1)
                        goto done;
                    const unsigned x = *s++;
                    const unsigned hi = x >> 4, lo = x & 15;
                    // 0xA: +hi +lo, 0xB: +hi -lo, 0xE: -hi +lo, 0xF: -hi -lo
                    p[0] = (h == 0xA || h == 0xB) ? Add(p[-2], hi) : Sub(p[-2], hi);
                    p[1] = (h == 0xA || h == 0xE) ? Add(p[-1], lo) : Sub(p[-1], lo);
                    break;
                }
                if (l < 4 || code >= 0xFD)
                    break;  // unassigned: the pair keeps what it held
                size_t length, distance;
                unsigned literal;  // the operand written after an odd run, or 256 for none
                if (code == 0xFC) {
                    if (kChecked && available < 2)
                        goto done;
                    const unsigned m = s[0];
                    distance = 256 * (m & 3) + s[1];
                    length = 3 + (m >> 2);
                    const size_t written = 4 + 2 * (m >> 3);
                    if (kChecked && written > static_cast<size_t>(limit - p))
                        goto done;
                    if ((m & 4) == 0) {
                        if (kChecked && available < 3)
                            goto done;
                        literal = s[2];
                        s += 3;
                    } else {
                        literal = 256;
                        s += 2;
                    }
                } else {
                    static const unsigned char kGroup[16] = {0, 0, 0, 0, 0, 0, 0, 0,
                                                             0, 0, 0, 1, 0, 0, 2, 3};
                    length = 3 * kGroup[h] + (l >> 2) + 2;
                    const bool odd = (length & 1) != 0;
                    if (kChecked && length + odd > static_cast<size_t>(limit - p))
                        goto done;
                    if (kChecked && available < 1u + odd)
                        goto done;
                    distance = 256 * (l & 3) + s[0];
                    literal = odd ? s[1] : 256;
                    s += 1 + odd;
                }
                CopyBack(p, distance, length);
                if (literal < 256) {
                    p[length] = static_cast<uint8_t>(literal);
                    ++length;
                }
                p += length;
                continue;  // the back-reference has advanced p itself
            }
            }
            p += 2;
        }
    }
    end = s;
done:
    *position = p;
    return end;
}

}  // namespace

void DecompressPixels(const uint8_t* source, uint8_t* destination, const uint8_t* limit,
                      const uint8_t* sourceEnd)
{
    const uint8_t* s = source;
    uint8_t* p = destination;
    while (s != sourceEnd) {
        const unsigned n = *s++;
        if (n == 0)
            return;
        if (n <= 0x40) {  // literal run of 2n bytes
            const size_t length = 2 * n;
            if (length > static_cast<size_t>(limit - p) || length > static_cast<size_t>(sourceEnd - s))
                return;
            CopyExact(p, s, length);
            p += length;
            s += length;
        } else if (n <= 0x80) {  // the last pair, c times
            const size_t length = 2 * (n - 0x40);
            if (length > static_cast<size_t>(limit - p))
                return;
            uint8_t word[8];
            Copy2(word, p - 2);
            Copy2(word + 2, word);
            Copy4(word + 4, word);
            FillPattern(p, word, length, 2);
            p += length;
        } else if (n <= 0xC0) {  // the last four bytes, c times
            const size_t length = 4 * (n - 0x80);
            if (length > static_cast<size_t>(limit - p))
                return;
            uint8_t word[8];
            Copy4(word, p - 4);
            Copy4(word + 4, word);
            FillPattern(p, word, length, 4);
            p += length;
        } else {  // a group of n - 0xC0 pair codes
            const unsigned count = n - 0xC0;
            if (kMaxPairCodeInput * count <= static_cast<size_t>(sourceEnd - s) &&
                kMaxPairCodeOutput * count <= static_cast<size_t>(limit - p))
                s = RunPairGroup<false>(s, &p, count, limit, sourceEnd);
            else
                s = RunPairGroup<true>(s, &p, count, limit, sourceEnd);
            if (s == nullptr)
                return;
        }
    }
}
