// archive_builder.cpp - see archive_builder.h.
#include "tests/support/archive_builder.h"

#include "archive/archive.h"
#include "bitmap/format.h"

#include <stdio.h>
#include <stdlib.h>

#include <atomic>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

void PutBE16(Bytes& bytes, size_t offset, uint16_t value)
{
    bytes.at(offset) = static_cast<uint8_t>(value >> 8);
    bytes.at(offset + 1) = static_cast<uint8_t>(value);
}

void PutBE32(Bytes& bytes, size_t offset, uint32_t value)
{
    PutBE16(bytes, offset, static_cast<uint16_t>(value >> 16));
    PutBE16(bytes, offset + 2, static_cast<uint16_t>(value));
}

void AppendBE16(Bytes& bytes, uint16_t value)
{
    bytes.resize(bytes.size() + 2);
    PutBE16(bytes, bytes.size() - 2, value);
}

void AppendBE32(Bytes& bytes, uint32_t value)
{
    bytes.resize(bytes.size() + 4);
    PutBE32(bytes, bytes.size() - 4, value);
}

Bytes BuildArchive(const ArchivePlan& plan, Layout* layoutOut)
{
    Layout layout;
    Bytes out;
    // Header; sizes and offsets are patched in at the end.
    const char magic[] = "MHWK\0\0\0\0RSRC";
    out.assign(magic, magic + 12);
    AppendBE32(out, 0x01000000u);
    AppendBE32(out, 0);  // total size
    AppendBE32(out, 0);  // directory offset
    AppendBE16(out, 0);  // file-table offset, directory-relative
    AppendBE16(out, 0);  // unused

    layout.directory = out.size();
    AppendBE16(out, 0);  // name-area offset, patched below
    AppendBE16(out, static_cast<uint16_t>(plan.types.size()));
    for (size_t t = 0; t < plan.types.size(); ++t) {
        layout.typeEntries.push_back(out.size());
        AppendBE32(out, plan.types[t].tag);
        AppendBE16(out, 0);
        AppendBE16(out, 0);
    }
    for (size_t t = 0; t < plan.types.size(); ++t) {
        const TypePlan& type = plan.types[t];
        layout.resourceTables.push_back(out.size());
        PutBE16(out, layout.typeEntries[t] + 4, static_cast<uint16_t>(out.size() - layout.directory));
        AppendBE16(out, static_cast<uint16_t>(type.resources.size()));
        for (const ResourcePlan& r : type.resources) {
            AppendBE16(out, r.id);
            AppendBE16(out, r.index);
        }
        layout.nameTables.push_back(out.size());
        PutBE16(out, layout.typeEntries[t] + 6, static_cast<uint16_t>(out.size() - layout.directory));
        AppendBE16(out, static_cast<uint16_t>(type.names.size()));
        for (const NamePlan& n : type.names) {
            AppendBE16(out, 0);  // name offset, patched below
            AppendBE16(out, n.index);
        }
    }
    layout.nameArea = out.size();
    PutBE16(out, layout.directory, static_cast<uint16_t>(out.size() - layout.directory));
    for (size_t t = 0; t < plan.types.size(); ++t) {
        layout.names.emplace_back();
        for (size_t i = 0; i < plan.types[t].names.size(); ++i) {
            size_t at = out.size();
            layout.names[t].push_back(at);
            PutBE16(out, layout.nameTables[t] + 2 + 4 * i, static_cast<uint16_t>(at - layout.nameArea));
            const std::string& name = plan.types[t].names[i].name;
            out.insert(out.end(), name.begin(), name.end());
            out.push_back(0);
        }
    }
    layout.fileTable = out.size();
    PutBE16(out, 24, static_cast<uint16_t>(out.size() - layout.directory));
    AppendBE32(out, static_cast<uint32_t>(plan.files.size()));
    for (size_t f = 0; f < plan.files.size(); ++f) {
        layout.fileEntries.push_back(out.size());
        out.resize(out.size() + 10);
    }
    for (size_t f = 0; f < plan.files.size(); ++f) {
        const Bytes& data = plan.files[f].data;
        size_t entry = layout.fileEntries[f];
        layout.data.push_back(out.size());
        PutBE32(out, entry, static_cast<uint32_t>(out.size()));
        out[entry + 4] = static_cast<uint8_t>(data.size() >> 8);
        out[entry + 5] = static_cast<uint8_t>(data.size());
        out[entry + 6] = static_cast<uint8_t>(data.size() >> 16);
        out.insert(out.end(), data.begin(), data.end());
    }
    PutBE32(out, 20, static_cast<uint32_t>(layout.directory));
    FixHeaderSizes(out);
    if (layoutOut != nullptr)
        *layoutOut = layout;
    return out;
}

