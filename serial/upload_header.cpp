// What the sender announces for a file: its size, the disk whose budget
// applies, and the header block's text.
#include <cstdio>
#include <cstring>

#include "lib/zem_lib.h"
#include "serial/upload_job.h"
#include "serial/upload_protocol.h"

uint32_t UploadFileSize(const char* path, ZemFindData* found)
{
    // A size of 4 GiB or more cannot be announced; a directory has size 0.
    if (!ZemFileFind(path, found) || found->sizeHigh != 0)
        return 0;
    return found->sizeLow;
}

int IsFlashTarget(const char* targetDir)
{
    static const char FLASH_PREFIX[] = "/ROM";
    for (int i = 0; i < 4; i++) {
        char c = targetDir[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != FLASH_PREFIX[i])
            return 0;   // also ends at the NUL of a shorter text
    }
    return 1;
}

int TakeUploadBudget(UploadJob* job, uint32_t size)
{
    uint32_t* budget = IsFlashTarget(job->targetDir) ? &job->flashBudget : &job->ramBudget;
    if (size > *budget)
        return 0;
    *budget -= size;   // a size equal to the budget passes and leaves 0
    return 1;
}

uint32_t BuildHeaderText(unsigned char* data, const char* targetDir, const char* baseName, uint32_t size)
{
    memset(data, 0, sizeof(UploadFrame::data));
    uint32_t used = static_cast<uint32_t>(strnlen(targetDir, UPLOAD_TARGET_DIR_SIZE - 1));
    memcpy(data, targetDir, used);
    // The controller's names have no blanks.
    for (const char* c = baseName; *c; c++)
        data[used++] = static_cast<unsigned char>(*c == ' ' ? '_' : *c);
    data[used++] = 0;
    char digits[16];
    int count = snprintf(digits, sizeof(digits), "%lu", static_cast<unsigned long>(size));
    memcpy(data + used, digits, count);
    return used + count;
}
