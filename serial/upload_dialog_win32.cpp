// The progress dialog: completes the upload job, starts the worker, shows
// its notices and the outcome. The dialog and the worker share only the
// job's cancel byte and result (release-acquire atomics), the
// port's busy byte, and the two texts, which are copied out under the
// sender's lock; the worker touches no window.
#include <windows.h>
#include <commctrl.h>

#include "app/app_state.h"
#include "app/upload_report.h"
#include "lib/zem_shared.h"
#include "lib/zem_ui.h"
#include "res/resource_ids.h"
#include "serial/serial_port.h"
#include "serial/upload_dialog.h"
#include "serial/upload_job.h"
#include "serial/upload_notice.h"
#include "serial/upload_protocol.h"
#include "serial/upload_worker.h"
#include "tree/device_tree.h"

DWORD WINAPI UploadThreadProc(LPVOID job)
{
    UploadJob* upload = static_cast<UploadJob*>(job);
    RunClaimedUpload(upload);
    PostMessageA(static_cast<HWND>(upload->dialog), WM_COMMAND, UM_UPLOAD_DONE, 0);
    return 0;
}

static HANDLE CreateUploadThread(UploadJob* job)
{
    return CreateThread(nullptr, 0, UploadThreadProc, job, 0, nullptr);
}

HANDLE (*StartUploadThread)(UploadJob* job) = CreateUploadThread;

// The worker of the open dialog, waited for when the dialog has ended.
static HANDLE uploadWorker;

// Fills the rest of the job; the file list and the target directory are
// already there.
static void CompleteUploadJob(UploadJob* job, HWND dialog)
{
    job->port = ConnectedPort;
    ZemStoreByte(&job->cancelRequested, 0);
    ZemStoreByte(&job->cancelSent, 0);
    job->dialog = dialog;
    ZemStoreResult(&job->result, UPL_OK);
    job->ramBudget = TheDeviceTree ? TheDeviceTree->ramDiskFree : 0;
    job->flashBudget = TheDeviceTree ? TheDeviceTree->flashDiskFree : 0;
}

// An upload that cannot start ends like one whose worker reported at once:
// the outcome is shown by the result, then the dialog closes.
static INT_PTR StartUpload(HWND dialog)
{
    CompleteUploadJob(&TheUploadJob, dialog);
    // The port is busy from here on, before the worker exists, so that no
    // command that arrives meanwhile finds it free.
    if (ClaimUploadPort(&TheUploadJob) == UPL_OK) {
        uploadWorker = StartUploadThread(&TheUploadJob);
        if (uploadWorker)
            return TRUE;
        ZemSerComSetBusy(TheUploadJob.port, 0);
        ZemStoreResult(&TheUploadJob.result, UPL_COMMAND_FAILED);   // nothing was sent
    }
    PostMessageA(dialog, WM_COMMAND, UM_UPLOAD_DONE, 0);
    return TRUE;
}

static void ShowSharedText(HWND dialog, int control, const char* text)
{
    char copy[UPLOAD_TEXT_SIZE];
    UploadCopyText(text, copy, sizeof(copy));
    SetDlgItemTextA(dialog, control, copy);
}

static void FinishUpload(HWND dialog)
{
    const char* message = UploadResultMessage(ZemLoadResult(&TheUploadJob.result));
    if (message)
        ZemUiProblem(message);
    EndDialog(dialog, UM_UPLOAD_DONE);
}

static INT_PTR OnUploadCommand(HWND dialog, WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(wParam)) {
    case IDC_UPLOAD_CANCEL:
        ZemStoreByte(&TheUploadJob.cancelRequested, 1);
        return TRUE;
    case UM_UPLOAD_DONE:
        FinishUpload(dialog);
        return TRUE;
    case UM_SET_FILE_TEXT:
        ShowSharedText(dialog, IDC_UPLOAD_FILE, UploadFileText);
        return TRUE;
    case UM_SET_STATUS_TEXT:
        ShowSharedText(dialog, IDC_UPLOAD_STATUS, UploadStatusText);
        return TRUE;
    case UM_PROGRESS_INIT:
        SendDlgItemMessageA(dialog, IDC_UPLOAD_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 255));
        SendDlgItemMessageA(dialog, IDC_UPLOAD_PROGRESS, PBM_SETPOS, 1, 0);
        return TRUE;
    case UM_PROGRESS_SET:
        SendDlgItemMessageA(dialog, IDC_UPLOAD_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(lParam), 0);
        return TRUE;
    default:
        return FALSE;   // Escape (IDCANCEL) does not cancel
    }
}

INT_PTR CALLBACK UploadDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return StartUpload(dialog);
    case WM_CLOSE:
        // The close box only asks for a cancel; the worker decides when it ends.
        ZemStoreByte(&TheUploadJob.cancelRequested, 1);
        return TRUE;
    case WM_COMMAND:
        return OnUploadCommand(dialog, wParam, lParam);
    default:
        return FALSE;
    }
}

void AwaitUploadCancel(uint32_t ms)
{
    const DWORD began = GetTickCount();
    while (uploadWorker && !ZemLoadByte(&TheUploadJob.cancelSent) && GetTickCount() - began < ms &&
           WaitForSingleObject(uploadWorker, 10) == WAIT_TIMEOUT) {
    }
}

// The worker has posted its last notice and is about to end. Should the
// dialog have gone some other way, the worker is asked to stop; either way
// nothing goes on (and the program does not end) while it lives.
static void AwaitUploadWorker()
{
    if (!uploadWorker)
        return;
    ZemStoreByte(&TheUploadJob.cancelRequested, 1);
    WaitForSingleObject(uploadWorker, INFINITE);
    CloseHandle(uploadWorker);
    uploadWorker = nullptr;
}

// While the dialog is open the system names the upload to a user who logs
// off or shuts down (and the main window answers the query with no).
static const wchar_t SESSION_BLOCK_REASON[] = L"Uploading to the Vantorix";

void RunUploadDialog()
{
    ShutdownBlockReasonCreate(MainWindow, SESSION_BLOCK_REASON);
    DialogBoxParamA(ProgramInstance, MAKEINTRESOURCEA(IDD_UPLOAD), MainWindow, UploadDialogProc, 0);
    AwaitUploadWorker();
    ShutdownBlockReasonDestroy(MainWindow);
}
