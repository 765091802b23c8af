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

int RunPack(int argc, char** argv)
{
    CompressOptions options;
    if (!TakeOptions(&argc, &argv, nullptr, &options) || argc < 3 || argv[1][0] == '\0')
        return kExitUsage;
    const std::string out = argv[1];
    const size_t count = size_t(argc) - 2;
    if (count > kMaxTableEntries)
        return Report(out, std::to_string(count) + " images given; an archive holds at most " +
                               std::to_string(kMaxTableEntries), kExitTooLarge);

    // An input is never written over, whatever path names it; checked
    // before the inputs are read and encoded, which may take long.
    ProtectedFiles inputs;
    for (size_t i = 0; i < count; ++i)
        ProtectFile(&inputs, argv[2 + i]);
    if (CheckOutput(out, inputs) != kExitOk)
        return Fail(kExitCannotOpen);

    std::vector<ArchiveItem> items;
    items.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const char* path = argv[2 + i];
        BmpImage image;
        std::string reason;
        const ExitCode read = ReadImageFile(path, &image, &reason);
        if (read != kExitOk)
            return Report(path, reason, read);
        ArchiveItem item;
        item.id = static_cast<uint16_t>(i + 1);
        item.name = PackName(path);
        item.data = EncodeImage(image, options);
        items.push_back(std::move(item));
    }

    std::vector<uint8_t> archive;
    std::string reason;
    if (!BuildMohawkArchive(items, &archive, &reason))
        return Report(out, "cannot be packed: " + reason, kExitTooLarge);
    items.clear();

    const ExitCode written = WriteOutputFile(out, archive.data(), archive.size());
    if (written != kExitOk)
        return Report(out, ExitMessage(written), written);
    return kExitOk;
}
