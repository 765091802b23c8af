// decompress.cpp - the tBMP pixel stream decoder.
//
// One forward pass, no allocation. Every command is tested once against the
// output limit and once against the end of the stream, for all the bytes it
// writes and reads, before it writes anything; the copies after the tests
// are then free of per-byte checks. Sizes are compared as
// "count > (size_t)(end - position)", which cannot wrap on a 32-bit target.
//
// Pair groups are the hot spot for pictures with smooth detail: a group whose
// worst case (4 stream bytes and 66 output bytes per pair code, and 16 bytes
// to spare) fits in both bounds runs without any test, and copies its short
// back-references in one masked 16-byte piece; only a group near either end
// takes the checked, exact path.
//
// No byte past the last one a command writes is ever changed: an early end,
// a skipped pair and a distance-0 run all leave the area as it was.
#include "bitmap/decompress.h"

#include <stddef.h>
#include <string.h>

namespace {

// Most bytes one pair code can read (0xFC with its literal) and write.
const size_t kMaxPairCodeInput = 4;
const size_t kMaxPairCodeOutput = 66;
// Room the unchecked path keeps beyond the worst case, for CopyPiece.
const size_t kPieceRoom = 16;

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

// Stores n bytes of a pattern whose period (2 or 4 bytes) divides 16; word
// holds the pattern repeated to 16 bytes. Every store starts a multiple of
// the period after to, so all are in phase, and none passes to + n.
inline void FillPattern(uint8_t* to, const uint8_t word[16], size_t n)
{
    if (n >= 16) {
        size_t i = 0;
        for (; i + 16 <= n; i += 16)
            Copy16(to + i, word);
        if (i != n)
            Copy16(to + n - 16, word);
    } else if (n >= 8) {
        Copy8(to, word);
        Copy8(to + n - 8, word);
    } else if (n >= 4) {
        Copy4(to, word);
        Copy4(to + n - 4, word);
    } else {
        Copy2(to, word);
    }
}

// Copies the first n (0 to 16) bytes of a 16-byte piece and rewrites the
// other bytes of the piece with the values they hold: exact, without a
// branch on n, but it needs 16 bytes of room at to and reads 16 at from.
// All reads come before the writes, so from may overlap the piece.
inline void CopyPiece(uint8_t* to, const uint8_t* from, size_t n)
{
    // kKeep[n]: 0xFF for the bytes to copy.
    static const uint8_t kKeep[17][16] = {
#define VELDER_ROW(n) {(n) > 0 ? 0xFF : 0, (n) > 1 ? 0xFF : 0, (n) > 2 ? 0xFF : 0, (n) > 3 ? 0xFF : 0, \
                       (n) > 4 ? 0xFF : 0, (n) > 5 ? 0xFF : 0, (n) > 6 ? 0xFF : 0, (n) > 7 ? 0xFF : 0, \
                       (n) > 8 ? 0xFF : 0, (n) > 9 ? 0xFF : 0, (n) > 10 ? 0xFF : 0, (n) > 11 ? 0xFF : 0, \
                       (n) > 12 ? 0xFF : 0, (n) > 13 ? 0xFF : 0, (n) > 14 ? 0xFF : 0, (n) > 15 ? 0xFF : 0}
        VELDER_ROW(0),  VELDER_ROW(1),  VELDER_ROW(2),  VELDER_ROW(3),  VELDER_ROW(4),  VELDER_ROW(5),
        VELDER_ROW(6),  VELDER_ROW(7),  VELDER_ROW(8),  VELDER_ROW(9),  VELDER_ROW(10), VELDER_ROW(11),
        VELDER_ROW(12), VELDER_ROW(13), VELDER_ROW(14), VELDER_ROW(15), VELDER_ROW(16),
#undef VELDER_ROW
    };
    uint64_t source[2], target[2], keep[2];
    memcpy(source, from, 16);
    memcpy(target, to, 16);
    memcpy(keep, kKeep[n], 16);
    target[0] = (source[0] & keep[0]) | (target[0] & ~keep[0]);
    target[1] = (source[1] & keep[1]) | (target[1] & ~keep[1]);
    memcpy(to, target, 16);
}

