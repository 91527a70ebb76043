// What Windows says of a PC file. It is looked up as the sender looks it up,
// in its folder, so that a device name (NUL, COM1) is no file; and opened as
// the sender opens it, so that a file another program holds for writing is
// found out before the port is opened.
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "cli/vtx_platform.h"

// The system's words for an error; the common ones as the C library words
// them, so that vtx says the same on every system.
static const char* ErrorWords(DWORD error)
{
    static char words[256];
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME)
        return strerror(ENOENT);
    if (error == ERROR_ACCESS_DENIED)
        return strerror(EACCES);
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, words,
                                  sizeof(words), nullptr);
    while (length > 0 && strchr(". \r\n", words[length - 1]))
        length--;
    words[length] = 0;
    return length ? words : "the system refused it";
}

int VtxLookAtLocalFile(const char* path, VtxLocalFile* file, const char** why)
{
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(path, &data);
    if (search == INVALID_HANDLE_VALUE) {
        *why = ErrorWords(GetLastError());
        return 0;
    }
    FindClose(search);
    file->kind = data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? VTX_FILE_DIRECTORY : VTX_FILE_REGULAR;
    file->size = static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    file->readProblem = nullptr;
    if (file->kind == VTX_FILE_DIRECTORY)
        return 1;
    HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        file->readProblem = ErrorWords(GetLastError());
        return 1;
    }
    CloseHandle(handle);
    return 1;
}
