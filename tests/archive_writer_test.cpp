// archive_writer_test.cpp - archives as the writer lays them out, read back
// by the viewer's reader, and the items whose tables they cannot hold.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "archive/archive.h"
#include "tests/support/archive_builder.h"
#include "packer/resource_writer.h"

namespace {

TEST(ArchiveWriter, WrittenArchivesReadBack)
{
    std::vector<ArchiveItem> items;
    for (unsigned i = 0; i < 40; ++i) {
        ArchiveItem item;
        item.id = uint16_t(i + 1);
        item.name = i % 3 == 0 ? "" : "picture " + std::to_string(i);
        item.data.assign(1 + i * 97, uint8_t(i));
        items.push_back(item);
    }
    items[5].data.assign(0x12345, 0x5A);  // needs the size's third byte
    std::vector<uint8_t> archive;
    std::string error;
    ASSERT_TRUE(BuildMohawkArchive(items, &archive, &error)) << error;
    ASSERT_TRUE(IsValidArchive(archive.data(), uint32_t(archive.size())));
    std::vector<unsigned> counts;
    const std::vector<ListedItem> listed = ListResources(archive.data(), kTypeBitmap, &counts);
    ASSERT_EQ(listed.size(), items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(listed[i].id, items[i].id);
        EXPECT_EQ(listed[i].index, i + 1);
        EXPECT_EQ(listed[i].name, items[i].name.empty() ? "<null>" : items[i].name);
        const uint8_t* data;
        uint32_t size;
        ASSERT_TRUE(GetResourceData(archive.data(), uint16_t(i + 1), &data, &size));
        ASSERT_EQ(size, items[i].data.size());
        EXPECT_EQ(memcmp(data, items[i].data.data(), size), 0);
    }
}

TEST(ArchiveWriter, RefusesWhatTheTablesCannotHold)
{
    // count items named name, of dataSize bytes each.
    auto items = [](size_t count, const std::string& name, size_t dataSize = 1) {
        std::vector<ArchiveItem> list(count);
        for (size_t i = 0; i < count; ++i)
            list[i] = ArchiveItem{uint16_t(i + 1), name, std::vector<uint8_t>(dataSize, 0)};
        return list;
    };
    const struct {
        const char* what;
        std::vector<ArchiveItem> items;
        const char* refusal;  // a fragment of the reason given; null: accepted
    } cases[] = {
        // Nameless items: 14 bytes of table each (resource and file entries)
        // before the file table, which must start within 65535 bytes. It
        // starts at 16 + 4 x count (+ 4 + name bytes per name).
        {"16379 nameless items", items(16379, ""), nullptr},
        {"16380 nameless items", items(16380, ""), "16-bit"},
        {"3639 named items", items(3639, "nnnnnnnnn"), nullptr},  // 16 + 18 x 3639 = 65518
        {"3640 named items", items(3640, "nnnnnnnnn"), ""},
        {"65536 items", items(65536, ""), "65535"},
        {"a zero byte in a name", items(1, std::string("n\0n", 3)), ""},
        {"no data", items(1, "nnn", 0), ""},
        {"16 MiB of data", items(1, "nnn", 0x1000000), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> archive;
        std::string error;
        const bool built = BuildMohawkArchive(c.items, &archive, &error);
        EXPECT_EQ(built, c.refusal == nullptr) << error;
        if (!built && c.refusal != nullptr) {
            EXPECT_NE(error.find(c.refusal), std::string::npos) << error;
        } else if (built && c.refusal == nullptr) {
            ASSERT_TRUE(IsValidArchive(archive.data(), uint32_t(archive.size())));
            const uint8_t* data;
            uint32_t size;
            EXPECT_TRUE(GetResourceData(archive.data(), uint16_t(c.items.size()), &data, &size));
        }
    }
}

}  // namespace
