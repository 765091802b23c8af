// archive_replace.cpp - see archive_replace.h.
//
// Whether an old range may be written over is decided on the archive as it
// was, against every byte that anything in it claims: the headers, the
// directory and type table, every type's resource and name tables, every
// name string, the file table and every other file entry's range. A table
// that runs off the end of the file still claims what it has inside it: a
// byte some reader might take for a table is never overwritten.
#include "writer/archive_replace.h"

#include <string.h>

#include <algorithm>

#include "archive/layout.h"

namespace {

// The byte ranges [start, end) that the archive's structure claims.
class Claims {
public:
    explicit Claims(uint32_t fileSize) : fileSize_(fileSize) {}

    // Adds [start, start + length), cut at the end of the file.
    void Add(uint64_t start, uint64_t length)
    {
        const uint64_t end = std::min<uint64_t>(start + length, fileSize_);
        if (start < end) {
            starts_.push_back(start);
            ends_.push_back(end);
        }
    }

    void Sort()
    {
        std::sort(starts_.begin(), starts_.end());
        std::sort(ends_.begin(), ends_.end());
    }

    // How many claims share a byte with [start, end): those that start
    // before end, less those that end at or before start (which start
    // before end too).
    size_t Overlapping(uint64_t start, uint64_t end) const
    {
        const size_t before = size_t(std::lower_bound(starts_.begin(), starts_.end(), end) - starts_.begin());
        const size_t gone = size_t(std::upper_bound(ends_.begin(), ends_.end(), start) - ends_.begin());
        return before - gone;
    }

private:
    uint64_t fileSize_;
    std::vector<uint64_t> starts_;
    std::vector<uint64_t> ends_;
};

bool Inside(uint64_t offset, uint64_t length, uint32_t size)
{
    return offset <= size && length <= size - offset;
}

// A zero-terminated name from offset on, its zero included (cut at the end
// of the file when it has none).
uint64_t NameLength(const uint8_t* base, uint64_t offset, uint32_t size)
{
    if (offset >= size)
        return 0;
    const void* zero = memchr(base + offset, 0, size_t(size - offset));
    return zero == nullptr ? size - offset : uint64_t(static_cast<const uint8_t*>(zero) - (base + offset)) + 1;
}

// A table of count entries of entrySize bytes behind a 16-bit count, and
// where the count cannot be read, the part of the count that is there.
uint16_t AddTable(Claims* claims, const uint8_t* base, uint32_t size, uint64_t offset, uint32_t entrySize)
{
    if (!Inside(offset, kTableEntries, size)) {
        claims->Add(offset, kTableEntries);
        return 0;
    }
    const uint16_t count = ReadBE16(base + offset + kTableCount);
    claims->Add(offset, kTableEntries + uint64_t(entrySize) * count);
    return count;
}

void AddStructure(Claims* claims, const uint8_t* base, uint32_t size)
{
    claims->Add(0, kArchiveHeaderSize);
    const uint64_t directory = ReadBE32(base + kArchiveDirectory);
    if (Inside(directory, kDirectoryTypes, size)) {
        const uint64_t area = directory + ReadBE16(base + directory + kDirectoryNameArea);
        const unsigned types = ReadBE16(base + directory + kDirectoryTypeCount);
        claims->Add(directory, kDirectoryTypes + uint64_t(kTypeEntrySize) * types);
        for (unsigned t = 0; t < types; ++t) {
            const uint64_t entry = directory + kDirectoryTypes + uint64_t(kTypeEntrySize) * t;
            if (!Inside(entry, kTypeEntrySize, size))
                break;
            AddTable(claims, base, size, directory + ReadBE16(base + entry + kTypeEntryResources),
                     kResourceEntrySize);
            const uint64_t names = directory + ReadBE16(base + entry + kTypeEntryNames);
            const unsigned count = AddTable(claims, base, size, names, kNameEntrySize);
            for (unsigned n = 0; n < count; ++n) {
                const uint64_t nameEntry = names + kTableEntries + uint64_t(kNameEntrySize) * n;
                if (!Inside(nameEntry, kNameEntrySize, size))
                    break;
                const uint64_t name = area + ReadBE16(base + nameEntry + kNameEntryOffset);
                claims->Add(name, NameLength(base, name, size));
            }
        }
    } else {
        claims->Add(directory, kDirectoryTypes);
    }
}

// The file table's offset and the number of its entries inside the file.
bool FileTable(const uint8_t* base, uint32_t size, uint64_t* table, uint32_t* entries)
{
    *table = uint64_t(ReadBE32(base + kArchiveDirectory)) + ReadBE16(base + kArchiveFileTable);
    if (!Inside(*table, kFileTableEntries, size))
        return false;
    const uint64_t count = ReadBE32(base + *table + kFileTableCount);
    *entries = uint32_t(std::min<uint64_t>(count, (size - *table - kFileTableEntries) / kFileEntrySize));
    return true;
}

// The file entry of a 1-based index in the table at table.
uint64_t FileEntry(uint64_t table, uint32_t index)
{
    return table + kFileTableEntries + uint64_t(kFileEntrySize) * (index - 1u);
}

// count bytes from offset, zeros for those past the end of the file: what
// they will read once the file has grown by zeros.
void ReadPadded(const uint8_t* base, uint32_t size, uint64_t offset, uint8_t* bytes, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i)
        bytes[i] = offset + i < size ? base[offset + i] : 0;
}

