// The usage message is a message box of its own caption, with no owner window.
#include <windows.h>

#include "app/command_line.h"

void ShowUsageMessage()
{
    MessageBoxA(nullptr, UsageMessage, UsageCaption, MB_OK);
}
