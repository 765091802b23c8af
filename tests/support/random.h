// random.h - a small linear congruential generator for test data: the same
// numbers on every platform and build.
#pragma once

#include <stdint.h>

struct Random {
    uint32_t state;
    uint32_t Next()
    {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    unsigned Below(unsigned n) { return Next() % n; }
};
