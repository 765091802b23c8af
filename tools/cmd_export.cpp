// cmd_export.cpp - mhkbmp export ARCHIVE INDEX OUT.bmp and
// mhkbmp export-all ARCHIVE DIR: decode bottom-up and write the same bitmap
// files as the viewer's Save Image As.
#include <stdio.h>
#include <sys/stat.h>

#include "bitmap/bitmap.h"
#include "bitmap/bitmap_file.h"
#include "tools/mhkbmp.h"

namespace {

// ASCII decimal digits only, 0 to 65535 (leading zeros allowed).
bool ParseIndex(const char* text, uint16_t* index)
{
    if (*text == '\0')
        return false;
    uint32_t value = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9')
            return false;
        value = value * 10 + static_cast<uint32_t>(*c - '0');
        if (value > 65535)
            return false;
    }
    *index = static_cast<uint16_t>(value);
    return true;
}

bool WriteToStream(void* context, const void* bytes, uint32_t count)
{
    return fwrite(bytes, 1, count, static_cast<FILE*>(context)) == count;
}

// Writes bitmap to path, replacing whatever file was there. A failed write
// (the final flush included) removes the partial file.
ExitCode SaveBitmap(const BitmapBuffer* bitmap, const char* path)
{
    FILE* file = fopen(path, "wb");
    if (file == nullptr)
        return kExitCannotOpen;
    // Only a regular file is removed after a failure: a device such as
    // /dev/full must outlive a failed write to it.
    struct stat info;
    const bool regular = fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode);
    bool written = WriteBitmapFile(bitmap, WriteToStream, file);
    if (fclose(file) != 0)
        written = false;
    if (written)
        return kExitOk;
    if (regular)
        remove(path);
    return kExitCannotWrite;
}

// Decodes file-table entry index bottom-up, as Save Image As does, and
// writes it to path. The image is decoded before the file is created: an
// unreadable one leaves no file behind and an existing one untouched.
ExitCode ExportImage(const ArchiveView& view, uint16_t index, const char* path)
{
    const uint8_t* data;
    uint32_t size;
    BitmapBuffer bitmap;
    if (!GetResourceData(view.base, index, &data, &size) || !DecodeBitmapResource(data, size, true, &bitmap))
        return kExitCannotRead;
    ExitCode result = SaveBitmap(&bitmap, path);
    ReleaseBitmap(&bitmap);
    return result;
}

// NNNN_TEXT.bmp: the 1-based list position, then the list text with every
// byte that is not safe in a file name on both platforms replaced by '_'.
std::string ExportName(unsigned position, const std::string& text)
{
    char number[16];
    snprintf(number, sizeof number, "%04u_", position);
    std::string name = number;
    for (char c : text) {
        const bool safe = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                          c == '_' || c == '-';
        name += safe ? c : '_';
    }
    return name + ".bmp";
}

}  // namespace

int RunExport(int argc, char** argv)
{
    uint16_t index;
    if (argc != 4 || !ParseIndex(argv[2], &index))
        return kExitUsage;
    ArchiveView view;
    std::vector<ListedImage> images;
    ExitCode result = OpenAndList(argv[1], &view, &images);
    if (result != kExitOk)
        return Fail(result);

    result = ExportImage(view, index, argv[3]);
    ReleaseArchive(&view);
    return result == kExitOk ? kExitOk : Fail(result);
}

int RunExportAll(int argc, char** argv)
{
    if (argc != 3 || argv[2][0] == '\0')
        return kExitUsage;
    ArchiveView view;
    std::vector<ListedImage> images;
    ExitCode opened = OpenAndList(argv[1], &view, &images);
    if (opened != kExitOk)
        return Fail(opened);

    std::string folder = argv[2];
    if (folder.back() != '/' && folder.back() != '\\')
        folder += '/';
    const unsigned total = static_cast<unsigned>(images.size());
    unsigned written = 0;
    unsigned unreadable = 0;
    for (unsigned i = 0; i < total; ++i) {
        const std::string name = ExportName(i + 1, images[i].text);
        const ExitCode result = ExportImage(view, images[i].index, (folder + name).c_str());
        if (result == kExitOk) {
            ++written;
            fprintf(stderr, "%u/%u %s\n", i + 1, total, name.c_str());
        } else {
            fprintf(stderr, "%u/%u %s: %s\n", i + 1, total, name.c_str(), ExitMessage(result));
            if (result != kExitCannotRead) {
                // The output side failed; the next file would fail the same way.
                ReleaseArchive(&view);
                return result;
            }
            ++unreadable;
        }
    }
    ReleaseArchive(&view);
    printf("%u written, %u unreadable\n", written, unreadable);
    if (fflush(stdout) != 0)
        return Fail(kExitCannotWrite);
    return unreadable == 0 ? kExitOk : kExitCannotRead;
}
