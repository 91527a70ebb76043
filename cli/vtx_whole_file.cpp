// Reading a small PC file whole: the machines file, a backup's files.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/vtx_machines.h"

int VtxReadWholeFile(const char* path, uint32_t most, char** text, uint32_t* length, const char** why)
{
    *length = 0;
    FILE* in = fopen(path, "rb");
    if (!in) {
        *why = strerror(errno);
        return 0;
    }
    int whole = 0;
    *why = "not enough memory";
    if (ZemMemAllocAs(text, static_cast<size_t>(most) + 1, 0)) {
        size_t got = fread(*text, 1, static_cast<size_t>(most) + 1, in);
        *why = ferror(in) ? strerror(errno) : got > most ? "larger than such a file is" : nullptr;
        (*text)[got > most ? most : got] = 0;
        *length = static_cast<uint32_t>(got > most ? most : got);
        whole = *why == nullptr;
    }
    fclose(in);
    if (!whole)
        ZemMemFreeAs(text);
    return whole;
}
