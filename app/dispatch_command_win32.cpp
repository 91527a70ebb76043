// Carries out one WM_COMMAND id on the user-interface thread; ids outside the
// command set are ignored. Here ends a close asked for while a command that
// talks to the controller was under way.
#include "app/commands.h"
#include "res/resource_ids.h"

// Commands under way that talk to the controller; they nest inside message boxes.
static int commandsUnderWay;

int CommandUnderWay()
{
    return commandsUnderWay != 0;
}

// Exit, the options and the version box never read: a close can come at once.
static int TalksToController(unsigned id)
{
    return id != CMD_EXIT && id != CMD_UPLOAD_TO_ACTUAL_PATH && id != CMD_ALWAYS_UPLOAD_DEFAULT &&
           id != CMD_WRITE_LOGFILE && id != CMD_INFO && id >= CMD_CONNECT && id <= CMD_AUTO_UPLOAD;
}

static void RunCommand(unsigned id, intptr_t param)
{
    switch (id) {
    case CMD_CONNECT:
        CommandConnect();
        break;
    case CMD_SHOW_PARAMETERS:
    case CMD_SHOW_TOOLLIST:
        CommandShowFetched(id);
        break;
    case CMD_DELETE:
        CommandDelete();
        break;
    case CMD_UPLOAD:
        CommandUpload();
        break;
    case CMD_REREAD:
        CommandReRead();
        break;
    case CMD_EXIT:
        CommandExit();
        break;
    case CMD_UPLOAD_TO_ACTUAL_PATH:
    case CMD_ALWAYS_UPLOAD_DEFAULT:
    case CMD_WRITE_LOGFILE:
        CommandOption(id);
        break;
    case CMD_DROP_FILES:
        CommandDropFiles(param);
        break;
    case CMD_INFO:
        CommandInfo();
        break;
    case CMD_AFTER_CONNECT:
        CommandAfterConnect();
        break;
    case CMD_AUTO_UPLOAD:
        CommandAutoUpload();
        break;
    case CMD_PARENT_DIRECTORY:
        CommandParentDirectory();
        break;
    default:
        break;
    }
}

void DispatchCommand(unsigned id, intptr_t param)
{
    const int talks = TalksToController(id);
    commandsUnderWay += talks;
    RunCommand(id, param);
    commandsUnderWay -= talks;
    if (talks && !commandsUnderWay)
        DropGonePort();
    if (talks && !commandsUnderWay && CloseAsked())
        CloseMainWindow();
}
