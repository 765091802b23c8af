// compress.cpp - see compress.h.
//
// The stream works on pairs: every command and pair code writes an even
// number of bytes, so the parse visits the even positions only. It is an
// optimal parse (a shortest path over those positions) with three states,
// because what a step costs depends on the command it extends: a literal pair
// is 2 bytes inside a literal run but 3 when it has to open one, a pair code
// needs a group command byte unless a group is already open. The limits of 64
// pairs per literal run and 63 codes per group are left to the emitter, which
// opens a new command when one is full; the parse charges each step its share
// of that command byte instead.
//
// Every step is also charged its decoding time at the rate codePenalty. The
// times are the viewer decoder's, measured with streams of one kind of step
// in random mixes as pictures give them (a 1 MB area, best of 40 runs, x86-64
// at -O2), then checked against whole pictures, where switching between
// kinds costs a mispredicted branch now and then:
//   a literal run's or a repeat's command byte      4.5 ns
//   a pair group's command byte                     4 ns
//   a literal byte, a repeated byte                 0.03 to 0.05 ns
//   a two-byte pair code                            4 ns alone, 5 in mixes
//   a back-reference                                5.5 ns alone, 8 in mixes
// (StepTime and CommandTime hold them, for the parse and the emitter alike.)
// At the default rate (half a byte per ns) a two-byte pair code, which
// saves one byte over a literal pair, costs more than it saves unless it
// spares a command, and a back-reference must save about four bytes: the
// lowest rate at which every kind of picture measured decodes at least half
// as fast as LZ4 decodes the same pixels (radial shading and plasma are the
// last to get there, at about 0.44 of a byte per ns).
//
// The decoder has since learnt to find each next pair code without a load
// in between, which runs two-byte pair codes about a third faster (3.6 to
// 2.4 ns in random mixes, before and after on one machine) and fixed
// back-references about a quarter faster. The figures above are kept: the
// packing stays as it was, and its streams decode somewhat faster than the
// parse estimates.
#include "packer/compress.h"

#include <string.h>

#include "bitmap/format.h"

