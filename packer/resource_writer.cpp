// resource_writer.cpp - see resource_writer.h.
#include "packer/resource_writer.h"

#include <string.h>

#include "archive/archive.h"

namespace {

void AppendBE16(std::vector<uint8_t>& out, unsigned value)
{
    out.resize(out.size() + 2);
    WriteBE16(&out[out.size() - 2], value);
}

std::vector<uint8_t> Header(unsigned width, unsigned height, unsigned pitch, unsigned format)
{
    std::vector<uint8_t> out;
    AppendBE16(out, width);
    AppendBE16(out, height);
    AppendBE16(out, pitch);
    AppendBE16(out, format);
    return out;
}

}  // namespace

std::vector<uint8_t> BuildPaletteResource(unsigned width, unsigned height, const uint8_t* palette,
                                          const uint8_t* area, PixelFormat format, const CompressOptions& options)
{
    const unsigned pitch = PalettePitch(width);
    const size_t areaSize = size_t(height) * pitch;
    std::vector<uint8_t> stream;
    if (format != kStorePlain) {
        CompressedPixels compressed = CompressPixelsEstimated(area, areaSize, options);
        stream.swap(compressed.stream);
        // Plain rows shown top-down cost no decoding at all, so the stream
        // is kept only when, with its decoding time priced at the cost
        // model's rate, it still comes to at most 7/8 of the plain rows. The
        // eighth covers what the estimate leaves out: clearing and writing
        // the decode block, and mixed streams decoding up to twice as slowly
        // as their parts alone. Four unread bytes sit before the stream.
        const uint64_t worth = compressed.decodeNanoseconds * options.codePenalty / 256;
        if (format == kStoreSmaller)
            format = 8 * (4 + stream.size() + worth) <= 7 * uint64_t(areaSize) ? kStoreCompressed : kStorePlain;
    }
    std::vector<uint8_t> out = Header(width, height, pitch, format);
    AppendBE16(out, kPaletteBlockLength);
    out.push_back(kPaletteBits);
    out.push_back(kPaletteLastIndex);
    out.insert(out.end(), palette, palette + 768);
    if (format == kStorePlain) {
        out.insert(out.end(), area, area + areaSize);
    } else {
        out.insert(out.end(), 4, 0);
        out.insert(out.end(), stream.begin(), stream.end());
    }
    return out;
}

std::vector<uint8_t> BuildTrueColourResource(const uint8_t* pixels)
{
    const unsigned rowBytes = kTrueColourRowBytes;
    std::vector<uint8_t> out = Header(kTrueColourWidth, kTrueColourHeight, kTrueColourPitch, kFormat24Bit);
    out.resize(kTrueColourResourceSize, 0);
    for (unsigned y = 0; y < kTrueColourHeight; ++y)
        memcpy(&out[kHeaderSize + size_t(y) * kTrueColourPitch], pixels + size_t(y) * rowBytes, rowBytes);
    return out;
}

