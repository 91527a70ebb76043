// The progress dialog learns of each step by a posted WM_COMMAND; posting
// never waits for the dialog thread.
#include <windows.h>

#include "serial/upload_job.h"
#include "serial/upload_notice.h"

void UploadPlatformPostNotice(const UploadJob* job, unsigned id, intptr_t param)
{
    PostMessageA(static_cast<HWND>(job->dialog), WM_COMMAND, id, param);
}
