// decompress_vector.cpp - the branch-free loop for short commands, built
// with SSSE3 and run only where the processor has it.
//
// The portable loop (decompress.cpp) branches on the kind of every command
// and pair code. Where the kinds follow a pattern the processor learns, that
// is as fast as this decoder gets; where they do not, nearly every command
// costs a mispredicted branch. This loop takes every short command the same
// way: literal runs of 2 or 4 bytes, repeats of up to 16 bytes, and groups of
// one two-byte code or one back-reference of up to 16 bytes from up to 16
// back. Each is one table row: which of the 16 bytes before p (kept in a
// register), which stream bytes and which constants make the next 16,
// shuffled into one register and stored so that it ends at the command's
// last byte. The bytes before the command that the store covers are written
// again with what they hold, so no byte outside the command changes. Every
// other command goes to the portable loop, one at a time.
//
// Which loop runs is decided every 32 commands: this one while the kinds of
// the commands keep changing; the portable one while they repeat with a
// period of one or two, or while this one hands on too many commands, for
// 1 KiB of stream and then twice as much each time it is chosen again.
//
// Figures, bench_decode's 1024 x 1024 streams (MB/s, best of 5, x86-64):
// short commands of every kind 1,100 with this loop, 390 without;
// mixed repeats 1,550 against 690. Where the kinds repeat the portable loop
// stays: a 2-byte literal and one pair code, over and over, 720 (in this
// loop alone, 630). Every other stream and picture: the same within 3%.
#include "bitmap/decompress_loops.h"

#include <stddef.h>
#include <string.h>
#include <tmmintrin.h>

#include "bitmap/format.h"

namespace {

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the stream window is read as a little-endian word"
#endif

// One command, or a group of one pair code, as this loop runs it. Its
// index is the command byte, or 256 plus the pair code of a group of one.
struct Entry {
    uint8_t length;   // bytes written
    uint8_t kMask;    // 0xFF for a back-reference: its k is the distance's low byte
    uint16_t dOr;     // the distance's high bits; kNotHere when this loop does not run it
    uint16_t kind;    // the portable loop's way through it: a command's own, or the code's
    uint16_t unused;
    uint32_t row;     // where its history indexes are in the table (plus 256 per byte of distance)
    uint32_t unused2;
};
static_assert(sizeof(Entry) == 16, "entries are indexed by 16 times the index, as the vector rows are");

// A distance no command here reaches: it fails the test for a near one.
const uint16_t kNotHere = 0x8000;
// The farthest back a command here reads: all 16 bytes of the history.
const unsigned kNear = 16;
// Two-byte codes take one kind: the portable loop runs them all alike.
const uint16_t kTwoByteKind = 0x1FF;

// Stream bytes each command here may take, and the bytes it may read past
// its start: the history rows are 16 bytes, read from 1 or 2 bytes on.
const size_t kMaxInput = 5, kStreamReach = 2 + 16;
const unsigned kShortLiteralPairs = 2;  // longer: the next command's first two bytes would not be in the window

// The shuffles read their rows as aligned 16-byte words.
struct alignas(64) Tables {
    Entry entry[512];
    uint8_t input8[512];     // stream bytes taken, times 8
    uint8_t fromStream[512][16];  // the stream bytes (from 1 or 2 past the command) in each place of the result
    uint8_t add[512][16];    // added modulo 256
    uint8_t fromArea[512][16];    // bytes kept as the area held them (from p on): kept bytes as they were
    // History indexes for a copy from d (0 to 16) back of `length` bytes,
    // with or without a trailing literal: [literal][d][length / 2]; d = 0
    // takes nothing from the history.
    uint8_t nearRows[2][kNear + 1][16][16];
    uint8_t codeRows[256][16];  // two-byte codes
};

const uint32_t kNearRows = offsetof(Tables, nearRows);
const uint32_t kCodeRows = offsetof(Tables, codeRows);

constexpr uint32_t NearRow(unsigned literal, unsigned distance, unsigned length)
{
    return kNearRows + ((literal * (kNear + 1) + distance) * 16 + length / 2) * 16;
}

struct TableBuilder : Tables {
    constexpr TableBuilder() : Tables()
    {
        for (unsigned literal = 0; literal < 2; ++literal)
            for (unsigned d = 0; d <= kNear; ++d)
                for (unsigned length = 0; length <= 16; length += 2)
                    for (unsigned i = 0; i < 16; ++i) {
                        // The result's byte i is the history's byte length + i
                        // while that lies in the history, else byte j of the run.
                        const unsigned j = i + length - 16;
                        uint8_t index = i + length < 16 ? uint8_t(i + length)
                                        : d == 0      ? uint8_t(0x80)
                                                      : uint8_t(16 - d + j % d);
                        if (literal && i == 15)
                            index = 0x80;
                        nearRows[literal][d][length / 2][i] = index;
                    }
        for (unsigned i = 0; i < 512; ++i) {
            entry[i].dOr = kNotHere;
            for (unsigned b = 0; b < 16; ++b)
                fromStream[i][b] = fromArea[i][b] = 0x80;
        }
        for (unsigned n = 1; n <= kShortLiteralPairs; ++n) {
            Command(n, 2 * n, 1 + 2 * n, NearRow(0, 0, 2 * n));
            for (unsigned j = 0; j < 2 * n; ++j)
                fromStream[n][16 - 2 * n + j] = uint8_t(j);
        }
        for (unsigned c = 1; c <= 8; ++c)
            Command(kLiteralRunLast + c, 2 * c, 1, NearRow(0, 2, 2 * c));
        for (unsigned c = 1; c <= 4; ++c)
            Command(kPairRepeatLast + c, 4 * c, 1, NearRow(0, 4, 4 * c));
        for (unsigned code = 0; code < 256; ++code)
            Code(code);
    }

