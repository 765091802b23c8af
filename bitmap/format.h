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

// Bytes per stored row of an 8-bit picture: the width rounded up to 4.
inline uint32_t PalettePitch(uint32_t width)
{
    return (width + 3) & ~3u;
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
const size_t kMaxPairCodeInput = 4;    // 0xFC with its literal
const size_t kMaxPairCodeOutput = 66;  // 0xFC at its longest

// True for the pair codes that are back-references.
inline bool IsBackReferenceCode(unsigned code)
{
    const unsigned h = code >> 4, l = code & 15;
    return l >= 4 && (h == 0xA || h == 0xB || h == 0xE || (h == 0xF && l <= 12));
}

// Copy length of the eleven fixed back-reference codes (0xA4 to 0xFB):
// 3g + L/4 + 2, g being 0, 1, 2, 3 for the high nibbles A, B, E, F. An odd
// length is followed by one literal byte, so the code writes an even count.
inline unsigned FixedCopyLength(unsigned code)
{
    const unsigned h = code >> 4;
    const unsigned g = h == 0xA ? 0 : h == 0xB ? 1 : h == 0xE ? 2 : 3;
    return 3 * g + ((code & 15) >> 2) + 2;
}

// Copy length of the long form 0xFC from its first operand m: 3 to 66.
inline unsigned LongCopyLength(unsigned m)
{
    return 3 + (m >> 2);
}

// The stream reads up to this many bytes before the first byte of the
// pixel area (a back-reference at the longest distance): whoever lays out
// the area must keep that much readable memory in front of it.
const size_t kDecoderFrontRoom = kMaxBackDistance;
