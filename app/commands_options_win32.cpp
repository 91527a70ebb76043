// Commands that need no port: the Options menu, the version box and Exit.
#include "app/app_state.h"
#include "app/commands.h"
#include "app/message_texts.h"
#include "app/settings.h"
#include "lib/zem_shared.h"
#include "res/resource_ids.h"

static void SetMenuCheck(HMENU menu, unsigned id, int checked)
{
    CheckMenuItem(menu, id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void CommandOption(unsigned id)
{
    HMENU menu = GetMenu(MainWindow);
    switch (id) {
    case CMD_UPLOAD_TO_ACTUAL_PATH:
        Settings.UsePath = 1;
        SetMenuCheck(menu, CMD_UPLOAD_TO_ACTUAL_PATH, 1);
        SetMenuCheck(menu, CMD_ALWAYS_UPLOAD_DEFAULT, 0);
        break;
    case CMD_ALWAYS_UPLOAD_DEFAULT:
        Settings.UsePath = 0;
        SetMenuCheck(menu, CMD_UPLOAD_TO_ACTUAL_PATH, 0);
        SetMenuCheck(menu, CMD_ALWAYS_UPLOAD_DEFAULT, 1);
        break;
    case CMD_WRITE_LOGFILE: {
        // An upload worker reads the switch at every port operation.
        auto* logFile = reinterpret_cast<unsigned char*>(&Settings.LogFile);
        unsigned char on = ZemLoadByte(logFile) ? 0 : 1;
        ZemStoreByte(logFile, on);
        SetMenuCheck(menu, CMD_WRITE_LOGFILE, on);
        break;
    }
    default:
        break;
    }
}

void CommandInfo()
{
    MessageBoxA(MainWindow, MessageText(MSG_INFO), MessageCaption(MSG_INFO), MB_OK);
}

void CommandExit()
{
    CloseMainWindow();
}