// The back-reference copy: byte i of the run becomes the byte at
// to + i - distance, read after bytes 0 to i - 1 have been written.
// kRoomy: at least length + 16 bytes of the area lie at to, so the last
// piece of a run can be copied with CopyPiece.
template <bool kRoomy>
inline void CopyBack(uint8_t* to, size_t distance, size_t length)
{
    const uint8_t* from = to - distance;
    if (distance >= 16 && length >= 16) {
        // Each 16-byte piece reads only bytes written before it. The last
        // piece ends exactly at the run's end, rewriting a few bytes with
        // the values they already hold.
        size_t i = 0;
        for (; i + 32 <= length; i += 32) {
            Copy16(to + i, from + i);
            Copy16(to + i + 16, from + i + 16);
        }
        if (i + 16 <= length)
            Copy16(to + i, from + i);
        Copy16(to + length - 16, from + length - 16);
        return;
    }
    if (kRoomy && (distance >= 16 || distance >= length)) {
        // A run shorter than 16 bytes, in one piece. With a distance
        // shorter than 16 the piece's source runs into the run itself, but
        // only into bytes that are masked out.
        CopyPiece(to, from, length);
        return;
    }
    if (distance >= length) {
        CopyExact(to, from, length);  // no overlap: any order gives the same bytes
        return;
    }
    if (distance == 0)
        return;  // every byte is copied onto itself
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
    // 8 <= distance < 16: each 8-byte piece reads only bytes written before
    // it. The last piece ends exactly at the run's end and rewrites a few
    // bytes with the values they already hold.
    size_t i = 0;
    for (; i + 8 <= length; i += 8)
        Copy8(to + i, from + i);
    if (i != length)
        Copy8(to + length - 8, from + length - 8);
}

inline uint8_t Add(uint8_t a, unsigned b) { return static_cast<uint8_t>(a + b); }
inline uint8_t Sub(uint8_t a, unsigned b) { return static_cast<uint8_t>(a - b); }

// Case labels for runs of pair codes that share one action.
#define VELDER_CASES_1_3(h) case (h) + 1: case (h) + 2: case (h) + 3:
#define VELDER_CASES_4_7(h) case (h) + 4: case (h) + 5: case (h) + 6: case (h) + 7:
#define VELDER_CASES_1_7(h) VELDER_CASES_1_3(h) VELDER_CASES_4_7(h)
#define VELDER_CASES_8_11(h) case (h) + 8: case (h) + 9: case (h) + 10: case (h) + 11:
#define VELDER_CASES_12_15(h) case (h) + 12: case (h) + 13: case (h) + 14: case (h) + 15:
#define VELDER_CASES_9_15(h) case (h) + 9: case (h) + 10: case (h) + 11: VELDER_CASES_12_15(h)
#define VELDER_CASES_1_15(h) VELDER_CASES_1_7(h) case (h) + 8: VELDER_CASES_9_15(h)
#define VELDER_CASES_0_15(h) case (h): VELDER_CASES_1_15(h)
#define VELDER_CASES_4_15(h) VELDER_CASES_4_7(h) VELDER_CASES_8_11(h) VELDER_CASES_12_15(h)

// Copy length of the fixed back-reference codes, by pair code: 3g + L/4 + 2,
// g being 0, 1, 2, 3 for the high nibbles A, B, E, F.
inline size_t FixedCopyLength(unsigned code)
{
    const unsigned h = code >> 4;
    const unsigned g = h == 0xA ? 0 : h == 0xB ? 1 : h == 0xE ? 2 : 3;
    return 3 * g + ((code & 15) >> 2) + 2;
}