void FixHeaderSizes(Bytes& bytes)
{
    PutBE32(bytes, 4, static_cast<uint32_t>(bytes.size() - 8));
    PutBE32(bytes, 16, static_cast<uint32_t>(bytes.size()));
}

namespace {

std::vector<unsigned>* s_counts;
std::vector<ListedItem>* s_items;

}  // namespace

std::vector<ListedItem> ListResources(const uint8_t* base, uint32_t tag, std::vector<unsigned>* counts)
{
    std::vector<ListedItem> items;
    counts->clear();
    s_counts = counts;
    s_items = &items;
    EnumerateResources(
        base, tag, [](unsigned count) { s_counts->push_back(s_items->empty() ? count : 0); },
        [](uint16_t id, uint16_t index, const char* name) { s_items->push_back({id, index, name ? name : "<null>"}); });
    return items;
}

Bytes EightBitResource(unsigned width, unsigned height, unsigned format, const Bytes& palette, const Bytes& body,
                       int pitch)
{
    Bytes b(kPaletteColours);
    PutBE16(b, kHeaderWidth, static_cast<uint16_t>(width));
    PutBE16(b, kHeaderHeight, static_cast<uint16_t>(height));
    PutBE16(b, kHeaderPitch, static_cast<uint16_t>(pitch < 0 ? PalettePitch(width) : static_cast<unsigned>(pitch)));
    PutBE16(b, kHeaderFormat, static_cast<uint16_t>(format));
    PutBE16(b, kHeaderSize, kPaletteBlockLength);
    b[kHeaderSize + 2] = kPaletteBits;
    b[kHeaderSize + 3] = kPaletteLastIndex;
    b.insert(b.end(), palette.begin(), palette.begin() + 3 * 256);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

Bytes PixelArea(unsigned width, unsigned height, const std::function<uint8_t(unsigned, unsigned)>& pixel, uint8_t pad)
{
    const unsigned pitch = PalettePitch(width);
    Bytes area(size_t(pitch) * height, pad);
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x)
            area[size_t(y) * pitch + x] = pixel(x, y);
    return area;
}

bool WriteBytes(const std::string& path, const Bytes& bytes)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

std::string TempPath(const std::string& leaf)
{
    static std::atomic<unsigned> counter{0};
    // The test runner points TMPDIR into the build tree; under Wine the
    // prefix's own TEMP serves.
#ifdef _WIN32
    const char* dir = getenv("TEMP");
    const char* sep = "\\";
#else
    const char* dir = getenv("TMPDIR");
    if (dir == nullptr || *dir == '\0')
        dir = "/tmp";
    const char* sep = "/";
#endif
    char unique[64];
    snprintf(unique, sizeof unique, "velder-%lu-%u-", static_cast<unsigned long>(getpid()),
             counter++);
    return std::string(dir) + sep + unique + leaf;
}

Bytes BuildMaximalArchive()
{
    const unsigned count = 65535;
    Bytes out;
    const char magic[] = "MHWK\0\0\0\0RSRC";
    out.assign(magic, magic + 12);
    AppendBE32(out, 0x01000000u);
    AppendBE32(out, 0);
    AppendBE32(out, 28);  // directory
    AppendBE16(out, 12);  // file table: the shared table, read as one
    AppendBE16(out, 0);
    AppendBE16(out, 0);   // name area: the directory itself
    AppendBE16(out, 1);
    AppendBE32(out, kTypeBitmap);
    AppendBE16(out, 12);  // resource table
    AppendBE16(out, 12);  // name table: the same bytes
    AppendBE16(out, static_cast<uint16_t>(count));
    for (unsigned k = 0; k < count; ++k) {
        // As a name entry the ID is the name's offset; pointing at entry
        // starts keeps the names short (zero bytes come every few entries).
        AppendBE16(out, static_cast<uint16_t>(12 + 2 + 4 * ((k * 37) % 16000)));
        AppendBE16(out, static_cast<uint16_t>(count - k));
    }
    out.push_back(0);
    FixHeaderSizes(out);
    return out;
}
