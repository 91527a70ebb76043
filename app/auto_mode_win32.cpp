// The unattended run: after a listing, the automatic upload starts once;
// after it, "-q" ends the program, also when the read after the upload
// fails.
#include <windows.h>

#include "app/app_state.h"
#include "app/command_line.h"
#include "app/commands.h"
#include "app/message_texts.h"
#include "lib/zem_time.h"
#include "res/resource_ids.h"
#include "serial/upload_job.h"
#include "tree/device_tree.h"

// Set while the automatic upload runs its re-read and its boxes.
static int autoUploadRunning;
// A "-q" end that came during them, to be carried out when they are over.
static int quitAfterAutoUpload;

void CommandAfterConnect()
{
    if (AutoMode == 1) {
        // Give the controller a moment after the listing before the upload starts.
        ZemSleep(1000);
        PostMessageA(MainWindow, WM_COMMAND, CMD_AUTO_UPLOAD, 0);
    } else if (QuitWhenDone && autoUploadRunning) {
        // The listing after the upload came; a box about the upload waits for
        // the user first, and the window must not close under it.
        quitAfterAutoUpload = 1;
    } else if (QuitWhenDone) {
        CloseMainWindow();
    }
}

void CommandAutoUpload()
{
    if (AutoMode != 1)
        return;
    if (!GuardPort(MSG_BUSY_UPLOAD))
        return;
    // The command line put the files and the "-p" directory into the job.
    int open = OpenUpload(TheUploadJob.fileList, TheUploadJob.targetDir);
    AutoMode = 2;
    if (!open)
        return;
    autoUploadRunning = 1;
    quitAfterAutoUpload = 0;
    ReReadAndRefresh();
    ReportUploadCheck();
    autoUploadRunning = 0;
    // A listing ends a "-q" run through CMD_AFTER_CONNECT. Without one nothing
    // would, and the script that started us would wait for ever; the read's
    // message has been answered by now.
    if (QuitWhenDone && (quitAfterAutoUpload || LastReadOutcome() != READ_OK))
        CloseMainWindow();
}
