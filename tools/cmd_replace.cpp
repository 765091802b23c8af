// cmd_replace.cpp - putting edited pictures back into their own archive:
//   mhkbmp replace [--price=N] ARCHIVE OUT.mhk INDEX IMAGE [INDEX IMAGE]...
//   mhkbmp import-all [--png] [--price=N] ARCHIVE DIR OUT.mhk
// Every other byte of the archive is kept (see packer/archive_replace.h).
// Every input is read, checked and encoded before OUT is written, and OUT
// goes through the one output path; it may be ARCHIVE itself.
#include <stdio.h>
#include <string.h>

#include "tools/commands.h"
#include "tools/images.h"
#include "tools/output.h"
#include "packer/archive_replace.h"

namespace {

// Plans and writes the replacements into out. The archive is unmapped
// before the rename (which some systems refuse over a mapped file), and
// must then still be the file that was read.
int WriteReplaced(ArchiveFile* archive, const std::vector<Replacement>& replacements, const std::string& out)
{
    const ArchiveView& view = archive->view();
    ReplacementPlan plan;
    std::string reason;
    const PlanResult planned = PlanReplacements(view.base, view.size, replacements, &plan, &reason);
    if (planned != kPlanned)
        return Fail(planned == kPlanTooLarge ? kExitTooLarge : kExitRefused, archive->name(),
                    reason + "; nothing written");
    OutputFile output;
    ExitCode result = OpenOutput(out, &output);
    if (result == kExitOk) {
        const bool written = WriteReplacedArchive(view.base, view.size, replacements, plan, WriteToOutput, &output);
        archive->Unmap();
        output.unchanged = archive;
        result = CloseOutput(&output, written);
    }
    return result == kExitOk ? kExitOk : Fail(result);
}

bool IsListed(const std::vector<ListedImage>& images, uint16_t index)
{
    for (const ListedImage& image : images) {
        if (image.index == index)
            return true;
    }
    return false;
}

// Takes data as the replacement of index, once: false when another file
// has already changed that picture differently.
bool Record(uint16_t index, std::vector<uint8_t> data, std::vector<int>* replacementOf,
            std::vector<Replacement>* replacements)
{
    int& earlier = (*replacementOf)[index];
    if (earlier >= 0)
        return (*replacements)[size_t(earlier)].data == data;
    earlier = int(replacements->size());
    replacements->push_back(Replacement{index, std::move(data)});
    return true;
}

// ARCHIVE and OUT name files: standard input or output cannot be put
// back.
ExitCode CheckFiles(const char* archive, const char* out)
{
    if (strcmp(archive, kStandardStream) == 0)
        return UsageError(archive, "ARCHIVE must be a file, which is rewritten");
    if (*out == '\0' || strcmp(out, kStandardStream) == 0)
        return UsageError(*out == '\0' ? "OUT" : out, *out == '\0' ? "empty" : "OUT must be a file");
    return kExitOk;
}

}  // namespace

int RunReplace(const Options& options, int count, char** operands)
{
    if (count % 2 != 0)
        return UsageError(std::to_string(count) + " operands", "INDEX and IMAGE come in pairs");
    const char* archivePath = operands[0];
    const std::string out = operands[1];
    const ExitCode files = CheckFiles(archivePath, operands[1]);
    if (files != kExitOk)
        return files;
    std::vector<Replacement> replacements;
    std::vector<bool> given(kMaxFileIndex + 1, false);
    for (int i = 2; i < count; i += 2) {
        uint16_t index;
        if (ParseIndex(operands[i], &index) != kExitOk)
            return kExitUsage;
        if (given[index])
            return UsageError(operands[i], "file-table index " + std::to_string(index) + " given twice");
        given[index] = true;
        replacements.push_back(Replacement{index, {}});
    }

    ArchiveFile archive;
    std::vector<ListedImage> images;
    const ExitCode opened = OpenAndList(archivePath, &archive, &images, true);
    if (opened != kExitOk)
        return opened;
    for (const Replacement& r : replacements) {
        if (!IsListed(images, r.index))
            return Fail(kExitRefused, archive.name(), "file-table index " + std::to_string(r.index) +
                                                          " is not a listed picture; nothing written");
    }
    // ARCHIVE may be OUT (the rename puts the new file in its place), but no
    // picture being read may be written over.
    ProtectedFiles inputs;
    for (int i = 3; i < count; i += 2)
        ProtectFile(&inputs, operands[i]);
    if (CheckOutput(out, inputs) != kExitOk)
        return Fail(kExitCannotOpen);
    for (size_t k = 0; k < replacements.size(); ++k) {
        const ExitCode encoded = EncodeImageFile(operands[3 + 2 * k], options.compress, &replacements[k].data);
        if (encoded != kExitOk)
            return encoded;
    }
    return WriteReplaced(&archive, replacements, out);
}

