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
// Pair codes whose worst case (4 stream bytes and 66 output bytes per pair
// code, one byte to spare, and 8 stream bytes readable at each code) fits
// in both bounds run without any test, as many at a time as fit; only those
// within a worst case of either end take the checked path. On that path
// the next code is found without a load from the stream in between (see
// RunPairGroupUnchecked): pair codes are short, and how soon the next one
// is known decides their pace more than what they do.
//
// Copies are made of fixed-size pieces that overlap each other at the end
// of the run instead of running past it, never of one piece masked over the
// bytes already there: reading back a wide store of the command before
// stalls, and short commands come in long trains. Back-references from 16
// bytes back or more take a fixed number of pieces, so their changing
// lengths cost no mispredicted branch.
//
// No byte past the last one a command writes is ever changed: an early end,
// a skipped pair and a distance-0 run all leave the area as it was.
#include "bitmap/decompress.h"

#include <stddef.h>
#include <string.h>

#include "bitmap/format.h"

namespace {

inline void Copy2(uint8_t* to, const uint8_t* from) { memcpy(to, from, 2); }
inline void Copy4(uint8_t* to, const uint8_t* from) { memcpy(to, from, 4); }
inline void Copy8(uint8_t* to, const uint8_t* from) { memcpy(to, from, 8); }
inline void Copy16(uint8_t* to, const uint8_t* from) { memcpy(to, from, 16); }

// Copies n bytes (kPiece to 2 kPiece) as a head and a tail piece that
// overlap in the middle; both are read before either is written.
template <size_t kPiece>
inline void CopyHeadAndTail(uint8_t* to, const uint8_t* from, size_t n)
{
    uint8_t head[kPiece], tail[kPiece];
    memcpy(head, from, kPiece);
    memcpy(tail, from + n - kPiece, kPiece);
    memcpy(to, head, kPiece);
    memcpy(to + n - kPiece, tail, kPiece);
}

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
        CopyHeadAndTail<8>(to, from, n);
    } else if (n >= 4) {
        CopyHeadAndTail<4>(to, from, n);
    } else if (n >= 2) {
        CopyHeadAndTail<2>(to, from, n);
    } else {
        to[0] = from[0];
    }
}

// Stores n bytes (2 or more) of a pattern whose period (1, 2 or 4 bytes)
// divides both 16 and n; word holds the pattern repeated to 16 bytes. Every
// store starts a multiple of the period after to, so all are in phase, and
// none passes to + n.
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
        Copy2(to + n - 2, word);
    }
}

// Where the piece of a run copy meant for offset at goes: moved back to
// end where the last piece (at offset last) ends, if it would pass it.
constexpr size_t RunPiece(size_t at, size_t last)
{
    return at < last ? at : last;
}

// Copies a run of 4 to 16 bytes from at least 16 bytes back as four 4-byte
// pieces, the later ones moved back to end at the run's end, so that no
// byte after it is touched and the run's length costs no branch.
inline void CopyShortRun(uint8_t* to, const uint8_t* from, size_t length)
{
    // Written out: left as a loop, the compiler kept its counter and branch.
    const size_t last = length - 4, second = RunPiece(4, last), third = RunPiece(8, last);
    Copy4(to, from);
    Copy4(to + second, from + second);
    Copy4(to + third, from + third);
    Copy4(to + last, from + last);
}

// Copies a run of 16 to 80 bytes from at least 16 bytes back, as five
// 16-byte pieces in order, the later ones moved back to end at the run's
// end: each piece reads only bytes that are final before it is written, so
// a piece that is copied twice writes the same bytes twice.
inline void CopyLongRun(uint8_t* to, const uint8_t* from, size_t length)
{
    const size_t last = length - 16, second = RunPiece(16, last), third = RunPiece(32, last),
                 fourth = RunPiece(48, last);
    Copy16(to, from);
    Copy16(to + second, from + second);
    Copy16(to + third, from + third);
    Copy16(to + fourth, from + fourth);
    Copy16(to + last, from + last);
}

