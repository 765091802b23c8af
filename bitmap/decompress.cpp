// decompress.cpp - the tBMP pixel stream decoder.
//
// One forward pass, no allocation. The portable loop (Run) takes every
// command and pair code, built twice from one template: checked, where
// every command and pair code is tested against the output limit and the
// end of the stream before it reads or writes, and unchecked, which tests
// each command and each group once and runs as many of a group's codes as
// fit at their worst without a test, and hands over to the checked loop at
// the first that does not clearly fit (near the ends of the area and the
// stream). Sizes are compared as "count > (size_t)(end - position)", which
// cannot wrap on a 32-bit target. On x86 with SSSE3 a second loop takes the
// short commands where their kinds follow no pattern, and hands every other
// command to the unchecked one (decompress_vector.cpp).
//
// No byte past the last one a command writes is ever changed, so an early
// end leaves the rest of the area as it was. The bytes that the stream
// leaves as they were are written as zero when the caller asks for that,
// which is what decoding over a cleared area gives, in the same pass.
//
// The figures below are MB/s of bench_decode's streams and pictures through
// this decoder, with and without the step each one justifies, side by side.
#include "bitmap/decompress.h"

#include <stddef.h>
#include <string.h>

#include "bitmap/decompress_loops.h"
#include "bitmap/format.h"

