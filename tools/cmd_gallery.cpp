// cmd_gallery.cpp - mhkbmp gallery ARCHIVE DIR: export-all --png, and
// pages that show every listed picture as a card with its name, ID, index,
// size and kind, 1,000 to a page: DIR/index.html, then page-2.html and on.
// The pages are self-contained (no script, no file but the pictures) so
// that they open from the folder in any browser, offline; the names in
// them are always text, never markup.
#include <stdio.h>

#include "bitmap/format.h"
#include "common/byte_order.h"
#include "tools/commands.h"
#include "tools/images.h"
#include "tools/output.h"

namespace {

// Windows-1252, the viewer's code page, from 0x80 to 0x9F (0xA0 to 0xFF
// are Latin-1). The five bytes it leaves undefined show as U+FFFD.
const uint16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

// Cards per page. A page of 1,000 small cards loads at once; one of all
// 65,535 took half a minute to parse, and a browser handles no input
// meanwhile.
const size_t kCardsPerPage = 1000;

// Cards flow in as many columns of 274 pixels (the 256-pixel picture, its
// padding and border) as the window holds, centred, and narrower ones
// only when not even one fits. A thumbnail fits its square: only larger
// pictures are scaled, down, and nearest-neighbour so that pixels stay
// pixels. Every colour keeps a contrast of at least 4.5:1 to its ground.
const char kHead[] =
    "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<style>\n"
    "body{margin:16px 8px;font:13px/1.4 sans-serif;background:#eee;color:#222}\n"
    "h1{font-size:20px;margin:0;white-space:pre-wrap;overflow-wrap:anywhere}\n"
    "h1,main>p,nav{text-align:center}\n"
    "main>p{margin:6px 0}\n"
    "nav>*{display:inline-block;min-width:24px;padding:3px 6px;margin:1px}\n"
    "nav>span{color:#595959}\n"
    "nav>[aria-current]{color:#222;font-weight:bold}\n"
    "ol{display:grid;grid-template-columns:repeat(auto-fill,minmax(0,274px));gap:12px;"
    "justify-content:center;list-style:none;margin:12px 0;padding:0}\n"
    "li{padding:8px;background:#fff;border:1px solid #bbb;overflow-wrap:anywhere}\n"
    "li>a{display:block;color:inherit;text-decoration:none}\n"
    "li>a:hover b,li>a:focus b{text-decoration:underline}\n"
    "img,li>p{display:block;box-sizing:border-box;width:100%;max-width:256px;height:auto;aspect-ratio:1;"
    "margin:0 0 6px;background:#d4d4d4}\n"
    "img{object-fit:scale-down;image-rendering:crisp-edges;image-rendering:pixelated}\n"
    "li>p{display:flex;align-items:center;justify-content:center;text-align:center;color:#a00}\n"
    "b{display:block;white-space:pre-wrap}\n"
    "i{font-style:normal;color:#a00}\n"
    "em{font-weight:normal;color:#666}\n"
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
        // The second byte's range is narrower after these leads (the
        // length test above leaves it inside the text).
        const unsigned char second = static_cast<unsigned char>(text[i + (length > 1)]);
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
    name.erase(0, FileNameStart(name));
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
        if (IsPortableNameByte(c)) {
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

// One card: the picture linked to its file, named by its list text, or the
// reason there is none, then the list text, ID, index, width x height,
// kind and resource size.
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
        snprintf(line, sizeof line, "\" width=%u height=%u alt=\"\" loading=lazy><b>",
                 ReadBE16(data + kHeaderWidth), ReadBE16(data + kHeaderHeight));
    } else {
        snprintf(line, sizeof line, "<li><p>%s</p><b>", ExitMessage(kExitCannotRead));
    }
    *out += line;
    for (const char c : image.text)
        AppendTextByte(out, static_cast<unsigned char>(c), true);
    if (image.text.empty())
        *out += "<em>(empty name)</em>";
    snprintf(line, sizeof line, "</b>%sID %u \xC2\xB7 index %u", run.readable[i] ? "</a>" : "", image.id,
             image.index);
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

std::vector<std::string> GalleryPages(size_t count)
{
    std::vector<std::string> pages(1, "index.html");
    for (size_t page = 2; (page - 1) * kCardsPerPage < count; ++page)
        pages.push_back("page-" + std::to_string(page) + ".html");
    return pages;
}

// A link to another page, or the text alone where it would lead to this
// one (marked as the current page when it is its number).
void AppendPageLink(std::string* out, const ExportRun& run, size_t to, size_t page, const std::string& text,
                    bool number)
{
    if (to == page) {
        *out += number ? "<span aria-current=\"page\">" : "<span>";
        *out += text + "</span>\n";
        return;
    }
    *out += "<a href=\"";
    AppendUrl(out, run.pages[to]);
    *out += "\">" + text + "</a>\n";
}

// First, previous, every page by number, next and last; nothing when this
// is the only page.
void AppendPageLinks(std::string* out, const ExportRun& run, size_t page, const char* label)
{
    const size_t last = run.pages.size() - 1;
    if (last == 0)
        return;
    *out += "<nav aria-label=\"";
    *out += label;
    *out += "\">\n";
    AppendPageLink(out, run, 0, page, "First", false);
    AppendPageLink(out, run, page == 0 ? 0 : page - 1, page, "Previous", false);
    for (size_t to = 0; to <= last; ++to)
        AppendPageLink(out, run, to, page, std::to_string(to + 1), true);
    AppendPageLink(out, run, page == last ? last : page + 1, page, "Next", false);
    AppendPageLink(out, run, last, page, "Last", false);
    *out += "</nav>\n";
}

ExitCode WriteGalleryPage(const ExportRun& run, size_t page, const std::string& path)
{
    const size_t count = run.images.size(), first = page * kCardsPerPage;
    const size_t end = count - first < kCardsPerPage ? count : first + kCardsPerPage;
    char line[160];
    std::string text = kHead;
    text += "<title>";
    AppendFileName(&text, run.archivePath, false);
    if (run.pages.size() > 1) {
        snprintf(line, sizeof line, ", page %lu of %lu", static_cast<unsigned long>(page + 1),
                 static_cast<unsigned long>(run.pages.size()));
        text += line;
    }
    text += "</title></head>\n<body>\n<main>\n<h1>";
    AppendFileName(&text, run.archivePath, true);
    size_t unreadable = 0;
    for (const bool readable : run.readable)
        unreadable += readable ? 0 : 1;
    snprintf(line, sizeof line, "</h1>\n<p>%lu picture%s, %lu unreadable; page %lu of %lu: pictures %lu to %lu</p>\n",
             static_cast<unsigned long>(count), count == 1 ? "" : "s", static_cast<unsigned long>(unreadable),
             static_cast<unsigned long>(page + 1), static_cast<unsigned long>(run.pages.size()),
             static_cast<unsigned long>(first + 1), static_cast<unsigned long>(end));
    text += line;
    AppendPageLinks(&text, run, page, "Pages");
    snprintf(line, sizeof line, "<ol start=%lu>\n", static_cast<unsigned long>(first + 1));
    text += line;
    for (size_t i = first; i < end; ++i)
        AppendCard(&text, run, i);
    text += "</ol>\n";
    AppendPageLinks(&text, run, page, "Pages, after the list");
    text += "</main>\n</body></html>\n";
    return WriteOutputFile(path, text.data(), text.size());
}

}  // namespace

int RunGallery(const Options& options, int, char** operands)
{
    return ExportAll(operands[0], operands[1], options, GalleryPages, WriteGalleryPage);
}
