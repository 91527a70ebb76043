// Whole-file helpers on CreateFileA, ReadFile and FindFirstFileA.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "lib/zem_lib.h"

int64_t ZemPlatformFileWrite(intptr_t file, const void* bytes, uint32_t length)
{
    DWORD written = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(file), bytes, length, &written, nullptr))
        return -1;
    return written;
}

long ZemFileRead(const char* path, void* buffer, uint32_t maxBytes, uint32_t offset, ZemFileInfo* info)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    // With its high part given the distance is 64 bits, so an offset from
    // 2 GiB on does not turn negative; a low part of all ones is no failure.
    LONG high = 0;
    if (offset != 0 && SetFilePointer(file, static_cast<LONG>(offset), &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR) {
        CloseHandle(file);
        return -1;
    }
    DWORD got = 0;
    if (!ReadFile(file, buffer, maxBytes, &got, nullptr)) {
        CloseHandle(file);
        return -1;
    }
    long result = static_cast<long>(got);
    if (info) {
        BY_HANDLE_FILE_INFORMATION fileInfo;
        if (GetFileInformationByHandle(file, &fileInfo)) {
            info->attributes = fileInfo.dwFileAttributes;
            info->sizeLow = fileInfo.nFileSizeLow;
            info->sizeHigh = fileInfo.nFileSizeHigh;
            info->identity = (static_cast<uint64_t>(fileInfo.dwVolumeSerialNumber) << 32) ^
                             (static_cast<uint64_t>(fileInfo.nFileIndexHigh) << 32 | fileInfo.nFileIndexLow);
            info->writeTime = static_cast<uint64_t>(fileInfo.ftLastWriteTime.dwHighDateTime) << 32 |
                              fileInfo.ftLastWriteTime.dwLowDateTime;
        } else {
            result = -1;
        }
    }
    CloseHandle(file);
    return result;
}

int ZemFileWrite(const char* path, const void* buffer, uint32_t length, int mode)
{
    // Shared for reading, so that a viewer holding the log or a list does not make the write fail.
    // CREATE_NEW fails on any name that is there, a link included.
    DWORD disposition = mode == ZEM_FILE_CREATE ? CREATE_ALWAYS : mode == ZEM_FILE_NEW ? CREATE_NEW : OPEN_ALWAYS;
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    if (mode == ZEM_FILE_APPEND)
        SetFilePointer(file, 0, nullptr, FILE_END);
    // A write that ended short (a full disk) failed as much as one that did not start.
    int64_t written = ZemFileWriteThroughCall(reinterpret_cast<intptr_t>(file), buffer, length);
    DWORD error = GetLastError();
    CloseHandle(file);
    if (written == length)
        return 1;
    SetLastError(written >= 0 ? ERROR_DISK_FULL : error);
    return 0;
}

int ZemFileFind(const char* path, ZemFindData* data)
{
    // FindFirstFileA would announce the first match under the pattern's name.
    if (strpbrk(path, "*?"))
        return 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(search);
    if (data) {
        memset(data, 0, sizeof(*data));
        data->attributes = found.dwFileAttributes;
        data->sizeLow = found.nFileSizeLow;
        data->sizeHigh = found.nFileSizeHigh;
        memcpy(data->fileName, found.cFileName, sizeof(data->fileName));
    }
    return 1;
}

int ZemFileMove(const char* from, const char* to)
{
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
}

int ZemFileDelete(const char* path)
{
    return DeleteFileA(path) != 0;
}

int ZemFileIsRegular(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    return !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT));
}

int ZemFileLastProblem(char* words, uint32_t size)
{
    DWORD error = GetLastError();
    if (size == 0)
        return ZEM_FILE_OTHER;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, words,
                                  size, nullptr);
    // The system's words end with a full stop and a line end.
    while (length > 0 && (words[length - 1] == '\r' || words[length - 1] == '\n' || words[length - 1] == '.' ||
                          words[length - 1] == ' '))
        length--;
    words[length] = 0;
    if (length == 0)
        snprintf(words, size, "error %lu", static_cast<unsigned long>(error));
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
        return ZEM_FILE_EXISTS;
    if (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT)
        return ZEM_FILE_DENIED;
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? ZEM_FILE_NO_ROOM : ZEM_FILE_OTHER;
}
