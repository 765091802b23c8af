// images.h - pictures as mhkbmp's commands take them in and give them out:
// the image files pack accepts, read and encoded as tBMP resources; the
// archive's pictures compared with them, and written as bitmap or PNG
// files; the names files and resources get.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "archive/archive.h"
#include "tools/archive_file.h"
#include "tools/cli.h"
#include "imagefile/bmp_reader.h"
#include "packer/compress.h"

class PngEncoder;

// Reads a file that pack accepts (an 8-bit or 608 x 392 24-bit bitmap, an
// indexed or 608 x 392 RGB PNG). kExitCannotOpen when it cannot be read,
// notRegular when it is not a regular file, kExitRefused when it is not
// such a file or is larger than any of them can be (told by its size,
// before reading); the reason goes to *reason.
ExitCode ReadImageFile(const char* path, BmpImage* image, std::string* reason,
                       ExitCode notRegular = kExitCannotOpen);

// The tBMP resource that pack makes of an image.
std::vector<uint8_t> EncodeImage(const BmpImage& image, const CompressOptions& options);

// ReadImageFile and EncodeImage: the resource pack makes of the file at
// path, or the failure printed.
ExitCode EncodeImageFile(const char* path, const CompressOptions& options, std::vector<uint8_t>* resource);

// True when the archive's picture at index decodes to exactly image's
// palette and pixels.
bool HoldsPicture(const ArchiveView& view, uint16_t index, const BmpImage& image);

// Decodes file-table entry index, bottom-up for a bitmap file as Save Image
// As does and top-down for PNG (when an encoder is given), and writes it to
// path (safely; "-" is standard output). The image is decoded before the
// file is created: an unreadable one (kExitCannotRead, *unreadable saying
// why) leaves no file behind and an existing one untouched. A failure to
// write is noted.
ExitCode ExportImage(const ArchiveView& view, uint16_t index, PngEncoder* png, const std::string& path,
                     std::string* unreadable);

// True for the bytes a name keeps in a file name or URL as they are:
// A-Za-z0-9._-.
bool IsPortableNameByte(char c);

// The names export-all gives the listed images, in list order:
// NNNN_TEXT.EXT, with NNNN the 1-based position (four digits at least, as
// many as the largest position needs) and TEXT the list text cut to 64
// bytes, each byte that is not portable replaced by '_'.
std::vector<std::string> ExportNames(const std::vector<ListedImage>& images, const char* extension);

// The resource name pack gives an input: its file name without folder and
// without a final ".bmp" or ".png" in any case; empty when nothing is left.
std::string PackName(const std::string& path);

// True when name ends in suffix (lower-case ASCII), compared in any case.
bool EndsWithNoCase(const std::string& name, const char* suffix);
