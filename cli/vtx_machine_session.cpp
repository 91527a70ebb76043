// Reading one machine's directories among several: the core reports a failed
// listing as a problem, which is printed as a single run prints it and kept
// as the machine's reason for the summary.
#include <cstdio>
#include <cstring>

#include "cli/vtx_commands.h"
#include "cli/vtx_machines.h"
#include "lib/zem_ui.h"
#include "tree/device_tree.h"

static char lastProblem[256];

static void PrintAndKeepProblem(void*, const char* text)
{
    fprintf(stderr, "%s\n", text);
    snprintf(lastProblem, sizeof(lastProblem), "%s", text);
}

int VtxReadMachineListing(const VtxOptions* options, VtxSession* session, char* reason, uint32_t size)
{
    static const ZemUiSink keeping = {PrintAndKeepProblem, nullptr, nullptr};
    ZemUiSetSink(&keeping);
    lastProblem[0] = 0;
    ListingAttemptsOverride = options->attempts;
    if (VtxConnectAndRead(options, session))
        return 1;
    // A port that did not open has said why on stderr already, in lines of its own.
    snprintf(reason, size, "%s", lastProblem[0] ? lastProblem : "Can't open Serial Port.");
    return 0;
}
