// format.h - the tBMP bitmap resource, in one place: its header, the
// palette block, the format codes, the one 24-bit layout, and the commands
// and pair codes of the compressed pixel stream. The decoder, the compressor,
// the resource writer and the bitmap readers all take their numbers from
// here. All multi-byte fields are big-endian.
#pragma once

#include <stddef.h>
#include <stdint.h>

// ---- Resource header: four 16-bit fields ----
const uint32_t kHeaderWidth = 0;    // 1 to kMaxSide
const uint32_t kHeaderHeight = 2;   // 1 to kMaxSide
const uint32_t kHeaderPitch = 4;    // bytes per stored row; decides the layout
const uint32_t kHeaderFormat = 6;   // one of the format codes below
const uint32_t kHeaderSize = 8;

const uint32_t kMaxSide = 1024;

// ---- Format codes ----
const uint16_t kFormat24Bit = 4;         // the 24-bit layout's plain rows
const uint16_t kFormatPlain = 10;        // 8-bit layout, plain rows from kPixelsPlain
const uint16_t kFormatCompressed = 1034; // 8-bit layout, a pixel stream from kPixelsCompressed

// ---- 8-bit layout: a palette block after the header ----
// The block starts with a 16-bit length (its own 4-byte header plus 256
// colours), the bits per colour and the number of colours minus one.
const uint32_t kPaletteBlockLength = 0x0304;  // 772
const uint8_t kPaletteBits = 0x18;
const uint8_t kPaletteLastIndex = 0xFF;
const uint32_t kPaletteColours = kHeaderSize + 4;  // 256 blue, green, red triples
const uint32_t kPaletteBlockEnd = kHeaderSize + kPaletteBlockLength;  // 780
static_assert(kPaletteBlockEnd == kPaletteColours + 256 * 3, "the palette block holds 256 triples");

const uint32_t kPixelsPlain = kPaletteBlockEnd;           // format 10: height x pitch bytes
const uint32_t kPixelsCompressed = kPaletteBlockEnd + 4;  // format 1034: four unread bytes, then the stream

// Bytes per row once padded to a multiple of 4, as rows are in a
// device-independent bitmap, its file, and the 8-bit layout.
inline uint32_t RowPitch(uint32_t rowBytes)
{
    return (rowBytes + 3) & ~3u;
}

// Bytes per stored row of an 8-bit picture.
inline uint32_t PalettePitch(uint32_t width)
{
    return RowPitch(width);
}

// ---- The one 24-bit layout: 608 x 392, rows of 2432 bytes ----
// Each row's first 1824 bytes are its pixels (blue, green, red); the rest
// are not read.
const uint32_t kTrueColourWidth = 608;
const uint32_t kTrueColourHeight = 392;
const uint32_t kTrueColourPitch = 2432;
const uint32_t kTrueColourRowBytes = 3 * kTrueColourWidth;  // 1824
const uint32_t kTrueColourResourceSize = kHeaderSize + kTrueColourHeight * kTrueColourPitch;  // 953,352

// ---- The compressed pixel stream ----
// Command bytes, by range. Every command writes an even number of bytes.
const uint8_t kCommandEnd = 0x00;
const uint8_t kLiteralRunLast = 0x40;   // 0x01-0x40: 2n literal bytes follow
const uint8_t kPairRepeatLast = 0x80;   // 0x41-0x80: the last pair, n - 0x40 times
const uint8_t kQuadRepeatLast = 0xC0;   // 0x81-0xC0: the last four bytes, n - 0x80 times
                                        // 0xC1-0xFF: a group of n - 0xC0 pair codes
const unsigned kMaxLiteralPairs = kLiteralRunLast;                        // 64
const unsigned kMaxPairRepeats = kPairRepeatLast - kLiteralRunLast;      // 64
const unsigned kMaxQuadRepeats = kQuadRepeatLast - kPairRepeatLast;      // 64
const unsigned kMaxGroupCodes = 0xFF - kQuadRepeatLast;                  // 63

