// fuzz_check.h - a wrong result aborts, and libFuzzer keeps the input.
#pragma once

#include <stdlib.h>

inline void Check(bool condition)
{
    if (!condition)
        abort();
}
