// vtx backup (-m NAME | --all) [-o DIR] [--json]: a dated backup of each
// machine, what changed since its previous one, and with --all a table of
// every machine's result.
#include <cstdio>
#include <cstring>

#include "cli/vtx_backup.h"
#include "cli/vtx_commands.h"
#include "cli/vtx_platform.h"
#include "tree/tree_json.h"

const char VtxBackupUsage[] =
    "usage: vtx [OPTIONS] backup (-m NAME | --all) [-o DIR] [--json]\n"
    "\n"
    "Fetches the listing, the parameter list and the tool list of the machine\n"
    "NAME of the machines file (-m is --machine; --all: every machine of the\n"
    "file, one after the other) into the new folder DIR/NAME/STAMP, STAMP\n"
    "being the time in UTC as YYYY-MM-DDTHH-MM-SS:\n"
    "  listing.json  the listing as 'vtx ls --json' writes it\n"
    "  params.txt    the parameter list as 'vtx params -o' writes it\n"
    "  tools.txt     the tool list as 'vtx tools -o' writes it; none when the\n"
    "                controller holds no tool list\n"
    "  backup.json   one JSON object: \"machine\", \"port\", \"baud\", \"attempts\",\n"
    "                \"note\", \"time\" (YYYY-MM-DDTHH:MM:SSZ), \"vtx\" (its version),\n"
    "                \"files\" (the names of the files beside it) and \"toolList\"\n"
    "                (false: the controller holds no tool list)\n"
    "The folder is filled under a hidden name (DIR/.NAME-STAMP.partial) and\n"
    "moved to its place only when everything is written whole: a failed\n"
    "backup leaves no folder, and an existing backup is never overwritten.\n"
    "When a backup of that second is there already, the new one is STAMP-2\n"
    "(then -3, ...). DIR and DIR/NAME are made when missing.\n"
    "\n"
    "After each backup, what changed since the previous backup of the\n"
    "machine (the latest folder in DIR/NAME by its name) is printed as\n"
    "'vtx diff' prints it.\n"
    "\n"
    "  -m NAME  the machine (also --machine NAME or $VTX_MACHINE)\n"
    "  --all    every machine of the machines file; a table at the end gives\n"
    "           each machine's result and what changed\n"
    "  -o DIR   the folder of the backups (default: the current folder)\n"
    "  --json   print one JSON object instead: {\"backups\":[{\"machine\":S,\n"
    "           \"result\":\"whole\",\"folder\":S,\"previous\":S|null,\n"
    "           \"toolList\":B,\"changes\":{...}|null} or {\"machine\":S,\n"
    "           \"result\":\"failed\",\"reason\":S}, ...]}, changes as\n"
    "           'vtx diff --json' gives them\n"
    "\n"
    "Ctrl-C stops after the current step and removes the unfinished folder\n"
    "(with --all no further machine is tried); a second Ctrl-C ends vtx at once.\n"
    "\n"
    "Exit status: 0 every backup is whole (changes are no failure), 1 a\n"
    "backup failed (with --all every machine is still tried) or was\n"
    "interrupted, 2 usage error or a fault in the machines file, 130 a second\n"
    "Ctrl-C.\n";

// The first Ctrl-C stops after the current step, the second at once.
static void OnInterrupt()
{
    if (VtxBackupInterrupted.fetch_add(1) > 0) {
        VtxWriteErrorNow("\nvtx: interrupted\n");
        VtxEndNow(130);
    }
    VtxWriteErrorNow("\nvtx: stopping after the current step (Ctrl-C again to quit at once)\n");
}

// One machine's line of the table.
struct BackupRow {
    char machine[VTX_MACHINE_NAME_SIZE];
    char result[300];
    char changes[128];
};

static const char* BaseName(const char* path)
{
    const char* base = path;
    for (const char* p = path; *p; p++)
        if (*p == '/' || *p == '\\')
            base = p + 1;
    return base;
}

