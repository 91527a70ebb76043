// vtx [--port DEVICE] [--baud N] [--attempts N] COMMAND ...: the browser's
// core on the command line of Linux and Windows; the options may follow the
// command as well.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/vtx_commands.h"
#include "cli/vtx_machines.h"
#include "cli/vtx_platform.h"
#include "lib/zem_lib.h"
#include "lib/zem_ui.h"
#include "tree/device_tree.h"
#include "vbrowser_version.h"

// Adding a command: one row here, one file vtx_NAME.cpp, one pair in vtx_commands.h.
static const VtxCommand commands[] = {
    {"ls", VtxLs, "show the controller's directories, files and free space", VtxLsUsage},
    {"rm", VtxRm, "delete files on the controller", VtxRmUsage},
    {"params", VtxParams, "fetch the parameter list", VtxParamsUsage},
    {"tools", VtxTools, "fetch the tool list", VtxToolsUsage},
    {"put", VtxPut, "upload files to the controller", VtxPutUsage},
    {"ports", VtxPorts, "list the serial devices that --port accepts", VtxPortsUsage},
    {"machines", VtxMachines, "list the machines of the machines file, or check each", VtxMachinesUsage},
    {"backup", VtxBackup, "keep a machine's listing and lists in a dated folder", VtxBackupUsage},
    {"diff", VtxDiff, "show what changed between two backup folders", VtxDiffUsage},
};

static const uint32_t DEFAULT_BAUD = 57600;
static const uint32_t DEFAULT_ATTEMPTS = 2;

static void PrintUsage(FILE* out)
{
    fputs("usage: vtx [--machine NAME] [--port DEVICE] [--baud N] [--attempts N] COMMAND [ARGS...]\n"
          "\n"
          "Talks to a Vantorix controller over a serial line: lists its directories\n"
          "and free space, uploads files and checks that they arrived, deletes files,\n"
          "and fetches the parameter and tool lists. The options may also follow the\n"
          "command (vtx ls --port DEVICE).\n"
          "\n"
          "Options:\n"
          "  --machine NAME  take port, speed and attempts of the machine NAME of the\n"
          "                  machines file (also -m NAME, default: $VTX_MACHINE);\n"
          "                  --port, --baud and --attempts given as well win; a fault\n"
          "                  in the machines file is a usage error, said with its line\n", out);
    fputs(VtxPortOptionHelp, out);
    fputs("  --baud N        line speed in bit/s (default: 57600); the browser offers\n"
          "                  9600, 14400, 19200, 38400, 56000, 57600 and 115200, and\n"
          "                  any other speed the serial driver can make is taken\n"
          "  --attempts N    listing attempts per directory read (default: 2)\n"
          "  --help          show this text\n"
          "  --version       show the version\n"
          "\n"
          "Commands:\n", out);
    for (const VtxCommand& command : commands)
        fprintf(out, "  %-9s %s\n", command.name, command.summary);
    fputs("\n"
          "Run 'vtx COMMAND --help' for the arguments of one command.\n"
          "\n"
          "Exit status:\n"
          "  0    done: the controller demonstrably holds what was asked for\n"
          "  1    a check, the port, the line or the controller failed; the reason is\n"
          "       on stderr\n"
          "  2    usage error; the usage is on stderr\n"
          "  130  Ctrl-C ended vtx: at once outside an upload, after a second one\n"
          "       during vtx put\n"
          "\n"
          "Environment:\n", out);
    fputs(VtxPortEnvironmentHelp, out);
    fputs("  VTX_MACHINE   the machine when --machine names none\n", out);
    fputs(VtxMachinesFileHelp, out);
    fputs("\n"
          "Examples:\n"
          "  vtx put -p /ram/cncprg/ part.nc\n"
          "      a CAM post-processor's upload: status 0 only when the directories\n"
          "      read after the batch list part.nc with its size\n"
          "  vtx ls --json\n"
          "      the directories, files and free space as one JSON object\n"
          "  vtx put -n -p /ROM/ part1.nc part2.nc\n"
          "      dry run: where each file would go and the space left; nothing is sent\n"
          "  vtx backup --all -o /srv/backups/vtx\n"
          "      a dated backup of every machine of the machines file, what changed\n"
          "      since each one's last backup, and a table of the results\n", out);
}

