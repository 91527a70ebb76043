#include <cstring>

#include "serial/upload_job.h"

UploadJob TheUploadJob;

void ClearUploadJob(UploadJob* job)
{
    memset(job, 0, sizeof(*job));
}