// A back-reference from 16 bytes back or more inside a group whose worst
// case fits: without a branch on whether the run is odd, the literal that
// follows an odd run is stored over the byte after an even run as that byte
// stands (the group keeps a byte to spare for it). kLong: the run is known
// to be 16 bytes or longer.
template <bool kLong>
inline void CopyFarRun(uint8_t* p, size_t distance, size_t length, const uint8_t* literal)
{
    if (!kLong && length < 16)
        CopyShortRun(p, p - distance, length + (length & 1));
    else
        CopyLongRun(p, p - distance, length);
    p[length] = *((length & 1) ? literal : p + length);
}

// The back-reference copy: byte i of the run becomes the byte at
// to + i - distance, read after bytes 0 to i - 1 have been written.
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
    if (distance >= length) {
        CopyExact(to, from, length);  // no overlap: any order gives the same bytes
        return;
    }
    if (distance == 0)
        return;  // every byte is copied onto itself
    if (distance == 1) {
        // The last byte, length times: the commonest short distance by far
        // (runs of one shade), stored in pieces rather than a byte at a time,
        // each of which would wait for the one before.
        uint8_t word[16];
        memset(word, to[-1], sizeof word);
        FillPattern(to, word, length);
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

// One pair code as the decoder runs it. Two-byte codes: byte i is read at
// offset[i] from a base and then add[i] is added; the base is the stream
// just after the code when stream[i] is all ones (offset: the operand's
// index), else the byte being written (offset: minus the distance). The
// base is picked with a mask, not a branch: which codes come next is what a
// picture decides, and a branch on it would be mispredicted. Back-references:
// the copy length and the two high bits of the distance; for the fixed
// forms also where CopyShortRun's last three pieces go for their run and
// literal, worked out here once rather than at every code. Sixteen bytes a
// row, so that a row's place is the code shifted.
struct alignas(16) PairOp {
    PairCodeKind kind;
    uint8_t operands;
    int8_t stream[2];
    int8_t offset[2];
    uint8_t add[2];
    uint8_t length;
    uint8_t distanceHigh;
    uint8_t skips;  // a byte of the pair is left as it was (distance 0)
    uint8_t piece[3];
};
static_assert(sizeof(PairOp) == 16, "a row of the pair-code table is 16 bytes");

// The first operand m of the long form from which its run is 16 bytes or longer.
const unsigned kLongRunOf16 = 4 * (16 - 3);
static_assert(LongCopyLength(kLongRunOf16) == 16, "the long form's run grows by one every four values of m");

// a when mask is 0, b when it is all ones: without a branch.
inline const uint8_t* Select(const uint8_t* a, const uint8_t* b, int8_t mask)
{
    const uintptr_t x = reinterpret_cast<uintptr_t>(a), y = reinterpret_cast<uintptr_t>(b);
    return reinterpret_cast<const uint8_t*>(x ^ ((x ^ y) & static_cast<uintptr_t>(static_cast<intptr_t>(mask))));
}

constexpr PairOp MakePairOp(unsigned code)
{
    const PairCodeRule rule = DescribePairCode(code);
    PairOp op{rule.kind, rule.operands, {0, 0}, {0, 0}, {rule.first.add, rule.second.add}, 0,
              static_cast<uint8_t>(code & 3), 0, {0, 0, 0}};
    op.stream[0] = static_cast<int8_t>(rule.first.operand ? -1 : 0);
    op.stream[1] = static_cast<int8_t>(rule.second.operand ? -1 : 0);
    op.offset[0] = static_cast<int8_t>(rule.first.operand ? 0 : -int(rule.first.distance));
    op.offset[1] = static_cast<int8_t>(rule.second.operand ? rule.first.operand : -int(rule.second.distance));
    if (rule.kind == kPairFixedReference) {
        op.length = static_cast<uint8_t>(FixedCopyLength(code));
        const size_t last = op.length + (op.length & 1) - 4;
        op.piece[0] = static_cast<uint8_t>(RunPiece(4, last));
        op.piece[1] = static_cast<uint8_t>(RunPiece(8, last));
        op.piece[2] = static_cast<uint8_t>(last);
    }
    op.skips = rule.kind == kPairTwoBytes && ((!rule.first.operand && rule.first.distance == 0) ||
                                              (!rule.second.operand && rule.second.distance == 0));
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
                          const uint8_t* sourceEnd, uint8_t* skipped)
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
    distance += s[0];
    if (!kChecked && distance >= 16) {
        CopyFarRun<false>(p, distance, length, s + 1);
    } else {
        *skipped |= distance == 0;
        CopyBack(p, distance, length);
        if (length & 1)
            p[length] = s[1];
    }
    *stream = *stream + operands;
    *position = p + written;
    return true;
}

