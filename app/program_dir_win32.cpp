// ProgramDir from the path of the running executable.
#include <windows.h>

#include <cstring>

#include "app/program_dir.h"
#include "app/settings.h"

int AnsiPathIsWhole(const char* path)
{
    if (strncmp(path, "\\\\?\\", 4) == 0)
        path += 4;   // the prefix of a long path
    return strchr(path, '?') == nullptr;
}

int FindProgramDir()
{
    char path[520];
    ProgramDir[0] = '\0';
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
    // A result that fills the whole buffer is a cut path, not the directory.
    if (length == 0 || length >= sizeof(path))
        return 0;
    path[length] = '\0';
    // Walk by characters: under a double-byte code page the second byte of a
    // character may have the value of a backslash without being one.
    char* cut = path;
    for (char* at = path; *at; at = CharNextA(at)) {
        if (*at == '\\')
            cut = at + 1;
    }
    if (cut == path)
        return 0;
    *cut = '\0';
    memcpy(ProgramDir, path, static_cast<size_t>(cut - path) + 1);
    return 1;
}