    constexpr void Command(unsigned n, unsigned length, unsigned input, uint32_t row)
    {
        Entry& e = entry[n];
        e.length = uint8_t(length);
        e.dOr = 0;
        e.kind = uint16_t(n);
        e.row = row;
        input8[n] = uint8_t(8 * input);
    }

    // A group of one code: the group byte, the code and its operands, which
    // are the stream bytes from 2 past the command on.
    constexpr void Code(unsigned code)
    {
        const unsigned i = 256 + code;
        const PairCodeRule rule = DescribePairCode(code);
        Entry& e = entry[i];
        input8[i] = uint8_t(8 * (2 + rule.operands));
        if (rule.kind == kPairFixedReference) {
            const unsigned copy = FixedCopyLength(code), odd = copy & 1;
            e.length = uint8_t(copy + odd);
            e.kMask = 0xFF;
            e.dOr = uint16_t((code & 3) << 8);
            e.kind = uint16_t(i);
            e.row = NearRow(odd, 0, copy + odd);
            if (odd)
                fromStream[i][15] = 1;  // after k
            return;
        }
        if (rule.kind != kPairTwoBytes)
            return;  // the nibble codes and the long form
        e.length = 2;
        e.kind = kTwoByteKind;
        if ((code & 0xF0) == kPairBack) {  // the pair L pairs back
            if (2 * (code & 15) > kNear)
                return;
            e.dOr = 0;
            e.row = NearRow(0, 2 * (code & 15), 2);
            if ((code & 15) == 0)
                fromArea[i][14] = 0, fromArea[i][15] = 1;
            return;
        }
        e.dOr = 0;
        e.row = kCodeRows + 16 * code;
        uint8_t* row = codeRows[code];
        for (unsigned b = 0; b < 14; ++b)
            row[b] = uint8_t(b + 2);
        const PairByteRule bytes[2] = {rule.first, rule.second};
        unsigned operand = 0;
        for (unsigned b = 0; b < 2; ++b) {
            uint8_t history = 0x80, stream = 0x80;
            if (bytes[b].operand)
                stream = uint8_t(operand++);
            else if (bytes[b].distance == 0)
                fromArea[i][14 + b] = uint8_t(b);
            else if (b == 1 && bytes[b].distance == 1)  // the first byte again, which takes nothing added
                history = row[14], stream = fromStream[i][14];
            else
                history = uint8_t(16 + b - bytes[b].distance);
            row[14 + b] = history;
            fromStream[i][14 + b] = stream;
            add[i][14 + b] = bytes[b].add;
        }
    }
};

constexpr TableBuilder kBuilt;
const Tables& kTables = kBuilt;

inline uint64_t Load64(const uint8_t* from)
{
    uint64_t value;
    memcpy(&value, from, sizeof value);
    return value;
}

inline __m128i Load128(const uint8_t* from)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
}

