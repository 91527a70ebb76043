// Where Windows keeps the machines file: the user's application data, then
// beside vtx.exe, where a shop that unpacks the zip on one PC may keep it.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <windows.h>

#include "cli/vtx_machines.h"

const char VtxMachinesFileHelp[] =
    "  VTX_MACHINES  the machines file; without it vtx reads the first of\n"
    "                %APPDATA%\\vtx\\machines.ini and machines.ini beside vtx.exe\n";

int VtxMachinesFilePlaces(char places[][VTX_MACHINES_PATH_SIZE], int most)
{
    int count = 0;
    const char* appData = getenv("APPDATA");
    if (appData && *appData && count < most) {
        int written = snprintf(places[count], VTX_MACHINES_PATH_SIZE, "%s\\vtx\\machines.ini", appData);
        if (written > 0 && written < static_cast<int>(VTX_MACHINES_PATH_SIZE))
            count++;
    }
    char program[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, program, sizeof(program));
    if (length == 0 || length >= sizeof(program) || count >= most)
        return count;
    char* slash = strrchr(program, '\\');
    if (slash && static_cast<size_t>(slash - program) + sizeof("\\machines.ini") <= VTX_MACHINES_PATH_SIZE) {
        strcpy(slash, "\\machines.ini");
        strcpy(places[count++], program);
    }
    return count;
}
