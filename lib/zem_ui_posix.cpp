// Console programs report problems on stderr and have no cursor or window.
#include <cstdio>

#include "lib/zem_ui.h"

void ZemUiPlatformProblem(const char* text)
{
    fprintf(stderr, "%s\n", text);
}

void ZemUiPlatformPostCommand(unsigned, intptr_t)
{
}

void* ZemUiSetWaitCursor()
{
    return nullptr;
}

void ZemUiRestoreCursor(void*)
{
}

void ZemUiAttachWindow(void*, void*)
{
}
