// fuzz_replace.cpp - arbitrary archives get one or two small pictures put
// back. The last four input bytes choose the file-table indexes and the
// pictures; the rest is the archive, with its headers made valid so that
// the fuzzer reaches the tables. Either the replacement is refused, or the
// new archive, read back through the reader alone, is valid, holds the new
// pictures at their indexes, and keeps everything else: every other
// resource's bytes, every type's resources and names, the header and the
// file table but for the fields that must change, and every byte outside
// the replaced pictures' old ranges.
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "archive/archive.h"
#include "tests/fuzz/fuzz_check.h"
#include "packer/archive_replace.h"
#include "packer/resource_writer.h"

namespace {

// Every type's enumeration, flattened: "tag id index name|" per resource.
std::string s_listing;

void OnCount(unsigned count)
{
    s_listing += "#" + std::to_string(count);
}

void OnItem(uint16_t id, uint16_t index, const char* name)
{
    s_listing += " " + std::to_string(id) + " " + std::to_string(index) + " " + (name ? name : "-") + "|";
}

std::string Listing(const uint8_t* base, uint32_t size)
{
    s_listing.clear();
    const uint32_t directory = ReadBE32(base + 20);
    if (size < 24 || directory > size - 4)
        return s_listing;
    const unsigned types = ReadBE16(base + directory + 2);
    for (unsigned t = 0; t < types && t < 8 && uint64_t(directory) + 12 + 8 * t <= size; ++t) {
        const uint32_t tag = ReadBE32(base + directory + 4 + 8 * t);
        s_listing += "/" + std::to_string(tag);
        EnumerateResources(base, tag, OnCount, OnItem);
    }
    return s_listing;
}

bool AppendBytes(void* context, const void* bytes, size_t count)
{
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    if (bytes == nullptr)
        out->resize(out->size() + count, 0);
    else
        out->insert(out->end(), static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + count);
    return true;
}

// A resource's bytes, or empty when the reader refuses its entry.
std::vector<uint8_t> Resource(const uint8_t* base, uint16_t index)
{
    const uint8_t* data;
    uint32_t size;
    if (!GetResourceData(base, index, &data, &size))
        return {};
    return std::vector<uint8_t>(data, data + size);
}

std::vector<uint8_t> Picture(uint8_t shape, const uint8_t* bytes, size_t count)
{
    const unsigned width = 1 + shape % 8, height = 1 + (shape >> 3) % 8;
    std::vector<uint8_t> area(PalettePitch(width) * height), palette(768);
    for (size_t i = 0; i < area.size() && count > 0; ++i)
        area[i] = bytes[i % count] & (shape & 0x40 ? 3 : 255);
    return BuildPaletteResource(width, height, palette.data(), area.data(),
                                shape & 0x80 ? kStoreCompressed : kStorePlain);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t inputSize)
{
    if (inputSize < 4 + 28 || inputSize > (1u << 20))
        return 0;
    const uint8_t* params = input + inputSize - 4;
    std::vector<uint8_t> in(input, input + inputSize - 4);
    const uint32_t size = uint32_t(in.size());
    memcpy(&in[0], "MHWK", 4);
    WriteBE32(&in[4], size - 8);
    memcpy(&in[8], "RSRC\x01\x00\x00\x00", 8);
    WriteBE32(&in[16], size);
    const uint8_t* base = in.data();
    Check(IsValidArchive(base, size));

    std::vector<Replacement> replacements = {{uint16_t(1 + params[0] % 8), Picture(params[2], input, inputSize)}};
    if ((params[1] & 0x80) && (params[1] & 0x7F) % 8 != params[0] % 8)  // an index is given once
        replacements.push_back({uint16_t(1 + (params[1] & 0x7F) % 8), Picture(params[3], input + 7, inputSize - 7)});
    ReplacementPlan plan;
    std::string error;
    if (PlanReplacements(base, size, replacements, &plan, &error) != kPlanned) {
        Check(!error.empty());
        return 0;
    }
    // A damaged file table may send the new data gigabytes away.
    Check(plan.size >= size && plan.start >= size && plan.start <= plan.size);
    if (plan.size - size > (1u << 20))
        return 0;
    std::vector<uint8_t> out;
    Check(WriteReplacedArchive(base, size, replacements, plan, AppendBytes, &out));
    Check(out.size() == plan.size && out.size() >= size && IsValidArchive(out.data(), uint32_t(out.size())));

    // Which old bytes may change: the two size fields, the replaced entries'
    // offset and size fields, and their old ranges where the new data went.
    // The header and the file table keep all but those fields, whatever the
    // old ranges covered.
    std::vector<bool> free(size, false);
    for (uint32_t i : {4u, 5u, 6u, 7u, 16u, 17u, 18u, 19u})
        free[i] = true;
    const uint64_t table = uint64_t(ReadBE32(base + 20)) + ReadBE16(base + 24);
    for (const Replacement& r : replacements) {
        Check(Resource(out.data(), r.index) == r.data);
        for (uint64_t i = table + 4 + 10 * (r.index - 1u), end = i + 7; i < end; ++i)
            free[i] = true;
    }
    const std::vector<bool> fields = free;
    const uint64_t tableEnd = table + 4 <= size ? table + 4 + 10 * uint64_t(ReadBE32(base + table)) : 0;
    for (uint64_t i = 0; i < size; ++i) {
        if (i < 28 || (i >= table && i < tableEnd))
            Check(free[i] || out[i] == in[i]);
    }
    for (const Replacement& r : replacements) {
        const uint8_t* oldData;
        const uint8_t* newData;
        uint32_t oldSize, newSize;
        if (GetResourceData(base, r.index, &oldData, &oldSize) &&
            GetResourceData(out.data(), r.index, &newData, &newSize) && newData - out.data() == oldData - base) {
            Check(newSize <= oldSize);
            for (uint32_t i = 0; i < oldSize; ++i) {
                Check(i < newSize || newData[i] == 0);
                free[oldData - base + i] = true;
            }
        }
    }
    for (uint32_t i = 0; i < size; ++i)
        Check(free[i] || out[i] == in[i]);

    // Through the reader: every other resource and every type's listing,
    // against the old archive with the fields that must change changed and
    // grown by the appended bytes (which may end a table or name that ran
    // off the old end, as it must): only the in-place data may differ, and
    // it must not show anywhere else.
    std::vector<uint8_t> grown(in);
    for (uint32_t i = 0; i < size; ++i) {
        if (fields[i])
            grown[i] = out[i];
    }
    grown.insert(grown.end(), out.begin() + size, out.end());
    for (unsigned index = 1; index <= 64; ++index) {
        bool replaced = false;
        for (const Replacement& r : replacements)
            replaced = replaced || r.index == index;
        if (replaced)
            continue;
        Check(Resource(out.data(), uint16_t(index)) == Resource(grown.data(), uint16_t(index)));
        // No appended byte in another entry's range: nothing comes to life.
        const uint8_t* data;
        uint32_t length;
        Check(!GetResourceData(out.data(), uint16_t(index), &data, &length) ||
              uint64_t(data - out.data()) + length <= plan.start);
    }
    Check(Listing(out.data(), uint32_t(out.size())) == Listing(grown.data(), uint32_t(grown.size())));
    return 0;
}
