// cmd_gallery.cpp - mhkbmp gallery ARCHIVE DIR: export-all --png, and
// DIR/index.html, one page that shows every listed picture as a card with
// its name, ID, index, size and kind. The page is self-contained (no
// script, no file but the pictures) so that it opens from the folder in any
// browser, offline; the names in it are always text, never markup.
#include <stdio.h>

#include "bitmap/format.h"
#include "common/byte_order.h"
#include "tools/mhkbmp.h"

namespace {

// Windows-1252, the viewer's code page, from 0x80 to 0x9F (0xA0 to 0xFF
// are Latin-1). The five bytes it leaves undefined show as U+FFFD.
const uint16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

// Cards per list. While a page loads, the browser lays out again the list
// that grows, so a list of every card costs time in the square of their
// count: with lists of 2,520 cards, 65,535 of them open in about half the
// time. 2,520 is a multiple of every count from 1 to 10, so every row is
// full in windows up to ten cards wide.
const size_t kCardsPerList = 2520;

// A thumbnail fits a 256-pixel square: only larger pictures are scaled,
// down, and nearest-neighbour so that pixels stay pixels.
const char kHead[] =
    "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
    "<meta name=\"viewport\" content=\"width=device-width\">\n<style>\n"
    "body{margin:16px;font:13px/1.4 sans-serif;background:#eee;color:#222}\n"
    "h1{font-size:20px;margin:0;white-space:pre-wrap;overflow-wrap:anywhere}\n"
    "ol{display:flex;flex-wrap:wrap;gap:12px;list-style:none;margin:12px 0 0;padding:0}\n"
    "li{width:256px;padding:8px;background:#fff;border:1px solid #bbb;overflow-wrap:anywhere}\n"
    "li>a,li>p{display:flex;width:256px;height:256px;margin:0 0 6px;background:#d4d4d4;"
    "align-items:center;justify-content:center;text-align:center;color:#a00}\n"
    "img{width:256px;height:256px;object-fit:scale-down;image-rendering:crisp-edges;"
    "image-rendering:pixelated}\n"
    "b{display:block;white-space:pre-wrap}\n"
    "i{font-style:normal;color:#a00}\n"
    "b:empty::before{content:\"(empty name)\";font:italic 400 13px sans-serif;color:#777}\n"
    "</style>\n";

void AppendUtf8(std::string* out, unsigned code)
{
    if (code < 0x80) {
        *out += static_cast<char>(code);
    } else if (code < 0x800) {
        *out += static_cast<char>(0xC0 | code >> 6);
        *out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        *out += static_cast<char>(0xE0 | code >> 12);
        *out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// One byte of Windows-1252 text as page text: the five markup characters
// escaped, and control bytes shown as \xHH, set apart in an <i> where
// markup is allowed, so that no name can hide or break a line.
void AppendTextByte(std::string* out, unsigned char byte, bool markup)
{
    if (byte < 0x20 || byte == 0x7F) {
        char escaped[16];
        snprintf(escaped, sizeof escaped, markup ? "<i>\\x%02X</i>" : "\\x%02X", byte);
        *out += escaped;
        return;
    }
    switch (byte) {
    case '&': *out += "&amp;"; break;
    case '<': *out += "&lt;"; break;
    case '>': *out += "&gt;"; break;
    case '"': *out += "&quot;"; break;
    case '\'': *out += "&#39;"; break;
    default:
        AppendUtf8(out, byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : byte);
    }
}

// Strictly: no overlong form, no surrogate, nothing above U+10FFFF.
bool IsUtf8(const std::string& text)
{
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2
                            : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
        if (length == 0 || length > text.size() - i)
            return false;
        // The second byte's range is narrower after these leads.
        const unsigned char second = static_cast<unsigned char>(text[i + 1 < text.size() ? i + 1 : i]);
        const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
        if (length > 1 && (second < low || second > high))
            return false;
        for (size_t k = 1; k < length; ++k) {
            if ((text[i + k] & 0xC0) != 0x80)
                return false;
        }
        i += length;
    }
    return true;
}

// The archive's file name as page text: file names are UTF-8 on Linux,
// so one that is valid UTF-8 is taken as such, any other as Windows-1252.
void AppendFileName(std::string* out, const char* path, bool markup)
{
    std::string name = path;
#ifdef _WIN32
    const size_t cut = name.find_last_of("/\\:");
#else
    const size_t cut = name.find_last_of('/');
#endif
    if (cut != std::string::npos)
        name.erase(0, cut + 1);
    const bool utf8 = IsUtf8(name);
    for (const char c : name) {
        if (utf8 && (c & 0x80))
            *out += c;
        else
            AppendTextByte(out, static_cast<unsigned char>(c), markup);
    }
}

// A file name in the folder as a relative URL: every byte but
// A-Za-z0-9._- percent-encoded (export names hold no other).
void AppendUrl(std::string* out, const std::string& name)
{
    for (const char c : name) {
        const bool safe = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                          c == '.' || c == '_' || c == '-';
        if (safe) {
            *out += c;
            continue;
        }
        char escaped[4];
        snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
        *out += escaped;
    }
}

// How the resource stores its pixels, by layout and format code.
std::string StoredKind(const uint8_t* data)
{
    const uint16_t format = ReadBE16(data + kHeaderFormat);
    if (ReadBE16(data + kHeaderPitch) != PalettePitch(ReadBE16(data + kHeaderWidth)))
        return "24-bit";
    if (format == kFormatCompressed)
        return "8-bit compressed";
    if (format == kFormatPlain)
        return "8-bit plain";
    return "8-bit, format " + std::to_string(format);
}

// One card: the picture linked to its file, or the reason there is none,
// then the list text, ID, index, width x height, kind and resource size.
void AppendCard(std::string* out, const ExportRun& run, size_t i)
{
    const ListedImage& image = run.images[i];
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    const bool found = GetResourceData(run.view.base, image.index, &data, &size);
    char line[160];
    if (run.readable[i]) {
        *out += "<li><a href=\"";
        AppendUrl(out, run.names[i]);
        *out += "\"><img src=\"";
        AppendUrl(out, run.names[i]);
        snprintf(line, sizeof line, "\" width=%u height=%u alt=\"\" loading=lazy decoding=async></a><b>",
                 ReadBE16(data + kHeaderWidth), ReadBE16(data + kHeaderHeight));
    } else {
        snprintf(line, sizeof line, "<li><p>%s</p><b>", ExitMessage(kExitCannotRead));
    }
    *out += line;
    for (const char c : image.text)
        AppendTextByte(out, static_cast<unsigned char>(c), true);
    snprintf(line, sizeof line, "</b>ID %u \xC2\xB7 index %u", image.id, image.index);
    *out += line;
    if (run.readable[i]) {
        snprintf(line, sizeof line, "<br>%u x %u \xC2\xB7 %s", ReadBE16(data + kHeaderWidth),
                 ReadBE16(data + kHeaderHeight), StoredKind(data).c_str());
        *out += line;
    }
    if (found) {
        snprintf(line, sizeof line, "<br>%lu bytes", static_cast<unsigned long>(size));
        *out += line;
    }
    *out += "</li>\n";
}

ExitCode WriteGalleryPage(const ExportRun& run, const std::string& path)
{
    std::string page = kHead;
    page += "<title>";
    AppendFileName(&page, run.archivePath, false);
    page += "</title></head>\n<body>\n<h1>";
    AppendFileName(&page, run.archivePath, true);
    size_t unreadable = 0;
    for (const bool readable : run.readable)
        unreadable += readable ? 0 : 1;
    char counts[80];
    snprintf(counts, sizeof counts, "</h1>\n<p>%lu picture%s, %lu unreadable</p>\n",
             static_cast<unsigned long>(run.images.size()), run.images.size() == 1 ? "" : "s",
             static_cast<unsigned long>(unreadable));
    page += counts;
    for (size_t i = 0; i < run.images.size(); ++i) {
        if (i % kCardsPerList == 0) {
            snprintf(counts, sizeof counts, "%s<ol start=%lu>\n", i == 0 ? "" : "</ol>\n",
                     static_cast<unsigned long>(i + 1));
            page += counts;
        }
        AppendCard(&page, run, i);
    }
    page += "</ol>\n</body></html>\n";
    return WriteOutputFile(path, page.data(), page.size());
}

}  // namespace

int RunGallery(int argc, char** argv)
{
    if (!TakeOptions(&argc, &argv, nullptr, nullptr) || argc != 3 || argv[2][0] == '\0')
        return kExitUsage;
    return ExportAll(argv[1], argv[2], true, "index.html", WriteGalleryPage);
}
