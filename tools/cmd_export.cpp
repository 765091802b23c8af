// cmd_export.cpp - mhkbmp export ARCHIVE INDEX OUT and
// mhkbmp export-all [--png] ARCHIVE DIR: decode bottom-up and write the same
// bitmap files as the viewer's Save Image As, or decode top-down and write
// PNG files of the same palette and pixels.
#include <stdio.h>

#include "tools/commands.h"
#include "tools/images.h"
#include "tools/output.h"
#include "imagefile/png.h"

int RunExport(int argc, char** argv)
{
    bool png = false;
    uint16_t index;
    if (!TakeOptions(&argc, &argv, &png, nullptr) || argc != 4 || !ParseIndex(argv[2], &index) || argv[3][0] == '\0')
        return kExitUsage;
    const std::string out = argv[3];
    ArchiveFile archive;
    std::vector<ListedImage> images;
    ExitCode result = OpenAndList(argv[1], &archive, &images);
    if (result != kExitOk)
        return Fail(result);

    // The archive is never written over, whatever path names it.
    ProtectedFiles inputs;
    ProtectFile(&inputs, argv[1]);
    result = CheckOutput(out, inputs);
    // "-" has no extension to go by.
    PngEncoder encoder;
    const bool asPng = png || (out != kStandardOutput && EndsWithNoCase(out, ".png"));
    if (result == kExitOk)
        result = ExportImage(archive.view(), index, asPng ? &encoder : nullptr, out);
    return result == kExitOk ? kExitOk : Fail(result);
}

int ExportAll(const char* archivePath, const char* dir, bool png, PageNamer namePages, PageWriter writePage)
{
    ArchiveFile archive;
    ExportRun run;
    run.archivePath = archivePath;
    ExitCode opened = OpenAndList(archivePath, &archive, &run.images);
    if (opened != kExitOk)
        return Fail(opened);
    run.view = archive.view();

    const std::string folder = FolderPrefix(dir);
    const unsigned total = static_cast<unsigned>(run.images.size());
    run.names = ExportNames(run.images, png ? ".png" : ".bmp");
    run.readable.assign(total, false);
    if (namePages != nullptr)
        run.pages = namePages(total);

    // Every name is checked before anything is written: the archive being
    // read is never written over, whatever path leads there.
    ProtectedFiles inputs;
    ProtectFile(&inputs, archivePath);
    std::vector<std::string> outputs = run.names;
    outputs.insert(outputs.end(), run.pages.begin(), run.pages.end());
    for (const std::string& name : outputs) {
        if (CheckOutput(folder + name, inputs) != kExitOk)
            return Fail(kExitCannotOpen);
    }

    // One encoder for the whole run: its deflate states are made once, then
    // reset for each picture.
    PngEncoder encoder;
    unsigned written = 0;
    unsigned unreadable = 0;
    for (unsigned i = 0; i < total; ++i) {
        const ExitCode result =
            ExportImage(run.view, run.images[i].index, png ? &encoder : nullptr, folder + run.names[i]);
        if (result == kExitOk) {
            ++written;
            run.readable[i] = true;
            fprintf(stderr, "%u/%u %s\n", i + 1, total, run.names[i].c_str());
        } else if (result == kExitCannotRead) {
            ++unreadable;
            fprintf(stderr, "%u/%u %s: %s\n", i + 1, total, run.names[i].c_str(), ExitMessage(result));
        } else {
            // The output side failed; the next file would fail the same way.
            fprintf(stderr, "%u/%u %s: not written\n", i + 1, total, run.names[i].c_str());
            return Fail(result);
        }
    }
    // The pages come last, when every picture they link to is there, and
    // the first page, where a reader comes in, last of all.
    for (size_t page = run.pages.size(); page-- > 0;) {
        const ExitCode paged = writePage(run, page, folder + run.pages[page]);
        if (paged != kExitOk) {
            fprintf(stderr, "%s: not written\n", run.pages[page].c_str());
            return Fail(paged);
        }
    }
    archive.Close();
    printf("%u written, %u unreadable\n", written, unreadable);
    if (FlushStandardOutput("every file was written") != kExitOk)
        return kExitCannotWrite;
    return unreadable == 0 ? kExitOk : kExitCannotRead;
}

int RunExportAll(int argc, char** argv)
{
    bool png = false;
    if (!TakeOptions(&argc, &argv, &png, nullptr) || argc != 3 || argv[2][0] == '\0')
        return kExitUsage;
    return ExportAll(argv[1], argv[2], png, nullptr, nullptr);
}
