// cmd_pack.cpp - mhkbmp pack OUT.mhk IMAGE...: one tBMP resource per input
// (a bitmap or PNG file), in input order, with IDs and file-table indexes
// from 1, each named after its file. Every input is read and encoded before
// the archive is written, through the one output path, so a refused input
// or a failed write leaves no archive behind.
#include <stdio.h>
#include <string.h>

#include "tools/mhkbmp.h"
#include "writer/bmp_reader.h"
#include "writer/png.h"
#include "writer/resource_writer.h"

namespace {

// Larger files cannot be accepted bitmaps (the largest is about 1 MB), so
// they are refused by their size, never read.
const uint64_t kMaxInputSize = 64u << 20;

}  // namespace

ExitCode ReadImageFile(const char* path, BmpImage* image, std::string* reason)
{
    InputFile file;
    const InputResult opened = OpenInput(path, &file);
    if (opened != kInputOpen) {
        *reason = opened == kInputNotRegular ? "not a regular file" : ExitMessage(kExitCannotOpen);
        return kExitCannotOpen;
    }
    std::vector<uint8_t> bytes;
    bool ok = true;
    if (file.size <= kMaxInputSize) {
        // A file that grows while it is read is cut at the limit all the same.
        bytes.reserve(size_t(file.size));
        uint8_t chunk[65536];
        size_t got;
        while ((ok = ReadInput(&file, chunk, sizeof chunk, &got)) && got > 0 && bytes.size() <= kMaxInputSize)
            bytes.insert(bytes.end(), chunk, chunk + got);
    }
    CloseInput(&file);
    if (!ok) {
        *reason = ExitMessage(kExitCannotOpen);
        return kExitCannotOpen;
    }
    if (file.size > kMaxInputSize || bytes.size() > kMaxInputSize) {
        *reason = "too large to be an accepted bitmap file";
        return kExitRefused;
    }
    const bool png = IsPng(bytes.data(), bytes.size());
    return (png ? ParsePng : ParseBmp)(bytes.data(), bytes.size(), image, reason) ? kExitOk : kExitRefused;
}

std::vector<uint8_t> EncodeImage(const BmpImage& image, const CompressOptions& options)
{
    if (image.bitsPerPixel == 8)
        return BuildPaletteResource(image.width, image.height, image.palette.data(), image.rows.data(), kStoreSmaller,
                                    options);
    return BuildTrueColourResource(image.rows.data());
}

std::string PackName(const std::string& path)
{
    size_t start = 0;
    for (size_t i = 0; i < path.size(); ++i) {
#ifdef _WIN32
        if (path[i] == '/' || path[i] == '\\' || path[i] == ':')
            start = i + 1;
#else
        if (path[i] == '/')
            start = i + 1;
#endif
    }
    std::string name = path.substr(start);
    if (EndsWithNoCase(name, ".bmp") || EndsWithNoCase(name, ".png"))
        name.resize(name.size() - 4);
    return name;
}

int RunPack(int argc, char** argv)
{
    CompressOptions options;
    if (!TakeOptions(&argc, &argv, nullptr, &options) || argc < 3 || argv[1][0] == '\0')
        return kExitUsage;
    const std::string out = argv[1];
    const size_t count = size_t(argc) - 2;
    if (count > 65535)
        return Report(out, std::to_string(count) + " images given; an archive holds at most 65535", kExitTooLarge);

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