// Pair codes: high nibble H, low nibble L. The back-reference families are
// H = 0xA, 0xB, 0xE, 0xF with L >= 4 (0xF only up to 0xFC); their first
// operand k gives the distance 256 x (L mod 4) + k.
const uint8_t kLongBackReference = 0xFC;  // operands m, k, and a literal when bit 2 of m is clear
const unsigned kMaxBackDistance = 1023;
const unsigned kMaxLongCopy = 3 + (0xFF >> 2);  // 66
const unsigned kMaxFixedCopy = 13;              // 0xF8 to 0xFB
const size_t kMaxPairCodeInput = 4;    // 0xFC with its literal
const size_t kMaxPairCodeOutput = 66;  // 0xFC at its longest

// The pair-code families, by high nibble: code = family + L. Each writes
// two bytes, at p and p + 1, shown as (first, second): x and y are the
// operands in stream order, @k is the byte k places before the byte being
// written (read after the first byte is written), and sums wrap modulo 256.
enum PairFamily : uint8_t {
    kPairBack = 0x00,              // (@2L, @2L): the pair L pairs back; 0x00 keeps the pair
    kPairFirstKept = 0x10,         // 0x10: (@2, x); 0x11 to 0x1F: (@2, @L)
    kPairSecondUp = 0x20,          // (@2, @2 + L)
    kPairSecondDown = 0x30,        // (@2, @2 - L)
    kPairSecondKept = 0x40,        // 0x40: (x, @2); 0x41 to 0x4F: (@L, @2)
    kPairLiteral = 0x50,           // 0x50: (x, y); 0x51 to 0x57: (@L, x); 0x58 to 0x5F: (x, @(L - 8))
    kPairLiteralSecondUp = 0x60,   // (x, @2 + L)
    kPairLiteralSecondDown = 0x70, // (x, @2 - L)
    kPairFirstUp = 0x80,           // (@2 + L, @2)
    kPairFirstUpLiteral = 0x90,    // (@2 + L, x)
    kPairReferenceA = 0xA0,        // 0xA0: (@2 + high nibble of x, @2 + low nibble); 0xA4 on: references
    kPairReferenceB = 0xB0,        // 0xB0: (@2 + high, @2 - low); 0xB4 on: references
    kPairFirstDown = 0xC0,         // (@2 - L, @2)
    kPairFirstDownLiteral = 0xD0,  // (@2 - L, x)
    kPairReferenceE = 0xE0,        // 0xE0: (@2 - high, @2 + low); 0xE4 on: references
    kPairReferenceF = 0xF0,        // 0xF0: (@2 - high, @2 - low); 0xF4 to 0xFC: references
};
// Unassigned: A1-A3, B1-B3, E1-E3, F1-F3 and FD-FF skip a pair, reading no
// operand, like 0x00.

// Copy length of the eleven fixed back-reference codes (0xA4 to 0xFB):
// 3g + L/4 + 2, g being 0, 1, 2, 3 for the high nibbles A, B, E, F. An odd
// length is followed by one literal byte, so the code writes an even count.
constexpr unsigned FixedCopyLength(unsigned code)
{
    const unsigned h = code >> 4;
    const unsigned g = h == 0xA ? 0 : h == 0xB ? 1 : h == 0xE ? 2 : 3;
    return 3 * g + ((code & 15) >> 2) + 2;
}

// Copy length of the long form 0xFC from its first operand m: 3 to 66.
constexpr unsigned LongCopyLength(unsigned m)
{
    return 3 + (m >> 2);
}