// One change to the old bytes: count bytes from data (or zeros when data
// is null) at offset.
struct Patch {
    uint64_t offset;
    const uint8_t* data;
    uint32_t count;
};


}  // namespace

PlanResult PlanReplacements(const uint8_t* base, uint32_t size, const std::vector<Replacement>& replacements,
                            ReplacementPlan* plan, std::string* error)
{
    uint64_t table;
    uint32_t entries = 0;
    const bool hasTable = FileTable(base, size, &table, &entries);
    std::vector<bool> seen(65536, false);
    for (const Replacement& r : replacements) {
        const std::string which = "file-table index " + std::to_string(r.index);
        if (!hasTable || r.index == 0 || r.index > entries) {
            *error = which + " has no entry in the archive's file table";
            return kPlanRefused;
        }
        // Its offset and size fields could not change without changing the
        // header's own fields, or where the tables are.
        if (FileEntry(table, r.index) < kArchiveHeaderSize) {
            *error = which + " lies in the archive's header";
            return kPlanRefused;
        }
        if (seen[r.index]) {
            *error = which + " is given twice";
            return kPlanRefused;
        }
        seen[r.index] = true;
        if (r.data.empty() || r.data.size() > kMaxResourceSize) {
            *error = which + ": a resource must be 1 to 16777215 bytes long";
            return kPlanTooLarge;
        }
    }

    Claims claims(size);
    AddStructure(&claims, base, size);
    if (hasTable) {
        claims.Add(table, kFileTableEntries + uint64_t(kFileEntrySize) * ReadBE32(base + table + kFileTableCount));
        for (uint32_t e = 1; e <= entries; ++e) {
            const uint8_t* entry = base + FileEntry(table, e);
            claims.Add(ReadBE32(entry + kFileEntryData), ReadResourceSize(entry));
        }
    }
    claims.Sort();

    // Appended data must never bring to life a picture nobody named: it
    // starts after the range of every entry that keeps its range, even one
    // that lies partly or wholly past the end of the file (zeros between).
    // The file table may run past the end too: every entry its count and
    // the 16-bit indexes reach lies before the new data, in the zeros, so
    // that no appended byte is ever read as an entry.
    uint64_t start = size;
    const uint64_t tableAt = uint64_t(ReadBE32(base + kArchiveDirectory)) + ReadBE16(base + kArchiveFileTable);
    uint8_t field[kFileEntrySize];
    ReadPadded(base, size, tableAt + kFileTableCount, field, 4);
    const uint64_t count = ReadBE32(field);
    start = std::max(start, FileEntry(tableAt, uint32_t(std::min<uint64_t>(count, 0x10000)) + 1));
    for (uint64_t e = 1; e <= count && FileEntry(tableAt, uint32_t(e)) < size; ++e) {
        if (e <= 0xFFFF && seen[e])
            continue;
        ReadPadded(base, size, FileEntry(tableAt, uint32_t(e)), field, kFileEntrySize);
        start = std::max<uint64_t>(start, uint64_t(ReadBE32(field + kFileEntryData)) + ReadResourceSize(field));
    }
    uint64_t end = start;
    plan->placed.clear();
    for (const Replacement& r : replacements) {
        const uint8_t* entry = base + FileEntry(table, r.index);
        const uint64_t offset = ReadBE32(entry + kFileEntryData);
        const uint32_t old = ReadResourceSize(entry);
        PlacedReplacement placed = {};
        // The entry's own range is one of the claims: any other makes it shared.
        if (old > 0 && Inside(offset, old, size) && r.data.size() <= old &&
            claims.Overlapping(offset, offset + old) == 1) {
            placed = {uint32_t(offset), uint32_t(old - r.data.size()), true};
        } else {
            if (end + r.data.size() > 0xFFFFFFFFu) {
                *error = start > size ? "the archive would pass 4 GiB, its new data starting after the range of "
                                      "every other file-table entry"
                                    : "the archive would pass 4 GiB";
                return kPlanTooLarge;
            }
            placed = {uint32_t(end), 0, false};
            end += r.data.size();
        }
        plan->placed.push_back(placed);
    }
    // Without appended data there is nothing to start after.
    plan->start = end == start ? size : uint32_t(start);
    plan->size = end == start ? size : uint32_t(end);
    return kPlanned;
}

