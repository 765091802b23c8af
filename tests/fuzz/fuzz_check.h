// fuzz_check.h - a wrong result aborts, naming the check that failed, and
// libFuzzer keeps the input.
#pragma once

#include <stdio.h>
#include <stdlib.h>

inline void CheckAt(bool condition, const char* file, int line)
{
    if (!condition) {
        fprintf(stderr, "%s:%d: check failed\n", file, line);
        abort();
    }
}

#define Check(condition) CheckAt((condition), __FILE__, __LINE__)
