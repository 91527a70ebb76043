// Commands that upload PC files: one file chosen in the open-file dialog,
// or the files dropped on the file list; and the one opener of the upload
// dialog, which the automatic upload uses too.
#include <windows.h>
#include <commdlg.h>
#include <cderr.h>
#include <shellapi.h>

#include <cstring>

#include "app/app_state.h"
#include "app/commands.h"
#include "app/message_texts.h"
#include "app/program_dir.h"
#include "app/settings.h"
#include "app/upload_report.h"
#include "lib/zem_lib.h"
#include "lib/zem_shared.h"
#include "lib/zem_ui.h"
#include "serial/upload_dialog.h"
#include "serial/upload_file_list.h"
#include "serial/upload_job.h"
#include "serial/upload_protocol.h"
#include "tree/device_tree.h"

constexpr uint32_t CHOSEN_PATH_SIZE = 200;

int OpenUpload(const char* fileList, const char* targetDir)
{
    // memmove: the automatic upload passes what the command line left in the job.
    memmove(TheUploadJob.fileList, fileList, FileListBytes(fileList));
    memmove(TheUploadJob.targetDir, targetDir, strlen(targetDir) + 1);
    RunUploadDialog();
    return !CloseAsked() && IsWindow(MainWindow);
}

// The controller acknowledges every block of a file it then keeps short or
// not at all: only its listing tells.
void ReportUploadCheck()
{
    if (ZemLoadResult(&TheUploadJob.result) != UPL_OK || LastReadOutcome() != READ_OK)
        return;
    static char text[UPLOAD_REPORT_SIZE];
    if (DescribeUploadCheck(&TheUploadJob, TheDeviceTree, text, sizeof(text)))
        ZemUiProblem(text);
}

// The upload ran in the dialog; the tree is read again whatever came of it,
// unless the window was closed meanwhile.
// A PC file's name that the ANSI code page cannot hold is said as such, with
// what to do, instead of "No valid File."; 1 when the path is whole.
static int ReportPathNotWhole(const char* path)
{
    if (AnsiPathIsWhole(path))
        return 1;
    char text[UPLOAD_FILE_LIST_SIZE + 256];
    ZemUiProblem(FillMessageText(MSG_NAME_NOT_IN_CODE_PAGE, path, text, sizeof(text)));
    return 0;
}

static void UploadAndReRead(const char* fileList, const char* targetDir)
{
    if (!OpenUpload(fileList, targetDir))
        return;
    ReReadAndRefresh();
    ReportUploadCheck();
}

// With "Upload to actual Path" the files go into the directory that the
// file list shows, else into the controller's default directory.
static int FillUploadTarget(char* targetDir)
{
    targetDir[0] = '\0';
    return !Settings.UsePath || GetCommandDirectory(targetDir, UPLOAD_TARGET_DIR_SIZE);
}

void CommandUpload()
{
    char targetDir[UPLOAD_TARGET_DIR_SIZE];
    if (!GuardPort(MSG_BUSY_UPLOAD) || !GuardAutomaticUpload() || !FillUploadTarget(targetDir))
        return;

    char chosen[CHOSEN_PATH_SIZE] = "";
    OPENFILENAMEA dialog = {};
    // The record without the fields that later Windows versions appended;
    // 76 bytes in a 32-bit build, OPENFILENAME_SIZE_VERSION_400A here.
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = MainWindow;
    dialog.lpstrFile = chosen;
    dialog.nMaxFile = CHOSEN_PATH_SIZE;
    dialog.lpstrInitialDir = Settings.DefUplPath[0] ? Settings.DefUplPath : nullptr;
    dialog.Flags = OFN_LONGNAMES | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    // The dialog makes the chosen file's folder the current directory, which
    // Windows then keeps open: a USB stick could not be removed until exit.
    char current[MAX_PATH];
    DWORD currentLength = GetCurrentDirectoryA(sizeof(current), current);
    BOOL choseOne = GetOpenFileNameA(&dialog);
    if (currentLength > 0 && currentLength < sizeof(current))
        SetCurrentDirectoryA(current);
    if (!choseOne) {
        // A cancel ends quietly; a path longer than the buffer is said.
        if (CommDlgExtendedError() == FNERR_BUFFERTOOSMALL)
            ZemUiProblem(MessageText(MSG_FILENAME_TOO_LONG));
        return;
    }

    if (!ReportPathNotWhole(chosen))
        return;
    char fileList[UPLOAD_FILE_LIST_SIZE];
    uint32_t used = 0;
    if (!AppendFileName(fileList, FILE_LIST_ROOM, &used, chosen)) {
        ZemUiProblem(MessageText(MSG_FILENAME_TOO_LONG));
        return;
    }

    uint32_t directoryLength = dialog.nFileOffset;
    if (directoryLength >= sizeof(Settings.DefUplPath))
        directoryLength = sizeof(Settings.DefUplPath) - 1;
    memcpy(Settings.DefUplPath, chosen, directoryLength);
    Settings.DefUplPath[directoryLength] = '\0';

    UploadAndReRead(fileList, targetDir);
}

// Copies the dropped names into a file list of UPLOAD_FILE_LIST_SIZE bytes;
// 0 after a message.
static int FillDroppedList(HDROP drop, char* list)
{
    UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    uint32_t used = 0;
    list[0] = '\0';
    for (UINT index = 0; index < count; ++index) {
        // A name longer than the whole list cannot fit behind the others either.
        char name[UPLOAD_FILE_LIST_SIZE];
        UINT length = DragQueryFileA(drop, index, nullptr, 0);
        const char* added = list + used;
        if (length < sizeof(name))
            DragQueryFileA(drop, index, name, sizeof(name));
        if (length >= sizeof(name) || !AppendFileName(list, FILE_LIST_ROOM, &used, name)) {
            ZemUiProblem(MessageText(MSG_TOO_MANY_FILES));
            return 0;
        }
        if (!ReportPathNotWhole(added))
            return 0;
        ZemFindData found;
        if (!ZemFileFind(added, &found)) {
            ZemUiProblem(MessageText(MSG_NO_VALID_FILE));
            return 0;
        }
        if (found.attributes & ZEM_ATTR_DIRECTORY) {
            ZemUiProblem(MessageText(MSG_NO_FOLDERS));
            return 0;
        }
    }
    return used != 0;
}

void CommandDropFiles(intptr_t drop)
{
    SetForegroundWindow(MainWindow);
    char targetDir[UPLOAD_TARGET_DIR_SIZE];
    if (!GuardPort(MSG_BUSY_UPLOAD) || !GuardAutomaticUpload() || !FillUploadTarget(targetDir))
        return;
    char fileList[UPLOAD_FILE_LIST_SIZE];
    if (!FillDroppedList(reinterpret_cast<HDROP>(drop), fileList))
        return;
    UploadAndReRead(fileList, targetDir);
}