// A row of the table, at a multiple of 16 bytes.
inline __m128i Row(const uint8_t* table, size_t offset)
{
    return _mm_load_si128(reinterpret_cast<const __m128i*>(table + offset));
}

// Commands per decision, and the stream bytes the portable loop runs when
// it is chosen before this loop looks again: twice as many each time it is
// chosen again, up to the most, so that pictures of long commands are
// seldom looked at.
const unsigned kWindowCommands = 32;
const size_t kPortableBytes = 1024, kMostPortableBytes = 64 * 1024;
// At most this many commands in a window whose kind differs from that of
// the one two before: the kinds repeat, and the portable loop predicts them.
const unsigned kRepeating = 4;
// More than this many commands in a window handed on: the portable loop.
const unsigned kHandedOn = 8;

// Where this loop stands: the stream and area positions, the 16 bytes
// before p, the 8 stream bytes from s on (taken from the word read at the
// command before, so that finding the next command waits for no load), and
// the kinds of the last two commands with a count of changes.
struct Place {
    const uint8_t* s;
    uint8_t* p;
    __m128i history;
    uint64_t window;
    unsigned kind1, kind2, changes;
};

// Runs up to `budget` commands here from the place, and returns how many:
// fewer when it reaches one that is not for this loop. The caller has made
// sure that all of them fit (kMaxInput stream bytes and 16 area bytes
// each), and that 16 area bytes lie before p.
template <bool kZero>
__attribute__((always_inline)) inline size_t RunShort(Place& at, size_t budget)
{
    const uint8_t* const table = reinterpret_cast<const uint8_t*>(&kTables);
    const uint8_t* s = at.s;
    uint8_t* p = at.p;
    __m128i history = at.history;
    uint64_t window = at.window;
    size_t ran = 0;
    for (; ran < budget; ++ran) {
        const uint64_t word = Load64(s);
        const size_t first = uint8_t(window), second = uint8_t(window >> 8);
        if (first > kQuadRepeatLast + 1)
            break;
        // A group of one code, or a command: selected, not branched on.
        size_t input8 = table[offsetof(Tables, input8) + first];
        size_t row = 16 * first;
        const size_t codeInput8 = table[offsetof(Tables, input8) + 256 + second];
        const size_t codeRow = 16 * (256 + second);
        size_t one = 0;
        __asm__("cmp %[group], %[first]\n\t"
                "cmove %[codeInput8], %[input8]\n\t"
                "cmove %[codeRow], %[row]\n\t"
                "sete %b[one]"
                : [input8] "+r"(input8), [row] "+r"(row), [one] "+q"(one)
                : [first] "r"(first), [group] "i"(kQuadRepeatLast + 1), [codeInput8] "r"(codeInput8),
                  [codeRow] "r"(codeRow)
                : "cc");
        const Entry& e = *reinterpret_cast<const Entry*>(table + offsetof(Tables, entry) + row);
        const size_t d = (s[2] & e.kMask) | e.dOr;
        if (d > kNear || (!kZero && d == 0 && e.kMask != 0))
            break;  // a far one; a copy from 0 back keeps bytes as they were
        at.changes += e.kind != at.kind2;
        at.kind2 = at.kind1;
        at.kind1 = e.kind;
        const size_t length = e.length;
        __m128i out = _mm_or_si128(
            _mm_shuffle_epi8(history, Row(table, e.row + 256 * d)),
            _mm_shuffle_epi8(Load128(s + 1 + one), Row(table, offsetof(Tables, fromStream) + row)));
        if (!kZero)
            out = _mm_or_si128(out, _mm_shuffle_epi8(Load128(p), Row(table, offsetof(Tables, fromArea) + row)));
        history = _mm_add_epi8(out, Row(table, offsetof(Tables, add) + row));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + length - 16), history);
        p += length;
        s += input8 >> 3;
        window = word >> input8;
    }
    at.s = s;
    at.p = p;
    at.history = history;
    at.window = window;
    return ran;
}

