// vantorix-sim: a simulated controller on a pseudo-terminal.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sim/sim.h"

static void RequestStop(int)
{
    SimStopRequested = 1;
}

static void InstallSignals()
{
    struct sigaction action{};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

// The link is replaced when it is a link already, never when it is a file.
static int MakeLink(const std::string& link, const char* target)
{
    struct stat info{};
    if (lstat(link.c_str(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            std::fprintf(stderr, "vantorix-sim: %s exists and is no symlink\n", link.c_str());
            return 0;
        }
        unlink(link.c_str());
    }
    if (symlink(target, link.c_str()) != 0) {
        std::fprintf(stderr, "vantorix-sim: cannot make the link %s\n", link.c_str());
        return 0;
    }
    return 1;
}

// Only our own link goes: another simulator may have taken the name since.
static void RemoveLink(const std::string& link, const char* target)
{
    char pointsTo[PATH_MAX];
    ssize_t length = readlink(link.c_str(), pointsTo, sizeof pointsTo - 1);
    if (length < 0)
        return;
    pointsTo[length] = 0;
    if (std::strcmp(pointsTo, target) == 0)
        unlink(link.c_str());
}

int main(int argc, char** argv)
{
    int parsed = ParseSimOptions(argc, argv);
    if (parsed != 0)
        return parsed == 1 ? 0 : 2;
    InstallSignals();
    if (!PrepareStorage())
        return 1;
    if (!LineOpen()) {
        std::fprintf(stderr, "vantorix-sim: cannot open a pseudo-terminal\n");
        return 1;
    }
    std::string slave = LineSlavePath();
    if (!Options.link.empty() && !MakeLink(Options.link, slave.c_str())) {
        LineClose();
        return 1;
    }
    std::printf("%s\n", slave.c_str());
    std::fflush(stdout);
    int code = ServeCommands();
    LineLinger(1000);
    if (!Options.link.empty())
        RemoveLink(Options.link, slave.c_str());
    LineClose();
    SimTrace("ended");
    return code;
}