// Runs count pair codes from s. kChecked: test every pair code and operand
// against the bounds; otherwise the caller has made sure that the whole
// group fits in its worst case with kPieceRoom to spare. Returns the stream
// position after the group, or null when decoding ends inside it.
template <bool kChecked>
const uint8_t* RunPairGroup(const uint8_t* s, uint8_t** position, unsigned count, const uint8_t* limit,
                            const uint8_t* sourceEnd)
{
// Ends decoding unless n operand bytes follow the pair code.
#define VELDER_OPERANDS(n)                                    \
    if (kChecked && static_cast<size_t>(sourceEnd - s) < (n)) \
        goto done
    uint8_t* p = *position;
    const uint8_t* end = nullptr;  // the result when a test fails
    for (; count != 0; --count) {
        if (kChecked && (static_cast<size_t>(limit - p) < 2 || s == sourceEnd))
            goto done;
        {
            const unsigned code = *s++;
            const unsigned l = code & 15;
            size_t length, distance;
            switch (code) {
            // The pair L pairs back; 0x00, at distance 0, writes nothing.
            VELDER_CASES_1_15(0x00)
                Copy2(p, p - 2 * l);
                break;
            case 0x10:
                VELDER_OPERANDS(1);
                p[0] = p[-2];
                p[1] = *s++;
                break;
            VELDER_CASES_1_15(0x10)
                p[0] = p[-2];
                p[1] = p[1 - static_cast<int>(l)];  // for L = 1 the byte just written
                break;
            VELDER_CASES_0_15(0x20)
                p[0] = p[-2];
                p[1] = Add(p[-1], l);
                break;
            VELDER_CASES_0_15(0x30)
                p[0] = p[-2];
                p[1] = Sub(p[-1], l);
                break;
            case 0x40:
                VELDER_OPERANDS(1);
                p[0] = *s++;
                p[1] = p[-1];
                break;
            VELDER_CASES_1_15(0x40)
                p[0] = p[-static_cast<int>(l)];
                p[1] = p[-1];
                break;
            case 0x50:
                VELDER_OPERANDS(2);
                p[0] = s[0];
                p[1] = s[1];
                s += 2;
                break;
            VELDER_CASES_1_7(0x50)
                VELDER_OPERANDS(1);
                p[0] = p[-static_cast<int>(l)];
                p[1] = *s++;
                break;
            case 0x58:  // the second byte, at distance 0, keeps its value
                VELDER_OPERANDS(1);
                p[0] = *s++;
                break;
            VELDER_CASES_9_15(0x50)
                VELDER_OPERANDS(1);
                p[0] = *s++;
                p[1] = p[9 - static_cast<int>(l)];  // for 0x59 the byte just written
                break;
            VELDER_CASES_0_15(0x60)
                VELDER_OPERANDS(1);
                p[0] = *s++;
                p[1] = Add(p[-1], l);
                break;
            VELDER_CASES_0_15(0x70)
                VELDER_OPERANDS(1);
                p[0] = *s++;
                p[1] = Sub(p[-1], l);
                break;
            VELDER_CASES_0_15(0x80)
                p[0] = Add(p[-2], l);
                p[1] = p[-1];
                break;
            VELDER_CASES_0_15(0x90)
                VELDER_OPERANDS(1);
                p[0] = Add(p[-2], l);
                p[1] = *s++;
                break;
            VELDER_CASES_0_15(0xC0)
                p[0] = Sub(p[-2], l);
                p[1] = p[-1];
                break;
            VELDER_CASES_0_15(0xD0)
                VELDER_OPERANDS(1);
                p[0] = Sub(p[-2], l);
                p[1] = *s++;
                break;
            // Both bytes of the previous pair raised or lowered by the
            // operand's nibbles.
            case 0xA0:
                VELDER_OPERANDS(1);
                p[0] = Add(p[-2], *s >> 4);
                p[1] = Add(p[-1], *s++ & 15);
                break;
            case 0xB0:
                VELDER_OPERANDS(1);
                p[0] = Add(p[-2], *s >> 4);
                p[1] = Sub(p[-1], *s++ & 15);
                break;
            case 0xE0:
                VELDER_OPERANDS(1);
                p[0] = Sub(p[-2], *s >> 4);
                p[1] = Add(p[-1], *s++ & 15);
                break;
            case 0xF0:
                VELDER_OPERANDS(1);
                p[0] = Sub(p[-2], *s >> 4);
                p[1] = Sub(p[-1], *s++ & 15);
                break;
            // Unassigned: the pair keeps what it held.
            case 0x00:
            VELDER_CASES_1_3(0xA0)
            VELDER_CASES_1_3(0xB0)
            VELDER_CASES_1_3(0xE0)
            VELDER_CASES_1_3(0xF0)
            case 0xFD:
            case 0xFE:
            case 0xFF:
                break;
            // Back-references of fixed length; an odd run is followed by a
            // literal byte, so the pair code always writes an even count.
            VELDER_CASES_4_15(0xA0)
            VELDER_CASES_4_15(0xB0)
            VELDER_CASES_4_15(0xE0)
            VELDER_CASES_4_7(0xF0)
            VELDER_CASES_8_11(0xF0) {
                length = FixedCopyLength(code);
                const size_t odd = length & 1;
                if (kChecked && length + odd > static_cast<size_t>(limit - p))
                    goto done;
                VELDER_OPERANDS(1 + odd);
                distance = 256 * (l & 3) + s[0];
                CopyBack<!kChecked>(p, distance, length);
                if (odd)
                    p[length++] = s[1];
                s += 1 + odd;
                p += length;
                continue;
            }
            // The long form: m, k, and a literal when bit 2 of m is clear.
            case 0xFC: {
                VELDER_OPERANDS(2);
                const unsigned m = s[0];
                distance = 256 * (m & 3) + s[1];
                length = 3 + (m >> 2);
                const size_t odd = length & 1;
                if (kChecked && length + odd > static_cast<size_t>(limit - p))
                    goto done;
                VELDER_OPERANDS(2 + odd);
                CopyBack<!kChecked>(p, distance, length);
                if (odd)
                    p[length++] = s[2];
                s += 2 + odd;
                p += length;
                continue;
            }
            }
            p += 2;
        }
    }
    end = s;
done:
    *position = p;
    return end;
#undef VELDER_OPERANDS
}

