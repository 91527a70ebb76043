// Folders on Linux. The new name of a finished backup is taken with
// RENAME_NOREPLACE; where the file system lacks it, an empty folder made
// under the new name claims it first and the rename replaces that empty one.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/vtx_folders.h"

const char VtxFolderSeparator = '/';

int VtxMakeFolder(const char* path, const char** why)
{
    if (mkdir(path, 0777) == 0)
        return VTX_FOLDER_DONE;
    *why = strerror(errno);
    return errno == EEXIST ? VTX_FOLDER_TAKEN : VTX_FOLDER_FAILED;
}

int VtxMoveFolderToNew(const char* from, const char* to, const char** why)
{
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return VTX_FOLDER_DONE;
    if (errno == EINVAL || errno == ENOSYS) {
        int claimed = VtxMakeFolder(to, why);
        if (claimed != VTX_FOLDER_DONE)
            return claimed;
        if (rename(from, to) == 0)
            return VTX_FOLDER_DONE;
        *why = strerror(errno);
        rmdir(to);
        return VTX_FOLDER_FAILED;
    }
    *why = strerror(errno);
    return errno == EEXIST || errno == ENOTEMPTY ? VTX_FOLDER_TAKEN : VTX_FOLDER_FAILED;
}

int VtxRemoveFolder(const char* path)
{
    return rmdir(path) == 0;
}

int VtxEachFolderIn(const char* path, void (*each)(const char* name, void* context), void* context)
{
    DIR* folder = opendir(path);
    if (!folder)
        return 0;
    while (const dirent* entry = readdir(folder)) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0)
            continue;
        char inner[4096];
        struct stat info;
        if (snprintf(inner, sizeof(inner), "%s/%s", path, entry->d_name) < static_cast<int>(sizeof(inner)) &&
            lstat(inner, &info) == 0 && S_ISDIR(info.st_mode))
            each(entry->d_name, context);
    }
    closedir(folder);
    return 1;
}