// A fixed-form back-reference from 16 bytes back or more inside a group
// whose worst case fits: CopyShortRun and CopyFarRun with the pieces' places
// from the table. literal: where the run's literal is, if it has one.
inline void CopyFixedRun(const PairOp& op, uint8_t* p, size_t distance, const uint8_t* literal)
{
    const uint8_t* from = p - distance;
    Copy4(p, from);
    Copy4(p + op.piece[0], from + op.piece[0]);
    Copy4(p + op.piece[1], from + op.piece[1]);
    Copy4(p + op.piece[2], from + op.piece[2]);
    p[op.length] = *((op.length & 1) ? literal : p + op.length);
}

// A two-byte pair code; s points after the code. The second byte is worked
// out after the first is written.
inline void TwoBytePairCode(const PairOp& op, const uint8_t* s, uint8_t* p, uint8_t* skipped)
{
    p[0] = static_cast<uint8_t>(Select(p, s, op.stream[0])[op.offset[0]] + op.add[0]);
    p[1] = static_cast<uint8_t>(Select(p + 1, s, op.stream[1])[op.offset[1]] + op.add[1]);
    *skipped |= op.skips;
}

// Runs count pair codes from s, testing each against the bounds. Returns
// the stream position after the group, or null when decoding ends inside it.
const uint8_t* RunPairGroupChecked(const uint8_t* s, uint8_t** position, unsigned count, const uint8_t* limit,
                                   const uint8_t* sourceEnd, uint8_t* skipped)
{
    uint8_t* p = *position;
    bool fits = true;
    for (; fits && count != 0; --count) {
        if (Left(p, limit) < 2 || s == sourceEnd) {
            fits = false;
        } else {
            const PairOp& op = kPairOps.op[*s++];
            if (op.kind != kPairTwoBytes) {
                fits = OtherPairCode<true>(op, &s, &p, limit, sourceEnd, skipped);
            } else if (op.operands > Left(s, sourceEnd)) {
                fits = false;
            } else {
                TwoBytePairCode(op, s, p, skipped);
                s += op.operands;
                p += 2;
            }
        }
    }
    *position = p;
    return fits ? s : nullptr;
}

// Stream bytes each pair code takes, itself included; the long form without
// the literal that its first operand may ask for.
struct PairCodeSizes {
    uint8_t size[256];
    constexpr PairCodeSizes() : size()
    {
        for (unsigned code = 0; code < 256; ++code)
            size[code] = static_cast<uint8_t>(1 + DescribePairCode(code).operands);
    }
};
constexpr PairCodeSizes kPairCodeSizes;

// The unchecked path reads the stream eight bytes at a time from each code.
const size_t kWindow = 8;
static_assert(kMaxPairCodeInput < kWindow, "the code after the longest pair code lies in its window");
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the stream window is read as a little-endian word"
#endif

inline uint64_t LoadWindow(const uint8_t* s)
{
    uint64_t window;
    memcpy(&window, s, sizeof window);
    return window;
}

