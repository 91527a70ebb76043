#include "tests/upload/pty_relay.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace fs = std::filesystem;

static double Seconds() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// argv in folder (when given), stdin and stdout on the descriptors (-1: inherited), stderr on /dev/null.
static pid_t SpawnChild(char* const argv[], const char* folder, int in, int out)
{
    pid_t pid = fork();
    if (pid == 0) {
        dup2(open("/dev/null", O_WRONLY), 2);
        if ((in >= 0 && dup2(in, 0) < 0) || (out >= 0 && dup2(out, 1) < 0) || (folder && chdir(folder) != 0))
            _exit(127);
        execvp(argv[0], argv);
        _exit(127);
    }
    return pid;
}

void WriteBytes(int fd, const std::string& bytes)
{
    for (size_t at = 0; at < bytes.size();) {
        ssize_t n = write(fd, bytes.data() + at, bytes.size() - at);
        if (n <= 0 && errno != EINTR)
            return;
        at += n > 0 ? static_cast<size_t>(n) : 0;
    }
}

int OpenPortRaw(const std::string& path)
{
    int port = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios mode{};
    if (port >= 0 && tcgetattr(port, &mode) == 0) {
        cfmakeraw(&mode);
        tcsetattr(port, TCSANOW, &mode);
    }
    return port;
}

int OpenPtyRelay(PtyRelay* relay, int doubleC)
{
    memset(relay, 0, sizeof(*relay));
    relay->slaveHold = relay->toPeer = relay->fromPeer = -1;
    relay->doubleC = doubleC;
    relay->master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (relay->master < 0 || grantpt(relay->master) != 0 || unlockpt(relay->master) != 0 ||
        ptsname_r(relay->master, relay->slavePath, sizeof(relay->slavePath)) != 0)
        return 0;
    relay->slaveHold = OpenPortRaw(relay->slavePath);   // raw before the client sets its modes: no echo
    signal(SIGPIPE, SIG_IGN);
    return relay->slaveHold >= 0;
}

static int StartRelayPeer(PtyRelay* relay, char* const argv[], const char* folder)
{
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
        return 0;
    relay->peer = SpawnChild(argv, folder, in[0], out[1]);
    close(in[0]);
    close(out[1]);
    relay->toPeer = in[1];
    relay->fromPeer = out[0];
    return relay->peer > 0;
}

int RunPtyRelay(PtyRelay* relay, char* const argv[], const char* folder, int startAfterUpload)
{
    if (!startAfterUpload && !relay->peer && !StartRelayPeer(relay, argv, folder))
        return -1;
    char last = 0, buffer[4096];
    for (time_t giveUp = time(nullptr) + 120; time(nullptr) <= giveUp;) {   // a hung peer
        pollfd fds[2] = {{relay->master, POLLIN, 0}, {relay->fromPeer, POLLIN, 0}};
        int count = relay->fromPeer >= 0 ? 2 : 1;
        if (poll(fds, count, 200) < 0 && errno != EINTR)
            return -1;
        ssize_t n = (fds[0].revents & POLLIN) ? read(relay->master, buffer, sizeof buffer) : 0;
        bool waiting = !relay->peer;
        for (ssize_t i = 0; waiting && i < n; last = buffer[i++])   // before the receiver runs: its start command
            if (last == 'u' && buffer[i] == '\r' && !StartRelayPeer(relay, argv, folder))
                return -1;
        if (n > 0 && !waiting) {
            relay->bytesToPeer += static_cast<unsigned long long>(n);
            WriteBytes(relay->toPeer, std::string(buffer, static_cast<size_t>(n)));
            for (int i = 0; i < 2; i++)
                if (relay->marks[i] && !relay->markSeconds[i] && relay->bytesToPeer >= relay->marks[i])
                    relay->markSeconds[i] = Seconds();
        }
        if (count == 2 && (fds[1].revents & (POLLIN | POLLHUP))) {
            std::string out;
            for (ssize_t i = 0, got = read(relay->fromPeer, buffer, sizeof buffer); i < got; i++)
                out += relay->doubleC && buffer[i] == 'C' ? std::string("CC") : std::string(1, buffer[i]);
            if (!out.empty()) {
                WriteBytes(relay->master, out);
                continue;
            }
            int status = 0;
            waitpid(relay->peer, &status, 0);
            relay->peer = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
    }
    return -1;
}

void ClosePtyRelay(PtyRelay* relay)
{
    if (relay->peer > 0)
        kill(relay->peer, SIGTERM), waitpid(relay->peer, nullptr, 0);
    for (int fd : {relay->master, relay->slaveHold, relay->toPeer, relay->fromPeer})
        if (fd >= 0)
            close(fd);
}

std::string MakeFolder(const char* copyFrom)
{
    char pattern[] = "/tmp/vantorix-test-XXXXXX";
    std::string folder = mkdtemp(pattern);
    if (copyFrom)
        fs::copy(copyFrom, folder, fs::copy_options::recursive);
    return folder;
}

int StartSim(SimProcess* sim, std::vector<std::string> args)   // it prints its terminal's path first
{
    args.insert(args.begin() + 1, {"--root", sim->root});
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return 0;
    sim->pid = SpawnChild(argv.data(), nullptr, -1, out[1]);
    close(out[1]);
    std::string line = ReadAnswer(out[0], 5000, 100);
    close(out[0]);
    sim->slave = line.substr(0, line.find('\n'));
    sim->port = line.find('\n') == std::string::npos ? -1 : OpenPortRaw(sim->slave);
    return sim->port >= 0;
}

int WaitSimExit(SimProcess* sim, unsigned ms)
{
    for (double end = Seconds() + ms / 1000.0; Seconds() < end; usleep(10000)) {
        int status = 0;
        if (waitpid(sim->pid, &status, WNOHANG) == sim->pid) {
            sim->pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
    }
    return -1;
}

int StopSim(SimProcess* sim)
{
    int code = sim->pid > 0 && kill(sim->pid, SIGTERM) == 0 ? WaitSimExit(sim, 5000) : -1;
    if (sim->pid > 0)
        kill(sim->pid, SIGKILL), waitpid(sim->pid, nullptr, 0);
    if (sim->port >= 0)
        close(sim->port);
    sim->pid = sim->port = -1;
    std::error_code ignored;
    if (!sim->root.empty())
        fs::remove_all(sim->root, ignored);
    return code;
}

std::string ReadAnswer(int port, unsigned firstMs, unsigned quietMs, unsigned maxMs)
{
    std::string answer;
    char piece[65536];
    const double end = Seconds() + maxMs / 1000.0;
    for (;;) {
        double left = end - Seconds();
        if (left <= 0)
            return answer;
        int waitMs = static_cast<int>(std::min<double>(answer.empty() ? firstMs : quietMs, left * 1000));
        pollfd watch{port, POLLIN, 0};
        if (poll(&watch, 1, waitMs) <= 0 || !(watch.revents & POLLIN))
            return answer;
        ssize_t got = read(port, piece, sizeof piece);
        if (got <= 0)
            return answer;
        answer.append(piece, static_cast<size_t>(got));
    }
}

std::string Command(int port, const std::string& text, unsigned firstMs)
{
    tcflush(port, TCIOFLUSH);
    WriteBytes(port, text);
    return ReadAnswer(port, firstMs);
}

std::string ReadHostFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteHostFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

int HiddenUploads(const std::string& folder)
{
    std::error_code ignored;
    return static_cast<int>(std::count_if(fs::directory_iterator(folder, ignored), {}, [](const fs::directory_entry& entry) {
        return entry.path().filename().string().starts_with(".sim-upload-");
    }));
}
