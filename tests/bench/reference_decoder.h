// reference_decoder.h - an earlier commit's DecodeBitmapResource, built
// from git history beside this tree's (tests/CMakeLists.txt), so that
// bench_decode times both in the same run.
#pragma once

#include <stdint.h>

#include <vector>

// The commit the reference decoder comes from.
extern const char kReferenceCommit[];

// Decodes the resource top-down and frees the block again, as the viewer's
// display path does, copying the pixel rows to *pixels when it is not
// null. False when the resource is refused.
bool ReferenceDecode(const uint8_t* data, uint32_t size, std::vector<uint8_t>* pixels);
