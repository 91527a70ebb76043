// Commands on the controller's own files: fetch the parameter list or the
// tool list into a text file and open it, and delete the selected files.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#include "app/app_state.h"
#include "app/commands.h"
#include "app/delete_command.h"
#include "app/fetch_answer.h"
#include "app/message_texts.h"
#include "app/settings.h"
#include "lib/zem_lib.h"
#include "lib/zem_ui.h"
#include "res/resource_ids.h"
#include "serial/answer_read.h"
#include "serial/serial_port.h"
#include "tree/device_tree.h"
#include "tree/views.h"

static void OpenFetchedFile(const char* path)
{
    ZemFindData found;
    if (ZemFileFind(path, &found) && found.sizeLow != 0)
        ShellExecuteA(nullptr, "open", path, nullptr, nullptr, SW_SHOWNORMAL);
}

void CommandShowFetched(unsigned id)
{
    if (!GuardPort(MSG_BUSY_TRY))
        return;
    int kind = id == CMD_SHOW_TOOLLIST ? FETCH_TOOL_LIST : FETCH_PARAMETERS;

    void* cursor = ZemUiSetWaitCursor();
    uint32_t start = 0, length = 0;
    int outcome = FetchControllerList(ConnectedPort, kind, AnswerBuffer, ANSWER_BUFFER_SIZE, &start, &length);
    char path[sizeof(ProgramDir) + 32];
    snprintf(path, sizeof(path), "%s%s", ProgramDir, FetchedFileName(kind));
    // The browser writes a list that holds nothing behind its first line as it came.
    if (outcome == FETCH_NO_LIST)
        outcome = FETCH_OK;
    char why[512] = "";
    int written = outcome == FETCH_OK && WriteFetchedFile(path, kind, AnswerBuffer + start, length, why, sizeof(why));
    ZemUiRestoreCursor(cursor);
    ShowConnectionState(TheDeviceTree);   // a long read told its progress there

    if (outcome == FETCH_ABANDONED)
        return;
    if (outcome != FETCH_OK) {
        ZemUiProblem(FetchOutcomeMessage(kind, outcome));
        return;
    }
    // Opening the file as it stands would show an old list as the controller's current one.
    if (!written) {
        char message[640];
        const char* parts[] = {FetchedFileName(kind), why};
        ZemUiProblem(FillMessageParts(MSG_CANT_WRITE_LIST, parts, 2, message, sizeof(message)));
        return;
    }
    OpenFetchedFile(path);
}

// The question is a message box without owner, so the main window keeps
// working while it is open: a disconnect, reconnect, re-read, exit or another
// directory chosen meanwhile has happened by the time it returns. The loop
// goes on only while the listing that its path and rows come from is still
// the current one and the file list still shows the directory of its path.
static int DeleteStillPossible(uint32_t generation, const DirEntry* directory)
{
    return ListingGeneration == generation && ConnectedPort && IsWindow(MainWindow) && !CloseAsked() &&
           GetShownDirectory() == directory;
}

static int AskDelete(const char* command)
{
    char target[DELETE_COMMAND_SIZE];
    GetDeleteTarget(command, target, sizeof(target));
    return ZemUiBox(target, MessageCaption(MSG_DELETE_QUESTION), MB_YESNO) == IDYES;
}

// The answer to the delete of command did not come: no further delete is
// sent, and the box names the selected files behind row that were not tried.
static void ReportDeletesNotTried(const char* command, int row)
{
    char target[DELETE_COMMAND_SIZE];
    GetDeleteTarget(command, target, sizeof(target));
    char names[1024] = "";
    size_t used = 0;
    char name[DELETE_COMMAND_SIZE];
    for (int next = NextSelectedFile(name, sizeof(name), row); next != -1;
         next = NextSelectedFile(name, sizeof(name), next)) {
        int length = snprintf(names + used, sizeof(names) - used, "%s%s", used ? ", " : "", name);
        if (length < 0 || used + length >= sizeof(names))
            break;
        used += static_cast<size_t>(length);
    }
    const char* parts[] = {target, used ? names : "none"};
    char message[2048];
    ZemUiProblem(FillMessageParts(MSG_DELETE_NOT_ANSWERED, parts, 2, message, sizeof(message)));
}

void CommandDelete()
{
    if (!GuardPort(MSG_BUSY_UPLOAD))
        return;
    char name[DELETE_COMMAND_SIZE];
    int row = NextSelectedFile(name, sizeof(name), -1);
    if (row == -1)
        return;
    char path[DELETE_PATH_ROOM];
    if (!GetCommandDirectory(path, sizeof(path)))
        return;
    const uint32_t generation = ListingGeneration;
    const DirEntry* directory = GetShownDirectory();

    char command[DELETE_COMMAND_SIZE];
    int deletes = 0;
    for (; row != -1; row = NextSelectedFile(name, sizeof(name), row)) {
        if (!BuildDeleteCommand(command, path, name)) {
            ZemUiProblem(MessageText(MSG_DELETE_PATH_TOO_LONG));
            break;
        }
        int yes = AskDelete(command);
        if (!DeleteStillPossible(generation, directory))
            return;
        if (!yes)
            continue;
        int outcome = SendDeleteCommand(ConnectedPort, command, AnswerBuffer, ANSWER_BUFFER_SIZE, nullptr, 0);
        if (outcome == DELETE_NOT_SENT) {
            ZemUiProblem(MessageText(MSG_CANT_SEND));
            return;
        }
        deletes++;
        if (outcome == DELETE_NOT_ANSWERED) {
            ReportDeletesNotTried(command, row);
            break;
        }
    }
    if (deletes)
        ReReadAndRefresh();
}
