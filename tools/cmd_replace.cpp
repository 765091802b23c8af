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
        return Report(archive->path(), reason + "; nothing written", planned == kPlanTooLarge ? kExitTooLarge
                                                                                             : kExitRefused);
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

}  // namespace

int RunReplace(int argc, char** argv)
{
    CompressOptions options;
    if (!TakeOptions(&argc, &argv, nullptr, &options) || argc < 5 || (argc - 3) % 2 != 0 || argv[2][0] == '\0')
        return kExitUsage;
    const char* archivePath = argv[1];
    const std::string out = argv[2];
    std::vector<Replacement> replacements;
    std::vector<bool> given(65536, false);
    for (int i = 3; i < argc; i += 2) {
        uint16_t index;
        if (!ParseIndex(argv[i], &index) || given[index])
            return kExitUsage;
        given[index] = true;
        replacements.push_back(Replacement{index, {}});
    }

    ArchiveFile archive;
    std::vector<ListedImage> images;
    const ExitCode opened = OpenAndList(archivePath, &archive, &images, true);
    if (opened != kExitOk)
        return Fail(opened);
    for (const Replacement& r : replacements) {
        if (!IsListed(images, r.index))
            return Report(archivePath, "file-table index " + std::to_string(r.index) +
                                           " is not a listed picture; nothing written", kExitRefused);
    }
    // ARCHIVE may be OUT (the rename puts the new file in its place), but no
    // picture being read may be written over.
    ProtectedFiles inputs;
    for (int i = 4; i < argc; i += 2)
        ProtectFile(&inputs, argv[i]);
    if (CheckOutput(out, inputs) != kExitOk)
        return Fail(kExitCannotOpen);
    for (size_t k = 0; k < replacements.size(); ++k) {
        const char* path = argv[4 + 2 * k];
        BmpImage image;
        std::string reason;
        const ExitCode read = ReadImageFile(path, &image, &reason);
        if (read != kExitOk)
            return Report(path, reason, read);
        replacements[k].data = EncodeImage(image, options);
    }
    return WriteReplaced(&archive, replacements, out);
}

int RunImportAll(int argc, char** argv)
{
    bool png = false;
    CompressOptions options;
    if (!TakeOptions(&argc, &argv, &png, &options) || argc != 4 || argv[2][0] == '\0' || argv[3][0] == '\0')
        return kExitUsage;
    const std::string out = argv[3];
    ArchiveFile archive;
    std::vector<ListedImage> images;
    const ExitCode opened = OpenAndList(argv[1], &archive, &images, true);
    if (opened != kExitOk)
        return Fail(opened);

    // A mistyped DIR would otherwise find every file missing and write a
    // copy of ARCHIVE as though all had gone well.
    if (!IsFolder(argv[2])) {
        fprintf(stderr, "%s is not a folder; nothing written\n", argv[2]);
        return Fail(kExitCannotOpen);
    }
    const std::string folder = FolderPrefix(argv[2]);
    const std::vector<std::string> names = ExportNames(images, png ? ".png" : ".bmp");
    const size_t total = images.size();
    ProtectedFiles inputs;
    for (const std::string& name : names)
        ProtectFile(&inputs, (folder + name).c_str());
    if (CheckOutput(out, inputs) != kExitOk)
        return Fail(kExitCannotOpen);

    // The replacement each file-table index gets, so that a picture listed
    // twice is put back once, and two different edits of it are refused.
    std::vector<int> replacementOf(65536, -1);
    std::vector<Replacement> replacements;
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
        } else if ((read = ReadImageFile(path.c_str(), &image, &status)) != kExitOk) {
            if (read == kExitCannotOpen && status == "not a regular file")
                read = kExitRefused;  // it became one since it was looked at
        } else if (HoldsPicture(archive.view(), index, image)) {
            status = "unchanged";
            ++unchanged;
        } else {
            std::vector<uint8_t> data = EncodeImage(image, options);
            if (replacementOf[index] < 0) {
                replacementOf[index] = int(replacements.size());
                replacements.push_back(Replacement{index, std::move(data)});
            } else if (replacements[replacementOf[index]].data != data) {
                read = kExitRefused;
                status = "another file changes the same picture (file-table index " + std::to_string(index) +
                         ") differently";
            }
            if (read == kExitOk) {
                status = "replaced";
                ++replaced;
            }
        }
        if (read != kExitOk) {
            ++refused;
            if (failure == kExitOk)
                failure = read;
        }
        fprintf(stderr, "%u/%u %s: %s\n", unsigned(i + 1), unsigned(total), names[i].c_str(), status.c_str());
    }
    if (failure != kExitOk)
        return Report(argv[2], std::to_string(refused) + (refused == 1 ? " file" : " files") +
                                   " refused; nothing written", failure);
    const int result = WriteReplaced(&archive, replacements, out);
    if (result != kExitOk)
        return result;
    printf("%u replaced, %u unchanged, %u missing\n", replaced, unchanged, missing);
    return FlushStandardOutput((out + " was written").c_str());
}
