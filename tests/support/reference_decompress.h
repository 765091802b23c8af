// reference_decompress.h - a deliberately plain pixel-stream decoder for
// the tests and the fuzzer to compare the real one with: one byte at a time,
// every bound tested on every step, written straight from the command and
// pair-code tables without sharing anything with bitmap/decompress.cpp.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

// Decodes stream[0, streamSize) into memory[start, limit); reads before
// start come from memory too. Returns the output position where decoding
// ended.
size_t ReferenceDecompress(const uint8_t* stream, size_t streamSize, std::vector<uint8_t>& memory, size_t start,
                           size_t limit);
