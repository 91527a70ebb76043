// Every way of closing the main window ends in CloseMainWindow: its
// destruction frees the tree and closes the port, so it waits for the
// command under way (a read, an upload, a message box after them) and for
// the upload worker, and comes once they have returned.
#include "app/app_state.h"
#include "app/commands.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "lib/zem_shared.h"
#include "serial/serial_port.h"
#include "serial/upload_dialog.h"
#include "serial/upload_job.h"

// The system ends a program that takes longer than this over the end of the
// session anyway; a data block's reply and the CAN behind it fit well.
constexpr uint32_t SESSION_END_WAIT_MS = 4000;

// Set while a close waits for the command under way or the upload worker.
static int closeAsked;

int CloseAsked()
{
    return closeAsked;
}

void ForgetAskedClose()
{
    closeAsked = 0;
}

void CloseMainWindow()
{
    const int busy = ZemSerComIsBusy(ConnectedPort);
    // The controller is told with CAN, as by the Cancel button.
    if (busy)
        ZemStoreByte(&TheUploadJob.cancelRequested, 1);
    if (busy || CommandUnderWay()) {
        closeAsked = 1;
        return;
    }
    closeAsked = 0;
    if (IsWindow(MainWindow))
        DestroyWindow(MainWindow);
}

// The query only asks: the session may still go on (another program or the
// user can call it off, and WM_ENDSESSION then says FALSE), so nothing is
// ended here. An upload answers no; the system shows the reason that the
// upload dialog gave it. A read or an idle window waits for the end itself.
LRESULT OnQueryEndSession()
{
    return ZemSerComIsBusy(ConnectedPort) ? FALSE : TRUE;
}

LRESULT OnEndSession(WPARAM ending)
{
    if (!ending)
        return 0;   // called off: everything goes on
    // The system may end the program as soon as this returns: the CAN of an
    // upload goes out first, and the settings are saved as at every close.
    if (ZemSerComIsBusy(ConnectedPort)) {
        ZemStoreByte(&TheUploadJob.cancelRequested, 1);
        AwaitUploadCancel(SESSION_END_WAIT_MS);
    }
    if (CommandUnderWay() || ZemSerComIsBusy(ConnectedPort)) {
        closeAsked = 1;
        StoreWindowPlace(MainWindow);
    } else {
        CloseMainWindow();
    }
    SaveSettings();
    return 0;
}
