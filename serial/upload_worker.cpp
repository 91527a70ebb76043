// The portable body of the upload worker.
#include <cstring>

#include "lib/zem_shared.h"
#include "serial/answer_read.h"
#include "serial/serial_port.h"
#include "serial/upload_job.h"
#include "serial/upload_protocol.h"
#include "serial/upload_worker.h"

int ClaimUploadPort(UploadJob* job)
{
    int result = UPL_OK;
    memset(&job->failure, 0, sizeof(job->failure));
    if (!job->port) {
        result = UPL_COMMAND_FAILED;
        job->failure.stage = UPLOAD_STAGE_COMMAND;
    } else if (ZemSerComIsBusy(job->port))
        result = UPL_PORT_BUSY;   // another worker holds the port
    else
        ZemSerComSetBusy(job->port, 1);
    if (result != UPL_OK)
        ZemStoreResult(&job->result, result);
    return result;
}

int RunClaimedUpload(UploadJob* job)
{
    int result = UploadBatch(job);
    ZemStoreResult(&job->result, result);
    // Whatever the receiver still sends is thrown away before the port is free.
    ZemSerComRead(job->port, AnswerBuffer, ANSWER_READ_MAX, 1);
    ZemSerComSetBusy(job->port, 0);
    return result;
}

int RunUploadWorker(UploadJob* job)
{
    int result = ClaimUploadPort(job);
    return result == UPL_OK ? RunClaimedUpload(job) : result;
}
