#include "tests/remote/window_test_files.h"

#include <shlobj.h>

#include <cstdio>
#include <cstring>

std::string MakeScratchDirectory(const char* tag)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof(temp), temp);
    static int serial;
    char path[MAX_PATH];
    snprintf(path, sizeof(path), "%svbrowser-%s-%lu-%d\\", temp, tag, GetCurrentProcessId(), ++serial);
    CreateDirectoryA(path, nullptr);
    return path;
}

std::string ReadWholeFile(const std::string& path)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return "<missing>";
    std::string bytes;
    char piece[4096];
    size_t got;
    while ((got = fread(piece, 1, sizeof(piece), file)) > 0)
        bytes.append(piece, got);
    fclose(file);
    return bytes;
}

void WriteWholeFile(const std::string& path, const std::string& bytes)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        return;
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

HDROP MakeDrop(const std::vector<std::string>& names)
{
    size_t listBytes = 1;
    for (const std::string& name : names)
        listBytes += name.size() + 1;
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + listBytes);
    DROPFILES* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = FALSE;
    char* list = reinterpret_cast<char*>(drop + 1);
    for (const std::string& name : names) {
        memcpy(list, name.c_str(), name.size() + 1);
        list += name.size() + 1;
    }
    *list = '\0';
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

std::string HostToWindowsFile(const std::string& hostPath)
{
    std::string path = "Z:" + hostPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string HostToWindowsPath(const std::string& hostPath)
{
    std::string path = HostToWindowsFile(hostPath);
    if (path.back() != '\\')
        path += '\\';
    return path;
}
