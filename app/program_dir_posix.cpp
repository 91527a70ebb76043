// ProgramDir from the link to the running executable.
#include <cstring>
#include <unistd.h>

#include "app/program_dir.h"
#include "app/settings.h"

int FindProgramDir()
{
    char path[sizeof(ProgramDir)];
    ProgramDir[0] = '\0';
    ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    // A link text that fills the buffer may have been cut.
    if (length <= 0 || static_cast<size_t>(length) >= sizeof(path) - 1)
        return 0;
    path[length] = '\0';
    char* slash = strrchr(path, '/');
    if (!slash)
        return 0;
    slash[1] = '\0';
    memcpy(ProgramDir, path, static_cast<size_t>(slash - path) + 2);
    return 1;
}
