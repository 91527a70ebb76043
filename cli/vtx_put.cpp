// vtx put [-n] [--no-verify] [-p DIR] FILE...: uploads files as the browser's
// upload does, with the budgets of a fresh directory read, shows the progress
// on stderr and reads the directories again to see that the files are there.
#include <atomic>
#include <cstdio>
#include <cstring>

#include "app/port_report.h"
#include "app/upload_report.h"
#include "cli/vtx_commands.h"
#include "cli/vtx_platform.h"
#include "cli/vtx_put_progress.h"
#include "lib/zem_shared.h"
#include "lib/zem_time.h"
#include "serial/serial_port.h"
#include "serial/upload_file_list.h"
#include "serial/upload_job.h"
#include "serial/upload_protocol.h"
#include "serial/upload_worker.h"
#include "tree/device_tree.h"

const char VtxPutUsage[] =
    "usage: vtx [OPTIONS] put [-n] [--no-verify] [-p DIR] FILE...\n"
    "\n"
    "Uploads the files to the controller in one batch. Every FILE is checked\n"
    "before the port is opened (it exists, is a readable regular file of 1 byte\n"
    "to under 4 GiB, its name has no wildcard). Then the directories are read:\n"
    "the batch must fit the free space of its disk and its directory must exist.\n"
    "After the batch the directories are read again: every file must be listed\n"
    "in its directory (blanks in its name turned into '_') with its size.\n"
    "\n"
    "  -p DIR       controller directory for every file, for example /ram/x (a\n"
    "               closing \"/\" is added when DIR lacks one; at most 254\n"
    "               characters with it); a directory beginning with /ROM (any\n"
    "               case) draws on the flash disk, every other one on the RAM disk.\n"
    "               A DIR without a leading \"/\" starts in /ram/cncprg/, as the\n"
    "               controller takes it: -p sub is /ram/cncprg/sub/, and -p ram/x\n"
    "               is /ram/cncprg/ram/x/.\n"
    "               Without -p the files go to the controller's default directory\n"
    "               /ram/cncprg/.\n"
    "  -n           dry run: read and check, print where each file would go, send\n"
    "               nothing\n"
    "  --no-verify  skip the second read, which costs one listing: its line time\n"
    "               and a few milliseconds\n"
    "\n"
    "Progress goes to stderr. Ctrl-C cancels after the current block and tells\n"
    "the controller (this takes 10 to 15 seconds); a second Ctrl-C quits at once.\n"
    "A Ctrl-C after the last data block comes too late: vtx says that the upload\n"
    "was complete before the cancel could act, and the status stays 0.\n"
    "A failed upload is told in two lines: the browser's message, then the\n"
    "sender's reason (which file, which data block, what the controller did or\n"
    "did not answer).\n"
    "\n"
    "Exit status: 0 all files uploaded and listed, 1 a check, the upload or the\n"
    "listing after it failed, or the upload was cancelled, 2 usage error, 130 a\n"
    "second Ctrl-C ended vtx at once.\n";

constexpr size_t TARGET_DIR_LIMIT = UPLOAD_TARGET_DIR_SIZE - 2;   // 254
static_assert(FILE_LIST_ROOM == 8191, "the usage error names the room");

// Counted without a lock: a signal handler or the system's Ctrl-C thread counts.
static std::atomic<int> interrupts;

// The first Ctrl-C asks the sender to cancel; the second ends at once.
static void OnInterrupt()
{
    if (interrupts.fetch_add(1) > 0) {
        VtxWriteErrorNow("\nvtx: interrupted\n");
        VtxEndNow(VTX_INTERRUPTED_STATUS);
    }
    ZemStoreByte(&TheUploadJob.cancelRequested, 1);
    VtxWriteErrorNow("\nvtx: cancelling after the current block (Ctrl-C again to quit at once)\n");
}

// The system ends vtx about 5 s after the console's close, a logoff or a
// shutdown; a data block's reply and the CAN behind it fit well.
constexpr uint32_t CONSOLE_END_WAIT_MS = 4000;

// The console is going away during the batch: the controller is told with
// CAN, as at Ctrl-C, and the port gets its settings back before the system
// ends vtx (the sender's pause after the CAN would take too long).
static void OnConsoleEnd()
{
    ZemStoreByte(&TheUploadJob.cancelRequested, 1);
    const uint32_t began = ZemTickCount();
    while (!ZemLoadByte(&TheUploadJob.cancelSent) && ZemTickCount() - began < CONSOLE_END_WAIT_MS)
        ZemSleep(10);
    ZemSerComRestoreSettings(TheUploadJob.port);
}