namespace {

// Sizes are in 1/256 byte.
const uint64_t kByte = 256;
const uint64_t kLiteralShare = kByte / kMaxLiteralPairs;  // a literal run's command byte, shared by 64 pairs
const uint64_t kGroupShare = kByte / kMaxGroupCodes;      // a pair group's command byte, shared by 63 codes
const uint64_t kInfinite = ~uint64_t(0) / 4;

const unsigned kMaxCover = kMaxPairCodeOutput;  // the most one back-reference writes
const int kMaxHashBits = 16;

enum State { kInLiteral, kInGroup, kOther, kStates };
enum Step : uint8_t { kLiteralPair, kPairCode, kBackReference, kPairRepeat, kQuadRepeat };

// Decoding times in 1/100 ns (see the top of the file): of the command byte
// that opens a command of a kind of step, and of one step (count: a repeat
// command's repeats).
uint64_t CommandTime(Step kind)
{
    return kind == kPairCode || kind == kBackReference ? 400 : 450;
}

uint64_t StepTime(Step step, unsigned count)
{
    switch (step) {
    case kLiteralPair: return 6;
    case kPairCode: return 500;
    case kBackReference: return 800;
    case kPairRepeat: return 10 * uint64_t(count);
    case kQuadRepeat: return 20 * uint64_t(count);
    }
    return 0;
}

struct Back {
    Step step;
    uint8_t from;     // state before the step
    uint16_t count;   // bytes covered by a back-reference, repeats of a repeat command
};

// The code of the up family plus (to - from), or of the down family plus
// (from - to), whichever difference is below 16; false when neither is.
bool Nudge(uint8_t to, uint8_t from, unsigned up, unsigned down, uint8_t* code)
{
    const uint8_t rise = static_cast<uint8_t>(to - from), fall = static_cast<uint8_t>(from - to);
    if (rise < 16 || fall < 16) {
        *code = static_cast<uint8_t>(rise < 16 ? up + rise : down + fall);
        return true;
    }
    return false;
}

// The cheapest two-byte pair code that writes d[p], d[p + 1] from the bytes
// before them without reaching before d[0]. Writes its bytes to code and
// returns their number (1 to 3).
int PairCode(const uint8_t* d, size_t p, uint8_t* code)
{
    const uint8_t a = d[p], b = d[p + 1];
    if (p >= 2) {
        const uint8_t a2 = d[p - 2], b1 = d[p - 1];
        // One byte: the pair L pairs back.
        for (unsigned l = 1; l <= 15 && 2 * l <= p; ++l) {
            if (d[p - 2 * l] == a && d[p - 2 * l + 1] == b) {
                code[0] = static_cast<uint8_t>(l);
                return 1;
            }
        }
        if (a == a2) {
            if (Nudge(b, b1, kPairSecondUp, kPairSecondDown, code))
                return 1;
            // Second byte from L back of itself; L = 1 is the first byte.
            for (unsigned l = 1; l <= 15 && l <= p + 1; ++l) {
                if (d[p + 1 - l] == b) {
                    code[0] = static_cast<uint8_t>(kPairFirstKept + l);
                    return 1;
                }
            }
        }
        if (b == b1) {
            if (Nudge(a, a2, kPairFirstUp, kPairFirstDown, code))
                return 1;
            for (unsigned l = 1; l <= 15 && l <= p; ++l) {
                if (d[p - l] == a) {
                    code[0] = static_cast<uint8_t>(kPairSecondKept + l);
                    return 1;
                }
            }
        }
        // Two bytes: one literal, the other derived.
        code[1] = b;
        if (a == a2) {
            code[0] = kPairFirstKept;
            return 2;
        }
        for (unsigned l = 1; l <= 7 && l <= p; ++l) {
            if (d[p - l] == a) {
                code[0] = static_cast<uint8_t>(kPairLiteral + l);
                return 2;
            }
        }
        if (Nudge(a, a2, kPairFirstUpLiteral, kPairFirstDownLiteral, code))
            return 2;
        code[1] = a;
        if (b == b1) {
            code[0] = kPairSecondKept;
            return 2;
        }
        // Second byte at distance L - 8 from itself: 9 is the literal just
        // written, 10 to 15 reach back to d[p - 1] ... d[p - 6].
        for (unsigned l = 9; l <= 15 && l - 8 <= p + 1; ++l) {
            if (d[p + 1 - (l - 8)] == b) {
                code[0] = static_cast<uint8_t>(kPairLiteral + l);
                return 2;
            }
        }
        if (Nudge(b, b1, kPairLiteralSecondUp, kPairLiteralSecondDown, code))
            return 2;
        // The codes that move both bytes by a nibble each (A0, B0, E0, F0)
        // cost two bytes too, and whenever one applies, 9L or DL already did.
    } else if (a == b) {
        code[0] = kPairLiteral + 9;
        code[1] = a;
        return 2;
    }
    code[0] = kPairLiteral;
    code[1] = a;
    code[2] = b;
    return 3;
}

// Size in bytes of the back-reference that writes cover bytes when the
// match is length bytes long (cover <= length + 1).
unsigned ReferenceBytes(unsigned cover, unsigned length)
{
    if (length >= cover)
        return cover <= 12 ? 2 : 3;
    return cover <= 14 ? 3 : 4;  // copy cover - 1, then one literal
}

// Writes the back-reference that covers cover bytes at p from distance
// distance (the match is length bytes long).
void EmitReference(const uint8_t* d, size_t p, unsigned cover, unsigned distance, unsigned length,
                   std::vector<uint8_t>& out)
{
    const uint8_t high = static_cast<uint8_t>(distance >> 8), low = static_cast<uint8_t>(distance);
    const bool literal = length < cover;
    const unsigned copy = literal ? cover - 1 : cover;
    if (copy <= kMaxFixedCopy) {
        // Fixed forms: copy length 3g + L/4 + 2 for high nibbles A, B, E, F.
        static const uint8_t kNibble[4] = {kPairReferenceA, kPairReferenceB, kPairReferenceE, kPairReferenceF};
        unsigned g = (copy - 3) / 3, quarter = (copy - 3) % 3 + 1;
        out.push_back(static_cast<uint8_t>(kNibble[g] | quarter << 2 | high));
        out.push_back(low);
    } else {
        out.push_back(kLongBackReference);
        out.push_back(static_cast<uint8_t>((copy - 3) << 2 | high));
        out.push_back(low);
    }
    if (literal)
        out.push_back(d[p + copy]);
}

struct Parser {
    const uint8_t* d;
    size_t n;
    size_t pairs;
    CompressOptions options;
    std::vector<uint64_t> cost;   // (pairs + 1) x kStates
    std::vector<Back> back;       // how each (position, state) was reached best
    std::vector<uint16_t> matchDistance;  // per pair position; 0: no match
    std::vector<uint8_t> matchLength;
    std::vector<uint16_t> run2, run4;     // bytes from here on that repeat the ones 2 / 4 back