// Commands that fit here from the place, up to `most`.
inline size_t Budget(const Place& at, const uint8_t* limit, const uint8_t* sourceEnd, size_t most)
{
    const size_t streamLeft = size_t(sourceEnd - at.s), areaLeft = size_t(limit - at.p);
    size_t budget = most;
    if (streamLeft < kStreamReach + kMaxInput * budget)
        budget = streamLeft < kStreamReach + kMaxInput ? 0 : (streamLeft - kStreamReach) / kMaxInput;
    if (areaLeft < 16 * budget)
        budget = areaLeft / 16;
    return budget;
}

}  // namespace

template <bool kZero>
uint8_t* DecodeWithVectorLoop(const uint8_t* source, uint8_t* destination, const uint8_t* limit,
                              const uint8_t* sourceEnd)
{
    DecodeCursor c{source, destination, 0};
    size_t portable = kPortableBytes;  // stream bytes for the portable loop next
    size_t backOff = kPortableBytes;   // the same when it is chosen next
    for (;;) {
        if (portable != 0) {
            const size_t left = size_t(sourceEnd - c.s);
            const RunOutcome outcome =
                RunUnchecked<kZero>(&c, limit, sourceEnd, left > portable ? c.s + portable : sourceEnd);
            if (outcome == kRunEnded)
                return c.p;
            if (outcome == kRunNearEnd)
                break;
        }
        portable = 1;
        if (c.p - destination < 16)
            continue;  // the first store would reach before the area
        // A window of commands here, from a command boundary.
        Place at{c.s, c.p, Load128(c.p - 16), Load64(c.s), 0, 0, 0};
        unsigned done = 0, handedOn = 0;
        for (;;) {
            const size_t budget = Budget(at, limit, sourceEnd, kWindowCommands - done);
            if (budget == 0)
                break;  // at the end of the window, or near the ends: the portable loop finds them
            const size_t ran = RunShort<kZero>(at, budget);
            done += unsigned(ran);
            if (ran == budget)
                continue;
            // One command for the portable loop, then back here.
            c.s = at.s;
            c.p = at.p;
            if (++handedOn > kHandedOn)
                break;
            const RunOutcome outcome = RunUnchecked<kZero>(&c, limit, sourceEnd, c.s + 1);
            if (outcome == kRunEnded)
                return c.p;
            if (outcome == kRunNearEnd)
                goto nearEnd;
            ++done;
            at = Place{c.s, c.p, Load128(c.p - 16), Load64(c.s), at.kind1, at.kind2, at.changes};
        }
        c.s = at.s;
        c.p = at.p;
        if (done < kWindowCommands && handedOn <= kHandedOn)
            continue;  // near the ends
        if (handedOn > kHandedOn || at.changes <= kRepeating) {
            portable = backOff;
            backOff = backOff < kMostPortableBytes ? 2 * backOff : kMostPortableBytes;
        } else {
            portable = 0;
            backOff = kPortableBytes;
        }
    }
nearEnd:
    RunChecked<kZero>(&c, limit, sourceEnd);
    return c.p;
}

template uint8_t* DecodeWithVectorLoop<false>(const uint8_t*, uint8_t*, const uint8_t*, const uint8_t*);
template uint8_t* DecodeWithVectorLoop<true>(const uint8_t*, uint8_t*, const uint8_t*, const uint8_t*);