bool BuildMohawkArchive(const std::vector<ArchiveItem>& items, std::vector<uint8_t>* archive, std::string* error)
{
    const size_t count = items.size();
    if (count > kMaxTableEntries) {
        *error = "an archive holds at most " + std::to_string(kMaxTableEntries) + " images";
        return false;
    }
    size_t named = 0, nameBytes = 0;
    for (const ArchiveItem& item : items) {
        if (item.data.empty() || item.data.size() > kMaxResourceSize) {
            *error = "a resource must be 1 to " + std::to_string(kMaxResourceSize) + " bytes long";
            return false;
        }
        if (memchr(item.name.data(), 0, item.name.size()) != nullptr) {
            *error = "a name cannot contain a zero byte";
            return false;
        }
        if (!item.name.empty()) {
            ++named;
            nameBytes += item.name.size() + 1;
        }
    }

    // The directory follows the headers: its one type entry, then the
    // resource table, the name table and the name strings, then the file
    // table. Every table's start and every name's offset must fit in 16
    // bits, so the largest table goes last, where only its start counts.
    const size_t resourceTable = kDirectoryTypes + kTypeEntrySize;
    const size_t nameTable = resourceTable + kTableEntries + kResourceEntrySize * count;
    const size_t nameArea = nameTable + kTableEntries + kNameEntrySize * named;
    const size_t fileTable = nameArea + nameBytes;
    if (fileTable > kMaxTableOffset) {
        *error = "too many images or names for the archive's 16-bit table offsets (" + std::to_string(count) +
                 " images, " + std::to_string(nameBytes) + " bytes of names; the tables must start within " + std::to_string(kMaxTableOffset) + " bytes)";
        return false;
    }
    const size_t dataStart = kArchiveHeaderSize + fileTable + kFileTableEntries + kFileEntrySize * count;
    uint64_t total = dataStart;  // 64-bit: size_t is 32-bit on the Windows build
    for (const ArchiveItem& item : items)
        total += item.data.size();
    if (total > kMaxArchiveSize) {
        *error = "the archive would be " + std::to_string(kArchiveLimitGiB) + " GiB or larger";
        return false;
    }

    std::vector<uint8_t>& out = *archive;
    out.assign(dataStart, 0);
    WriteBE32(&out[kArchiveMagic], kMagicMohawk);
    WriteBE32(&out[kArchiveRestSize], static_cast<uint32_t>(total - kArchiveRestStart));
    WriteBE32(&out[kArchiveResourceMagic], kMagicResources);
    WriteBE32(&out[kArchiveVersion], kVersionWord);
    WriteBE32(&out[kArchiveFileSize], static_cast<uint32_t>(total));
    WriteBE32(&out[kArchiveDirectory], kArchiveHeaderSize);
    WriteBE16(&out[kArchiveFileTable], static_cast<unsigned>(fileTable));

    uint8_t* directory = &out[kArchiveHeaderSize];
    WriteBE16(directory + kDirectoryNameArea, static_cast<unsigned>(nameArea));
    WriteBE16(directory + kDirectoryTypeCount, 1);
    uint8_t* type = directory + kDirectoryTypes;
    WriteBE32(type + kTypeEntryTag, kTypeBitmap);
    WriteBE16(type + kTypeEntryResources, static_cast<unsigned>(resourceTable));
    WriteBE16(type + kTypeEntryNames, static_cast<unsigned>(nameTable));

    WriteBE16(directory + resourceTable + kTableCount, static_cast<unsigned>(count));
    WriteBE16(directory + nameTable + kTableCount, static_cast<unsigned>(named));
    WriteBE32(directory + fileTable + kFileTableCount, static_cast<uint32_t>(count));
    uint8_t* resourceEntry = directory + resourceTable + kTableEntries;
    uint8_t* nameEntry = directory + nameTable + kTableEntries;
    uint8_t* fileEntry = directory + fileTable + kFileTableEntries;
    size_t nameAt = 0;
    size_t dataAt = dataStart;
    for (size_t i = 0; i < count; ++i, resourceEntry += kResourceEntrySize, fileEntry += kFileEntrySize) {
        const ArchiveItem& item = items[i];
        const unsigned index = static_cast<unsigned>(i + 1);
        WriteBE16(resourceEntry + kResourceEntryId, item.id);
        WriteBE16(resourceEntry + kResourceEntryIndex, index);
        if (!item.name.empty()) {
            WriteBE16(nameEntry + kNameEntryOffset, static_cast<unsigned>(nameAt));
            WriteBE16(nameEntry + kNameEntryIndex, index);
            nameEntry += kNameEntrySize;
            memcpy(directory + nameArea + nameAt, item.name.data(), item.name.size());
            nameAt += item.name.size() + 1;
        }
        WriteBE32(fileEntry + kFileEntryData, static_cast<uint32_t>(dataAt));
        WriteResourceSize(fileEntry, static_cast<uint32_t>(item.data.size()));
        dataAt += item.data.size();
    }
    out.reserve(static_cast<size_t>(total));
    for (const ArchiveItem& item : items)
        out.insert(out.end(), item.data.begin(), item.data.end());
    return true;
}
