// cmd_export.cpp - mhkbmp export ARCHIVE INDEX OUT and
// mhkbmp export-all [--png] ARCHIVE DIR: decode bottom-up and write the same
// bitmap files as the viewer's Save Image As, or decode top-down and write
// PNG files of the same palette and pixels.
#include <stdio.h>
#include <string.h>

#include "bitmap/bitmap.h"
#include "bitmap/bitmap_file.h"
#include "tools/mhkbmp.h"
#include "writer/png.h"

namespace {

bool WriteToOutput(void* context, const void* bytes, uint32_t count)
{
    return WriteOutput(static_cast<OutputFile*>(context), bytes, count);
}

// The picture as a PNG file, from a top-down decode (rows in PNG order).
std::vector<uint8_t> EncodeDecodedPng(const BitmapBuffer& bitmap, PngEncoder* encoder)
{
    const BITMAPINFOHEADER& header = *bitmap.header;
    const unsigned width = static_cast<unsigned>(header.biWidth);
    const unsigned height = static_cast<unsigned>(-header.biHeight);
    const size_t stride = ((width * header.biBitCount / 8) + 3) & ~3u;
    uint8_t palette[768] = {};
    if (header.biBitCount == 8) {
        const uint8_t* quads = reinterpret_cast<const uint8_t*>(bitmap.header) + header.biSize;
        for (unsigned i = 0; i < 256; ++i)
            memcpy(&palette[3 * i], quads + 4 * i, 3);
    }
    return encoder->Encode(width, height, header.biBitCount, palette, bitmap.pixels, stride);
}

// Writes a decoded picture to path, as PNG when an encoder is given.
ExitCode SaveImage(const BitmapBuffer* bitmap, PngEncoder* png, const std::string& path)
{
    // Encoded first: nothing to write means nothing created.
    std::vector<uint8_t> encoded;
    if (png && (encoded = EncodeDecodedPng(*bitmap, png)).empty())
        return kExitCannotWrite;
    if (png)
        return WriteOutputFile(path, encoded.data(), encoded.size());
    OutputFile output;
    const ExitCode opened = OpenOutput(path, &output);
    if (opened != kExitOk)
        return opened;
    return CloseOutput(&output, WriteBitmapFile(bitmap, WriteToOutput, &output));
}

// Decodes file-table entry index, bottom-up for a bitmap file as Save Image
// As does and top-down for PNG (when an encoder is given), and writes it to
// path. The image is decoded before the file is created: an unreadable one
// leaves no file behind and an existing one untouched.
ExitCode ExportImage(const ArchiveView& view, uint16_t index, PngEncoder* png, const std::string& path)
{
    const uint8_t* data;
    uint32_t size;
    BitmapBuffer bitmap;
    if (!GetResourceData(view.base, index, &data, &size) || !DecodeBitmapResource(data, size, !png, &bitmap))
        return kExitCannotRead;
    ExitCode result = SaveImage(&bitmap, png, path);
    ReleaseBitmap(&bitmap);
    return result;
}

// Names come from the archive and may be of any length; cut, they keep a
// file name far inside every platform's limits.
const size_t kMaxNameText = 64;

}  // namespace

std::vector<std::string> ExportNames(const std::vector<ListedImage>& images, const char* extension)
{
    // Padded to the largest position's width, four digits at least, so
    // that the names sort in list order however many there are.
    int digits = 4;
    for (size_t rest = images.size(); rest >= 10000; rest /= 10)
        ++digits;
    std::vector<std::string> names(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        char number[16];
        snprintf(number, sizeof number, "%0*u_", digits, static_cast<unsigned>(i + 1));
        std::string& name = names[i];
        name = number;
        for (char c : images[i].text.substr(0, kMaxNameText)) {
            const bool safe = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                              c == '.' || c == '_' || c == '-';
            name += safe ? c : '_';
        }
        name += extension;
    }
    return names;
}

std::string FolderPrefix(const std::string& folder)
{
#ifdef _WIN32
    // "X:" is that drive's current folder, which "X:\" is not.
    if (folder.size() == 2 && folder[1] == ':')
        return folder;
#endif
    return folder.back() == '/' || folder.back() == '\\' ? folder : folder + '/';
}

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
