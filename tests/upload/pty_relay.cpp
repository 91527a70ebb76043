#include "tests/upload/pty_relay.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

double Seconds() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

pid_t SpawnChild(char* const argv[], const char* folder, int in, int out)
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

void WriteHostFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
