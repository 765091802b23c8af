// bench_streams.cpp - see bench_streams.h.
#include "tests/support/bench_streams.h"

#include "bitmap/format.h"
#include "tests/support/random.h"

namespace {

typedef std::vector<uint8_t> Bytes;

// Which code of a stream's second half is replaced by one that keeps its
// pair, with the same stream bytes and the same output.
enum Kept {
    kNone,
    kPairZero,       // a code without operands becomes 0x00
    kUnassigned,     // a code without operands becomes 0xFD
    kSecondKept,     // a two-byte code with one operand becomes 0x58
    kDistanceZero,   // an even long copy comes from distance 0
};

// Room kept for the literal runs that fill the area exactly at the end.
const size_t kReserve = 512;

struct Writer {
    Random random;
    size_t room;  // output bytes still to write
    Kept kept;
    size_t half;
    Bytes out;

    Writer(uint32_t seed, size_t areaSize, Kept kept_)
        : random{seed}, room(areaSize), kept(kept_), half(areaSize / 2) {}

    uint8_t Byte() { return static_cast<uint8_t>(random.Next()); }
    unsigned Between(unsigned lo, unsigned hi) { return lo + random.Below(hi - lo + 1); }
    bool Going() const { return room >= kReserve + kMaxPairCodeOutput; }

    // Replaces the code at g[at] (operands after it) if it is the first one
    // past the middle of the area that the stream's kind of kept code fits.
    void MaybeKeep(Bytes& g, size_t at)
    {
        if (kept == kNone || room > half)
            return;
        const PairCodeRule rule = DescribePairCode(g[at]);
        const bool twoBytes = rule.kind == kPairTwoBytes;
        if ((kept == kPairZero || kept == kUnassigned) && twoBytes && rule.operands == 0)
            g[at] = kept == kPairZero ? 0x00 : 0xFD;
        else if (kept == kSecondKept && twoBytes && rule.operands == 1)
            g[at] = 0x58;
        else if (kept == kDistanceZero && g[at] == kLongBackReference && (g[at + 1] & 4) != 0) {
            g[at + 1] &= 0xFC;
            g[at + 2] = 0;
        } else {
            return;
        }
        kept = kNone;
    }

    void Literal()
    {
        out.insert(out.end(), {0x01, Byte(), Byte()});
        room -= 2;
    }
    void Command(uint8_t n, size_t written)
    {
        out.push_back(n);
        room -= written;
    }

    // One group of up to count codes, each made by code(g) which appends a
    // code and its operands and returns the bytes it writes.
    template <typename Code>
    void Group(unsigned count, Code code)
    {
        Bytes g;
        unsigned n = 0;
        for (; n < count && room >= kReserve + kMaxPairCodeOutput; ++n) {
            const size_t at = g.size();
            room -= code(g);
            MaybeKeep(g, at);
        }
        if (n == 0)
            return;
        out.push_back(static_cast<uint8_t>(kQuadRepeatLast + n));
        out.insert(out.end(), g.begin(), g.end());
    }

