// What the fuzz targets share: a property check that names its line before
// the fuzzer records the input, and a scratch folder removed at exit.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#define Require(condition) \
    ((condition) ? void() : (fprintf(stderr, "property broken at %s:%d\n", __FILE__, __LINE__), abort()))

// On tmpfs where there is one, which keeps file writes, syncs and renames cheap.
inline std::string ScratchFolder(const char* name)
{
    static std::string folder;
    folder = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm/" : "/tmp/") + name + ".XXXXXX";
    Require(mkdtemp(folder.data()) != nullptr);
    atexit([] { std::filesystem::remove_all(folder); });
    return folder;
}