static const VtxCommand* FindCommand(const char* name)
{
    for (const VtxCommand& command : commands)
        if (strcmp(command.name, name) == 0)
            return &command;
    return nullptr;
}

int VtxUsageError(const char* command, const char* complaint, const char* detail)
{
    if (detail)
        fprintf(stderr, "vtx: %s: %s\n\n", complaint, detail);
    else
        fprintf(stderr, "vtx: %s\n\n", complaint);
    const VtxCommand* found = command ? FindCommand(command) : nullptr;
    if (found)
        fputs(found->usage, stderr);
    else
        PrintUsage(stderr);
    return VTX_EXIT_USAGE;
}

int VtxReadJsonOption(int argc, char** argv, const char* command, int* json)
{
    *json = 0;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--json") != 0) {
            VtxUsageError(command, "unknown argument", argv[i]);
            return 0;
        }
        *json = 1;
    }
    return 1;
}

int VtxParseCount(const char* text, uint32_t* value)
{
    uint64_t number = 0;
    if (!*text)
        return 0;
    for (const char* p = text; *p; p++) {
        if (*p < '0' || *p > '9')
            return 0;
        number = number * 10 + static_cast<uint64_t>(*p - '0');
        if (number > 0xFFFFFFFFu)
            return 0;
    }
    if (number == 0)
        return 0;
    *value = static_cast<uint32_t>(number);
    return 1;
}

// Takes "--name VALUE" or "--name=VALUE"; returns the value and moves the
// index past it, or null when argv[*index] is not that option.
static const char* TakeOptionValue(int argc, char** argv, int* index, const char* name, int* missing)
{
    size_t length = strlen(name);
    const char* arg = argv[*index];
    if (strncmp(arg, name, length) != 0)
        return nullptr;
    if (arg[length] == '=')
        return arg + length + 1;
    if (arg[length] != 0)
        return nullptr;
    if (*index + 1 >= argc) {
        *missing = 1;
        return nullptr;
    }
    *index += 1;
    return argv[*index];
}

// Takes the global option at argv[*index], moving the index past its value:
// 1 when it was one, 0 when it is none, -1 after a usage error (reported).
static int TakeGlobalOption(int argc, char** argv, int* index, VtxOptions* options)
{
    const char* arg = argv[*index];
    int missing = 0;
    const char* value;
    if ((value = TakeOptionValue(argc, argv, index, "--port", &missing))) {
        if (!*value) {
            VtxUsageError(nullptr, "empty device name for", "--port");
            return -1;
        }
        options->port = value;
        options->defaultPort = 0;
        options->given |= VTX_GIVEN_PORT;
    } else if ((value = TakeOptionValue(argc, argv, index, "--machine", &missing)) ||
               (value = TakeOptionValue(argc, argv, index, "-m", &missing))) {
        options->machine = value;
    } else if ((value = TakeOptionValue(argc, argv, index, "--baud", &missing))) {
        if (!VtxParseCount(value, &options->baud)) {
            VtxUsageError(nullptr, "--baud needs a positive whole number, not", value);
            return -1;
        }
        options->given |= VTX_GIVEN_BAUD;
    } else if ((value = TakeOptionValue(argc, argv, index, "--attempts", &missing))) {
        if (!VtxParseCount(value, &options->attempts) || options->attempts > 100) {
            VtxUsageError(nullptr, "--attempts needs a number from 1 to 100, not", value);
            return -1;
        }
        options->given |= VTX_GIVEN_ATTEMPTS;
    } else if (missing) {
        VtxUsageError(nullptr, "missing value after", arg);
        return -1;
    } else {
        return 0;
    }
    return 1;
}

