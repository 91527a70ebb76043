// Console programs print the usage message on stderr.
#include <cstdio>

#include "app/command_line.h"
#include "app/message_texts.h"

void ShowUsageMessage()
{
    fprintf(stderr, "%s: %s\n", MessageCaption(MSG_USAGE), MessageText(MSG_USAGE));
}
