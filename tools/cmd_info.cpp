// cmd_info.cpp - mhkbmp info ARCHIVE: what an archive holds beside its
// pictures, one tab-separated line each: its size, every type entry of the
// directory with the counts of its resource and name tables, and the
// number of file entries. A count whose table does not lie inside the file
// is "-"; so is the file count.
#include <stdio.h>

#include "archive/layout.h"
#include "tools/mhkbmp.h"

namespace {

bool Inside(uint64_t offset, uint64_t length, uint32_t size)
{
    return offset <= size && length <= size - offset;
}

// The count of a table at offset whose entries start at first ("-" unless
// all of it is in the file): a type's tables count in 16 bits, the file
// table in 32.
std::string TableCount(const uint8_t* base, uint32_t size, uint64_t offset, uint32_t first, uint32_t entryBytes)
{
    if (!Inside(offset, first, size))
        return "-";
    const uint32_t count = first == kTableEntries ? ReadBE16(base + offset + kTableCount)
                                                  : ReadBE32(base + offset + kFileTableCount);
    return Inside(offset, first + uint64_t(entryBytes) * count, size) ? std::to_string(count) : "-";
}

// Four printable ASCII bytes as they are, anything else as 0x and hex.
std::string Tag(const uint8_t* bytes)
{
    char text[16];
    for (int i = 0; i < 4; ++i) {
        if (bytes[i] < 0x20 || bytes[i] > 0x7E) {
            snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(ReadBE32(bytes)));
            return text;
        }
    }
    return std::string(reinterpret_cast<const char*>(bytes), 4);
}

}  // namespace

int RunInfo(int argc, char** argv)
{
    if (argc != 2)
        return kExitUsage;
    ArchiveFile archive;
    const ExitCode opened = archive.Open(argv[1], false);
    if (opened != kExitOk)
        return Fail(opened);
    const uint8_t* base = archive.view().base;
    const uint32_t size = archive.view().size;

    std::string out = "size\t" + std::to_string(size) + "\n";
    std::string files = "-";
    // The directory's offset and the file table's are read only when the
    // file holds them, as the reader does.
    const uint64_t directory = size >= kArchiveDirectory + 4 ? ReadBE32(base + kArchiveDirectory) : size;
    // The type table counts only whole, as the reader takes it.
    if (Inside(directory, kDirectoryTypes, size)) {
        const unsigned types = ReadBE16(base + directory + kDirectoryTypeCount);
        if (Inside(directory + kDirectoryTypes, uint64_t(kTypeEntrySize) * types, size)) {
            for (unsigned t = 0; t < types; ++t) {
                const uint8_t* entry = base + directory + kDirectoryTypes + kTypeEntrySize * t;
                out += "type\t" + Tag(entry + kTypeEntryTag) + "\t" +
                       TableCount(base, size, directory + ReadBE16(entry + kTypeEntryResources), kTableEntries,
                                  kResourceEntrySize) +
                       "\t" +
                       TableCount(base, size, directory + ReadBE16(entry + kTypeEntryNames), kTableEntries,
                                  kNameEntrySize) +
                       "\n";
            }
        }
    }
    if (size >= kArchiveFileTable + 2)
        files = TableCount(base, size, directory + ReadBE16(base + kArchiveFileTable), kFileTableEntries,
                           kFileEntrySize);
    out += "files\t" + files + "\n";
    archive.Close();
    fwrite(out.data(), 1, out.size(), stdout);
    return FlushStandardOutput();
}