// What one pair code does, as a reader can check it against the families
// above. Two-byte codes describe each byte as an operand or the byte a
// distance before it (distance 0: the byte itself, which keeps its value),
// plus a constant modulo 256; the unassigned codes are two-byte codes that
// keep both bytes. The four nibble codes (A0, B0, E0, F0) add or subtract
// (add 1 or 255) a nibble of their operand to the byte at distance 2.
enum PairCodeKind : uint8_t { kPairTwoBytes, kPairNibbles, kPairFixedReference, kPairLongReference };
struct PairByteRule {
    bool operand;      // the next operand byte rather than an earlier byte
    uint8_t distance;  // how far before the byte being written (not for an operand)
    uint8_t add;       // added modulo 256
};
struct PairCodeRule {
    PairCodeKind kind;
    PairByteRule first, second;  // two-byte and nibble codes
    uint8_t operands;            // operand bytes; 0xFC: 2, plus a literal when bit 2 of m is clear
};

constexpr PairByteRule PairBack(unsigned distance, unsigned add = 0)
{
    return PairByteRule{false, static_cast<uint8_t>(distance), static_cast<uint8_t>(add)};
}
constexpr PairByteRule PairOperand(unsigned add = 0)
{
    return PairByteRule{true, 0, static_cast<uint8_t>(add)};
}
constexpr PairCodeRule PairTwoBytes(PairByteRule first, PairByteRule second)
{
    return PairCodeRule{kPairTwoBytes, first, second, static_cast<uint8_t>(first.operand + second.operand)};
}

constexpr PairCodeRule DescribePairCode(unsigned code)
{
    const unsigned h = code & 0xF0, l = code & 15, down = 256 - l;
    const PairByteRule kept = PairBack(0);
    switch (h) {
    case kPairBack: return PairTwoBytes(PairBack(2 * l), PairBack(2 * l));
    case kPairFirstKept: return PairTwoBytes(PairBack(2), l == 0 ? PairOperand() : PairBack(l));
    case kPairSecondUp: return PairTwoBytes(PairBack(2), PairBack(2, l));
    case kPairSecondDown: return PairTwoBytes(PairBack(2), PairBack(2, down));
    case kPairSecondKept: return PairTwoBytes(l == 0 ? PairOperand() : PairBack(l), PairBack(2));
    case kPairLiteral:
        return l == 0 ? PairTwoBytes(PairOperand(), PairOperand())
             : l < 8  ? PairTwoBytes(PairBack(l), PairOperand())
                      : PairTwoBytes(PairOperand(), PairBack(l - 8));
    case kPairLiteralSecondUp: return PairTwoBytes(PairOperand(), PairBack(2, l));
    case kPairLiteralSecondDown: return PairTwoBytes(PairOperand(), PairBack(2, down));
    case kPairFirstUp: return PairTwoBytes(PairBack(2, l), PairBack(2));
    case kPairFirstUpLiteral: return PairTwoBytes(PairBack(2, l), PairOperand());
    case kPairFirstDown: return PairTwoBytes(PairBack(2, down), PairBack(2));
    case kPairFirstDownLiteral: return PairTwoBytes(PairBack(2, down), PairOperand());
    default: break;  // A, B, E, F
    }
    if (l == 0) {
        const unsigned first = h == kPairReferenceA || h == kPairReferenceB ? 1 : 255;
        const unsigned second = h == kPairReferenceA || h == kPairReferenceE ? 1 : 255;
        return PairCodeRule{kPairNibbles, PairBack(2, first), PairBack(2, second), 1};
    }
    if (l < 4 || code > kLongBackReference)
        return PairTwoBytes(kept, kept);  // unassigned
    if (code == kLongBackReference)
        return PairCodeRule{kPairLongReference, kept, kept, 2};
    return PairCodeRule{kPairFixedReference, kept, kept, static_cast<uint8_t>(1 + FixedCopyLength(code) % 2)};
}

// The stream reads up to this many bytes before the first byte of the
// pixel area (a back-reference at the longest distance): whoever lays out
// the area must keep that much readable memory in front of it.
const size_t kDecoderFrontRoom = kMaxBackDistance;