// Reads the global options in front of the command; returns the index of
// the command, or -1 after a usage error (already reported) and -2 after
// --help.
static int ParseGlobalOptions(int argc, char** argv, VtxOptions* options)
{
    const char* fromEnvironment = getenv("VTX_PORT");
    options->defaultPort = !(fromEnvironment && *fromEnvironment);
    options->port = options->defaultPort ? VtxDefaultPort : fromEnvironment;
    options->baud = DEFAULT_BAUD;
    options->attempts = DEFAULT_ATTEMPTS;
    const char* machine = getenv("VTX_MACHINE");
    options->machine = machine && *machine ? machine : nullptr;
    options->given = 0;

    int i = 1;
    for (; i < argc && argv[i][0] == '-'; i++) {
        const char* arg = argv[i];
        if (strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0) {
            PrintUsage(stdout);
            return -2;
        }
        if (strcmp(arg, "--version") == 0) {
            puts("vtx " VBROWSER_VERSION);
            return -2;
        }
        int taken = TakeGlobalOption(argc, argv, &i, options);
        if (taken < 0)
            return -1;
        if (taken == 0) {
            VtxUsageError(nullptr, "unknown option", arg);
            return -1;
        }
    }
    if (i >= argc) {
        VtxUsageError(nullptr, "no command given", nullptr);
        return -1;
    }
    return i;
}

// Takes the global options out of a command's arguments, up to a "--";
// returns the number of arguments left for the command, or -1 after a usage
// error. The value of a command's own -p or -o stays with it, whatever it is.
static int TakeTrailingGlobalOptions(int argc, char** argv, VtxOptions* options)
{
    int kept = 1;
    int i = 1;
    for (; i < argc && strcmp(argv[i], "--") != 0; i++) {
        if ((strcmp(argv[i], "-p") == 0 || strcmp(argv[i], "-o") == 0) && i + 1 < argc) {
            argv[kept++] = argv[i++];
            argv[kept++] = argv[i];
            continue;
        }
        int taken = TakeGlobalOption(argc, argv, &i, options);
        if (taken < 0)
            return -1;
        if (taken == 0)
            argv[kept++] = argv[i];
    }
    for (; i < argc; i++)
        argv[kept++] = argv[i];
    return kept;
}

// The core reports a failed read as a problem: a console program says it on
// stderr, where Windows would otherwise show a message box.
static void PrintProblem(void*, const char* text)
{
    fprintf(stderr, "%s\n", text);
}

int VtxMain(int argc, char** argv)
{
    VtxWatchConsole();
    VtxOptions options;
    int at = ParseGlobalOptions(argc, argv, &options);
    if (at == -2)
        return VTX_EXIT_OK;
    if (at < 0)
        return VTX_EXIT_USAGE;
    const VtxCommand* command = FindCommand(argv[at]);
    if (!command)
        return VtxUsageError(nullptr, "unknown command", argv[at]);
    int count = TakeTrailingGlobalOptions(argc - at, argv + at, &options);
    if (count < 0)
        return VTX_EXIT_USAGE;
    argc = at + count;
    if (at + 1 < argc && (strcmp(argv[at + 1], "--help") == 0 || strcmp(argv[at + 1], "-h") == 0)) {
        fputs(command->usage, stdout);
        return VTX_EXIT_OK;
    }

    if (!ZemLibInit()) {
        fputs("vtx: the support library did not start\n", stderr);
        return VTX_EXIT_FAILED;
    }
    static const ZemUiSink console = {PrintProblem, nullptr, nullptr};
    ZemUiSetSink(&console);
    // The commands that talk to one controller take a chosen machine's settings.
    int takesMachine = command->run != VtxPorts && command->run != VtxMachines && command->run != VtxDiff;
    int result = takesMachine && !VtxTakeMachine(&options) ? VTX_EXIT_USAGE : VTX_EXIT_OK;
    ListingAttemptsOverride = options.attempts;
    if (result == VTX_EXIT_OK)
        result = command->run(argc - at, argv + at, &options);
    ZemLibExit();
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fputs("vtx: cannot write the output\n", stderr);
        return VTX_EXIT_FAILED;
    }
    return result;
}