#undef VELDER_CASES_1_3
#undef VELDER_CASES_4_7
#undef VELDER_CASES_1_7
#undef VELDER_CASES_8_11
#undef VELDER_CASES_12_15
#undef VELDER_CASES_9_15
#undef VELDER_CASES_1_15
#undef VELDER_CASES_0_15
#undef VELDER_CASES_4_15

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
            const size_t room = static_cast<size_t>(limit - p), left = static_cast<size_t>(sourceEnd - s);
            if (length > room || length > left)
                return;
            // A short run in one masked piece: no branch on its length.
            if (length < 16 && kPieceRoom <= room && kPieceRoom <= left)
                CopyPiece(p, s, length);
            else
                CopyExact(p, s, length);
            p += length;
            s += length;
        } else if (n <= 0x80) {  // the last pair, c times
            const size_t length = 2 * (n - 0x40);
            if (length > static_cast<size_t>(limit - p))
                return;
            uint8_t word[16];
            Copy2(word, p - 2);
            Copy2(word + 2, word);
            Copy4(word + 4, word);
            Copy8(word + 8, word);
            FillPattern(p, word, length);
            p += length;
        } else if (n <= 0xC0) {  // the last four bytes, c times
            const size_t length = 4 * (n - 0x80);
            if (length > static_cast<size_t>(limit - p))
                return;
            uint8_t word[16];
            Copy4(word, p - 4);
            Copy4(word + 4, word);
            Copy8(word + 8, word);
            FillPattern(p, word, length);
            p += length;
        } else {  // a group of n - 0xC0 pair codes
            const unsigned count = n - 0xC0;
            if (kMaxPairCodeInput * count <= static_cast<size_t>(sourceEnd - s) &&
                kMaxPairCodeOutput * count + kPieceRoom <= static_cast<size_t>(limit - p))
                s = RunPairGroup<false>(s, &p, count, limit, sourceEnd);
            else
                s = RunPairGroup<true>(s, &p, count, limit, sourceEnd);
            if (s == nullptr)
                return;
        }
    }
}
