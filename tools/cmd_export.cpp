// cmd_export.cpp - mhkbmp export ARCHIVE INDEX OUT and
// mhkbmp export-all [--png] ARCHIVE DIR: decode bottom-up and write the same
// bitmap files as the viewer's Save Image As, or decode top-down and write
// PNG files of the same palette and pixels.
#include <stdio.h>

#include "tools/commands.h"
#include "tools/images.h"
#include "tools/output.h"
#include "imagefile/png.h"

int RunExport(const Options& options, int, char** operands)
{
    uint16_t index;
    if (ParseIndex(operands[1], &index) != kExitOk)
        return kExitUsage;
    const std::string out = operands[2];
    if (out.empty())
        return UsageError("OUT", "empty");
    ArchiveFile archive;
    std::vector<ListedImage> images;
    ExitCode result = OpenAndList(operands[0], &archive, &images);
    if (result != kExitOk)
        return result;

    // The archive is never written over, whatever path names it.
    ProtectedFiles inputs;
    ProtectArchive(&inputs, archive);
    result = CheckOutput(out, inputs);
    if (result != kExitOk)
        return Fail(result);
    // "-" has no extension to go by.
    PngEncoder encoder;
    const bool png = options.png || (out != kStandardStream && EndsWithNoCase(out, ".png"));
    std::string unreadable;
    result = ExportImage(archive.view(), index, png ? &encoder : nullptr, out, &unreadable);
    if (result == kExitCannotRead)
        NoteFailure(archive.name(), unreadable);
    return result == kExitOk ? kExitOk : Fail(result);
}

int ExportAll(const char* archivePath, const char* dir, const Options& options, PageNamer namePages,
              PageWriter writePage)
{
    if (*dir == '\0')
        return UsageError("DIR", "empty");
    const bool png = options.png || namePages != nullptr;
    ArchiveFile archive;
    ExportRun run;
    run.archivePath = archivePath;
    ExitCode opened = OpenAndList(archivePath, &archive, &run.images);
    if (opened != kExitOk)
        return opened;
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
    ProtectArchive(&inputs, archive);
    std::vector<std::string> outputs = run.names;
    outputs.insert(outputs.end(), run.pages.begin(), run.pages.end());
    for (const std::string& name : outputs) {
        if (CheckOutput(folder + name, inputs) != kExitOk)
            return Fail(kExitCannotOpen);
    }

    // One encoder for the whole run: its deflate states are made once, then
    // reset for each picture.
    PngEncoder encoder;
    Progress progress(options.quiet, total);
    unsigned written = 0;
    unsigned unreadable = 0;
    for (unsigned i = 0; i < total; ++i) {
        std::string why;
        const ExitCode result =
            ExportImage(run.view, run.images[i].index, png ? &encoder : nullptr, folder + run.names[i], &why);
        if (result == kExitOk) {
            ++written;
            run.readable[i] = true;
            progress.Step(i, run.names[i]);
        } else if (result == kExitCannotRead) {
            ++unreadable;
            progress.Failure(i, run.names[i] + ": " + ExitMessage(result));
        } else {
            // The output side failed; the next file would fail the same way.
            progress.Failure(i, run.names[i] + ": not written");
            return Fail(result);
        }
    }
    progress.Done();
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

int RunExportAll(const Options& options, int, char** operands)
{
    return ExportAll(operands[0], operands[1], options, nullptr, nullptr);
}
