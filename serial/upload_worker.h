// The body of the upload worker thread, shared by the Windows progress
// dialog's thread and the command-line client.
#pragma once

struct UploadJob;

// Takes the port (or finds it busy), runs the batch, drains the line,
// releases the port and stores the job's result, which it also returns.
int RunUploadWorker(UploadJob* job);
