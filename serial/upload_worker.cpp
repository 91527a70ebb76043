// The portable body of the upload worker.
#include "lib/zem_shared.h"
#include "serial/serial_port.h"
#include "serial/upload_job.h"
#include "serial/upload_protocol.h"
#include "serial/upload_worker.h"
#include "tree/device_tree.h"

int RunUploadWorker(UploadJob* job)
{
    int result;
    if (!job->port) {
        result = UPL_COMMAND_FAILED;
    } else if (ZemSerComIsBusy(job->port)) {
        // Another worker holds the port: it is neither used nor released.
        result = UPL_PORT_BUSY;
    } else {
        ZemSerComSetBusy(job->port, 1);
        result = UploadBatch(job);
        ZemStoreResult(&job->result, result);
        // Whatever the receiver still sends is thrown away before the port is free.
        ZemSerComRead(job->port, AnswerBuffer, ANSWER_BUFFER_SIZE - 1, 1);
        ZemSerComSetBusy(job->port, 0);
    }
    ZemStoreResult(&job->result, result);
    return result;
}
