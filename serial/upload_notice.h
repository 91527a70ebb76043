// How the batch sender reports progress: the Windows build posts WM_COMMAND
// notices to the job's dialog; other callers install a sink.
#pragma once

#include <cstdint>

struct UploadJob;

void UploadPostNotice(const UploadJob* job, unsigned id, intptr_t param);

struct UploadNoticeSink {
    void (*notice)(void* context, unsigned id, intptr_t param);
    void* context;
};
// Null restores the platform behaviour (PostMessageA to the dialog on Windows, nothing elsewhere).
void UploadSetNoticeSink(const UploadNoticeSink* sink);
