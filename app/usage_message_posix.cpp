// Console programs print the usage message on stderr.
#include <cstdio>

#include "app/command_line.h"

void ShowUsageMessage()
{
    fprintf(stderr, "%s: %s\n", UsageCaption, UsageMessage);
}
