// make_sample_archive.cpp - writes a small archive with three bitmap
// resources (two named) and one resource of another type.
#include <stdio.h>

#include "tests/support/archive_builder.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        fputs("usage: make_sample_archive OUT.mhk\n", stderr);
        return 1;
    }
    ArchiveSpec spec;
    spec.types.push_back(TypeSpec{0x74424D50u, {{1, 1}, {2, 2}, {1000, 3}}, {{"sunrise", 1}, {"harbour", 2}}});
    spec.types.push_back(TypeSpec{0x74575156u, {{1, 4}}, {{"chime", 4}}});
    for (int i = 0; i < 4; ++i)
        spec.files.push_back(FileSpec{Bytes(100 * (i + 1), static_cast<uint8_t>(i))});
    return WriteFile(argv[1], BuildArchive(spec)) ? 0 : 1;
}