int RunImportAll(const Options& options, int, char** operands)
{
    const char* dir = operands[1];
    const std::string out = operands[2];
    ExitCode result = *dir == '\0' ? UsageError("DIR", "empty") : CheckFiles(operands[0], operands[2]);
    if (result != kExitOk)
        return result;
    ArchiveFile archive;
    std::vector<ListedImage> images;
    result = OpenAndList(operands[0], &archive, &images, true);
    if (result != kExitOk)
        return result;

    // A mistyped DIR would otherwise find every file missing and write a
    // copy of ARCHIVE as though all had gone well.
    if (!IsFolder(dir))
        return Fail(kExitCannotOpen, dir, "not a folder; nothing written");
    const std::string folder = FolderPrefix(dir);
    const std::vector<std::string> names = ExportNames(images, options.png ? ".png" : ".bmp");
    const size_t total = images.size();
    ProtectedFiles inputs;
    for (const std::string& name : names)
        ProtectFile(&inputs, (folder + name).c_str());
    if (CheckOutput(out, inputs) != kExitOk)
        return Fail(kExitCannotOpen);

    // The replacement each file-table index gets, so that a picture listed
    // twice is put back once, and two different edits of it are refused.
    std::vector<int> replacementOf(kMaxFileIndex + 1, -1);
    std::vector<Replacement> replacements;
    Progress progress(options.quiet, total);
    unsigned replaced = 0, unchanged = 0, missing = 0, refused = 0;
    ExitCode failure = kExitOk;
    for (size_t i = 0; i < total; ++i) {
        const std::string path = folder + names[i];
        const uint16_t index = images[i].index;
        std::string status;
        BmpImage image;
        ExitCode read = kExitOk;
        const NameKind kind = InspectName(path.c_str());
        if (kind == kNameAbsent) {
            status = "missing";
            ++missing;
        } else if (kind == kNameOther || kind == kNameLinkToOther) {
            read = kExitRefused;  // a FIFO would never give its bytes back
            status = "not a regular file";
        } else if ((read = ReadImageFile(path.c_str(), &image, &status, kExitRefused)) == kExitOk) {
            // (A name that became a FIFO since the look above is refused as one.)
            if (HoldsPicture(archive.view(), index, image)) {
                status = "unchanged";
                ++unchanged;
            } else if (!Record(index, EncodeImage(image, options.compress), &replacementOf, &replacements)) {
                read = kExitRefused;
                status = "another file changes the same picture (file-table index " + std::to_string(index) +
                         ") differently";
            } else {
                status = "replaced";
                ++replaced;
            }
        }
        if (read != kExitOk) {
            ++refused;
            if (failure == kExitOk)
                failure = read;
        }
        if (read != kExitOk)
            progress.Failure(i, names[i] + ": " + status);
        else
            progress.Step(i, names[i] + ": " + status);
    }
    progress.Done();
    if (failure != kExitOk)
        return Fail(failure, dir, std::to_string(refused) + (refused == 1 ? " file" : " files") +
                                      " refused; nothing written");
    const int written = WriteReplaced(&archive, replacements, out);
    if (written != kExitOk)
        return written;
    printf("%u replaced, %u unchanged, %u missing\n", replaced, unchanged, missing);
    return FlushStandardOutput((out + " was written").c_str());
}
