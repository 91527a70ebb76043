// How the batch sender reports progress: the Windows build posts WM_COMMAND
// notices to the job's dialog; other callers install a sink.
#pragma once

#include <cstdint>

struct UploadJob;

// Notices to the progress dialog (WM_COMMAND ids): the worker's end, the
// two texts changed, the bar started and moved to lParam.
enum {
    UM_UPLOAD_DONE = 720,
    UM_SET_FILE_TEXT = 721,
    UM_SET_STATUS_TEXT = 722,
    UM_PROGRESS_INIT = 723,
    UM_PROGRESS_SET = 724,
};

void UploadPostNotice(const UploadJob* job, unsigned id, intptr_t param);

struct UploadNoticeSink {
    void (*notice)(void* context, unsigned id, intptr_t param);
    void* context;
};
// Null restores the platform behaviour (PostMessageA to the dialog on Windows, nothing elsewhere).
void UploadSetNoticeSink(const UploadNoticeSink* sink);
