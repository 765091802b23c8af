// fuzz_archive.cpp - arbitrary bytes through the archive reader.
//
// Random bytes almost never carry valid headers, so each input is also tried
// with its first 20 bytes rewritten into valid ones: that is what sends the
// fuzzer into the directory walk. The buffer is exactly the input's size,
// so any read past the end trips AddressSanitizer.
#include <stdint.h>
#include <string.h>

#include <vector>

#include "archive/archive.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

const uint8_t* s_base;
uint32_t s_size;
unsigned s_expected;
unsigned s_seen;

void OnCount(unsigned count)
{
    Check(count >= 1 && count <= 65535 && s_seen == 0);
    s_expected = count;
}

void OnItem(uint16_t, uint16_t index, const char* name)
{
    ++s_seen;
    if (name != nullptr) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(name);
        Check(p >= s_base && p < s_base + s_size);
        // The whole name, terminator included, must be inside the file.
        Check(memchr(p, 0, s_base + s_size - p) != nullptr);
    }
    const uint8_t* data;
    uint32_t size;
    if (GetResourceData(s_base, index, &data, &size))
        Check(size > 0 && data >= s_base && size <= static_cast<uint32_t>(s_base + s_size - data));
}

void Walk(const uint8_t* base, uint32_t size)
{
    if (!IsValidArchive(base, size))
        return;
    s_base = base;
    s_size = size;
    s_expected = s_seen = 0;
    EnumerateResources(base, kTypeBitmap, OnCount, OnItem);
    Check(s_seen == s_expected);
    for (uint16_t index : {0, 1, 2, 3, 65535}) {
        const uint8_t* data;
        uint32_t length;
        if (GetResourceData(base, index, &data, &length))
            Check(length > 0 && data >= base && length <= static_cast<uint32_t>(base + size - data));
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 0xFFFFFFFFu)
        return 0;
    Walk(data, static_cast<uint32_t>(size));
    if (size >= 20) {
        std::vector<uint8_t> fixed(data, data + size);
        const uint8_t header[] = {'M', 'H', 'W', 'K', 0, 0, 0, 0, 'R', 'S', 'R', 'C', 1, 0, 0, 0};
        memcpy(fixed.data(), header, sizeof header);
        uint32_t n = static_cast<uint32_t>(size);
        for (int i = 0; i < 4; ++i) {
            fixed[4 + i] = static_cast<uint8_t>((n - 8) >> (24 - 8 * i));
            fixed[16 + i] = static_cast<uint8_t>(n >> (24 - 8 * i));
        }
        Walk(fixed.data(), n);
    }
    return 0;
}
