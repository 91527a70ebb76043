// The sink that tests install in place of the platform's user interface.
#include "lib/zem_ui.h"

void ZemUiPlatformProblem(const char* text);
void ZemUiPlatformPostCommand(unsigned id, intptr_t param);

static const ZemUiSink* installedSink;

void ZemUiSetSink(const ZemUiSink* sink)
{
    installedSink = sink;
}

void ZemUiProblem(const char* text)
{
    if (installedSink && installedSink->problem)
        installedSink->problem(installedSink->context, text);
    else
        ZemUiPlatformProblem(text);
}

void ZemUiPostCommand(unsigned id, intptr_t param)
{
    if (installedSink && installedSink->postCommand)
        installedSink->postCommand(installedSink->context, id, param);
    else
        ZemUiPlatformPostCommand(id, param);
}