bool WriteReplacedArchive(const uint8_t* base, uint32_t size, const std::vector<Replacement>& replacements,
                          const ReplacementPlan& plan, ArchiveWriter write, void* context)
{
    uint64_t table;
    uint32_t entries;
    FileTable(base, size, &table, &entries);

    // Every change inside the old bytes; none of them overlap, since an
    // in-place range shares no byte with the header or the file table.
    std::vector<uint8_t> fields(8 + 7 * replacements.size());
    WriteBE32(&fields[0], plan.size - kArchiveRestStart);
    WriteBE32(&fields[4], plan.size);
    std::vector<Patch> patches = {{kArchiveRestSize, &fields[0], 4}, {kArchiveFileSize, &fields[4], 4}};
    for (size_t i = 0; i < replacements.size(); ++i) {
        const Replacement& r = replacements[i];
        const PlacedReplacement& placed = plan.placed[i];
        uint8_t* field = &fields[8 + 7 * i];
        const uint32_t count = uint32_t(r.data.size());
        // Bytes 0 to 6 of the entry; the unread ones after them stay.
        WriteBE32(field + kFileEntryData, placed.offset);
        WriteResourceSize(field, count);
        patches.push_back({FileEntry(table, r.index), field, kFileEntrySizeHigh + 1});
        if (placed.inPlace) {
            patches.push_back({placed.offset, r.data.data(), count});
            if (placed.clear > 0)
                patches.push_back({uint64_t(placed.offset) + count, nullptr, placed.clear});
        }
    }
    std::sort(patches.begin(), patches.end(),
              [](const Patch& a, const Patch& b) { return a.offset < b.offset; });

    uint64_t at = 0;
    for (const Patch& patch : patches) {
        if (!write(context, base + at, size_t(patch.offset - at)))
            return false;
        if (!write(context, patch.data, patch.count))
            return false;
        at = patch.offset + patch.count;
    }
    if (!write(context, base + at, size_t(size - at)) || !write(context, nullptr, size_t(plan.start - size)))
        return false;
    for (size_t i = 0; i < replacements.size(); ++i) {
        if (!plan.placed[i].inPlace && !write(context, replacements[i].data.data(), replacements[i].data.size()))
            return false;
    }
    return true;
}
