// Profile strings on the system's own INI functions.
#include <windows.h>

#include "app/profile.h"

uint32_t ProfileReadString(const char* section, const char* key, const char* defaultText,
                           char* buffer, uint32_t size, const char* path)
{
    return GetPrivateProfileStringA(section, key, defaultText, buffer, size, path);
}

int ProfileWriteString(const char* section, const char* key, const char* value, const char* path)
{
    if (!ProfileCanStore(section, key, value))
        return 0;
    // A read-only file stays as it is, whoever runs the program.
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return 0;
    return WritePrivateProfileStringA(section, key, value, path) ? 1 : 0;
}
