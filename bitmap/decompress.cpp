// decompress.cpp - the tBMP pixel stream decoder.
//
// One forward pass, no allocation. Every command is tested once against the
// output limit and once against the end of the stream, for all the bytes it
// writes and reads, before it writes anything; the copies after the tests
// are then free of per-byte checks. Sizes are compared as
// "count > (size_t)(end - position)", which cannot wrap on a 32-bit target.
//
// Pair groups are the hot spot for pictures with smooth detail. Every
// two-byte pair code is one row of a table built from the format's own
// description of the pair codes (bitmap/format.h): where each byte comes
// from (an operand, or a byte a fixed distance back) and what is added to
// it, so the common codes run one short path without a branch on the code.
// A group whose worst case (4 stream bytes and 66 output bytes per pair
// code, and 16 bytes to spare) fits in both bounds runs without any test,
// and copies its short back-references in one masked 16-byte piece; only a
// group near either end takes the checked, exact path.
//
// No byte past the last one a command writes is ever changed: an early end,
// a skipped pair and a distance-0 run all leave the area as it was.
#include "bitmap/decompress.h"

#include <stddef.h>
#include <string.h>

#include "bitmap/format.h"

namespace {

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

// mask[n]: 0xFF for the first n bytes of a 16-byte piece, 0 for the rest.
struct PieceMasks {
    uint8_t mask[17][16];
    constexpr PieceMasks() : mask()
    {
        for (unsigned n = 0; n <= 16; ++n)
            for (unsigned i = 0; i < 16; ++i)
                mask[n][i] = i < n ? 0xFF : 0;
    }
};

// Copies the first n (0 to 16) bytes of a 16-byte piece and rewrites the
// other bytes of the piece with the values they hold: exact, without a
// branch on n, but it needs 16 bytes of room at to and reads 16 at from.
// All reads come before the writes, so from may overlap the piece.
inline void CopyPiece(uint8_t* to, const uint8_t* from, size_t n)
{
    static constexpr PieceMasks kKeep;
    uint64_t source[2], target[2], keep[2];
    memcpy(source, from, 16);
    memcpy(target, to, 16);
    memcpy(keep, kKeep.mask[n], 16);
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

// Bytes left between position and end; compared as "count > Left(...)",
// which cannot wrap, even where size_t is 32 bits wide.
inline size_t Left(const uint8_t* position, const uint8_t* end)
{
    return static_cast<size_t>(end - position);
}

// One pair code as the decoder runs it. Two-byte codes: byte i is
// from[i][offset[i]] + add[i], where from[i] is the stream just after the
// code (offset: the operand's index) or the byte being written (offset:
// minus the distance). Back-references: the copy length and the two high
// bits of the distance.
struct PairOp {
    PairCodeKind kind;
    uint8_t operands;
    bool operand[2];
    int8_t offset[2];
    uint8_t add[2];
    uint8_t length;
    uint8_t distanceHigh;
};

constexpr PairOp MakePairOp(unsigned code)
{
    const PairCodeRule rule = DescribePairCode(code);
    PairOp op{rule.kind, rule.operands, {rule.first.operand, rule.second.operand}, {0, 0},
              {rule.first.add, rule.second.add}, 0, static_cast<uint8_t>(code & 3)};
    op.offset[0] = static_cast<int8_t>(rule.first.operand ? 0 : -int(rule.first.distance));
    op.offset[1] = static_cast<int8_t>(rule.second.operand ? rule.first.operand : -int(rule.second.distance));
    if (rule.kind == kPairFixedReference)
        op.length = static_cast<uint8_t>(FixedCopyLength(code));
    return op;
}

struct PairOps {
    PairOp op[256];
    constexpr PairOps() : op()
    {
        for (unsigned code = 0; code < 256; ++code)
            op[code] = MakePairOp(code);
    }
};
constexpr PairOps kPairOps;

// The pair codes other than the two-byte ones: the four nibble codes and
// the back-references. s points after the code. False, with nothing
// written, when the code does not fit in the bounds (tested only when
// kChecked); otherwise s and p are moved past it.
template <bool kChecked>
inline bool OtherPairCode(const PairOp& op, const uint8_t** stream, uint8_t** position, const uint8_t* limit,
                          const uint8_t* sourceEnd)
{
    const uint8_t* s = *stream;
    uint8_t* p = *position;
    size_t operands = op.operands, length = op.length, distance = 256 * size_t(op.distanceHigh);
    if (op.kind == kPairNibbles) {
        if (kChecked && operands > Left(s, sourceEnd))
            return false;
        p[0] = static_cast<uint8_t>(p[-2] + op.add[0] * unsigned(s[0] >> 4));
        p[1] = static_cast<uint8_t>(p[-1] + op.add[1] * unsigned(s[0] & 15));
        *stream = s + 1;
        *position = p + 2;
        return true;
    }
    if (op.kind == kPairLongReference) {
        if (kChecked && operands > Left(s, sourceEnd))
            return false;
        length = LongCopyLength(s[0]);
        distance = 256 * size_t(s[0] & 3);
        operands += length & 1;
        ++s;  // k, and the literal, follow as for the fixed forms
    }
    const size_t written = length + (length & 1);
    if (kChecked && (written > Left(p, limit) || operands > Left(*stream, sourceEnd)))
        return false;
    CopyBack<!kChecked>(p, distance + s[0], length);
    if (length & 1)
        p[length] = s[1];
    *stream = *stream + operands;
    *position = p + written;
    return true;
}

// Runs count pair codes from s. kChecked: test every pair code against the
// bounds; otherwise the caller has made sure that the whole group fits in
// its worst case with kPieceRoom to spare. Returns the stream position
// after the group, or null when decoding ends inside it.
template <bool kChecked>
const uint8_t* RunPairGroup(const uint8_t* s, uint8_t** position, unsigned count, const uint8_t* limit,
                            const uint8_t* sourceEnd)
{
    uint8_t* p = *position;
    bool fits = true;
    for (; fits && count != 0; --count) {
        if (kChecked && (Left(p, limit) < 2 || s == sourceEnd)) {
            fits = false;
        } else {
            const PairOp& op = kPairOps.op[*s++];
            if (op.kind != kPairTwoBytes) {
                fits = OtherPairCode<kChecked>(op, &s, &p, limit, sourceEnd);
            } else if (kChecked && op.operands > Left(s, sourceEnd)) {
                fits = false;
            } else {
                // The second byte is worked out after the first is written.
                p[0] = static_cast<uint8_t>((op.operand[0] ? s : p)[op.offset[0]] + op.add[0]);
                p[1] = static_cast<uint8_t>((op.operand[1] ? s : p + 1)[op.offset[1]] + op.add[1]);
                s += op.operands;
                p += 2;
            }
        }
    }
    *position = p;
    return fits ? s : nullptr;
}

// A literal run of length bytes from s. Returns the stream position after
// it, or null when it does not fit.
inline const uint8_t* LiteralRun(const uint8_t* s, uint8_t** position, size_t length, const uint8_t* limit,
                                 const uint8_t* sourceEnd)
{
    uint8_t* p = *position;
    const size_t room = Left(p, limit), left = Left(s, sourceEnd);
    if (length > room || length > left)
        return nullptr;
    // A short run in one masked piece: no branch on its length.
    if (length < 16 && kPieceRoom <= room && kPieceRoom <= left)
        CopyPiece(p, s, length);
    else
        CopyExact(p, s, length);
    *position = p + length;
    return s + length;
}

// count copies of the kPeriod (2 or 4) bytes before p. Reads no stream
// byte; returns s, or null when the copies do not fit.
template <size_t kPeriod>
inline const uint8_t* Repeat(const uint8_t* s, uint8_t** position, size_t count, const uint8_t* limit)
{
    uint8_t* p = *position;
    const size_t length = kPeriod * count;
    if (length > Left(p, limit))
        return nullptr;
    uint8_t word[16];
    memcpy(word, p - kPeriod, kPeriod);
    for (size_t filled = kPeriod; filled < 16; filled *= 2)
        memcpy(word + filled, word, filled);
    FillPattern(p, word, length);
    *position = p + length;
    return s;
}

}  // namespace

void DecompressPixels(const uint8_t* source, uint8_t* destination, const uint8_t* limit,
                      const uint8_t* sourceEnd)
{
    const uint8_t* s = source;
    uint8_t* p = destination;
    // Each command leaves s after itself, or null when decoding ends.
    while (s != nullptr && s != sourceEnd) {
        const unsigned n = *s++;
        if (n == kCommandEnd) {
            s = nullptr;
        } else if (n <= kLiteralRunLast) {
            s = LiteralRun(s, &p, 2 * size_t(n), limit, sourceEnd);
        } else if (n <= kPairRepeatLast) {
            s = Repeat<2>(s, &p, n - kLiteralRunLast, limit);
        } else if (n <= kQuadRepeatLast) {
            s = Repeat<4>(s, &p, n - kPairRepeatLast, limit);
        } else {
            const unsigned count = n - kQuadRepeatLast;
            if (kMaxPairCodeInput * count <= Left(s, sourceEnd) &&
                kMaxPairCodeOutput * count + kPieceRoom <= Left(p, limit))
                s = RunPairGroup<false>(s, &p, count, limit, sourceEnd);
            else
                s = RunPairGroup<true>(s, &p, count, limit, sourceEnd);
        }
    }
}
