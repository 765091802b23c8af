// random.h - the tests' one generator of numbers, the same on every platform.
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
