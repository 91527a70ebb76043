// Command line of vantorix-sim.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim/sim.h"
#include "vbrowser_version.h"

SimOptions Options;

static void PrintHelp()
{
    std::printf(
        "Usage: vantorix-sim --root DIR [options]\n"
        "\n"
        "A simulated Vantorix controller on a pseudo-terminal. It prints the\n"
        "path of the terminal on stdout and serves until SIGINT or SIGTERM; a\n"
        "client may close and reopen the port as often as it likes.\n"
        "\n"
        "The top-level folders of DIR are the controller's top-level\n"
        "directories: \"ram\" is the RAM disk and \"ROM\" the flash disk (both\n"
        "made when missing); other top-level folders are listed but read-only.\n"
        "Names that begin with a dot, and symbolic links, are never listed. A\n"
        "file whose host copy nobody may write is write-protected: its delete is\n"
        "answered \"Error: file is write-protected\" and it stays.\n"
        "\n"
        "Commands answered (each ended by CR; a LF is ignored):\n"
        "  l          the directory listing with the free bytes of both disks\n"
        "  p          \"p\" and the parameter list\n"
        "  t          \"t\" and the tool list; exactly \"t\\r\\n\" when there is none\n"
        "  d PATH     delete one file (a relative PATH starts in /ram/cncprg/)\n"
        "  u          receive a batch upload (YMODEM style); a header without a\n"
        "             directory stores into /ram/cncprg/\n"
        "\n"
        "Options:\n"
        "  --root DIR          controller storage (required)\n"
        "  --link PATH         make PATH a symlink to the terminal (removed at exit)\n"
        "  --ram-size BYTES    RAM disk capacity (default 1048576)\n"
        "  --flash-size BYTES  flash disk capacity (default 4194304)\n"
        "  --mode crc|checksum\n"
        "                      start requests: 'C' for 1024-byte blocks with\n"
        "                      CRC-16 (default), NAK for 128-byte blocks with an\n"
        "                      8-bit checksum\n"
        "  --baud N            pace both directions at N bit/s (10 bits a byte);\n"
        "                      default: as fast as the terminal allows\n"
        "  --params FILE       parameter list (default DIR/.params.txt)\n"
        "  --tools FILE        tool list (default DIR/.tools.txt; missing = none)\n"
        "  --fault FAULT        switch a fault on (repeatable; list below)\n"
        "  --control FILE      more fault specs, one a line, read again before\n"
        "                      every command; '#' starts a comment line. When its\n"
        "                      text changes, the counts of the counted faults\n"
        "                      start again\n"
        "  --silence-ms MS     inactivity that aborts an upload (default 5000; a\n"
        "                      wait for a header lasts at least three requests)\n"
        "  --receive-now       start one upload session at once, without \"u\"\n"
        "  --once-upload       exit after the first upload session; the exit\n"
        "                      code is 0 when it ended with the closing header\n"
        "  --verbose           trace commands and frames on stderr\n"
        "  --help              this text\n"
        "  --version           the version\n"
        "\n");
    PrintFaultHelp();
}

static int ParseNumber(const char* text, uint64_t* out)
{
    if (text == nullptr || *text < '0' || *text > '9')
        return 0;
    char* end = nullptr;
    unsigned long long value = std::strtoull(text, &end, 10);
    if (*end != 0)
        return 0;
    *out = value;
    return 1;
}

// Takes the value of an option given as "--name VALUE".
static const char* OptionValue(int argc, char** argv, int* index)
{
    if (*index + 1 >= argc) {
        std::fprintf(stderr, "vantorix-sim: %s needs a value\n", argv[*index]);
        return nullptr;
    }
    *index += 1;
    return argv[*index];
}

static int ParseOne(int argc, char** argv, int* i)
{
    const char* arg = argv[*i];
    const char* value = nullptr;
    uint64_t number = 0;
    if (std::strcmp(arg, "--once-upload") == 0) {
        Options.onceUpload = 1;
        return 1;
    }
    if (std::strcmp(arg, "--receive-now") == 0) {
        Options.receiveNow = 1;
        return 1;
    }
    if (std::strcmp(arg, "--verbose") == 0) {
        Options.verbose = 1;
        return 1;
    }
    value = OptionValue(argc, argv, i);
    if (value == nullptr)
        return 0;
    if (std::strcmp(arg, "--root") == 0)
        Options.root = value;
    else if (std::strcmp(arg, "--link") == 0)
        Options.link = value;
    else if (std::strcmp(arg, "--params") == 0)
        Options.params = value;
    else if (std::strcmp(arg, "--tools") == 0)
        Options.tools = value;
    else if (std::strcmp(arg, "--control") == 0)
        Options.control = value;
    else if (std::strcmp(arg, "--mode") == 0) {
        if (std::strcmp(value, "crc") == 0)
            Options.crcMode = 1;
        else if (std::strcmp(value, "checksum") == 0)
            Options.crcMode = 0;
        else
            return 0;
    } else if (std::strcmp(arg, "--fault") == 0) {
        if (!AddCommandLineFault(value)) {
            std::fprintf(stderr, "vantorix-sim: unknown fault \"%s\"\n", value);
            return 0;
        }
    } else if (ParseNumber(value, &number)) {
        if (std::strcmp(arg, "--ram-size") == 0)
            Options.ramSize = number;
        else if (std::strcmp(arg, "--flash-size") == 0)
            Options.flashSize = number;
        else if (std::strcmp(arg, "--baud") == 0 && number <= 10000000)
            Options.baud = static_cast<uint32_t>(number);
        else if (std::strcmp(arg, "--silence-ms") == 0 && number > 0 && number <= 3600000)
            Options.silenceMs = static_cast<uint32_t>(number);
        else
            return 0;
    } else {
        return 0;
    }
    return 1;
}

int ParseSimOptions(int argc, char** argv)
{
    Options.ramSize = 1048576;
    Options.flashSize = 4194304;
    Options.silenceMs = 5000;
    Options.crcMode = 1;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintHelp();
            return 1;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("vantorix-sim " VBROWSER_VERSION);
            return 1;
        }
        int first = i;
        if (!ParseOne(argc, argv, &i)) {
            std::fprintf(stderr, "vantorix-sim: bad option or value: %s (see --help)\n", argv[first]);
            return 2;
        }
    }
    if (Options.root.empty()) {
        std::fprintf(stderr, "vantorix-sim: --root DIR is required (see --help)\n");
        return 2;
    }
    if (Options.params.empty())
        Options.params = Options.root + "/.params.txt";
    if (Options.tools.empty())
        Options.tools = Options.root + "/.tools.txt";
    return 0;
}
