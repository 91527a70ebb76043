// vtx machines [--check] [--json]: the machines of the machines file, and
// with --check whether each one answers with its listing.
#include <cstdio>
#include <cstring>

#include "cli/vtx_commands.h"
#include "cli/vtx_machines.h"
#include "lib/zem_time.h"
#include "tree/device_tree.h"
#include "tree/tree_json.h"

const char VtxMachinesUsage[] =
    "usage: vtx [OPTIONS] machines [--check] [--json]\n"
    "\n"
    "Lists the machines of the machines file, one a line: name, port, speed\n"
    "and note. The file is $VTX_MACHINES, else the first of the places that\n"
    "'vtx --help' names; each section is a machine:\n"
    "  [lathe]\n"
    "  port = /dev/ttyUSB0\n"
    "  baud = 57600       (default 57600)\n"
    "  attempts = 2       (listing attempts, 1 to 100; default 2)\n"
    "  note = Lathe in hall 2\n"
    "Lines starting with ; or # are comments. A file that cannot be read, a\n"
    "section without a port, a bad speed, an unknown key or any other fault\n"
    "stops vtx with the file, the line and the fault (status 2). 'vtx\n"
    "--machine NAME COMMAND' takes a machine's settings for any command;\n"
    "--port, --baud and --attempts given as well win.\n"
    "\n"
    "  --check  read each machine's listing, one after the other, and print\n"
    "           one line a machine: reachable with the free bytes of both\n"
    "           disks, or the reason, and how long the listing took\n"
    "  --json   print one JSON object instead: {\"file\":S,\"machines\":[{\"name\":S,\n"
    "           \"port\":S,\"baud\":N,\"attempts\":N,\"note\":S}, ...]}; with --check\n"
    "           each machine also has \"reachable\":B, \"ms\":N, and either\n"
    "           \"ramDiskFree\":N and \"flashDiskFree\":N or \"reason\":S\n"
    "\n"
    "Exit status: 0 listed (with --check: every machine answered), 1 a machine\n"
    "did not answer, 2 usage error or a fault in the machines file.\n";

static int Width(const VtxMachinesFile* file, int port)
{
    int width = 0;
    for (uint32_t i = 0; i < VtxMachineCount(file); i++) {
        const VtxMachine* machine = VtxMachineAt(file, i);
        int length = static_cast<int>(strlen(port ? machine->port : machine->name));
        width = length > width ? length : width;
    }
    return width;
}

static void WriteMachineJson(const VtxMachine* machine, const VtxOptions* options)
{
    fputs("{\"name\":", stdout);
    WriteJsonString(stdout, machine->name);
    fputs(",\"port\":", stdout);
    WriteJsonString(stdout, options->port);
    printf(",\"baud\":%lu,\"attempts\":%lu,\"note\":", static_cast<unsigned long>(options->baud),
           static_cast<unsigned long>(options->attempts));
    WriteJsonString(stdout, machine->note);
}

// Reads the machine's listing; 1 when it answered. The line goes to stdout.
static int CheckMachine(const VtxMachine* machine, const VtxOptions* options, int json, int nameWidth)
{
    VtxSession session;
    char reason[256];
    uint32_t start = ZemTickCount();
    int answered = VtxReadMachineListing(options, &session, reason, sizeof(reason));
    unsigned long ms = static_cast<unsigned long>(ZemTickCount() - start);
    unsigned long ram = answered ? static_cast<unsigned long>(session.tree->ramDiskFree) : 0;
    unsigned long flash = answered ? static_cast<unsigned long>(session.tree->flashDiskFree) : 0;
    VtxDisconnect(&session);
    if (json) {
        printf(",\"reachable\":%s,\"ms\":%lu,", answered ? "true" : "false", ms);
        if (answered) {
            printf("\"ramDiskFree\":%lu,\"flashDiskFree\":%lu}", ram, flash);
        } else {
            fputs("\"reason\":", stdout);
            WriteJsonString(stdout, reason);
            putchar('}');
        }
    } else if (answered) {
        printf("%-*s  reachable  RAM disk %lu bytes free, flash disk %lu bytes free  %lu ms\n", nameWidth, machine->name,
               ram, flash, ms);
    } else {
        printf("%-*s  %s  %lu ms\n", nameWidth, machine->name, reason, ms);
    }
    fflush(stdout);
    return answered;
}

int VtxMachines(int argc, char** argv, const VtxOptions* options)
{
    int check = 0, json = 0;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--check") == 0)
            check = 1;
        else if (strcmp(argv[i], "--json") == 0)
            json = 1;
        else
            return VtxUsageError("machines", "unknown argument", argv[i]);
    }
    VtxMachinesFile file;
    if (!VtxReadMachines(&file)) {
        VtxCloseMachines(&file);
        return VTX_EXIT_USAGE;
    }
    int nameWidth = Width(&file, 0), portWidth = Width(&file, 1);
    int silent = 0;
    if (json) {
        fputs("{\"file\":", stdout);
        WriteJsonString(stdout, file.path);
        fputs(",\"machines\":[", stdout);
    }
    for (uint32_t i = 0; i < VtxMachineCount(&file); i++) {
        const VtxMachine* machine = VtxMachineAt(&file, i);
        VtxOptions machineOptions = *options;
        VtxApplyMachine(&machineOptions, machine);
        if (json) {
            fputs(i ? "," : "", stdout);
            WriteMachineJson(machine, &machineOptions);
        }
        if (check) {
            silent |= !CheckMachine(machine, &machineOptions, json, nameWidth);
        } else if (json) {
            putchar('}');
        } else {
            printf("%-*s  %-*s  %6lu bit/s", nameWidth, machine->name, portWidth, machineOptions.port,
                   static_cast<unsigned long>(machineOptions.baud));
            printf(machine->note[0] ? "  %s\n" : "%s\n", machine->note);
        }
    }
    if (json)
        puts("]}");
    VtxCloseMachines(&file);
    return silent ? VTX_EXIT_FAILED : VTX_EXIT_OK;
}