// The report of one machine: the outcome, then the changes against the
// previous backup; the row keeps both for the table.
static int ReportBackup(const VtxMachine* machine, const VtxBackupResult* result, int json, int first, BackupRow* row)
{
    snprintf(row->machine, sizeof(row->machine), "%s", machine->name);
    snprintf(row->changes, sizeof(row->changes), "%s", result->previous[0] ? "-" : "first backup");
    if (json) {
        fprintf(stdout, "%s{\"machine\":", first ? "" : ",");
        WriteJsonString(stdout, machine->name);
    }
    if (!result->whole) {
        snprintf(row->result, sizeof(row->result), "failed: %s", result->reason);
        snprintf(row->changes, sizeof(row->changes), "-");
        if (json) {
            fputs(",\"result\":\"failed\",\"reason\":", stdout);
            WriteJsonString(stdout, result->reason);
            fputc('}', stdout);
        }
        return 0;
    }
    snprintf(row->result, sizeof(row->result), "whole");
    if (json) {
        fputs(",\"result\":\"whole\",\"folder\":", stdout);
        WriteJsonString(stdout, result->folder);
        fputs(",\"previous\":", stdout);
        if (result->previous[0])
            WriteJsonString(stdout, result->previous);
        else
            fputs("null", stdout);
        fprintf(stdout, ",\"toolList\":%s,\"changes\":", result->hasTools ? "true" : "false");
    } else {
        printf("%s: whole backup in %s%s\n", machine->name, result->folder, result->hasTools ? "" : " (no tool list)");
    }
    VtxChanges changes;
    int compared = result->previous[0] && VtxCompareBackups(result->previous, result->folder, &changes);
    if (compared) {
        VtxSummarizeChanges(&changes, row->changes, sizeof(row->changes));
        if (json) {
            VtxWriteChangesJson(stdout, &changes);
        } else {
            int changed = VtxAnythingChanged(&changes);
            printf("%s since %s%s\n", changed ? "changes" : "no changes", BaseName(result->previous), changed ? ":" : "");
            if (changed)
                VtxPrintChanges(stdout, &changes);
        }
    } else if (result->previous[0]) {
        snprintf(row->changes, sizeof(row->changes), "not compared: the previous backup does not read");
    } else if (!json) {
        puts("first backup of the machine: nothing to compare with");
    }
    if (result->previous[0])
        VtxFreeChanges(&changes);
    if (json)
        fputs(compared ? "}" : "null}", stdout);
    return 1;
}

static void PrintTable(const EntryArray* rows)
{
    int machineWidth = 7, resultWidth = 6;
    for (uint32_t i = 0; i < rows->count; i++) {
        const BackupRow* row = static_cast<const BackupRow*>(ZemArrayAt(rows, i));
        int machine = static_cast<int>(strlen(row->machine)), result = static_cast<int>(strlen(row->result));
        machineWidth = machine > machineWidth ? machine : machineWidth;
        resultWidth = result > resultWidth ? result : resultWidth;
    }
    printf("\n%-*s  %-*s  %s\n", machineWidth, "machine", resultWidth, "result", "changes");
    for (uint32_t i = 0; i < rows->count; i++) {
        const BackupRow* row = static_cast<const BackupRow*>(ZemArrayAt(rows, i));
        printf("%-*s  %-*s  %s\n", machineWidth, row->machine, resultWidth, row->result, row->changes);
    }
}

int VtxBackup(int argc, char** argv, const VtxOptions* options)
{
    const char* outputDir = ".";
    int all = 0, json = 0;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "-o") == 0 && i + 1 < argc && argv[i + 1][0])
            outputDir = argv[++i];
        else if (strcmp(argv[i], "-o") == 0)
            return VtxUsageError("backup", "missing folder after", "-o");
        else if (strcmp(argv[i], "--all") == 0)
            all = 1;
        else if (strcmp(argv[i], "--json") == 0)
            json = 1;
        else
            return VtxUsageError("backup", "unknown argument", argv[i]);
    }
    if (!all && !options->machine)
        return VtxUsageError("backup", "which machine? Give", "-m NAME or --all");

    VtxMachinesFile file = {};
    if (all && !VtxReadMachines(&file))
        return VTX_EXIT_USAGE;
    uint32_t count = all ? VtxMachineCount(&file) : 1;
    EntryArray* rows = ZemArrayCreate(sizeof(BackupRow), count ? count : 1);
    int failed = !rows;
    if (json)
        fputs("{\"backups\":[", stdout);
    VtxCatchInterrupts(OnInterrupt, nullptr);   // a backup only reads: nothing to tell the controller at the end
    for (uint32_t i = 0; rows && i < count && !VtxBackupInterrupted.load(); i++) {
        VtxOptions machineOptions = *options;
        const VtxMachine* machine = all ? VtxMachineAt(&file, i) : &VtxMachineTaken;
        VtxApplyMachine(&machineOptions, machine);
        VtxBackupResult result;
        VtxMakeBackup(machine, &machineOptions, outputDir, &result);
        BackupRow row;
        failed |= !ReportBackup(machine, &result, json, i == 0, &row);
        failed |= !ZemArrayInsert(rows, &row, 0xFFFFFFFFu, 1);
    }
    VtxReleaseInterrupts();
    failed |= VtxBackupInterrupted.load() != 0;
    if (json)
        puts("]}");
    else if (all && rows)
        PrintTable(rows);
    if (rows)
        ZemArrayDestroy(rows);
    VtxCloseMachines(&file);
    return failed ? VTX_EXIT_FAILED : VTX_EXIT_OK;
}
