#include <cstring>

#include "serial/upload_job.h"

UploadJob TheUploadJob;

void ClearUploadJob(UploadJob* job)
{
    memset(job, 0, sizeof(*job));
}

void RecordSentFile(UploadJob* job, const char* baseName, uint32_t size)
{
    UploadSentFiles* sent = &job->sent;
    size_t length = strlen(baseName) + 1;
    if (sent->incomplete || sent->count >= UPLOAD_MOST_FILES || sent->namesUsed + length > sizeof(sent->names)) {
        sent->incomplete = 1;
        return;
    }
    memcpy(sent->names + sent->namesUsed, baseName, length);
    sent->namesUsed += static_cast<uint32_t>(length);
    sent->size[sent->count++] = size;
}