// The sender puts the directory directly in front of each name, so a
// directory given without its closing "/" gets one; "" stays the default
// directory. 0 when it does not fit.
static int SetTargetDirectory(UploadJob* job, const char* dir)
{
    size_t length = strlen(dir);
    int slash = length > 0 && dir[length - 1] != '/';
    if (length + slash > TARGET_DIR_LIMIT)
        return 0;
    memcpy(job->targetDir, dir, length);
    if (slash)
        job->targetDir[length++] = '/';
    job->targetDir[length] = 0;
    return 1;
}

// Fills the job's file list; 0 with a usage error already reported.
static int FillFileList(UploadJob* job, int count, char** files)
{
    uint32_t used = 0;
    job->fileList[0] = 0;
    for (int i = 0; i < count; i++) {
        if (files[i][0] == 0)
            return VtxUsageError("put", "empty file name", nullptr), 0;
        if (!AppendFileName(job->fileList, FILE_LIST_ROOM, &used, files[i]))
            return VtxUsageError("put", "the file names do not fit the upload list of 8191 bytes, from", files[i]), 0;
    }
    return 1;
}

// Reads the directories for the budgets and runs the worker; the job is filled.
static int RunUpload(const VtxOptions* options, int dryRun, int verify)
{
    VtxSession session;
    int exitCode = VTX_EXIT_FAILED;
    if (VtxConnectAndRead(options, &session) && VtxPlanUpload(&TheUploadJob, session.tree, dryRun)) {
        if (dryRun) {
            VtxDisconnect(&session);
            return VTX_EXIT_OK;
        }
        DeviceTree* tree = session.tree;
        SerialPort* port = session.port;
        TheUploadJob.port = port;
        TheUploadJob.ramBudget = tree->ramDiskFree;
        TheUploadJob.flashBudget = tree->flashDiskFree;

        StartPutProgress(VtxErrorIsTerminal());
        VtxCatchInterrupts(OnInterrupt, OnConsoleEnd);
        int result = RunUploadWorker(&TheUploadJob);
        VtxReleaseInterrupts();
        uint64_t bytes = 0;
        uint32_t files = FinishPutProgress(&bytes);

        if (result == UPL_OK) {
            fprintf(stderr, "%lu file%s uploaded, %llu bytes\n", static_cast<unsigned long>(files), files == 1 ? "" : "s",
                    static_cast<unsigned long long>(bytes));
            // The sender looks at a cancel only after a data block's answer.
            if (ZemLoadByte(&TheUploadJob.cancelRequested))
                fputs("vtx: the upload was complete before the cancel could act\n", stderr);
            if (!verify || (VtxReadAgain(&session) && VtxVerifyUpload(&TheUploadJob, tree)))
                exitCode = VTX_EXIT_OK;
        } else {
            // The browser's message, then the sender's reason; a cancel has the reason only.
            const char* message = UploadResultMessage(result);
            char reason[512];
            UploadFailureWords(result, &TheUploadJob.failure, reason, sizeof(reason));
            if (ZemLoadByte(&port->gone))   // what the wait would blame on the controller
                DescribeGonePort(port, reason, sizeof(reason));
            if (message)
                fprintf(stderr, "%s\n", message);
            if (reason[0])
                fprintf(stderr, "%s\n", reason);
        }
    }
    VtxDisconnect(&session);
    return exitCode;
}

int VtxPut(int argc, char** argv, const VtxOptions* options)
{
    ClearUploadJob(&TheUploadJob);
    int dryRun = 0, verify = 1, i = 1;
    for (; i < argc; i++) {
        const char* arg = argv[i];
        if (strcmp(arg, "--") == 0) {
            i++;
            break;
        }
        if (arg[0] != '-' || arg[1] == 0)
            break;
        if (strcmp(arg, "-n") == 0) {
            dryRun = 1;
            continue;
        }
        if (strcmp(arg, "--no-verify") == 0) {
            verify = 0;
            continue;
        }
        if (strcmp(arg, "-p") != 0)
            return VtxUsageError("put", "unknown option", arg);
        if (i + 1 >= argc)
            return VtxUsageError("put", "missing directory after", arg);
        if (!SetTargetDirectory(&TheUploadJob, argv[++i]))
            return VtxUsageError("put", "the directory is longer than 254 characters", nullptr);
    }
    if (i >= argc)
        return VtxUsageError("put", "no file given", nullptr);
    if (!FillFileList(&TheUploadJob, argc - i, argv + i))
        return VTX_EXIT_USAGE;
    if (!VtxCheckLocalFiles(&TheUploadJob))
        return VTX_EXIT_FAILED;
    return RunUpload(options, dryRun, verify);
}
