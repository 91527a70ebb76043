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
    "less its first line, followed by CR LF. Written to FILE (created or\n"
    "truncated), else to standard output. A list that fills the answer buffer,\n"
    "or that does not end within the line time of a full buffer and a\n"
    "second, is written nowhere.\n"
    "\n"
    "Exit status: 0 fetched, 1 the port or the controller failed or the list\n"
    "was not written, 2 usage error.\n";

const char VtxToolsUsage[] =
    "usage: vtx [OPTIONS] tools [-o FILE]\n"
    "\n"
    "Fetches the controller's tool list as the browser does: the answer less\n"
    "its first line. An answer of exactly 3 bytes means that the controller\n"
    "holds no tool list: nothing is written and the status is 1. Written to\n"
    "FILE (created or truncated), else to standard output. A list that fills\n"
    "the answer buffer, or that does not end within the line time of a full\n"
    "buffer and a second, is written nowhere.\n"
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
    ZemSerComClose(port);
    if (outcome != FETCH_OK) {
        const char* message = FetchOutcomeMessage(kind, outcome);
        if (message)
            fprintf(stderr, "%s\n", message);
        return VTX_EXIT_FAILED;
    }
    if (!outputPath)
        return WriteToStdout(kind, AnswerBuffer + start, length) ? VTX_EXIT_OK : VTX_EXIT_FAILED;

    if (!WriteFetchedFile(outputPath, kind, AnswerBuffer + start, length)) {
        fprintf(stderr, "vtx: could not write %s\n", outputPath);
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