    void FindMatches();
    void FindRuns();
    void Relax(size_t q, int state, uint64_t value, Step step, int from, unsigned count)
    {
        uint64_t& slot = cost[q * kStates + state];
        if (value < slot) {
            slot = value;
            back[q * kStates + state] = Back{step, static_cast<uint8_t>(from), static_cast<uint16_t>(count)};
        }
    }
    void Parse();
    CompressedPixels Emit();
};

inline uint32_t Hash4(const uint8_t* p, int bits)
{
    uint32_t v;
    memcpy(&v, p, 4);
    return (v * 2654435761u) >> (32 - bits);
}

// How many bytes from a and b on are equal, up to limit; eight at a time.
inline unsigned MatchLength(const uint8_t* a, const uint8_t* b, unsigned limit)
{
    unsigned length = 0;
    while (length + 8 <= limit) {
        uint64_t x, y;
        memcpy(&x, a + length, 8);
        memcpy(&y, b + length, 8);
        if (x != y) {
            while (a[length] == b[length])
                ++length;
            return length;
        }
        length += 8;
    }
    while (length < limit && a[length] == b[length])
        ++length;
    return length;
}

void Parser::FindMatches()
{
    matchDistance.assign(pairs, 0);
    matchLength.assign(pairs, 0);
    if (n < 4)
        return;
    // A table about as large as the area: clearing a big one would cost
    // more than compressing a small picture.
    int bits = 8;
    while (bits < kMaxHashBits && (size_t(1) << bits) < n)
        ++bits;
    std::vector<int32_t> head(size_t(1) << bits, -1);
    std::vector<int32_t> chain(1024, -1);  // ring: the previous position with the same hash
    for (size_t p = 0; p + 4 <= n; ++p) {
        uint32_t h = Hash4(d + p, bits);
        if (p % 2 == 0) {
            const size_t limit = n - p < kMaxCover ? n - p : kMaxCover;
            unsigned bestLength = 0, bestDistance = 0, depth = options.chainDepth;
            for (int32_t c = head[h]; c >= 0 && p - c <= kMaxBackDistance && depth > 0; --depth) {
                const uint8_t* from = d + c;
                const uint8_t* at = d + p;
                const unsigned length = MatchLength(from, at, static_cast<unsigned>(limit));
                if (length > bestLength) {
                    bestLength = length;
                    bestDistance = static_cast<unsigned>(p - c);
                    if (length == limit)
                        break;
                }
                c = chain[c & 1023];
            }
            if (bestLength >= 4) {
                matchDistance[p / 2] = static_cast<uint16_t>(bestDistance);
                matchLength[p / 2] = static_cast<uint8_t>(bestLength);
            }
        }
        chain[p & 1023] = head[h];
        head[h] = static_cast<int32_t>(p);
    }
}

void Parser::FindRuns()
{
    run2.assign(n + 1, 0);
    run4.assign(n + 1, 0);
    for (size_t i = n; i-- > 0;) {
        if (i >= 2 && d[i] == d[i - 2])
            run2[i] = static_cast<uint16_t>(run2[i + 1] < 512 ? run2[i + 1] + 1 : 512);
        if (i >= 4 && d[i] == d[i - 4])
            run4[i] = static_cast<uint16_t>(run4[i + 1] < 512 ? run4[i + 1] + 1 : 512);
    }
}

// The repeat counts worth trying: the short ones, then only the longest. A
// repeat that stops in the middle of a run rarely pays, and trying every
// count makes flat pictures ten times slower to parse.
inline size_t NextCount(size_t c, size_t most)
{
    return c < 4 || c == most ? c + 1 : most;
}

void Parser::Parse()
{
    cost.assign((pairs + 1) * kStates, kInfinite);
    back.assign((pairs + 1) * kStates, Back{kLiteralPair, 0, 0});
    cost[kOther] = 0;
    const uint64_t rate = options.codePenalty;
    auto time = [rate](uint64_t hundredths) { return hundredths * rate / 100; };
    const uint64_t literalOpen = kByte + time(CommandTime(kLiteralPair));
    const uint64_t literalPair = 2 * kByte + kLiteralShare +
                                 time(StepTime(kLiteralPair, 1) + CommandTime(kLiteralPair) / kMaxLiteralPairs);
    const uint64_t groupOpen = kByte + time(CommandTime(kPairCode));
    const uint64_t groupShare = kGroupShare + time(CommandTime(kPairCode) / kMaxGroupCodes);
    const uint64_t pairCode = time(StepTime(kPairCode, 1)), reference = time(StepTime(kBackReference, 1));
    const uint64_t repeatOpen = kByte + time(CommandTime(kPairRepeat));
    for (size_t q = 0; q < pairs; ++q) {
        const uint64_t* here = &cost[q * kStates];
        const size_t p = 2 * q;
        const size_t pairsLeft = pairs - q;

        // Cheapest way in from each kind of previous command.
        int anyFrom = kInLiteral;
        for (int s = 1; s < kStates; ++s)
            if (here[s] < here[anyFrom])
                anyFrom = s;
        const uint64_t any = here[anyFrom];
        if (any >= kInfinite)
            continue;

        // A literal pair, in the open run or opening one.
        if (here[kInLiteral] <= any + literalOpen)
            Relax(q + 1, kInLiteral, here[kInLiteral] + literalPair, kLiteralPair, kInLiteral, 0);
        else
            Relax(q + 1, kInLiteral, any + literalOpen + literalPair, kLiteralPair, anyFrom, 0);

        // Pair codes and back-references, in the open group or opening one.
        int groupFrom = kInGroup;
        uint64_t group = here[kInGroup];
        if (any + groupOpen < group) {
            group = any + groupOpen;
            groupFrom = anyFrom;
        }
        group += groupShare;
        uint8_t code[3];
        Relax(q + 1, kInGroup, group + pairCode + kByte * PairCode(d, p, code), kPairCode, groupFrom, 0);
        if (unsigned length = matchLength[q]) {
            unsigned most = length % 2 ? length + 1 : length;
            if (most > kMaxCover)
                most = kMaxCover;
            for (unsigned cover = 4; cover <= most; cover += 2)
                Relax(q + cover / 2, kInGroup, group + reference + kByte * ReferenceBytes(cover, length),
                      kBackReference, groupFrom, cover);
        }

        // Repeats of the last pair or the last four bytes: one byte each.
        const uint64_t repeat = any + repeatOpen;
        if (p >= 2) {
            size_t most = run2[p] / 2;
            if (most > kMaxPairRepeats)
                most = kMaxPairRepeats;
            if (most > pairsLeft)
                most = pairsLeft;
            for (size_t c = 1; c <= most; c = NextCount(c, most))
                Relax(q + c, kOther, repeat + time(StepTime(kPairRepeat, unsigned(c))), kPairRepeat, anyFrom, unsigned(c));
        }
        if (p >= 4) {
            size_t most = run4[p] / 4;
            if (most > kMaxQuadRepeats)
                most = kMaxQuadRepeats;
            if (2 * most > pairsLeft)
                most = pairsLeft / 2;
            for (size_t c = 1; c <= most; c = NextCount(c, most))
                Relax(q + 2 * c, kOther, repeat + time(StepTime(kQuadRepeat, unsigned(c))), kQuadRepeat, anyFrom,
                      unsigned(c));
        }
    }
}

CompressedPixels Parser::Emit()
{
    // Walk back from the cheapest final state, then replay forwards.
    struct Taken {
        size_t q;
        Back how;
    };
    std::vector<Taken> steps;
    int state = kInLiteral;
    for (int s = 1; s < kStates; ++s)
        if (cost[pairs * kStates + s] < cost[pairs * kStates + state])
            state = s;
    for (size_t q = pairs; q > 0;) {
        Back how = back[q * kStates + state];
        size_t covered = how.step == kBackReference ? how.count / 2
                       : how.step == kPairRepeat   ? how.count
                       : how.step == kQuadRepeat   ? 2 * size_t(how.count)
                                                   : 1;
        q -= covered;
        steps.push_back(Taken{q, how});
        state = how.from;
    }

    CompressedPixels result;
    std::vector<uint8_t>& out = result.stream;
    out.reserve(n / 2 + 16);
    uint64_t time = 0;  // 1/100 ns
    size_t open = 0;       // index in out of the open command byte
    unsigned openCount = 0;
    Step openKind = kPairRepeat;  // kLiteralPair or kPairCode when a command is open
    for (size_t i = steps.size(); i-- > 0;) {
        const size_t p = 2 * steps[i].q;
        const Back how = steps[i].how;
        // Literal pairs, and pair codes with back-references, share their
        // open command; a repeat is a command of its own.
        const Step kind = how.step == kBackReference ? kPairCode : how.step;
        const bool shared = kind == kLiteralPair || kind == kPairCode;
        const unsigned most = kind == kLiteralPair ? kMaxLiteralPairs : kMaxGroupCodes;
        if (!shared || openKind != kind || openCount == most) {
            open = out.size();
            out.push_back(0);
            time += CommandTime(kind);
            openKind = shared ? kind : kPairRepeat;
            openCount = 0;
        }
        time += StepTime(how.step, how.count);
        switch (how.step) {
        case kLiteralPair:
            out[open] = static_cast<uint8_t>(++openCount);
            out.push_back(d[p]);
            out.push_back(d[p + 1]);
            break;
        case kPairCode:
        case kBackReference:
            out[open] = static_cast<uint8_t>(kQuadRepeatLast + ++openCount);
            if (how.step == kPairCode) {
                uint8_t code[3];
                int size = PairCode(d, p, code);
                out.insert(out.end(), code, code + size);
            } else {
                EmitReference(d, p, how.count, matchDistance[p / 2], matchLength[p / 2], out);
            }
            break;
        case kPairRepeat:
            out[open] = static_cast<uint8_t>(kLiteralRunLast + how.count);
            break;
        case kQuadRepeat:
            out[open] = static_cast<uint8_t>(kPairRepeatLast + how.count);
            break;
        }
    }
    out.push_back(kCommandEnd);
    result.decodeNanoseconds = time / 100;
    return result;
}

}  // namespace

CompressedPixels CompressPixelsEstimated(const uint8_t* pixels, size_t size, const CompressOptions& options)
{
    if (size % 2 != 0)
        return CompressedPixels();
    Parser parser;
    parser.d = pixels;
    parser.n = size;
    parser.pairs = size / 2;
    parser.options = options;
    parser.FindMatches();
    parser.FindRuns();
    parser.Parse();
    return parser.Emit();
}

std::vector<uint8_t> CompressPixels(const uint8_t* pixels, size_t size, const CompressOptions& options)
{
    return CompressPixelsEstimated(pixels, size, options).stream;
}