namespace {

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the stream window and the copy patterns are read as little-endian words"
#endif

template <typename T>
inline T Load(const uint8_t* from)
{
    T value;
    memcpy(&value, from, sizeof value);
    return value;
}

template <typename T>
inline void Store(uint8_t* to, T value)
{
    memcpy(to, &value, sizeof value);
}

inline void Copy8(uint8_t* to, const uint8_t* from) { memcpy(to, from, 8); }
inline void Copy16(uint8_t* to, const uint8_t* from) { memcpy(to, from, 16); }

// Bytes left between position and end; compared as "count > Left(...)",
// which cannot wrap, even where size_t is 32 bits wide.
inline size_t Left(const uint8_t* position, const uint8_t* end)
{
    return static_cast<size_t>(end - position);
}

// Copies a literal run of n bytes (even, 2 to 128). The fixed-size pieces
// overlap each other instead of running past the end, so no byte after
// to + n is touched.
inline void CopyRun(uint8_t* to, const uint8_t* from, size_t n)
{
    if (n >= 16) {
        size_t i = 0;
        for (; i + 16 <= n; i += 16)
            Copy16(to + i, from + i);
        if (i != n)
            Copy16(to + n - 16, from + n - 16);
    } else if (n >= 8) {
        Copy8(to, from);
        Copy8(to + n - 8, from + n - 8);
    } else if (n >= 4) {
        Store(to, Load<uint32_t>(from));
        Store(to + n - 4, Load<uint32_t>(from + n - 4));
    } else {
        Store(to, Load<uint16_t>(from));
    }
}

// Stores n bytes (2 or more) of a pattern whose period (2 or 4 bytes)
// divides both 8 and n; word holds the pattern repeated to 8 bytes. Every
// store starts a multiple of the period after to, so all are in phase, and
// none passes to + n.
inline void FillPattern(uint8_t* to, uint64_t word, size_t n)
{
    if (n >= 16) {
        uint8_t wide[16];
        Store(wide, word);
        Store(wide + 8, word);
        size_t i = 0;
        for (; i + 16 <= n; i += 16)
            Copy16(to + i, wide);
        if (i != n)
            Copy16(to + n - 16, wide);
    } else if (n >= 8) {
        Store(to, word);
        Store(to + n - 8, word);
    } else if (n >= 4) {
        Store(to, static_cast<uint32_t>(word));
        Store(to + n - 4, static_cast<uint32_t>(word));
    } else {
        Store(to, static_cast<uint16_t>(word));
    }
}

// The first eight bytes of a run from d (1 to 7) bytes back: the last d
// bytes repeated, which is what a run that reads its own output gives. The
// repeat is a multiplication by ones spaced d bytes apart, whose partial
// products never overlap. The bytes are read as two 4-byte pieces, each of
// which one store of the command before can hand on while still in flight;
// one 8-byte read over a 4-byte store and older bytes waits until that store
// reaches the cache (runs of 4 from 1 to 4 back: 520 MB/s that way, 880 so).
struct NearPattern {
    uint8_t low[8], high[8];  // the two pieces' shifts
    uint64_t keep[8], times[8];
    constexpr NearPattern() : low(), high(), keep(), times()
    {
        for (unsigned d = 1; d < 8; ++d) {
            low[d] = static_cast<uint8_t>(d < 4 ? 8 * (4 - d) : 0);
            high[d] = static_cast<uint8_t>(d <= 4 ? 32 : 8 * (d - 4));
            keep[d] = (uint64_t(1) << (8 * d)) - 1;
            for (unsigned at = 0; at < 8; at += d)
                times[d] |= uint64_t(1) << (8 * at);
        }
    }
};
constexpr NearPattern kNearPattern;

inline uint64_t RunHead(const uint8_t* p, size_t d)
{
    const uint64_t low = Load<uint32_t>(p - (d < 4 ? 4 : d)) >> kNearPattern.low[d];
    const uint64_t high = uint64_t(Load<uint32_t>(p - 4)) << kNearPattern.high[d];
    return ((low | high) & kNearPattern.keep[d]) * kNearPattern.times[d];
}

// The distance from which a run closer than 8 bytes repeats in 8-byte
// pieces: the smallest multiple of d that is at least 8.
const uint8_t kNearStride[8] = {0, 8, 8, 9, 8, 10, 12, 14};

// The eight bytes at the end of a run, with its last byte (byte at of
// tail) replaced by the literal when the run has one.
inline uint64_t WithLiteral(uint64_t tail, unsigned at, bool odd, uint8_t literal)
{
    const uint64_t mask = (uint64_t(0xFF) << (8 * at)) & (0 - uint64_t(odd));
    return (tail & ~mask) | ((uint64_t(literal) << (8 * at)) & mask);
}

// The copy of a back-reference: n bytes (even, 4 or more), byte i becoming
// the byte at p + i - d, read after bytes 0 to i - 1 are written; when odd,
// the last byte is the literal instead. From distance 0 the bytes keep what
// they held, or become zero (kZero). The last store always holds the last
// four or eight bytes, literal included: a command that reads the bytes just
// before it then finds them in one store still in flight, where a store of
// the literal of its own made each such read wait for both stores to reach
// the cache (runs of 4 from 4 back, each reading the last: 420 MB/s, 820 so).
template <bool kZero>
__attribute__((always_inline)) inline void CopyBack(uint8_t* p, size_t d, size_t n, bool odd, uint8_t literal)
{
    const uint8_t* from = p - d;
    if (d >= 16) {
        // Pictures' commonest copies: each piece reads only bytes written
        // before it, and the later pieces move back to end at the run's end,
        // so that the run's length costs no branch (with a loop of pieces
        // instead, line-art took 1290 MB/s, not 1570).
        if (n <= 16) {
            const size_t last = n - 4, second = last < 4 ? last : 4, third = last < 8 ? last : 8;
            Store(p, Load<uint32_t>(from));
            Store(p + second, Load<uint32_t>(from + second));
            Store(p + third, Load<uint32_t>(from + third));
            Store(p + last, static_cast<uint32_t>(WithLiteral(Load<uint32_t>(from + last), 3, odd, literal)));
            return;
        }
        if (n <= 72) {
            const size_t last = n < 24 ? 0 : n - 24, second = last < 16 ? last : 16, third = last < 32 ? last : 32;
            Copy16(p, from);
            Copy16(p + second, from + second);
            Copy16(p + third, from + third);
            Copy16(p + last, from + last);
        } else {
            // A train, 32 bytes a round (16 a round took gradient 19,300
            // MB/s, not 26,300).
            size_t i = 0;
            for (; i + 40 <= n; i += 32) {
                Copy16(p + i, from + i);
                Copy16(p + i + 16, from + i + 16);
            }
            i = i < n - 24 ? i : n - 24;
            Copy16(p + i, from + i);
            Copy16(p + n - 24, from + n - 24);
        }
        Store(p + n - 8, WithLiteral(Load<uint64_t>(from + n - 8), 7, odd, literal));
        return;
    }
    if (d == 0) {
        if (kZero)
            memset(p, 0, n);
        if (odd)
            p[n - 1] = literal;
        return;
    }
    if (n > 8 && d < 8) {
        // The head holds the first bytes of the d-periodic run; the rest
        // repeats from a multiple of d at least 8 back, whose bytes are
        // all written or lie in the pattern before p. (Asking the distance
        // first cost copy4-near a mispredicted branch a code: 490 MB/s, not
        // 800; the length, most streams repeat.)
        Store(p, RunHead(p, d));
        p += 8;
        n -= 8;
        d = kNearStride[d];
        from = p - d;
    }
    if (n <= 8 && d >= n) {
        // Copied as it stands: the run does not read its own bytes.
        if (n >= 4) {
            Store(p, Load<uint32_t>(from));
            Store(p + n - 4, static_cast<uint32_t>(WithLiteral(Load<uint32_t>(from + n - 4), 3, odd, literal)));
        } else {
            Store(p, static_cast<uint16_t>(WithLiteral(Load<uint16_t>(from), 1, odd, literal)));
        }
        return;
    }
    if (n <= 8) {
        // Closer: the head, stored as two pieces that meet.
        const uint64_t head = WithLiteral(RunHead(p, d), unsigned(n - 1), odd, literal);
        Store(p, static_cast<uint32_t>(head));
        Store(p + n - 4, static_cast<uint32_t>(head >> (8 * (n - 4))));
        return;
    }
    // From 8 to 15 back: 8-byte pieces in order up to the last eight
    // bytes, each reading only bytes written before it, then those eight.
    for (size_t i = 0; i + 8 < n; i += 8)
        Copy8(p + i, from + i);
    Store(p + n - 8, WithLiteral(Load<uint64_t>(from + n - 8), 7, odd, literal));
}

// One pair code as the decoder runs it. Two-byte codes: byte i is read at
// offset[i] from a base and then add[i] is added; the base is the stream
// just after the code when stream[i] is all ones (offset: the operand's
// index), else the byte being written (offset: minus the distance). The
// base is picked with a mask, not a branch: which codes come next is what
// a picture decides, and a branch on it is mispredicted (with one, families
// 1 and 5, which mix operands and earlier bytes, took 740 and 660 MB/s, not
// 880 and 860). A byte the code keeps reads itself; when kept bytes become
// zero it reads the code byte instead, plus what makes that zero, so that a
// kept pair costs what any other pair costs. Back-references: the copy
// length and the two high bits of the distance.
struct alignas(16) PairOp {
    PairCodeKind kind;
    int8_t stream[2];
    int8_t offset[2];
    uint8_t add[2];
    uint8_t length;
    uint8_t distanceHigh;
};

// a when mask is 0, b when it is all ones: without a branch.
inline const uint8_t* Select(const uint8_t* a, const uint8_t* b, int8_t mask)
{
    const uintptr_t x = reinterpret_cast<uintptr_t>(a), y = reinterpret_cast<uintptr_t>(b);
    return reinterpret_cast<const uint8_t*>(x ^ ((x ^ y) & static_cast<uintptr_t>(static_cast<intptr_t>(mask))));
}

constexpr PairOp MakePairOp(unsigned code, bool zero)
{
    const PairCodeRule rule = DescribePairCode(code);
    PairOp op{rule.kind, {0, 0}, {0, 0}, {rule.first.add, rule.second.add}, 0, static_cast<uint8_t>(code & 3)};
    const PairByteRule bytes[2] = {rule.first, rule.second};
    for (unsigned i = 0; i < 2; ++i) {
        const bool kept = rule.kind == kPairTwoBytes && !bytes[i].operand && bytes[i].distance == 0;
        if (bytes[i].operand) {
            op.stream[i] = -1;
            op.offset[i] = static_cast<int8_t>(i == 1 && rule.first.operand);
        } else if (kept && zero) {
            op.stream[i] = -1;
            op.offset[i] = -1;
            op.add[i] = static_cast<uint8_t>(256 - code);
        } else {
            op.offset[i] = static_cast<int8_t>(-int(bytes[i].distance));
        }
    }
    if (rule.kind == kPairFixedReference)
        op.length = static_cast<uint8_t>(FixedCopyLength(code));
    return op;
}

template <bool kZero>
struct PairOps {
    PairOp op[256];
    constexpr PairOps() : op()
    {
        for (unsigned code = 0; code < 256; ++code)
            op[code] = MakePairOp(code, kZero);
    }
};
template <bool kZero>
constexpr PairOps<kZero> kPairOps{};

// Stream bytes each pair code takes, itself included; the long form without
// the literal that its first operand may ask for. Apart from the rows of
// kPairOps, so that the next code's place is one load of a byte indexed by
// the code: that lookup is what a train of pair codes waits on (with the
// size in the rows, whose places are the code shifted, family 0 took 537
// MB/s, not 740).
struct PairCodeSizes {
    uint8_t size[256];
    constexpr PairCodeSizes() : size()
    {
        for (unsigned code = 0; code < 256; ++code)
            size[code] = static_cast<uint8_t>(1 + DescribePairCode(code).operands);
    }
};
constexpr PairCodeSizes kPairCodeSizes;

// The unchecked loop reads the stream eight bytes at a time from each
// command and pair code.
const size_t kWindow = 8;
static_assert(kMaxPairCodeInput + 1 < kWindow, "a group byte, its first code and the byte after it lie in one window");

// The first operand m of the long form from which its run is 16 bytes or longer.
const unsigned kLongRunOf16 = 4 * (16 - 3);
static_assert(LongCopyLength(kLongRunOf16) == 16, "the long form's run grows by one every four values of m");

// Room the unchecked loop keeps at a command: one pair code and a window
// after it, so that a group of one needs no test of its own. Literal runs
// and repeats test their own length.
const size_t kSourceMargin = kWindow + kMaxPairCodeInput;
const size_t kAreaMargin = kMaxPairCodeOutput;

// The first place from which the unchecked loop stops, end - margin, or
// from if that lies before it.
template <typename T>
T* StopBefore(T* from, T* end, size_t margin)
{
    return Left(from, end) > margin ? end - margin : from;
}

// Runs commands and pair codes from c until decoding ends or, when not
// kChecked, until a command may not fit within the bounds, which the
// checked loop then takes from there, or until a command begins at or
// after pause.
template <bool kZero, bool kChecked>
RunOutcome Run(DecodeCursor* c, const uint8_t* limit, const uint8_t* sourceEnd, const uint8_t* pause)
{
    const uint8_t* s = c->s;
    uint8_t* p = c->p;
    unsigned codes = c->codes;
    // Unchecked, two pointers tested per command.
    const uint8_t* const sourceStop = StopBefore(s, sourceEnd, kSourceMargin);
    const uint8_t* const sStop = pause < sourceStop ? pause : sourceStop;
    const uint8_t* const pStop = StopBefore<const uint8_t>(p, limit, kAreaMargin);
    // Unchecked: the byte at s, taken from the window read at the command
    // or code before rather than loaded from s, so that finding where the
    // next code is waits for no load (loading it, the families took 680
    // MB/s, not 900).
    unsigned next = kChecked || s == sourceEnd ? 0 : *s;
    bool ended = false;
    while (!ended) {
        const bool tested = codes == 0;
        if (tested) {
            if (kChecked ? s == sourceEnd : s >= sStop || p >= pStop)
                break;
            const uint64_t window = kChecked ? 0 : Load<uint64_t>(s);
            const unsigned n = kChecked ? *s : next;
            if (n <= kQuadRepeatLast) {
                if (n == kCommandEnd) {
                    ended = true;
                    break;
                }
                if (n <= kLiteralRunLast) {
                    const size_t length = 2 * size_t(n);
                    // Unchecked, a window must be left after the run.
                    if (length > Left(p, limit) || length + (kChecked ? 0 : kWindow) > Left(s + 1, sourceEnd))
                        break;
                    CopyRun(p, s + 1, length);
                    s += 1 + length;
                    p += length;
                    next = kChecked ? 0 : *s;
                    continue;
                }
                const bool pairs = n <= kPairRepeatLast;
                const size_t length = pairs ? 2 * size_t(n - kLiteralRunLast) : 4 * size_t(n - kPairRepeatLast);
                if (length > Left(p, limit))
                    break;
                const uint64_t word = pairs ? Load<uint16_t>(p - 2) * 0x0001000100010001ull
                                            : Load<uint32_t>(p - 4) * 0x0000000100000001ull;
                FillPattern(p, word, length);
                p += length;
                ++s;
                next = static_cast<uint8_t>(window >> 8);
                continue;
            }
            codes = n - kQuadRepeatLast;
            ++s;
            next = static_cast<uint8_t>(window >> 8);
        }
        // The group's codes. Unchecked, as many as fit at their worst in
        // both bounds, with a window readable at each; checked, one by one.
        // Right after the command's own test one code always fits, which
        // spares the groups of one code a test (every-kind: 379 to 394 MB/s).
        unsigned run = codes;
        if (!kChecked && (run > 1 || !tested)) {
            const size_t room = Left(p, limit), left = Left(s, sourceEnd);
            if (room < kMaxPairCodeOutput * run || left < kMaxPairCodeInput * run + kWindow) {
                const size_t byRoom = room / kMaxPairCodeOutput;
                const size_t byLeft = left >= kWindow ? (left - kWindow) / kMaxPairCodeInput + 1 : 0;
                run = static_cast<unsigned>(byRoom < byLeft ? byRoom : byLeft);
                if (run == 0)
                    break;
            }
        }
        codes -= run;
        unsigned code = next;
        for (; run != 0; --run) {
            uint64_t window = 0;
            if (kChecked) {
                if (Left(p, limit) < 2 || s == sourceEnd) {
                    ended = true;
                    break;
                }
                code = *s;
            } else {
                window = Load<uint64_t>(s);
            }
            const PairOp& op = kPairOps<kZero>.op[code];
            size_t size = kPairCodeSizes.size[code];
            if (op.kind == kPairTwoBytes || op.kind == kPairNibbles) {
                if (kChecked && size - 1 > Left(s + 1, sourceEnd)) {
                    ended = true;
                    break;
                }
                const uint8_t* operands = s + 1;
                if (op.kind == kPairTwoBytes) {
                    p[0] = static_cast<uint8_t>(Select(p, operands, op.stream[0])[op.offset[0]] + op.add[0]);
                    p[1] = static_cast<uint8_t>(Select(p + 1, operands, op.stream[1])[op.offset[1]] + op.add[1]);
                } else {
                    p[0] = static_cast<uint8_t>(p[-2] + op.add[0] * unsigned(operands[0] >> 4));
                    p[1] = static_cast<uint8_t>(p[-1] + op.add[1] * unsigned(operands[0] & 15));
                }
                p += 2;
            } else {
                // A back-reference: k and, for the long form first, m.
                size_t length = op.length, distanceHigh = op.distanceHigh;
                const uint8_t* k = s + 1;
                if (op.kind == kPairLongReference) {
                    if (kChecked && 2 > Left(s + 1, sourceEnd)) {
                        ended = true;
                        break;
                    }
                    const unsigned m = kChecked ? s[1] : static_cast<uint8_t>(window >> 8);
                    length = LongCopyLength(m);
                    distanceHigh = m & 3;
                    ++k;
                    size += length & 1;
                    const size_t distance = 256 * distanceHigh + (kChecked ? *k : static_cast<uint8_t>(window >> 16));
                    // Even runs from one distance that follow each other
                    // are one run from that distance, copied as one: a row
                    // copied from the row above is a train of them
                    // (gradient: 19,400 to 26,400 MB/s). Whether the next
                    // code is one is asked first: it is the test that
                    // pictures answer most alike.
                    if (!kChecked && run > 1 && s[3] == kLongBackReference && s[5] == s[2] &&
                        ((s[4] ^ m) & 3) == 0 && ((s[4] & m) & 4) != 0 && m >= kLongRunOf16 && distance >= 16) {
                        while (run > 1 && s[3] == kLongBackReference && ((s[4] ^ m) & 3) == 0 && (s[4] & 4) != 0 &&
                               s[5] == s[2]) {
                            s += 3;
                            --run;
                            length += LongCopyLength(s[1]);
                        }
                        CopyBack<kZero>(p, distance, length, false, 0);
                        p += length;
                        s += 3;
                        code = *s;
                        continue;
                    }
                }
                const size_t written = length + (length & 1);
                if (kChecked && (written > Left(p, limit) || size - 1 > Left(s + 1, sourceEnd))) {
                    ended = true;
                    break;
                }
                const size_t distance = 256 * distanceHigh + *k;
                // An odd run copies one byte more, which the literal replaces.
                CopyBack<kZero>(p, distance, written, (length & 1) != 0, k[length & 1]);
                p += written;
            }
            s += size;
            code = static_cast<uint8_t>(window >> (8 * size));
        }
        next = code;
    }
    c->s = s;
    c->p = p;
    c->codes = codes;
    if (ended || kChecked)
        return kRunEnded;
    return codes == 0 && s >= pause && s < sourceStop && p < pStop ? kRunPaused : kRunNearEnd;
}

}  // namespace

