// The usage message is a message box of its own caption, with no owner
// window, that comes to the front like every problem: a script that started
// the program must not wait behind its own window.
#include <windows.h>

#include "app/command_line.h"
#include "app/message_texts.h"
#include "lib/zem_ui.h"

void ShowUsageMessage()
{
    ZemUiBox(MessageText(MSG_USAGE), MessageCaption(MSG_USAGE), MB_OK);
}
