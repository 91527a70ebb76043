// The check after an upload: where each file of the batch lands, and what
// the listing read afterwards shows there.
#include "serial/upload_check.h"

#include <cstdio>
#include <cstring>

#include "lib/zem_lib.h"
#include "serial/upload_file_list.h"
#include "serial/upload_job.h"
#include "serial/upload_protocol.h"
#include "tree/device_tree.h"

const char ControllerDefaultDirectory[] = "/ram/cncprg/";

int ControllerAbsolutePath(const char* path, char* out, uint32_t size)
{
    int length = snprintf(out, size, "%s%s", path[0] == '/' ? "" : ControllerDefaultDirectory, path);
    return length >= 0 && static_cast<uint32_t>(length) < size;
}

// The header's path by the sender's own rule, made absolute.
static int ControllerPathOf(const char* targetDir, const char* baseName, uint32_t bytes, char* out, uint32_t size)
{
    unsigned char header[sizeof(UploadFrame::data)];
    BuildHeaderText(header, targetDir, baseName, bytes);
    return ControllerAbsolutePath(reinterpret_cast<const char*>(header), out, size);
}

uint32_t UploadTargetOf(const char* targetDir, const char* pcPath, char* controllerPath, uint32_t size)
{
    ZemFindData found;
    uint32_t bytes = UploadFileSize(pcPath, &found);
    if (bytes == 0 || !ControllerPathOf(targetDir, found.fileName, bytes, controllerPath, size))
        return 0;
    return bytes;
}

// The whole batch shares its target directory, so two files land on the
// same path when their names are stored alike: blanks travel as '_'.
static int StoredAlike(const char* a, const char* b)
{
    for (; *a && *b; a++, b++)
        if ((*a == ' ' ? '_' : *a) != (*b == ' ' ? '_' : *b))
            return 0;
    return *a == *b;
}

// The controller keeps the last file that arrived under a path.
static int ReplacedLater(const char* const* names, uint32_t at, uint32_t count)
{
    for (uint32_t later = at + 1; later < count; later++)
        if (StoredAlike(names[later], names[at]))
            return 1;
    return 0;
}

// 0 when the tree lists the file with the size sent, else an UPLOAD_FILE_ code.
static int CompareWithListing(DeviceTree* tree, UploadedFile* file)
{
    char path[CONTROLLER_PATH_SIZE];
    strcpy(path, file->controllerPath);   // the search cuts it into its names
    const DirEntry* entry = FindEntryByPath(tree, path);
    if (!entry || entry->isDirectory)
        return UPLOAD_FILE_NOT_LISTED;
    file->listed = entry->size;
    return entry->size == file->sent ? 0 : UPLOAD_FILE_OTHER_SIZE;
}

int CheckUploadedBatch(const UploadJob* job, DeviceTree* tree, UploadCheckReport report, void* context)
{
    // What the sender recorded as it sent each file, in list order: a PC
    // file changed or removed since then says nothing of what went out.
    const UploadSentFiles* sent = &job->sent;
    const uint32_t count = sent->count;
    const char** names = nullptr;
    if (count && !ZemMemAllocAs(&names, count * sizeof(const char*), 0))
        return -1;
    const char* baseName = sent->names;
    for (uint32_t i = 0; i < count; i++, baseName += strlen(baseName) + 1)
        names[i] = baseName;
    int reported = 0;
    UploadedFile file;
    const char* name = job->fileList;
    for (uint32_t i = 0; i < count && *name; i++, name = NextFileName(name)) {
        memset(&file, 0, sizeof(file));
        file.listName = name;
        file.sent = sent->size[i];
        snprintf(file.pcName, sizeof(file.pcName), "%s", names[i]);
        if (ReplacedLater(names, i, count))
            continue;
        int state = UPLOAD_FILE_NOT_LISTED;
        if (ControllerPathOf(job->targetDir, file.pcName, file.sent, file.controllerPath, sizeof(file.controllerPath)))
            state = CompareWithListing(tree, &file);
        if (state) {
            report(context, &file, state);
            reported++;
        }
    }
    ZemMemFreeAs(&names);
    return reported;
}
