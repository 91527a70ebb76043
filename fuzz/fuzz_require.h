// A property check that names its line before the fuzzer records the input, and a scratch folder.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>
#include <unistd.h>

#define Require(condition) \
    ((condition) ? void() : (fprintf(stderr, "property broken at %s:%d\n", __FILE__, __LINE__), abort()))

// On tmpfs where there is one, for cheap writes, syncs and renames; removed at exit.
inline std::string ScratchFolder(const char* name)
{
    static std::string folder;
    folder = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm/" : "/tmp/") + name + ".XXXXXX";
    Require(mkdtemp(folder.data()) != nullptr);
    atexit([] { std::filesystem::remove_all(folder); });
    return folder;
}
