// archive_test.cpp - header validation, mapping, the resource directory and
// its bounds, checked on archives built by the test-archive builder.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "tests/support/archive_builder.h"

#ifdef _WIN32
#include <direct.h>
#define mkdir(path, mode) _mkdir(path)
#define rmdir _rmdir
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

// How a failed check shows a line (found by argument lookup, so outside the namespace).
std::ostream& operator<<(std::ostream& os, const ListedItem& item)
{
    return os << "{" << item.id << ", " << item.index << ", \"" << item.name << "\"}";
}

namespace {

// A heap copy exactly as large as the archive, so that the sanitizers catch a
// read one byte past the end.
struct ExactCopy {
    explicit ExactCopy(const Bytes& bytes) : size(static_cast<uint32_t>(bytes.size())), data(new uint8_t[bytes.size()])
    {
        memcpy(data.get(), bytes.data(), bytes.size());
    }
    uint32_t size;
    std::unique_ptr<uint8_t[]> data;
};

// Validates, then enumerates type tag; the archive must be valid. One
// count comes first, and only when there are items.
std::vector<ListedItem> Enumerate(const Bytes& bytes, uint32_t tag = kTypeBitmap)
{
    ExactCopy copy(bytes);
    EXPECT_TRUE(IsValidArchive(copy.data.get(), copy.size));
    std::vector<unsigned> counts;
    std::vector<ListedItem> items = ListResources(copy.data.get(), tag, &counts);
    EXPECT_EQ(counts, items.empty() ? std::vector<unsigned>() : std::vector<unsigned>{unsigned(items.size())});
    return items;
}

const uint32_t kOtherTag = 0x74575656;  // 'tWAV'

Bytes Data(size_t size, uint8_t fill = 0xAB)
{
    return Bytes(size, fill);
}

// Three bitmaps (two named), plus a type of another tag.
ArchivePlan SmallPlan()
{
    ArchivePlan plan;
    plan.types.push_back(TypePlan{kOtherTag, {{7, 4}}, {{"sound", 4}}});
    plan.types.push_back(
        TypePlan{kTypeBitmap, {{1000, 2}, {5, 1}, {40000, 3}}, {{"first", 1}, {"second", 2}}});
    for (int i = 0; i < 4; ++i)
        plan.files.push_back(FilePlan{Data(10 + i)});
    return plan;
}

TEST(ReadBE, ReadsBigEndianAtAnyAddress)
{
    const uint8_t bytes[] = {0x00, 0xFF, 0x80, 0x01, 0x7F, 0xFE};
    EXPECT_EQ(ReadBE16(bytes), 0x00FFu);
    EXPECT_EQ(ReadBE16(bytes + 1), 0xFF80u);
    EXPECT_EQ(ReadBE32(bytes), 0x00FF8001u);
    EXPECT_EQ(ReadBE32(bytes + 1), 0xFF80017Fu);
    EXPECT_EQ(ReadBE32(bytes + 2), 0x80017FFEu);
}

// The smallest valid archive: both headers and nothing else.
Bytes MinimalArchive()
{
    Bytes bytes = {'M', 'H', 'W', 'K', 0, 0, 0, 20, 'R', 'S', 'R', 'C', 1, 0, 0, 0,
                   0,   0,   0,   28,  0, 0, 0, 0,  0,   0,   0,   0};
    return bytes;
}

TEST(IsValidArchive, HeaderRules)
{
    struct Case {
        const char* what;
        size_t offset;
        std::vector<uint8_t> patch;
        bool valid;
    } cases[] = {
        {"unchanged 28-byte archive", 0, {}, true},
        {"directory offset is not checked", 20, {0xFF, 0xFF, 0xFF, 0xFF}, true},
        {"file-table offset is not checked", 24, {0xFF, 0xFF, 0xFF, 0xFF}, true},
        {"wrong first magic", 0, {'M', 'H', 'W', 'k'}, false},
        {"size-8 field one more", 4, {0, 0, 0, 21}, false},
        {"size-8 field one less", 4, {0, 0, 0, 19}, false},
        {"size-8 field is the full size", 4, {0, 0, 0, 28}, false},
        {"wrong second magic", 8, {'R', 'S', 'R', 'S'}, false},
        {"version 01 00 00 01", 12, {1, 0, 0, 1}, false},
        {"version 00 01 00 00", 12, {0, 1, 0, 0}, false},
        {"version 02 00 00 00", 12, {2, 0, 0, 0}, false},
        {"total size one more", 16, {0, 0, 0, 29}, false},
        {"total size one less", 16, {0, 0, 0, 27}, false},
        // size - 8 is computed in 32 bits: a (bogus) size below 8 wraps.
        {"size-8 field wraps", 4, {0xFF, 0xFF, 0xFF, 0xFC}, false},
    };
    for (const Case& c : cases) {
        Bytes bytes = MinimalArchive();
        std::copy(c.patch.begin(), c.patch.end(), bytes.begin() + c.offset);
        ExactCopy copy(bytes);
        EXPECT_EQ(IsValidArchive(copy.data.get(), copy.size), c.valid) << c.what;
    }
}

TEST(IsValidArchive, SizeMustMatchTheFile)
{
    // Appending or truncating breaks the archive even when offset 4 is fixed.
    Bytes grown = MinimalArchive();
    grown.push_back(0);
    PutBE32(grown, 4, static_cast<uint32_t>(grown.size() - 8));
    ExactCopy copy(grown);
    EXPECT_FALSE(IsValidArchive(copy.data.get(), copy.size));
    FixHeaderSizes(grown);
    ExactCopy fixed(grown);
    EXPECT_TRUE(IsValidArchive(fixed.data.get(), fixed.size));
}

TEST(IsValidArchive, ShortFilesAreNeverValidAndNotOverread)
{
    // Headers that would pass if the file were long enough, cut short.
    for (uint32_t size = 0; size < 20; ++size) {
        Bytes bytes = MinimalArchive();
        bytes.resize(size);
        if (size >= 8)
            PutBE32(bytes, 4, size - 8);
        ExactCopy copy(bytes);
        EXPECT_FALSE(IsValidArchive(size ? copy.data.get() : nullptr, size)) << size;
    }
}

// What archives built from plans list for a tag.
TEST(Enumerate, ListsTheTablesOfThePlan)
{
    struct Case {
        const char* what;
        Bytes archive;
        std::vector<ListedItem> expected;
        uint32_t tag = kTypeBitmap;
    };
    const Case cases[] = {
        {"table order, names by file index", BuildArchive(SmallPlan()),
         {{1000, 2, "second"}, {5, 1, "first"}, {40000, 3, "<null>"}}},
        {"the other tag", BuildArchive(SmallPlan()), {{7, 4, "sound"}}, kOtherTag},
        {"no bitmap type", BuildArchive({{TypePlan{kOtherTag, {{1, 1}}, {}}}, {FilePlan{Data(4)}}}), {}},
        {"an empty bitmap type", BuildArchive({{TypePlan{kTypeBitmap, {}, {{"orphan", 1}}}}, {}}), {}},
        {"no types", BuildArchive(ArchivePlan()), {}},
        // The 28-byte archive's directory offset is 0: its "directory" is the
        // MHWK header, whose bytes 2-3 ('W' 'K') give a huge type count.
        {"the 28-byte archive", MinimalArchive(), {}},
        {"later duplicates win",
         BuildArchive({{TypePlan{kTypeBitmap, {{1, 1}}, {}},
                        TypePlan{kTypeBitmap, {{2, 1}, {3, 2}}, {{"old", 1}, {"x", 2}, {"new", 1}}}},
                       {FilePlan{Data(1)}, FilePlan{Data(1)}}}),
         {{2, 1, "new"}, {3, 2, "x"}}},
        // Resource 7 lives at index 1; the name entry for index 7 belongs to
        // the resource at index 7, not to ID 7. Duplicate entries are reported twice.
        {"names match by file index, not by ID",
         BuildArchive({{TypePlan{kTypeBitmap, {{7, 1}, {1, 7}, {9, 1}}, {{"seven", 7}}}}, {}}),
         {{7, 1, "<null>"}, {1, 7, "seven"}, {9, 1, "<null>"}}},
        {"names are raw bytes",
         BuildArchive({{TypePlan{kTypeBitmap, {{1, 1}, {2, 2}}, {{"tab\there", 1}, {"\xE9t\xE9", 2}}}}, {}}),
         {{1, 1, "tab\there"}, {2, 2, "\xE9t\xE9"}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Enumerate(c.archive, c.tag), c.expected) << c.what;
}

// A2-A5: tables and names that leave the file.
TEST(Enumerate, TablesOutsideTheFile)
{
    Layout l;
    const Bytes good = BuildArchive(SmallPlan(), &l);
    const size_t n = good.size();
    const std::vector<ListedItem> unnamed = {{1000, 2, "<null>"}, {5, 1, "<null>"}, {40000, 3, "<null>"}};
    const std::vector<ListedItem> none;
    const struct {
        const char* what;
        size_t at;       // the field changed: the directory offset (32 bits) or a 16-bit field
        uint32_t value;
        std::vector<ListedItem> expected;
    } cases[] = {
        {"directory offset past the end", 20, uint32_t(n), none},
        {"directory header cut by the end", 20, uint32_t(n - 3), none},
        {"directory offset near 2^32", 20, 0xFFFFFFFEu, none},
        {"type table one entry too long", l.directory + 2, uint32_t((n - l.directory - 4) / 8 + 1), none},
        {"resource table starts past the end", l.typeEntries[1] + 4, uint32_t(n - l.directory), none},
        {"resource count reaches past the end", l.resourceTables[1], uint32_t((n - l.resourceTables[1] - 2) / 4 + 1),
         none},
        {"name table starts past the end", l.typeEntries[1] + 6, uint32_t(n - l.directory), unnamed},
        {"name count reaches past the end", l.nameTables[1], uint32_t((n - l.nameTables[1] - 2) / 4 + 1), unnamed},
        {"name area past the end", l.directory, uint32_t(n - l.directory), unnamed},
    };
    for (const auto& c : cases) {
        Bytes bytes = good;
        if (c.at == 20)
            PutBE32(bytes, c.at, c.value);
        else
            PutBE16(bytes, c.at, static_cast<uint16_t>(c.value));
        EXPECT_EQ(Enumerate(bytes), c.expected) << c.what;
    }
}

TEST(Enumerate, NamesMustEndInsideTheFile)
{
    // The name of index 1 is made the file's last bytes: terminated by the
    // file's last byte it is kept, cut by the end of the file it is absent.
    ArchivePlan plan;
    plan.types.push_back(TypePlan{kTypeBitmap, {{1, 1}, {2, 2}}, {{"a", 1}, {"b", 2}}});
    Layout layout;
    Bytes bytes = BuildArchive(plan, &layout);
    const char tail[] = "tail";
    size_t tailAt = bytes.size();
    bytes.insert(bytes.end(), tail, tail + 5);  // with its zero
    FixHeaderSizes(bytes);
    PutBE16(bytes, layout.nameTables[0] + 2, static_cast<uint16_t>(tailAt - layout.nameArea));
    EXPECT_EQ(Enumerate(bytes), (std::vector<ListedItem>{{1, 1, "tail"}, {2, 2, "b"}}));

    bytes.pop_back();  // drop the terminating zero
    FixHeaderSizes(bytes);
    EXPECT_EQ(Enumerate(bytes), (std::vector<ListedItem>{{1, 1, "<null>"}, {2, 2, "b"}}));

    // A name offset at the end of the file, or beyond it.
    for (size_t at : {bytes.size(), bytes.size() + 100}) {
        Bytes moved = bytes;
        PutBE16(moved, layout.nameTables[0] + 6, static_cast<uint16_t>(at - layout.nameArea));
        EXPECT_EQ(Enumerate(moved), (std::vector<ListedItem>{{1, 1, "<null>"}, {2, 2, "<null>"}})) << at;
    }
}

TEST(Enumerate, LastNameEntryDecidesEvenWhenUnusable)
{
    // The later entry for index 1 points past the end: the resource is
    // unnamed rather than falling back to the earlier, valid entry.
    for (size_t count : {2u, 40u}) {  // a short and a longer name table
        ArchivePlan plan;
        plan.types.push_back(TypePlan{kTypeBitmap, {{1, 1}}, {}});
        for (size_t i = 0; i < count; ++i)
            plan.types[0].names.push_back(NamePlan{"n" + std::to_string(i), static_cast<uint16_t>(i == count - 1 || i == 0 ? 1 : 100 + i)});
        Layout layout;
        Bytes bytes = BuildArchive(plan, &layout);
        EXPECT_EQ(Enumerate(bytes), (std::vector<ListedItem>{{1, 1, "n" + std::to_string(count - 1)}}));
        PutBE16(bytes, layout.nameTables[0] + 2 + 4 * (count - 1), 0xFFFF);
        EXPECT_EQ(Enumerate(bytes), (std::vector<ListedItem>{{1, 1, "<null>"}})) << count;
    }
}

// The name lookup, written out naively: scan the name table from the last
// entry, and take the name only if it starts and ends inside the file.
std::string NaiveName(const Bytes& bytes, size_t directory, size_t nameTable, uint16_t index)
{
    size_t nameArea = directory + ReadBE16(&bytes[directory]);
    unsigned count = ReadBE16(&bytes[nameTable]);
    for (size_t n = count; n-- > 0;) {
        size_t entry = nameTable + 2 + 4 * n;
        if (ReadBE16(&bytes[entry + 2]) != index)
            continue;
        size_t at = nameArea + ReadBE16(&bytes[entry]);
        size_t zero = at;
        while (zero < bytes.size() && bytes[zero] != 0)
            ++zero;
        if (zero >= bytes.size())
            return "<null>";
        return std::string(bytes.begin() + at, bytes.begin() + zero);
    }
    return "<null>";
}

// A7: a maximal archive is enumerated exactly as the naive scan would, in
// linear time (R x N comparisons would take minutes under the sanitizers).
TEST(Enumerate, MaximalTablesMatchTheNaiveScan)
{
    Bytes bytes = BuildMaximalArchive();
    std::vector<ListedItem> items = Enumerate(bytes);
    ASSERT_EQ(items.size(), 65535u);
    const size_t directory = ReadBE32(bytes.data() + 20);
    const size_t table = directory + ReadBE16(&bytes[directory + 8]);
    for (size_t r = 0; r < items.size(); r += 61) {
        size_t entry = table + 2 + 4 * r;
        ListedItem expected{ReadBE16(&bytes[entry]), ReadBE16(&bytes[entry + 2]), ""};
        expected.name = NaiveName(bytes, directory, directory + ReadBE16(&bytes[directory + 10]),
                                  expected.index);
        EXPECT_EQ(items[r], expected) << r;
    }
}

struct Fetched {
    bool ok;
    uint32_t offset;  // of the data inside the archive
    uint32_t size;
};

Fetched Fetch(const Bytes& bytes, uint16_t index)
{
    ExactCopy copy(bytes);
    EXPECT_TRUE(IsValidArchive(copy.data.get(), copy.size));
    const uint8_t* untouched = reinterpret_cast<const uint8_t*>(&copy);
    const uint8_t* data = untouched;
    uint32_t size = 0;
    bool ok = GetResourceData(copy.data.get(), index, &data, &size);
    if (!ok) {
        EXPECT_EQ(data, untouched) << "data written on failure, index " << index;
        return Fetched{false, 0, 0};
    }
    return Fetched{true, static_cast<uint32_t>(data - copy.data.get()), size};
}

TEST(GetResourceData, IndexesAreOneBased)
{
    Layout layout;
    Bytes bytes = BuildArchive(SmallPlan(), &layout);
    for (uint16_t index = 1; index <= 4; ++index) {
        Fetched f = Fetch(bytes, index);
        ASSERT_TRUE(f.ok) << index;
        EXPECT_EQ(f.offset, layout.data[index - 1]);
        EXPECT_EQ(f.size, 10u + index - 1);
    }
    EXPECT_FALSE(Fetch(bytes, 5).ok);
    EXPECT_FALSE(Fetch(bytes, 0).ok);
    EXPECT_FALSE(Fetch(bytes, 65535).ok);
}

TEST(GetResourceData, SizeIsTwentyFourBitsInOddOrder)
{
    ArchivePlan plan;
    plan.files.push_back(FilePlan{Data(0x030102)});
    Layout layout;
    Bytes bytes = BuildArchive(plan, &layout);
    EXPECT_EQ(bytes[layout.fileEntries[0] + 4], 0x01);
    EXPECT_EQ(bytes[layout.fileEntries[0] + 5], 0x02);
    EXPECT_EQ(bytes[layout.fileEntries[0] + 6], 0x03);
    Fetched f = Fetch(bytes, 1);
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.size, 196866u);
    // Bytes 7 to 9 of the entry are not read.
    bytes[layout.fileEntries[0] + 7] = 0xFF;
    bytes[layout.fileEntries[0] + 9] = 0xFF;
    EXPECT_EQ(Fetch(bytes, 1).size, 196866u);
}

TEST(GetResourceData, RangeChecks)
{
    ArchivePlan plan;
    plan.files = {FilePlan{Data(16)}, FilePlan{Data(16)}};
    Layout layout;
    const Bytes good = BuildArchive(plan, &layout);
    const size_t entry = layout.fileEntries[1];
    const uint32_t size = static_cast<uint32_t>(good.size());

    struct Case {
        const char* what;
        uint32_t offset;
        uint32_t length;
        bool ok;
    } cases[] = {
        {"ends exactly at the end of the file", size - 16, 16, true},
        {"ends one byte past the end", size - 15, 16, false},
        {"one byte, the file's last", size - 1, 1, true},
        {"starts at the end", size, 1, false},
        {"size zero", 40, 0, false},
        {"wraps past 2^32", 0xFFFFFFF0u, 0x20, false},
        {"ends exactly at 2^32", 0xFFFFFFF0u, 0x10, false},
        {"starts in the headers", 0, 28, true},
    };
    for (const Case& c : cases) {
        Bytes bytes = good;
        PutBE32(bytes, entry, c.offset);
        bytes[entry + 4] = static_cast<uint8_t>(c.length >> 8);
        bytes[entry + 5] = static_cast<uint8_t>(c.length);
        bytes[entry + 6] = static_cast<uint8_t>(c.length >> 16);
        Fetched f = Fetch(bytes, 2);
        EXPECT_EQ(f.ok, c.ok) << c.what;
        if (f.ok) {
            EXPECT_EQ(f.offset, c.offset) << c.what;
            EXPECT_EQ(f.size, c.length) << c.what;
        }
    }
}

// A6: the file table's count and the entry asked for must be in the file.
TEST(GetResourceData, FileTableOutsideTheFile)
{
    ArchivePlan plan;
    plan.files = {FilePlan{Data(4)}, FilePlan{Data(4)}};
    Layout layout;
    const Bytes good = BuildArchive(plan, &layout);

    Bytes pastEnd = good;  // the table's offset is directory-relative
    PutBE16(pastEnd, 24, static_cast<uint16_t>(good.size() - layout.directory - 3));
    Bytes directoryFar = good;
    PutBE32(directoryFar, 20, 0xFFFFFFF0u);
    Bytes overcounted = good;
    PutBE32(overcounted, layout.fileTable, 0xFFFFFFFFu);
    const uint16_t firstPastTheEnd = static_cast<uint16_t>((good.size() - layout.fileTable - 4) / 10 + 1);
    // A 26-byte-or-shorter "archive" cannot even hold the file-table offset.
    Bytes tiny = MinimalArchive();
    tiny.resize(24);
    FixHeaderSizes(tiny);
    const struct {
        const char* what;
        const Bytes& archive;
        uint16_t index;
        bool ok;
    } cases[] = {
        {"table past the end", pastEnd, 1, false},
        {"directory near 2^32", directoryFar, 1, false},
        // A count larger than the table: entries inside it still work,
        // entries past the end are refused.
        {"overcounted, first entry", overcounted, 1, true},
        {"overcounted, entry past the end", overcounted, firstPastTheEnd, false},
        {"overcounted, entry 65535", overcounted, 65535, false},
        {"24-byte archive", tiny, 1, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Fetch(c.archive, c.index).ok, c.ok) << c.what;
}

TEST(GetResourceData, IndexZeroFailsForAnyCount)
{
    // Index 0 wraps to entry 65535, which needs a table of 65536 entries.
    ArchivePlan plan;
    plan.files.resize(65535, FilePlan{Data(1)});
    Bytes bytes = BuildArchive(plan);
    EXPECT_FALSE(Fetch(bytes, 0).ok);
    EXPECT_TRUE(Fetch(bytes, 65535).ok);
}

TEST(MapArchive, MapsWholeFilesAndRefusesTheRest)
{
    // Every failure leaves base null, whatever it held before.
    enum Kind { kMissing, kEmpty, kFolder };
    const struct {
        const char* leaf;
        Kind kind;
    } refused[] = {{"does-not-exist.mhk", kMissing}, {"empty.mhk", kEmpty}, {"folder", kFolder}};
    const uint8_t stale = 0;
    ArchiveView view{&stale, 0};
    for (const auto& r : refused) {
        const std::string path = TempPath(r.leaf);
        if (r.kind == kEmpty) {
            ASSERT_TRUE(WriteBytes(path, Bytes()));
        } else if (r.kind == kFolder) {
            ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
        }
        view.base = &stale;
        EXPECT_FALSE(MapArchive(&view, path.c_str())) << r.leaf;
        EXPECT_EQ(view.base, nullptr) << r.leaf;
        if (r.kind == kFolder)
            rmdir(path.c_str());
        else
            remove(path.c_str());
    }

    Bytes bytes = BuildArchive(SmallPlan());
    std::string path = TempPath("small.mhk");
    ASSERT_TRUE(WriteBytes(path, bytes));
    ASSERT_TRUE(MapArchive(&view, path.c_str()));
    ASSERT_NE(view.base, nullptr);
    EXPECT_EQ(view.size, bytes.size());
    EXPECT_EQ(memcmp(view.base, bytes.data(), bytes.size()), 0);
    EXPECT_TRUE(IsValidArchive(view.base, view.size));
#ifndef _WIN32
    // The view does not depend on the file staying open, or even named.
    remove(path.c_str());
    EXPECT_EQ(memcmp(view.base, bytes.data(), bytes.size()), 0);
#endif
    ReleaseArchive(&view);
    EXPECT_EQ(view.base, nullptr);
    remove(path.c_str());
}

}  // namespace
