// What Linux says of a PC file.
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/vtx_platform.h"

int VtxLookAtLocalFile(const char* path, VtxLocalFile* file, const char** why)
{
    struct stat info;
    if (stat(path, &info) != 0) {
        *why = strerror(errno);
        return 0;
    }
    file->kind = S_ISDIR(info.st_mode) ? VTX_FILE_DIRECTORY : S_ISREG(info.st_mode) ? VTX_FILE_REGULAR : VTX_FILE_OTHER;
    file->size = static_cast<uint64_t>(info.st_size);
    file->readProblem = nullptr;
    if (file->kind != VTX_FILE_REGULAR)
        return 1;
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        file->readProblem = strerror(errno);
    else
        close(fd);
    return 1;
}
