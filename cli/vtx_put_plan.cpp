// vtx put's checks: the PC files before the port is opened, the batch against
// the tree before "u" goes out, and the tree read again after the batch.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/vtx_commands.h"
#include "cli/vtx_platform.h"
#include "lib/zem_lib.h"
#include "serial/upload_check.h"
#include "serial/upload_file_list.h"
#include "serial/upload_job.h"
#include "serial/upload_protocol.h"
#include "tree/device_tree.h"

// Why a PC file cannot be sent, mostly in the system's words, or null.
static const char* LocalFileProblem(const char* path)
{
    static char tooLarge[80];
    // The browser's file search would take a wildcard as a pattern.
    if (strpbrk(path, "*?"))
        return "a wildcard; name each file";
    VtxLocalFile file;
    const char* why = nullptr;
    if (!VtxLookAtLocalFile(path, &file, &why))
        return why;
    if (file.kind == VTX_FILE_DIRECTORY)
        return strerror(EISDIR);
    if (file.kind != VTX_FILE_REGULAR)
        return "not a regular file";
    if (file.size > 0xFFFFFFFFu) {
        snprintf(tooLarge, sizeof(tooLarge), "%s (4 GiB or more)", strerror(EFBIG));
        return tooLarge;
    }
    if (file.size == 0)
        return "empty file (the controller takes none)";
    return file.readProblem;
}

int VtxCheckLocalFiles(const UploadJob* job)
{
    for (const char* name = job->fileList; *name; name = NextFileName(name)) {
        const char* problem = LocalFileProblem(name);
        if (problem) {
            fprintf(stderr, "vtx: %s: %s\n", name, problem);
            return 0;
        }
    }
    return 1;
}

static const char* DiskName(const char* targetDir)
{
    return IsFlashTarget(targetDir) ? "flash disk" : "RAM disk";
}

int VtxPlanUpload(const UploadJob* job, DeviceTree* tree, int print)
{
    // The budgets of a copy are used up, as the sender will use up the job's.
    static UploadJob plan;
    plan = *job;
    plan.ramBudget = tree->ramDiskFree;
    plan.flashBudget = tree->flashDiskFree;
    char absolute[VTX_PATH_SIZE];
    for (const char* name = job->fileList; *name; name = NextFileName(name)) {
        uint32_t size = UploadTargetOf(job->targetDir, name, absolute, sizeof(absolute));
        if (size == 0) {
            fprintf(stderr, "vtx: %s: Upload-Error: Can't read file.\n", name);
            return 0;
        }
        uint32_t free = IsFlashTarget(job->targetDir) ? plan.flashBudget : plan.ramBudget;
        if (!TakeUploadBudget(&plan, size)) {
            fprintf(stderr, "vtx: %s: Upload-Error: Not enough space. (%lu bytes, %lu free on the %s)\n", name,
                    static_cast<unsigned long>(size), static_cast<unsigned long>(free), DiskName(job->targetDir));
            return 0;
        }
        char* slash = strrchr(absolute, '/');
        char keep = slash[1];
        slash[1] = 0;
        if (!VtxFindDirectory(tree, absolute)) {
            fprintf(stderr, "vtx: %s: no such directory on the controller\n", absolute);
            return 0;
        }
        slash[1] = keep;
        if (print)
            printf("%s -> %s (%lu bytes)\n", name, absolute, static_cast<unsigned long>(size));
    }
    if (print)
        printf("free after the batch: RAM disk %lu bytes, flash disk %lu bytes\n",
               static_cast<unsigned long>(plan.ramBudget), static_cast<unsigned long>(plan.flashBudget));
    return 1;
}

// vtx names the PC file as given and the controller path it looked at.
static void PrintUploadProblem(void*, const UploadedFile* file, int state)
{
    if (state == UPLOAD_FILE_NOT_LISTED)
        fprintf(stderr, "vtx: %s: not listed as %s after the upload\n", file->listName, file->controllerPath);
    else
        fprintf(stderr, "vtx: %s: listed as %s with %lu bytes, not %lu\n", file->listName, file->controllerPath,
                static_cast<unsigned long>(file->listed), static_cast<unsigned long>(file->sent));
}

int VtxVerifyUpload(const UploadJob* job, DeviceTree* tree)
{
    int wrong = CheckUploadedBatch(job, tree, PrintUploadProblem, nullptr);
    if (wrong < 0)
        fputs("vtx: not enough memory to check the upload\n", stderr);
    return wrong == 0;
}
