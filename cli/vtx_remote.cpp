// vtx params and tools: the browser's parameter-list and tool-list commands,
// with the same command texts and the same file content.
#include <cstdio>
#include <cstring>

#include "app/fetch_answer.h"
#include "cli/vtx_commands.h"
#include "cli/vtx_platform.h"
#include "serial/answer_read.h"
#include "serial/serial_port.h"

const char VtxParamsUsage[] =
    "usage: vtx [OPTIONS] params [-o FILE]\n"
    "\n"
    "Fetches the controller's parameter list as the browser does: the answer\n"
    "less its first line, followed by CR LF. An answer that holds nothing but\n"
    "blanks and line ends behind its first line is no list: \"The Vantorix\n"
    "sent no parameter list.\", nothing is written and the status is 1.\n"
    "Written to standard output, or to FILE: into a new file made beside it\n"
    "(FILE.new1, or the first FILE.newN that no file or link holds), which\n"
    "then takes FILE's place; on a failure FILE and every other file stay as\n"
    "they were and vtx says what failed and why. A FILE that is a link, pipe\n"
    "or device is written as it is. A list that fills the answer buffer, or\n"
    "that does not end within the line time of a full buffer and a second, is\n"
    "written nowhere.\n"
    "\n"
    "Exit status: 0 fetched, 1 the port or the controller failed, no list, or\n"
    "the list was not written, 2 usage error.\n";

const char VtxToolsUsage[] =
    "usage: vtx [OPTIONS] tools [-o FILE]\n"
    "\n"
    "Fetches the controller's tool list as the browser does: the answer less\n"
    "its first line. An answer of exactly 3 bytes, or one that holds nothing\n"
    "but blanks and line ends behind its first line, means that the\n"
    "controller holds no tool list: \"The Vantorix sent no tool list.\",\n"
    "nothing is written and the status is 1. Written to standard output, or\n"
    "to FILE as params writes it (a new file beside FILE takes its place). A\n"
    "list that fills the answer buffer, or that does not end within the line\n"
    "time of a full buffer and a second, is written nowhere.\n"
    "\n"
    "Exit status: 0 fetched, 1 the port or the controller failed, no tool list\n"
    "or the list was not written, 2 usage error.\n";

// The list reaches stdout byte for byte, as it reaches the file of -o.
static int WriteToStdout(int kind, const char* content, uint32_t length)
{
    VtxBinaryStdout();
    if (fwrite(content, 1, length, stdout) != length)
        return 0;
    if (kind == FETCH_PARAMETERS && fwrite("\r\n", 1, 2, stdout) != 2)
        return 0;
    return 1;
}

static int FetchList(int kind, const char* name, int argc, char** argv, const VtxOptions* options)
{
    const char* outputPath = nullptr;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "-o") == 0 && i + 1 < argc && argv[i + 1][0])
            outputPath = argv[++i];
        else if (strcmp(argv[i], "-o") == 0)
            return VtxUsageError(name, "missing file name after", "-o");
        else
            return VtxUsageError(name, "unknown argument", argv[i]);
    }

    SerialPort* port = VtxOpenPort(options);
    if (!port)
        return VTX_EXIT_FAILED;
    uint32_t start = 0, length = 0;
    int outcome = FetchControllerList(port, kind, AnswerBuffer, ANSWER_BUFFER_SIZE, &start, &length);
    if (outcome != FETCH_OK) {
        const char* message = FetchOutcomeMessage(kind, outcome);
        if (message)
            fprintf(stderr, "%s\n", message);
        VtxTellIfGone(port);
        ZemSerComClose(port);
        return VTX_EXIT_FAILED;
    }
    ZemSerComClose(port);
    if (!outputPath)
        return WriteToStdout(kind, AnswerBuffer + start, length) ? VTX_EXIT_OK : VTX_EXIT_FAILED;

    char why[512];
    if (!WriteFetchedFile(outputPath, kind, AnswerBuffer + start, length, why, sizeof(why))) {
        fprintf(stderr, "vtx: could not write %s: %s\n", outputPath, why);
        return VTX_EXIT_FAILED;
    }
    return VTX_EXIT_OK;
}

int VtxParams(int argc, char** argv, const VtxOptions* options)
{
    return FetchList(FETCH_PARAMETERS, "params", argc, argv, options);
}

int VtxTools(int argc, char** argv, const VtxOptions* options)
{
    return FetchList(FETCH_TOOL_LIST, "tools", argc, argv, options);
}
