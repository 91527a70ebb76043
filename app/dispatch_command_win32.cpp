// Carries out one WM_COMMAND id on the user-interface thread; ids outside the
// command set are ignored.
#include "app/commands.h"
#include "res/resource_ids.h"

void DispatchCommand(unsigned id, intptr_t param)
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
