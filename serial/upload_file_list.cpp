#include "serial/upload_file_list.h"

#include <cstring>

int AppendFileName(char* list, uint32_t room, uint32_t* used, const char* name)
{
    size_t length = strlen(name);
    if (length == 0 || length + 1 > room - *used)
        return 0;
    memcpy(list + *used, name, length + 1);
    *used += static_cast<uint32_t>(length + 1);
    list[*used] = '\0';
    return 1;
}

const char* NextFileName(const char* name)
{
    return name + strlen(name) + 1;
}

int FileListIsClosed(const char* list)
{
    for (uint32_t at = 0; at < UPLOAD_FILE_LIST_SIZE; at++) {
        uint32_t length = static_cast<uint32_t>(strnlen(list + at, UPLOAD_FILE_LIST_SIZE - at));
        if (length == 0)
            return 1;
        at += length;
    }
    return 0;
}

uint32_t FileListBytes(const char* list)
{
    const char* name = list;
    while (*name)
        name = NextFileName(name);
    return static_cast<uint32_t>(name - list) + 1;
}
