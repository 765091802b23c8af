// images.cpp - see images.h.
#include "tools/images.h"

#include <string.h>

#include "bitmap/bitmap.h"
#include "imagefile/bmp_writer.h"
#include "bitmap/format.h"
#include "tools/output.h"
#include "imagefile/png.h"
#include "packer/resource_writer.h"

namespace {

// Larger files cannot be accepted bitmaps (the largest is about 1 MB), so
// they are refused by their size, never read.
const uint64_t kMaxInputSize = 64u << 20;

// Names come from the archive and may be of any length; cut, they keep a
// file name far inside every platform's limits.
const size_t kMaxNameText = 64;

// The decoded picture's palette as blue, green, red triples (zeros for a
// 24-bit picture, which has none).
void PaletteOf(const BitmapBuffer& bitmap, uint8_t palette[768])
{
    memset(palette, 0, 768);
    if (bitmap.header->biBitCount != 8)
        return;
    const uint8_t* quads = reinterpret_cast<const uint8_t*>(bitmap.header) + bitmap.header->biSize;
    for (unsigned i = 0; i < 256; ++i)
        memcpy(&palette[3 * i], quads + 4 * i, 3);
}

// True when the decoded picture (top-down) holds exactly image's palette
// and pixels.
bool SamePicture(const BitmapBuffer& bitmap, const BmpImage& image)
{
    const BITMAPINFOHEADER& header = *bitmap.header;
    if (header.biBitCount != image.bitsPerPixel || unsigned(header.biWidth) != image.width ||
        unsigned(-header.biHeight) != image.height)
        return false;
    const size_t row = image.width * image.bitsPerPixel / 8;
    const size_t stride = RowPitch(uint32_t(row));
    const size_t imageStride = image.bitsPerPixel == 8 ? stride : row;
    uint8_t palette[768];
    PaletteOf(bitmap, palette);
    if (image.bitsPerPixel == 8 && memcmp(palette, image.palette.data(), sizeof palette) != 0)
        return false;
    for (unsigned y = 0; y < image.height; ++y) {
        if (memcmp(bitmap.pixels + y * stride, &image.rows[y * imageStride], row) != 0)
            return false;
    }
    return true;
}

// The picture as a PNG file, from a top-down decode (rows in PNG order).
std::vector<uint8_t> EncodeDecodedPng(const BitmapBuffer& bitmap, PngEncoder* encoder)
{
    const BITMAPINFOHEADER& header = *bitmap.header;
    const unsigned width = static_cast<unsigned>(header.biWidth);
    const unsigned height = static_cast<unsigned>(-header.biHeight);
    const size_t stride = RowPitch(width * header.biBitCount / 8);
    uint8_t palette[768];
    PaletteOf(bitmap, palette);
    return encoder->Encode(width, height, header.biBitCount, palette, bitmap.pixels, stride);
}

// Writes a decoded picture to path, as PNG when an encoder is given.
ExitCode SaveImage(const BitmapBuffer* bitmap, PngEncoder* png, const std::string& path)
{
    // Encoded first: nothing to write means nothing created.
    std::vector<uint8_t> encoded;
    if (png) {
        encoded = EncodeDecodedPng(*bitmap, png);
        if (encoded.empty()) {
            NoteFailure(path, "the PNG encoder failed");
            return kExitCannotWrite;
        }
        return WriteOutputFile(path, encoded.data(), encoded.size());
    }
    OutputFile output;
    const ExitCode opened = OpenOutput(path, &output);
    if (opened != kExitOk)
        return opened;
    return CloseOutput(&output, WriteBitmapFile(bitmap, WriteToOutput, &output));
}

}  // namespace

ExitCode ReadImageFile(const char* path, BmpImage* image, std::string* reason, ExitCode notRegular)
{
    InputFile file;
    const InputResult opened = OpenInput(path, &file);
    if (opened == kInputNotRegular) {
        *reason = "not a regular file";
        return notRegular;
    }
    if (opened != kInputOpen) {
        *reason = ErrorText(file.error);
        return kExitCannotOpen;
    }
    std::vector<uint8_t> bytes;
    bool ok = true;
    if (file.size <= kMaxInputSize) {
        bytes.reserve(size_t(file.size));
        ok = ReadWhole(&file, kMaxInputSize, &bytes);
    }
    CloseInput(&file);
    if (!ok) {
        *reason = ErrorText(LastError());
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

ExitCode EncodeImageFile(const char* path, const CompressOptions& options, std::vector<uint8_t>* resource)
{
    BmpImage image;
    std::string reason;
    const ExitCode read = ReadImageFile(path, &image, &reason);
    if (read != kExitOk)
        return Fail(read, path, reason);
    *resource = EncodeImage(image, options);
    return kExitOk;
}

bool HoldsPicture(const ArchiveView& view, uint16_t index, const BmpImage& image)
{
    const uint8_t* data;
    uint32_t size;
    BitmapBuffer bitmap;
    if (!GetResourceData(view.base, index, &data, &size) || !DecodeBitmapResource(data, size, false, &bitmap))
        return false;
    const bool same = SamePicture(bitmap, image);
    ReleaseBitmap(&bitmap);
    return same;
}

ExitCode ExportImage(const ArchiveView& view, uint16_t index, PngEncoder* png, const std::string& path,
                     std::string* unreadable)
{
    const uint8_t* data;
    uint32_t size;
    BitmapBuffer bitmap;
    const std::string which = "file-table index " + std::to_string(index);
    if (!GetResourceData(view.base, index, &data, &size)) {
        *unreadable = which + " has no entry whose data lies inside the file";
        return kExitCannotRead;
    }
    if (!DecodeBitmapResource(data, size, !png, &bitmap)) {
        *unreadable = which + " is not a picture the viewer can read";
        return kExitCannotRead;
    }
    ExitCode result = SaveImage(&bitmap, png, path);
    ReleaseBitmap(&bitmap);
    return result;
}

bool IsPortableNameByte(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-';
}

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
        for (char c : images[i].text.substr(0, kMaxNameText))
            name += IsPortableNameByte(c) ? c : '_';
        name += extension;
    }
    return names;
}

std::string PackName(const std::string& path)
{
    std::string name = path.substr(FileNameStart(path));
    if (EndsWithNoCase(name, ".bmp") || EndsWithNoCase(name, ".png"))
        name.resize(name.size() - 4);
    return name;
}

bool EndsWithNoCase(const std::string& name, const char* suffix)
{
    const std::string tail(suffix);
    if (name.size() < tail.size())
        return false;
    for (size_t i = 0; i < tail.size(); ++i) {
        char c = name[name.size() - tail.size() + i];
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (c != tail[i])
            return false;
    }
    return true;
}
