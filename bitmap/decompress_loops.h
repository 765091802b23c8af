// decompress_loops.h - what the pixel stream decoder's two loops share: the
// place decoding has reached, the portable loop (decompress.cpp) and the
// branch-free loop for short commands (decompress_vector.cpp), which hands
// every other command to the portable one.
#pragma once

#include <stdint.h>

// Where decoding stands between commands, or inside a group.
struct DecodeCursor {
    const uint8_t* s;
    uint8_t* p;
    unsigned codes;  // pair codes left in the current group
};

enum RunOutcome {
    kRunEnded,    // decoding is over
    kRunNearEnd,  // a command may not fit: the checked loop takes over
    kRunPaused,   // at a command that begins at or after the pause asked for
};

// Runs commands (a group as one) from c without a test per byte, while
// every one clearly fits, until one begins at or after pause: pause = c->s
// + 1 runs one command.
template <bool kZero>
RunOutcome RunUnchecked(DecodeCursor* c, const uint8_t* limit, const uint8_t* sourceEnd, const uint8_t* pause);

// Runs from c to the end, testing every command and pair code.
template <bool kZero>
void RunChecked(DecodeCursor* c, const uint8_t* limit, const uint8_t* sourceEnd);

// Decodes as DecompressPixels does, with the portable loop alone: what runs
// where the other loop cannot.
template <bool kZero>
uint8_t* DecodePortable(const uint8_t* source, uint8_t* destination, const uint8_t* limit, const uint8_t* sourceEnd);

#if defined(VELDER_VECTOR_DECODER)
// True when this processor runs the branch-free loop (it needs SSSE3).
bool VectorLoopAvailable();

// Decodes as DecompressPixels does, with the branch-free loop where the
// commands are short and their kinds follow no pattern.
template <bool kZero>
uint8_t* DecodeWithVectorLoop(const uint8_t* source, uint8_t* destination, const uint8_t* limit,
                              const uint8_t* sourceEnd);
#endif
