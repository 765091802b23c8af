// decompress_test.cpp - the pixel stream decoder: worked examples, the
// output limit and the end of the stream for every command and pair-code
// family, and random streams against the plain reference decoder.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bitmap/decompress.h"
#include "bitmap/decompress_loops.h"
#include "tests/support/bench_streams.h"
#include "tests/support/naive_decompress.h"
#include "tests/support/random.h"

namespace {

typedef std::vector<uint8_t> Bytes;

const size_t kFront = 1024;  // readable bytes in front of the area, as the palette in a decode block
const uint8_t kFill = 0xEE;  // what the area holds before decoding

Bytes Hex(const std::string& text)
{
    Bytes out;
    for (size_t i = 0; i + 1 < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return out;
}

// A palette-like front: entry i is (i, 255 - i, 3i, 0).
Bytes Front()
{
    Bytes front(kFront);
    for (size_t i = 0; i < 256; ++i) {
        front[4 * i] = static_cast<uint8_t>(i);
        front[4 * i + 1] = static_cast<uint8_t>(255 - i);
        front[4 * i + 2] = static_cast<uint8_t>(3 * i);
        front[4 * i + 3] = 0;
    }
    return front;
}

// Decodes the first streamSize bytes of stream into an area of areaSize
// bytes. The stream and the front-plus-area are each copied to a heap block
// exactly as large, so the sanitizers see any access past either end.
Bytes Decode(const Bytes& stream, size_t areaSize, size_t streamSize = SIZE_MAX, const Bytes& front = Front(),
             uint8_t fill = kFill, KeptBytes kept = kKeptAsTheyWere, bool portableLoopAlone = false)
{
    streamSize = std::min(streamSize, stream.size());
    std::unique_ptr<uint8_t[]> source(new uint8_t[streamSize]);
    if (streamSize != 0)
        memcpy(source.get(), stream.data(), streamSize);
    std::unique_ptr<uint8_t[]> block(new uint8_t[kFront + areaSize]);
    memcpy(block.get(), front.data(), kFront);
    memset(block.get() + kFront, fill, areaSize);
    uint8_t* const area = block.get() + kFront;
    if (!portableLoopAlone)
        DecompressPixels(source.get(), area, area + areaSize, source.get() + streamSize, kept);
    else if (kept == kKeptAsZero)
        DecodePortable<true>(source.get(), area, area + areaSize, source.get() + streamSize);
    else
        DecodePortable<false>(source.get(), area, area + areaSize, source.get() + streamSize);
    return Bytes(block.get() + kFront, block.get() + kFront + areaSize);
}

// The reference decoder's area, and where it stopped.
Bytes Expect(const Bytes& stream, size_t areaSize, size_t streamSize = SIZE_MAX, const Bytes& front = Front(),
             uint8_t fill = kFill, size_t* end = nullptr)
{
    streamSize = std::min(streamSize, stream.size());
    NaiveOutcome outcome = NaiveDecompressOver(Bytes(stream.begin(), stream.begin() + streamSize),
                                               Bytes(areaSize, fill), Bytes(front.begin(), front.begin() + kFront));
    if (end != nullptr)
        *end = outcome.written;
    return outcome.area;
}

std::string ToHex(const Bytes& bytes)
{
    std::string out;
    char digits[4];
    for (uint8_t b : bytes) {
        snprintf(digits, sizeof digits, "%02X ", b);
        out += digits;
    }
    return out;
}

struct Example {
    const char* stream;
    size_t area;
    const char* expected;  // the whole area; EE marks bytes left as they were
};

TEST(Decompress, WorkedExamples)
{
    const Example examples[] = {
        {"02 0A 0B 0C 0D 42 C2 21 5A 99 00", 16, "0A0B0C0D 0C0D0C0D 0C0E990E EEEEEEEE"},
        {"00", 4, "EEEEEEEE"},
        {"", 4, "EEEEEEEE"},
        {"01 10 FE C2 25 11 00", 6, "10FE 1003 1010"},
        {"02 01 02 03 04 C1 F8 02 77 00", 18, "01020304 03040304030403040304030403 77"},
        {"02 01 02 03 04 C1 FC 04 02 00", 8, "01020304 03040304"},
        {"02 01 02 03 04 C1 FC 08 01 55 00", 10, "01020304 0404040404 55"},
        {"01 05 06 C1 A8 01 00", 6, "0506 06060606"},
        {"C1 00 C1 A1 01 AA BB 00", 6, "EEEE EEEE AABB"},
        // A group is read code by code: 00 inside it is pair code 00, not the end.
        {"01 01 02 C3 00 21 00 00", 8, "0102 EEEE EEEF EEEE"},
        // Pair codes that read what they have just written.
        {"01 10 20 C2 11 59 33", 6, "1020 1010 3333"},
        // 0x58 leaves its second byte as it was.
        {"01 10 20 C1 58 77", 4, "1020 77EE"},
        // The four sign combinations of the nibble-pair codes.
        {"01 80 80 C4 A0 12 B0 12 E0 12 F0 12", 10, "8080 8182 8280 8182 8080"},
        // Arithmetic wraps modulo 256.
        {"01 FF 01 C2 8F 3F", 6, "FF01 0E01 0EF2"},
        // A run with distance 0 keeps the area; its literal is still written.
        {"C1 A4 00 99", 4, "EEEEEE99"},
        // Commands after the end command are never read.
        {"01 01 02 00 42", 6, "0102 EEEEEEEE"},
        // Repeats after an early stop of a group.
        {"02 01 02 03 04 82", 12, "01020304 0102030401020304"},
    };
    for (const Example& example : examples) {
        Bytes got = Decode(Hex(example.stream), example.area);
        EXPECT_EQ(ToHex(got), ToHex(Hex(example.expected))) << "stream " << example.stream;
        EXPECT_EQ(got, Expect(Hex(example.stream), example.area)) << "reference disagrees: " << example.stream;
    }
}

TEST(Decompress, CommandBoundaries)
{
    // 0x40: 128 literal bytes; 0x80: the last pair 64 times; 0xC0: the last
    // four bytes 64 times; 0xC1: one pair code.
    Bytes stream = {0x40};
    for (int i = 0; i < 128; ++i)
        stream.push_back(static_cast<uint8_t>(i * 7));
    stream.push_back(0x80);
    stream.push_back(0xC0);
    stream.push_back(0xC1);
    stream.push_back(0x21);
    Bytes got = Decode(stream, 128 + 128 + 256 + 2 + 4);
    ASSERT_EQ(got.size(), 518u);
    for (int i = 0; i < 128; ++i)
        EXPECT_EQ(got[i], static_cast<uint8_t>(i * 7));
    for (int i = 128; i < 256; ++i)
        EXPECT_EQ(got[i], got[126 + i % 2]) << i;
    for (int i = 256; i < 512; ++i)
        EXPECT_EQ(got[i], got[252 + i % 4]) << i;
    EXPECT_EQ(got[512], got[510]);
    EXPECT_EQ(got[513], static_cast<uint8_t>(got[511] + 1));
    EXPECT_EQ(ToHex(Bytes(got.begin() + 514, got.end())), "EE EE EE EE ");
}

TEST(Decompress, ReachesBeforeTheArea)
{
    const Bytes front = Front();
    // 0x42 at the start writes the red byte of entry 255 and its zero, twice.
    EXPECT_EQ(Decode(Hex("42 00"), 4), (Bytes{front[1022], 0, front[1022], 0}));
    // Distance 1023, the furthest: four bytes from front byte 1 on.
    EXPECT_EQ(Decode(Hex("C1 AB FF"), 4), Bytes(front.begin() + 1, front.begin() + 5));
    // The long form from distance 1023, 66 bytes.
    EXPECT_EQ(Decode(Hex("C1 FC FF FF"), 66), Bytes(front.begin() + 1, front.begin() + 67));
    // A run that starts in front of the area and runs on into what it writes.
    EXPECT_EQ(Decode(Hex("C1 AC 03 55"), 6), (Bytes{front[1021], front[1022], 0, front[1021], front[1022], 0x55}));
}

// One command of every kind, after a 4-byte literal prefix, with the number
// of bytes it writes. The back-reference lengths are the published table.
struct Form {
    const char* command;
    size_t written;
};

const Form kForms[] = {
    {"01 AA BB", 2}, {"40", 128},  // literal runs (operands appended below)
    {"41", 2}, {"80", 128}, {"81", 4}, {"C0", 256},
    {"C1 A4 03 77", 4}, {"C1 A5 03 77", 4}, {"C1 A8 03", 4}, {"C1 AB 03", 4}, {"C1 AC 02 77", 6},
    {"C1 B4 01", 6}, {"C1 B8 03 77", 8}, {"C1 BC 04", 8}, {"C1 E4 02 77", 10}, {"C1 E8 09", 10},
    {"C1 EC 03 77", 12}, {"C1 F4 01", 12}, {"C1 F8 02 77", 14}, {"C1 FB 02 77", 14},
    {"C1 FC 00 02 77", 4}, {"C1 FC 04 02", 4}, {"C1 FC 08 03 77", 6}, {"C1 FC 0F 03", 6},
    {"C1 FC F8 01 77", 66}, {"C1 FC FF 02", 66}, {"C1 FC 7B 09 77", 34},
};

Bytes FormStream(const Form& form)
{
    Bytes stream = Hex("02 10 20 30 40");
    Bytes command = Hex(form.command);
    if (command.size() == 1 && command[0] <= 0x40)
        command.resize(1 + 2 * command[0], 0x5A);
    stream.insert(stream.end(), command.begin(), command.end());
    return stream;
}

TEST(Decompress, LimitForEveryCommand)
{
    for (const Form& form : kForms) {
        const Bytes stream = FormStream(form);
        size_t end;
        const Bytes expected = Expect(stream, 4 + form.written, SIZE_MAX, Front(), kFill, &end);
        EXPECT_EQ(end, 4 + form.written) << form.command << ": written count";
        // Exactly fits: written in full.
        EXPECT_EQ(Decode(stream, 4 + form.written), expected) << form.command;
        // Two bytes short: nothing of it is written.
        Bytes shortArea(4 + form.written - 2, kFill);
        memcpy(shortArea.data(), stream.data() + 1, 4);
        EXPECT_EQ(ToHex(Decode(stream, 4 + form.written - 2)), ToHex(shortArea)) << form.command;
    }
}

TEST(Decompress, LimitForEveryPairCode)
{
    // Every pair code with generous operands: exactly its size fits, two
    // bytes less writes nothing, and a group starting at the limit reads
    // no pair code (the stream ends right after the group byte).
    for (unsigned code = 0; code < 256; ++code) {
        Bytes stream = Hex("04 10 20 30 40 50 60 70 80 C1");
        stream.push_back(static_cast<uint8_t>(code));
        for (uint8_t operand : {0x0D, 0x05, 0x00})  // left over, these end the stream
            stream.push_back(operand);
        size_t end;
        Expect(stream, 8 + 80, SIZE_MAX, Front(), kFill, &end);
        const size_t written = end - 8;
        ASSERT_GE(written, 2u) << std::hex << code;
        EXPECT_EQ(Decode(stream, 8 + written), Expect(stream, 8 + written)) << std::hex << code;
        Bytes untouched = Hex("10 20 30 40 50 60 70 80");
        untouched.resize(8 + written - 2, kFill);
        EXPECT_EQ(Decode(stream, 8 + written - 2), untouched) << std::hex << code;
    }
    EXPECT_EQ(Decode(Hex("01 01 02 C1"), 2), Hex("0102"));
}

// Every copy length of the long form at every short distance and a few long
// ones, in an area just large enough and in a roomy one (which takes the
// decoder's unchecked path).
TEST(Decompress, BackReferenceLengthsAndDistances)
{
    Bytes prefix = {0x10};
    for (int i = 0; i < 32; ++i)
        prefix.push_back(static_cast<uint8_t>(0x30 + i * 5));
    for (unsigned distance : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 15, 16, 17, 31, 32, 33, 64, 65, 300, 1023}) {
        for (unsigned m = distance >> 8; m < 256; m += 4) {
            Bytes stream = prefix;
            const Bytes code = {0xC1, 0xFC, static_cast<uint8_t>(m), static_cast<uint8_t>(distance), 0x99};
            stream.insert(stream.end(), code.begin(), code.end());
            const size_t written = 4 + 2 * (m >> 3);
            for (size_t area : {32 + written, 32 + written + 200})
                ASSERT_EQ(ToHex(Decode(stream, area)), ToHex(Expect(stream, area)))
                    << "distance " << distance << " m " << m << " area " << area;
        }
    }
}

// Long-form copies that follow each other from one distance, where only
// the even ones without a literal, inside one group, make one run.
TEST(Decompress, TrainsOfLongCopies)
{
    Bytes prefix = {0x10};
    for (int i = 0; i < 32; ++i)
        prefix.push_back(static_cast<uint8_t>(0x30 + i * 5));
    const char* const trains[] = {
        "C3 FC FC 20 FC 04 20 FC 08 20 77",  // even, even, odd
        "C3 FC FC 20 FC F8 20 77 FC FC 20",  // an odd one between
        "C2 FC FC 20 FC FD 20",              // the same k, another distance
        "C2 FC FC 20 FC FC 21",              // another k
        "C2 FC F8 20 FC FC 20 77 55",        // an odd one whose literal reads as a long form
        "C3 FC FC 20 FC FC 20 A8 20",        // a fixed form after
        "C1 FC FC 20 FC FC 20 20",           // the group ends; FC is a command
        "C2 FC FC 10 FC FC 10 C2 FC FC 10 FC 0C 10",
    };
    for (const char* train : trains) {
        Bytes stream = prefix;
        // The end and bytes never read after it, so that the groups are
        // taken as a whole when the area has room for them.
        const Bytes codes = Hex(std::string(train) + " 00 00000000 00000000");
        stream.insert(stream.end(), codes.begin(), codes.end());
        size_t end = 0;
        Expect(stream, 4096, SIZE_MAX, Front(), kFill, &end);
        for (size_t area : {end - 2, end, end + 1, end + 200, size_t(4096)})
            ASSERT_EQ(ToHex(Decode(stream, area)), ToHex(Expect(stream, area))) << train << " area " << area;
    }
}

TEST(Decompress, EndOfStream)
{
    const Example examples[] = {
        {"02 01 02 03", 8, "EEEEEEEE EEEEEEEE"},        // literal run without all its bytes
        {"01 0A 0B C2 21 5A", 8, "0A0B 0A0C EEEE EEEE"},  // second code without its operand
        {"01 0A 0B C1 FC", 8, "0A0B EEEE EEEE EEEE"},     // 0xFC without m
        {"01 0A 0B C1 FC 08", 8, "0A0B EEEE EEEE EEEE"},  // without k
        {"01 0A 0B C1 FC 08 01", 8, "0A0B EEEE EEEE EEEE"},  // without its literal
        {"01 0A 0B C1 FC 0C 01", 8, "0A0B 0B0B0B0B0B0B"},   // bit 2 set: no literal needed
        {"01 0A 0B C1 A4 01", 8, "0A0B EEEE EEEE EEEE"},  // fixed odd run without its literal
        {"01 0A 0B C1 A8 01", 8, "0A0B 0B0B0B0B EEEE"},
        {"01 0A 0B C1 50 01", 8, "0A0B EEEE EEEE EEEE"},  // 0x50 without y
        {"01 0A 0B 42", 8, "0A0B 0A0B0A0B EEEE"},          // no end command: ends with the stream
        {"01 0A 0B C3 21", 8, "0A0B 0A0C EEEE EEEE"},      // a group cut short
    };
    for (const Example& example : examples)
        EXPECT_EQ(ToHex(Decode(Hex(example.stream), example.area)), ToHex(Hex(example.expected)))
            << "stream " << example.stream;

    // Every truncation of every command form, and of the end command and
    // unread bytes after it, agrees with the reference, in an area just
    // large enough and in a roomy one: there a pair code runs untested when
    // a whole window of the stream is left at it.
    for (const Form& form : kForms) {
        Bytes stream = FormStream(form);
        const Bytes after = Hex("00 00000000 000000");
        stream.insert(stream.end(), after.begin(), after.end());
        for (size_t area : {4 + form.written, 4 + form.written + 80})
            for (size_t cut = 0; cut <= stream.size(); ++cut)
                EXPECT_EQ(Decode(stream, area, cut), Expect(stream, area, cut))
                    << form.command << " area " << area << " cut at " << cut;
    }
}

// The benchmark's hand-written streams, in the slowest shapes (short
// commands of every kind, each pair-code family, near and far copies, codes
// that keep their pair), over a smaller area, so that the sanitizers see
// them too: kept bytes as they were, and as zero, which is what the
// reference gives over a cleared area up to where it stopped; whole, and
// cut short in the stream and in the area, so that every loop meets the
// ends inside them; and through the portable loop alone, which is all that
// runs on a processor without the other.
TEST(Decompress, HandWrittenStreamsMatchTheReference)
{
    const size_t area = 64 * 1024;
    struct Way {
        const char* name;
        KeptBytes kept;
        bool portableLoopAlone;
    };
    const Way ways[] = {
        {"kept bytes as they were", kKeptAsTheyWere, false},
        {"kept bytes as zero", kKeptAsZero, false},
        {"the portable loop alone", kKeptAsTheyWere, true},
        {"the portable loop alone, kept bytes as zero", kKeptAsZero, true},
    };
    for (const BenchStream& stream : BenchStreams(area)) {
        const size_t size = stream.stream.size();
        const size_t cuts[][2] = {{size, area}, {size * 3 / 4 + 1, area}, {size, area - 2}, {size, area / 2 + 6}};
        for (const Way& way : ways) {
            for (const auto& cut : cuts) {
                size_t end;
                Bytes expected = Expect(stream.stream, cut[1], cut[0], Front(), kFill, &end);
                if (way.kept == kKeptAsZero) {
                    const Bytes zero = Expect(stream.stream, cut[1], cut[0], Front(), 0);
                    std::copy(zero.begin(), zero.begin() + end, expected.begin());
                }
                ASSERT_EQ(Decode(stream.stream, cut[1], cut[0], Front(), kFill, way.kept, way.portableLoopAlone),
                          expected)
                    << stream.name << ", " << way.name << ", stream " << cut[0] << " of " << size << ", area "
                    << cut[1];
            }
        }
    }
}

// Random streams biased toward commands that keep decoding going.
Bytes RandomStream(Random& random, size_t commands)
{
    Bytes out;
    auto byte = [&](unsigned lo, unsigned hi) { return static_cast<uint8_t>(lo + random.Below(hi - lo + 1)); };
    for (size_t i = 0; i < commands; ++i) {
        const unsigned kind = byte(0, 9);
        if (kind <= 1) {
            const uint8_t n = byte(1, kind == 0 ? 4 : 0x40);
            out.push_back(n);
            for (unsigned j = 0; j < 2u * n; ++j)
                out.push_back(byte(0, 255));
        } else if (kind <= 3) {
            out.push_back(byte(0x41, 0xC0));
        } else {
            const unsigned count = byte(1, kind == 9 ? 63 : 6);
            out.push_back(static_cast<uint8_t>(0xC0 + count));
            for (unsigned j = 0; j < count; ++j) {
                out.push_back(byte(0, 255));
                // Enough operand bytes for any code; extra ones are read as
                // the next pair codes, which is fine for a random stream.
                for (unsigned k = byte(0, 3); k > 0; --k)
                    out.push_back(byte(0, 255));
            }
        }
        if (byte(0, 200) == 0)
            out.push_back(0);  // an occasional early end
    }
    return out;
}

TEST(Decompress, RandomStreamsMatchTheReference)
{
    Random random{20261207};
    for (int round = 0; round < 3000; ++round) {
        const Bytes stream = RandomStream(random, 1 + random.Below(60));
        Bytes front(kFront);
        for (uint8_t& b : front)
            b = static_cast<uint8_t>(random.Next());
        const size_t area = random.Below(901);
        // Often cut the stream short, so it ends inside a command.
        const size_t cut = random.Below(3) == 0 ? random.Below(static_cast<unsigned>(stream.size()) + 1) : stream.size();
        const uint8_t fill = static_cast<uint8_t>(random.Next());
        const Bytes expected = Expect(stream, area, cut, front, fill);
        const Bytes got = Decode(stream, area, cut, front, fill);
        ASSERT_EQ(ToHex(got), ToHex(expected)) << "round " << round << " stream " << ToHex(Bytes(stream.begin(), stream.begin() + cut));
    }
}

}  // namespace