// Runs count pair codes from s without any test: the caller has made sure
// that the whole group fits at its worst in the area, with a byte to spare,
// and that a window can be read at each of its codes. Returns the stream
// position after the group.
//
// Each code's size is looked up from the code, and the next code is taken
// from the window read at this one rather than loaded from the new
// position: the lookup and a shift are then all that one code waits for
// before the next can start. Loading it again added a load's latency to
// every code, and a small picture's groups are long trains of codes that
// wait on nothing else (the demo tiles ran 25% faster without it).
const uint8_t* RunPairGroupUnchecked(const uint8_t* s, uint8_t** position, unsigned count, uint8_t* skipped)
{
    uint8_t* p = *position;
    unsigned code = s[0];
    for (; count != 0; --count) {
        const uint64_t window = LoadWindow(s);
        size_t size = kPairCodeSizes.size[code];
        if (code == kLongBackReference) {
            const unsigned m = static_cast<uint8_t>(window >> 8);
            const size_t distance = 256 * size_t(m & 3) + static_cast<uint8_t>(window >> 16);
            size_t length = LongCopyLength(m);
            if (m >= kLongRunOf16 && distance >= 16) {
                // A run of 16 or more from 16 bytes back or more: shaded
                // pictures are long trains of these, so they take the
                // shortest path there is. Even runs from one distance that
                // follow each other are one run from that distance, copied
                // as one: a row copied from the row above is a train of them.
                const size_t odd = length & 1;
                while (!odd && count > 1 && s[3] == kLongBackReference && ((s[4] ^ m) & 3) == 0 &&
                       (s[4] & 4) != 0 && s[5] == s[2]) {
                    s += 3;
                    --count;
                    length += LongCopyLength(s[1]);
                }
                if (length <= kMaxLongCopy)
                    CopyFarRun<true>(p, distance, length, s + 3);
                else
                    CopyBack(p, distance, length);
                s += 3 + odd;
                p += length + odd;
                code = s[0];
                continue;
            }
            size += length & 1;
        }
        const PairOp& op = kPairOps.op[code];
        // A back-reference's distance: the code's low bits and k.
        const size_t distance = 256 * size_t(code & 3) + static_cast<uint8_t>(window >> 8);
        if (op.kind == kPairFixedReference && distance >= 16) {
            // The commonest back-references of small pictures take a path
            // of their own, past the tests for the other kinds.
            CopyFixedRun(op, p, distance, s + 2);
            p += op.piece[2] + 4;
        } else if (op.kind != kPairTwoBytes) {
            const uint8_t* operands = s + 1;
            OtherPairCode<false>(op, &operands, &p, nullptr, nullptr, skipped);
        } else {
            TwoBytePairCode(op, s + 1, p, skipped);
            p += 2;
        }
        s += size;
        code = static_cast<uint8_t>(window >> (8 * size));
    }
    *position = p;
    return s;
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
    // The pattern is widened in a register: widening it through memory
    // would read back stores of another size, which stalls.
    uint64_t wide;
    if (kPeriod == 2) {
        uint16_t pattern;
        memcpy(&pattern, p - 2, 2);
        wide = pattern * 0x0001000100010001ull;
    } else {
        uint32_t pattern;
        memcpy(&pattern, p - 4, 4);
        wide = pattern * 0x0000000100000001ull;
    }
    uint8_t word[16];
    memcpy(word, &wide, 8);
    memcpy(word + 8, &wide, 8);
    FillPattern(p, word, length);
    *position = p + length;
    return s;
}

}  // namespace

DecodedArea DecompressPixels(const uint8_t* source, uint8_t* destination, const uint8_t* limit,
                             const uint8_t* sourceEnd)
{
    const uint8_t* s = source;
    uint8_t* p = destination;
    uint8_t skipped = 0;
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
            // As many pair codes at a time as fit in the bounds at their
            // worst run untested; only the last few, within a worst case of
            // either end, are tested one by one. A small picture's groups
            // mostly lie that close to the end of the area or the stream.
            size_t count = n - kQuadRepeatLast;
            while (count != 0) {
                // The worst case keeps a byte to spare, as CopyFarRun needs.
                const size_t room = Left(p, limit);
                size_t fit = room != 0 ? (room - 1) / kMaxPairCodeOutput : 0;
                // A window is read at each code, the last of which starts
                // at most a worst case before the group's end.
                const size_t left = Left(s, sourceEnd);
                const size_t codesRead = left >= kWindow ? (left - kWindow) / kMaxPairCodeInput + 1 : 0;
                if (fit > codesRead)
                    fit = codesRead;
                if (fit > count)
                    fit = count;
                if (fit == 0) {
                    s = RunPairGroupChecked(s, &p, static_cast<unsigned>(count), limit, sourceEnd, &skipped);
                    break;
                }
                s = RunPairGroupUnchecked(s, &p, static_cast<unsigned>(fit), &skipped);
                count -= fit;
            }
        }
    }
    return DecodedArea{p, skipped != 0};
}