    Bytes Finish()
    {
        while (room != 0) {
            const size_t pairs = room / 2 < kMaxLiteralPairs ? room / 2 : kMaxLiteralPairs;
            out.push_back(static_cast<uint8_t>(pairs));
            for (size_t i = 0; i < 2 * pairs; ++i)
                out.push_back(Byte());
            room -= 2 * pairs;
        }
        out.push_back(kCommandEnd);
        return out;
    }
};

bool KeepsPair(const PairCodeRule& rule)
{
    return rule.kind == kPairTwoBytes && ((!rule.first.operand && rule.first.distance == 0) ||
                                          (!rule.second.operand && rule.second.distance == 0));
}

// Appends code with random operands; a back-reference comes from a distance
// in [near, far] (never 0), the long form's m below mBelow. Returns the
// bytes it writes.
size_t AppendCode(Writer& w, Bytes& g, uint8_t code, unsigned near = 1, unsigned far = kMaxBackDistance,
                  unsigned mBelow = 256)
{
    const PairCodeRule rule = DescribePairCode(code);
    g.push_back(code);
    if (rule.kind == kPairTwoBytes || rule.kind == kPairNibbles) {
        for (unsigned i = 0; i < rule.operands; ++i)
            g.push_back(w.Byte());
        return 2;
    }
    const unsigned distance = w.Between(near, far);
    unsigned length;
    if (rule.kind == kPairLongReference) {
        const unsigned m = (w.random.Below(mBelow) & 0xFC) | (distance >> 8);
        g.push_back(static_cast<uint8_t>(m));
        length = LongCopyLength(m);
    } else {
        g.back() = static_cast<uint8_t>((code & 0xFC) | (distance >> 8));
        length = FixedCopyLength(code);
    }
    g.push_back(static_cast<uint8_t>(distance));
    if (length & 1)
        g.push_back(w.Byte());
    return length + (length & 1);
}

// A random code that pred accepts and that does not keep its pair.
template <typename Pred>
uint8_t PickCode(Writer& w, Pred pred)
{
    for (;;) {
        const uint8_t code = w.Byte();
        const PairCodeRule rule = DescribePairCode(code);
        if (pred(code, rule) && !KeepsPair(rule))
            return code;
    }
}

bool TwoByteCode(uint8_t, const PairCodeRule& rule)
{
    return rule.kind == kPairTwoBytes || rule.kind == kPairNibbles;
}
bool Reference(uint8_t, const PairCodeRule& rule)
{
    return rule.kind == kPairFixedReference || rule.kind == kPairLongReference;
}

// A 2-byte literal, then a group of one two-byte code, over and over.
void LiteralAndCode(Writer& w)
{
    while (w.Going()) {
        w.Literal();
        w.Group(1, [&](Bytes& g) { return AppendCode(w, g, PickCode(w, TwoByteCode)); });
    }
}

// Short commands of every kind in random order: 2-byte literals, single
// pair and four-byte repeats, groups of one two-byte code or of one copy of
// at most 14 bytes from 1 to 15 back.
void EveryKind(Writer& w)
{
    while (w.Going()) {
        switch (w.random.Below(5)) {
        case 0: w.Literal(); break;
        case 1: w.Command(kLiteralRunLast + 1, 2); break;
        case 2: w.Command(kPairRepeatLast + 1, 4); break;
        case 3: w.Group(1, [&](Bytes& g) { return AppendCode(w, g, PickCode(w, TwoByteCode)); }); break;
        default:
            w.Group(1, [&](Bytes& g) { return AppendCode(w, g, PickCode(w, Reference), 1, 15, 32); });
        }
    }
}

// Pair and four-byte repeats of 1 to 3 copies, and 2-byte literals, mixed.
void MixedRepeats(Writer& w)
{
    while (w.Going()) {
        const unsigned c = w.Between(1, 3);
        switch (w.random.Below(3)) {
        case 0: w.Command(static_cast<uint8_t>(kLiteralRunLast + c), 2 * c); break;
        case 1: w.Command(static_cast<uint8_t>(kPairRepeatLast + c), 4 * c); break;
        default: w.Literal();
        }
    }
}

// Full groups of codes that pred accepts, copies from near to far back.
template <typename Pred>
void Groups(Writer& w, Pred pred, unsigned near = 1, unsigned far = kMaxBackDistance)
{
    while (w.Going())
        w.Group(kMaxGroupCodes, [&](Bytes& g) { return AppendCode(w, g, PickCode(w, pred), near, far); });
}

struct Shape {
    std::string name;
    void (*write)(Writer& w);
};

template <unsigned kFamily>
void Family(Writer& w)
{
    Groups(w, [](uint8_t code, const PairCodeRule&) { return (code & 0xF0) == kFamily; });
}

const Shape kShapes[] = {
    {"literal+code", LiteralAndCode},
    {"every-kind", EveryKind},
    {"mixed-repeat", MixedRepeats},
    {"copy4-near", [](Writer& w) { Groups(w, [](uint8_t code, const PairCodeRule&) { return code == 0xA8; }, 1, 15); }},
    {"copy-near", [](Writer& w) { Groups(w, Reference, 1, 15); }},
    {"far-66",
     [](Writer& w) {
         while (w.Going())
             w.Group(kMaxGroupCodes, [&](Bytes& g) {
                 g.insert(g.end(), {kLongBackReference, 0xFF, 0xFF});
                 return size_t(kMaxLongCopy);
             });
     }},
    {"family-0", Family<0x00>}, {"family-1", Family<0x10>}, {"family-2", Family<0x20>},
    {"family-3", Family<0x30>}, {"family-4", Family<0x40>}, {"family-5", Family<0x50>},
    {"family-6", Family<0x60>}, {"family-7", Family<0x70>}, {"family-8", Family<0x80>},
    {"family-9", Family<0x90>}, {"family-A", Family<0xA0>}, {"family-B", Family<0xB0>},
    {"family-C", Family<0xC0>}, {"family-D", Family<0xD0>}, {"family-E", Family<0xE0>},
    {"family-F", Family<0xF0>},
};

struct Variant {
    const char* shape;
    Kept kept;
};
const Variant kVariants[] = {
    {"family-0", kPairZero},
    {"literal+code", kUnassigned},
    {"family-5", kSecondKept},
    {"far-66", kDistanceZero},
};

}  // namespace

std::vector<BenchStream> BenchStreams(size_t areaSize)
{
    std::vector<BenchStream> streams;
    for (const Shape& shape : kShapes) {
        Writer w(static_cast<uint32_t>(streams.size() * 7919 + 1), areaSize, kNone);
        shape.write(w);
        streams.push_back(BenchStream{shape.name, w.Finish(), -1});
    }
    for (const Variant& variant : kVariants) {
        for (size_t i = 0; i < sizeof kShapes / sizeof kShapes[0]; ++i) {
            if (kShapes[i].name != variant.shape)
                continue;
            Writer w(static_cast<uint32_t>(i * 7919 + 1), areaSize, variant.kept);
            kShapes[i].write(w);
            streams.push_back(BenchStream{kShapes[i].name + "+kept", w.Finish(), int(i)});
        }
    }
    return streams;
}
