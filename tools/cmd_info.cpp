// cmd_info.cpp - mhkbmp info ARCHIVE: what an archive holds beside its
// pictures, one tab-separated line each: its size, every type entry of the
// directory with the counts of its resource and name tables, and the
// number of file entries. A count whose table does not lie inside the file
// is "-"; so is the file count.
#include <stdio.h>

#include "archive/directory.h"
#include "tools/commands.h"

namespace {

// A table's count, or "-" unless all of it lies in the file.
std::string Count(const TableSpan& table)
{
    return table.inside ? std::to_string(table.count) : "-";
}

// Four printable ASCII bytes as they are, anything else as 0x and hex.
std::string Tag(uint32_t tag)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned char c = static_cast<unsigned char>(tag >> shift);
        if (c < 0x20 || c > 0x7E) {
            char hex[16];
            snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(tag));
            return hex;
        }
        text += static_cast<char>(c);
    }
    return text;
}

}  // namespace

int RunInfo(const Options&, int, char** operands)
{
    ArchiveFile archive;
    const ExitCode opened = archive.Open(operands[0], false);
    if (opened != kExitOk)
        return opened;
    const uint8_t* base = archive.view().base;
    const uint32_t size = archive.view().size;

    std::string out = "size\t" + std::to_string(size) + "\n";
    ArchiveDirectory directory;
    ReadDirectory(base, size, &directory);
    // The type table counts only whole, as the reader takes it.
    TypeTables type;
    for (unsigned t = 0; directory.types.inside && ReadTypeEntry(base, size, directory, t, &type); ++t)
        out += "type\t" + Tag(type.tag) + "\t" + Count(type.resources) + "\t" + Count(type.names) + "\n";
    out += "files\t" + Count(directory.files) + "\n";
    archive.Close();
    fwrite(out.data(), 1, out.size(), stdout);
    return FlushStandardOutput();
}
