// The body of the upload worker thread, shared by the Windows progress
// dialog's thread and the command-line client.
#pragma once

struct UploadJob;

// On the thread that starts the worker: takes the port for the batch, so
// that no command sees it free between the start and the worker's first
// step. UPL_OK with the busy flag set, or the result that ends the upload
// at once (no port, or the port already busy: neither used nor released),
// which is also stored in the job.
int ClaimUploadPort(UploadJob* job);

// On the worker, after a successful claim: runs the batch, drains the line,
// releases the port and stores the job's result, which it also returns.
int RunClaimedUpload(UploadJob* job);

// Both in one call, for a caller that runs the batch on its own thread.
int RunUploadWorker(UploadJob* job);
