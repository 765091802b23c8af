// cmd_pack.cpp - mhkbmp pack OUT.mhk IMAGE...: one tBMP resource per input
// (a bitmap or PNG file), in input order, with IDs and file-table indexes
// from 1, each named after its file. Every input is read and encoded before
// the archive is written, through the one output path, so a refused input
// or a failed write leaves no archive behind.
#include <stdio.h>
#include <string.h>

#include "tools/commands.h"
#include "tools/images.h"
#include "tools/output.h"
#include "packer/resource_writer.h"

int RunPack(const Options& options, int operandCount, char** operands)
{
    const std::string out = operands[0];
    if (out.empty())
        return UsageError("OUT", "empty");
    const size_t count = size_t(operandCount) - 1;
    char** paths = operands + 1;
    if (count > kMaxTableEntries)
        return Fail(kExitTooLarge, out, std::to_string(count) + " images given; an archive holds at most " +
                                            std::to_string(kMaxTableEntries));

    // An input is never written over, whatever path names it; checked
    // before the inputs are read and encoded, which may take long.
    ProtectedFiles inputs;
    for (size_t i = 0; i < count; ++i)
        ProtectFile(&inputs, paths[i]);
    if (CheckOutput(out, inputs) != kExitOk)
        return Fail(kExitCannotOpen);

    std::vector<ArchiveItem> items;
    items.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        ArchiveItem item;
        const ExitCode encoded = EncodeImageFile(paths[i], options.compress, &item.data);
        if (encoded != kExitOk)
            return encoded;
        item.id = static_cast<uint16_t>(i + 1);
        item.name = PackName(paths[i]);
        items.push_back(std::move(item));
    }

    std::vector<uint8_t> archive;
    std::string reason;
    if (!BuildMohawkArchive(items, &archive, &reason))
        return Fail(kExitTooLarge, out, "cannot be packed: " + reason);
    items.clear();
    const ExitCode written = WriteOutputFile(out, archive.data(), archive.size());
    return written == kExitOk ? kExitOk : Fail(written);
}
