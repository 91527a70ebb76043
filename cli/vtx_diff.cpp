// vtx diff OLD NEW [--json]: what changed between two backup folders, as a
// backup prints it against its previous one.
#include <cstdio>
#include <cstring>

#include "cli/vtx_backup.h"
#include "cli/vtx_commands.h"

const char VtxDiffUsage[] =
    "usage: vtx diff OLD NEW [--json]\n"
    "\n"
    "Shows what changed from the backup folder OLD to the backup folder NEW\n"
    "(folders that 'vtx backup' made): parameter and tool lines added,\n"
    "removed or changed, programs added, removed or changed in size, and the\n"
    "free space of both disks. A list line is known by its first word (up to\n"
    "a blank, \"=\" or \":\"): \"1010 Rapid X = 10000\" by 1010, \"T1 D6.000 ...\"\n"
    "by T1; a line whose first word is in both backups but whose text is not\n"
    "is changed. Programs are known by their path. Each kind shows its first\n"
    "20 changes and how many more there are; nothing changed prints\n"
    "'no changes'. No controller is asked.\n"
    "\n"
    "  --json   print one JSON object instead: {\"parameters\":L,\"tools\":L,\n"
    "           \"programs\":P,\"ramDiskFree\":{\"before\":N,\"after\":N},\n"
    "           \"flashDiskFree\":{...}}; L {\"added\":N,\"removed\":N,\n"
    "           \"changed\":N,\"first\":[{\"change\":\"added\"|\"removed\"|\"changed\",\n"
    "           \"before\":S,\"after\":S}, ...]}, P the same with \"path\":S and\n"
    "           sizes as \"before\":N and \"after\":N; a side that is not there\n"
    "           is left out\n"
    "\n"
    "Exit status: 0 compared (changes are no failure), 1 a folder is no\n"
    "backup or cannot be read, 2 usage error.\n";

int VtxDiff(int argc, char** argv, const VtxOptions*)
{
    const char* folders[2] = {};
    int count = 0, json = 0;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--json") == 0)
            json = 1;
        else if (count < 2)
            folders[count++] = argv[i];
        else
            return VtxUsageError("diff", "one folder too many", argv[i]);
    }
    if (count < 2)
        return VtxUsageError("diff", "two backup folders are needed: OLD and NEW", nullptr);
    VtxChanges changes;
    int compared = VtxCompareBackups(folders[0], folders[1], &changes);
    if (compared && json) {
        VtxWriteChangesJson(stdout, &changes);
        putchar('\n');
    } else if (compared) {
        VtxPrintChanges(stdout, &changes);
    }
    VtxFreeChanges(&changes);
    return compared ? VTX_EXIT_OK : VTX_EXIT_FAILED;
}