template <bool kZero>
uint8_t* DecodePortable(const uint8_t* source, uint8_t* destination, const uint8_t* limit, const uint8_t* sourceEnd)
{
    DecodeCursor c{source, destination, 0};
    if (Run<kZero, false>(&c, limit, sourceEnd, sourceEnd) != kRunEnded)
        Run<kZero, true>(&c, limit, sourceEnd, sourceEnd);
    return c.p;
}
template uint8_t* DecodePortable<false>(const uint8_t*, uint8_t*, const uint8_t*, const uint8_t*);
template uint8_t* DecodePortable<true>(const uint8_t*, uint8_t*, const uint8_t*, const uint8_t*);

template <bool kZero>
RunOutcome RunUnchecked(DecodeCursor* c, const uint8_t* limit, const uint8_t* sourceEnd, const uint8_t* pause)
{
    return Run<kZero, false>(c, limit, sourceEnd, pause);
}
template RunOutcome RunUnchecked<false>(DecodeCursor*, const uint8_t*, const uint8_t*, const uint8_t*);
template RunOutcome RunUnchecked<true>(DecodeCursor*, const uint8_t*, const uint8_t*, const uint8_t*);

template <bool kZero>
void RunChecked(DecodeCursor* c, const uint8_t* limit, const uint8_t* sourceEnd)
{
    Run<kZero, true>(c, limit, sourceEnd, sourceEnd);
}
template void RunChecked<false>(DecodeCursor*, const uint8_t*, const uint8_t*);
template void RunChecked<true>(DecodeCursor*, const uint8_t*, const uint8_t*);

#if defined(VELDER_VECTOR_DECODER)
// Here, not beside the loop: that file is built for SSSE3 throughout.
bool VectorLoopAvailable()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3");
}
#endif

uint8_t* DecompressPixels(const uint8_t* source, uint8_t* destination, const uint8_t* limit,
                          const uint8_t* sourceEnd, KeptBytes kept)
{
#if defined(VELDER_VECTOR_DECODER)
    if (VectorLoopAvailable())
        return kept == kKeptAsZero ? DecodeWithVectorLoop<true>(source, destination, limit, sourceEnd)
                                   : DecodeWithVectorLoop<false>(source, destination, limit, sourceEnd);
#endif
    return kept == kKeptAsZero ? DecodePortable<true>(source, destination, limit, sourceEnd)
                               : DecodePortable<false>(source, destination, limit, sourceEnd);
}
