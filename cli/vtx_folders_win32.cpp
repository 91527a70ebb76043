// Folders on Windows: MoveFileExA without MOVEFILE_REPLACE_EXISTING never
// replaces what is there.
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/vtx_folders.h"

const char VtxFolderSeparator = '\\';

// The error as the C library words it where there is such a word, so that
// vtx says the same on Linux and Windows.
static const char* FolderErrorWords(DWORD error)
{
    static char words[64];
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return strerror(ENOENT);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return strerror(EACCES);
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
        return strerror(EEXIST);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return strerror(ENOSPC);
    case ERROR_WRITE_PROTECT:
        return strerror(EROFS);
    }
    snprintf(words, sizeof(words), "Windows error %lu", static_cast<unsigned long>(error));
    return words;
}

static int Taken(DWORD error)
{
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
}

int VtxMakeFolder(const char* path, const char** why)
{
    if (CreateDirectoryA(path, nullptr))
        return VTX_FOLDER_DONE;
    DWORD error = GetLastError();
    *why = FolderErrorWords(error);
    return Taken(error) ? VTX_FOLDER_TAKEN : VTX_FOLDER_FAILED;
}

int VtxMoveFolderToNew(const char* from, const char* to, const char** why)
{
    if (MoveFileExA(from, to, 0))
        return VTX_FOLDER_DONE;
    DWORD error = GetLastError();
    *why = FolderErrorWords(error);
    return Taken(error) ? VTX_FOLDER_TAKEN : VTX_FOLDER_FAILED;
}

int VtxRemoveFolder(const char* path)
{
    return RemoveDirectoryA(path) != 0;
}

int VtxEachFolderIn(const char* path, void (*each)(const char* name, void* context), void* context)
{
    char pattern[MAX_PATH + 4];
    if (snprintf(pattern, sizeof(pattern), "%s\\*", path) >= static_cast<int>(sizeof(pattern)))
        return 0;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(pattern, &data);
    if (search == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && strcmp(data.cFileName, ".") != 0 &&
            strcmp(data.cFileName, "..") != 0)
            each(data.cFileName, context);
    } while (FindNextFileA(search, &data));
    FindClose(search);
    return 1;
}
