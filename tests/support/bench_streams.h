// bench_streams.h - pixel streams written by hand, command by command, in
// the shapes that decode slowest, as other encoders may write them: short
// commands whose kind keeps changing, each pair-code family alone, copies
// from every short distance, long copies from 1023 back, and codes that keep
// their pair. The decoding benchmark times them; the decoder's tests run
// them against the reference decoder.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

struct BenchStream {
    std::string name;
    std::vector<uint8_t> stream;  // fills the area exactly, then the end command
    // For a stream with one code that keeps its pair (its name ends in
    // "+kept"): the index of the same stream without it, which has the same
    // length and writes the same number of bytes. -1 for the others.
    int without = -1;
};

// The streams for an area of areaSize bytes (even, at least 1024), the same
// on every run and platform.
std::vector<BenchStream> BenchStreams(size_t areaSize);
