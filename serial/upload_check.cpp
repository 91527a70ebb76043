// The check after an upload: where each file of the batch lands, and what
// the listing read afterwards shows there.
#include "serial/upload_check.h"

#include <cstdio>
#include <cstring>

#include "lib/zem_lib.h"
#include "serial/upload_job.h"
#include "serial/upload_protocol.h"
#include "tree/device_tree.h"

const char ControllerDefaultDirectory[] = "/ram/cncprg/";

int ControllerAbsolutePath(const char* path, char* out, uint32_t size)
{
    int length = snprintf(out, size, "%s%s", path[0] == '/' ? "" : ControllerDefaultDirectory, path);
    return length >= 0 && static_cast<uint32_t>(length) < size;
}

// The sender's own rules give the size and the header's path.
static uint32_t TargetOf(const char* targetDir, const char* pcPath, char* controllerPath, uint32_t size,
                         ZemFindData* found)
{
    uint32_t bytes = UploadFileSize(pcPath, found);
    if (bytes == 0)
        return 0;
    unsigned char header[sizeof(UploadFrame::data)];
    BuildHeaderText(header, targetDir, found->fileName, bytes);
    if (!ControllerAbsolutePath(reinterpret_cast<const char*>(header), controllerPath, size))
        return 0;
    return bytes;
}

uint32_t UploadTargetOf(const char* targetDir, const char* pcPath, char* controllerPath, uint32_t size)
{
    ZemFindData found;
    return TargetOf(targetDir, pcPath, controllerPath, size, &found);
}

const char* NextUploadName(const char* name)
{
    return name + strlen(name) + 1;
}

// The controller keeps the last file that arrived under a path.
static int ReplacedLater(const UploadJob* job, const char* name, const char* controllerPath)
{
    char other[CONTROLLER_PATH_SIZE];
    for (const char* later = NextUploadName(name); *later; later = NextUploadName(later))
        if (UploadTargetOf(job->targetDir, later, other, sizeof(other)) && strcmp(other, controllerPath) == 0)
            return 1;
    return 0;
}

int CheckUploadedFile(const UploadJob* job, const char* name, DeviceTree* tree, UploadedFile* file)
{
    ZemFindData found;
    memset(file, 0, sizeof(*file));
    file->sent = TargetOf(job->targetDir, name, file->controllerPath, sizeof(file->controllerPath), &found);
    if (file->sent == 0 || ReplacedLater(job, name, file->controllerPath))
        return UPLOAD_FILE_UNCHECKED;
    snprintf(file->pcName, sizeof(file->pcName), "%s", found.fileName);
    char path[CONTROLLER_PATH_SIZE];
    strcpy(path, file->controllerPath);   // the search cuts it into its names
    const DirEntry* entry = FindEntryByPath(tree, path);
    if (!entry || entry->isDirectory)
        return UPLOAD_FILE_NOT_LISTED;
    file->listed = entry->size;
    return entry->size == file->sent ? UPLOAD_FILE_LISTED : UPLOAD_FILE_OTHER_SIZE;
}
