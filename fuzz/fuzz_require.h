// Properties the fuzz targets check after each input.
#pragma once

#include <cstdio>
#include <cstdlib>

// A broken property names its line before the fuzzer records the input.
inline void RequireAt(bool condition, const char* file, int line)
{
    if (condition)
        return;
    fprintf(stderr, "property broken at %s:%d\n", file, line);
    abort();
}
#define Require(condition) RequireAt((condition), __FILE__, __LINE__)
