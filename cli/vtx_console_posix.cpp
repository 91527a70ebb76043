// The terminal of a Linux program: Ctrl-C as SIGINT, the progress line
// redrawn with an escape sequence.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "cli/vtx_platform.h"

static void (*interruptCallback)();
static struct sigaction previousAction;

static void OnSignal(int)
{
    interruptCallback();
}

// A terminal takes the bytes as they are.
void VtxStartConsoleText()
{
}

void VtxEndConsoleText()
{
}

// SIGINT's own action already ends vtx with 130 outside an upload, and a
// terminal's hang-up has no time limit that an upload's end must meet.
void VtxWatchConsole()
{
}

void VtxCatchInterrupts(void (*onInterrupt)(), void (*)())
{
    interruptCallback = onInterrupt;
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousAction);
}

void VtxReleaseInterrupts()
{
    sigaction(SIGINT, &previousAction, nullptr);
}

void VtxWriteErrorNow(const char* text)
{
    (void)!write(STDERR_FILENO, text, strlen(text));
}

void VtxEndNow(int status)
{
    _exit(status);
}

int VtxErrorIsTerminal()
{
    return isatty(STDERR_FILENO);
}

void VtxRedrawLine(const char* line)
{
    // \033[K clears what a longer earlier line left behind.
    fprintf(stderr, "\r%s\033[K", line);
    fflush(stderr);
}

void VtxBinaryStdout()
{
}
