// Where Linux keeps the machines file: the user's configuration, then the
// machine's.
#include <cstdio>
#include <cstdlib>

#include "cli/vtx_machines.h"

const char VtxMachinesFileHelp[] =
    "  VTX_MACHINES  the machines file; without it vtx reads the first of\n"
    "                $XDG_CONFIG_HOME/vtx/machines.ini (default\n"
    "                ~/.config/vtx/machines.ini) and /etc/vtx/machines.ini\n";

int VtxMachinesFilePlaces(char places[][VTX_MACHINES_PATH_SIZE], int most)
{
    int count = 0;
    // A relative XDG_CONFIG_HOME is to be ignored, as the base directory rules say.
    const char* config = getenv("XDG_CONFIG_HOME");
    const char* home = getenv("HOME");
    int written = -1;
    if (config && config[0] == '/')
        written = snprintf(places[count], VTX_MACHINES_PATH_SIZE, "%s/vtx/machines.ini", config);
    else if (home && *home)
        written = snprintf(places[count], VTX_MACHINES_PATH_SIZE, "%s/.config/vtx/machines.ini", home);
    if (written > 0 && written < static_cast<int>(VTX_MACHINES_PATH_SIZE) && count < most)
        count++;
    if (count < most)
        snprintf(places[count++], VTX_MACHINES_PATH_SIZE, "/etc/vtx/machines.ini");
    return count;
}
