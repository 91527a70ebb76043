// The usage message is a message box of its own caption, with no owner window.
#include <windows.h>

#include "app/command_line.h"
#include "app/message_texts.h"

void ShowUsageMessage()
{
    MessageBoxA(nullptr, MessageText(MSG_USAGE), MessageCaption(MSG_USAGE), MB_OK);
}
