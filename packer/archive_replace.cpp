// archive_replace.cpp - see archive_replace.h.
//
// Whether an old range may be written over is decided on the archive as it
// was, against every byte that anything in it claims: the headers, the
// directory and type table, every type's resource and name tables, every
// name string, the file table and every other file entry's range. A table
// that runs off the end of the file still claims what it has inside it: a
// byte some reader might take for a table is never overwritten.
#include "packer/archive_replace.h"

#include <string.h>

#include <algorithm>

#include "archive/directory.h"

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

// A zero-terminated name from offset on, its zero included (cut at the end
// of the file when it has none).
uint64_t NameLength(const uint8_t* base, uint64_t offset, uint32_t size)
{
    if (offset >= size)
        return 0;
    const void* zero = memchr(base + offset, 0, size_t(size - offset));
    return zero == nullptr ? size - offset : uint64_t(static_cast<const uint8_t*>(zero) - (base + offset)) + 1;
}

// What the header, the directory, every type's tables and names and the
// file table claim. A table running past the end still claims what it has
// inside the file; the file table only once its count is in the file.
void AddStructure(Claims* claims, const uint8_t* base, uint32_t size, const ArchiveDirectory& directory)
{
    claims->Add(0, kArchiveHeaderSize);
    claims->Add(directory.types.offset, directory.types.end - directory.types.offset);
    TypeTables type;
    for (unsigned t = 0; ReadTypeEntry(base, size, directory, t, &type); ++t) {
        claims->Add(type.resources.offset, type.resources.end - type.resources.offset);
        claims->Add(type.names.offset, type.names.end - type.names.offset);
        for (unsigned n = 0; n < type.names.count; ++n) {
            const uint64_t entry = type.names.entries + uint64_t(kNameEntrySize) * n;
            if (!Inside(entry, kNameEntrySize, size))
                break;
            const uint64_t name = directory.nameArea + ReadBE16(base + entry + kNameEntryOffset);
            claims->Add(name, NameLength(base, name, size));
        }
    }
    if (directory.files.counted)
        claims->Add(directory.files.offset, directory.files.end - directory.files.offset);
}

// The number of file entries that lie inside the file.
uint32_t EntriesInside(const ArchiveDirectory& directory, uint32_t size)
{
    if (!directory.files.counted)
        return 0;
    return uint32_t(std::min<uint64_t>(directory.files.count, (size - directory.files.entries) / kFileEntrySize));
}

// The file entry of a 1-based index.
uint64_t FileEntry(const ArchiveDirectory& directory, uint64_t index)
{
    return FileEntryAt(directory, index - 1);
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
    ArchiveDirectory directory;
    ReadDirectory(base, size, &directory);
    const uint32_t entries = EntriesInside(directory, size);
    std::vector<bool> replaced(kMaxFileIndex + 1, false);
    for (const Replacement& r : replacements) {
        const std::string which = "file-table index " + std::to_string(r.index);
        if (r.index == 0 || r.index > entries) {
            *error = which + " has no entry in the archive's file table";
            return kPlanRefused;
        }
        // Its offset and size fields could not change without changing the
        // header's own fields, or where the tables are.
        if (FileEntry(directory, r.index) < kArchiveHeaderSize) {
            *error = which + " lies in the archive's header";
            return kPlanRefused;
        }
        replaced[r.index] = true;
        if (r.data.empty() || r.data.size() > kMaxResourceSize) {
            *error = which + ": a resource must be 1 to " + std::to_string(kMaxResourceSize) + " bytes long";
            return kPlanTooLarge;
        }
    }

    Claims claims(size);
    AddStructure(&claims, base, size, directory);
    for (uint32_t e = 1; e <= entries; ++e) {
        const uint8_t* entry = base + FileEntry(directory, e);
        claims.Add(ReadBE32(entry + kFileEntryData), ReadResourceSize(entry));
    }
    claims.Sort();

    // Appended data must never bring to life a picture nobody named: it
    // starts after the range of every entry that keeps its range, even one
    // that lies partly or wholly past the end of the file (zeros between).
    // The file table may run past the end too: every entry its count and
    // the 16-bit indexes reach lies before the new data, in the zeros, so
    // that no appended byte is ever read as an entry.
    uint8_t field[kFileEntrySize];
    ReadPadded(base, size, directory.files.offset + kFileTableCount, field, 4);
    const uint64_t count = ReadBE32(field);
    uint64_t start = std::max<uint64_t>(size, FileEntry(directory, std::min<uint64_t>(count, kMaxFileIndex + 1) + 1));
    for (uint64_t e = 1; e <= count && FileEntry(directory, e) < size; ++e) {
        if (e <= kMaxFileIndex && replaced[e])
            continue;
        ReadPadded(base, size, FileEntry(directory, e), field, kFileEntrySize);
        start = std::max<uint64_t>(start, uint64_t(ReadBE32(field + kFileEntryData)) + ReadResourceSize(field));
    }
    uint64_t end = start;
    plan->placed.clear();
    for (const Replacement& r : replacements) {
        const uint8_t* entry = base + FileEntry(directory, r.index);
        const uint64_t offset = ReadBE32(entry + kFileEntryData);
        const uint32_t old = ReadResourceSize(entry);
        PlacedReplacement placed = {};
        // The entry's own range is one of the claims: any other makes it shared.
        if (old > 0 && Inside(offset, old, size) && r.data.size() <= old &&
            claims.Overlapping(offset, offset + old) == 1) {
            placed = {uint32_t(offset), uint32_t(old - r.data.size()), true};
        } else {
            if (end + r.data.size() > kMaxArchiveSize) {
                *error = "the archive would pass " + std::to_string(kArchiveLimitGiB) + " GiB" +
                         (start > size ? ", its new data starting after the range of every other file-table entry"
                                       : "");
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
                          const ReplacementPlan& plan, ByteWriter write, void* context)
{
    ArchiveDirectory directory;
    ReadDirectory(base, size, &directory);

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
        patches.push_back({FileEntry(directory, r.index), field, kFileEntrySizeHigh + 1});
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
