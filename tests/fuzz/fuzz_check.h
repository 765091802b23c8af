// fuzz_check.h - the fuzz targets' one assertion: a wrong result aborts, and
// libFuzzer keeps the input that caused it.
#pragma once

#include <stdlib.h>

inline void Check(bool condition)
{
    if (!condition)
        abort();
}
