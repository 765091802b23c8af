// archive_replace.h - puts new resource data into an existing archive,
// keeping every other byte of it: other resources of every type, every
// table and name, the file entries' unread bytes, and whatever lies between
// or after the resources.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "common/byte_writer.h"

// New bytes for the resource at a file-table index (1-based).
struct Replacement {
    uint16_t index;
    std::vector<uint8_t> data;  // 1 to 16,777,215 bytes
};

// Where a replacement goes: over its old range, when the new data fits there
// and no table, name or other file entry shares a byte of it; else after the
// end of the file and after the range of every file entry that is not
// replaced (zeros in between), in the order the replacements were given.
struct PlacedReplacement {
    uint32_t offset;    // where the new data starts
    uint32_t clear;     // bytes of the old range after the new data, zeroed
    bool inPlace;
};

struct ReplacementPlan {
    std::vector<PlacedReplacement> placed;  // one per replacement, in their order
    uint32_t start;                         // where appended data starts: zeros from the old end to here
    uint32_t size;                          // the new file's size
};

enum PlanResult {
    kPlanned,
    kPlanRefused,   // an index has no file-table entry inside the file, or one in the header
    kPlanTooLarge,  // data empty or longer than a file entry can say, or the archive would pass 4 GiB
};

// Plans the replacements in an archive that passed IsValidArchive (base,
// size bytes); no index may be given twice. Anything but kPlanned comes
// with the reason in *error.
PlanResult PlanReplacements(const uint8_t* base, uint32_t size, const std::vector<Replacement>& replacements,
                            ReplacementPlan* plan, std::string* error);


// Writes the new archive through write: the old bytes with the header's two
// size fields, the replaced file entries' offset and size fields (bytes 0
// to 6) and the in-place data changed, then the appended data. Stops at the
// first failed write and returns false.
bool WriteReplacedArchive(const uint8_t* base, uint32_t size, const std::vector<Replacement>& replacements,
                          const ReplacementPlan& plan, ByteWriter write, void* context);
