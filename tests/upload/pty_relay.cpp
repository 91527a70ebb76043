#include "tests/upload/pty_relay.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

int OpenPtyRelay(PtyRelay* relay, int doubleC)
{
    memset(relay, 0, sizeof(*relay));
    relay->slaveHold = relay->toPeer = relay->fromPeer = -1;
    relay->doubleC = doubleC;
    relay->master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (relay->master < 0 || grantpt(relay->master) != 0 || unlockpt(relay->master) != 0)
        return 0;
    if (ptsname_r(relay->master, relay->slavePath, sizeof(relay->slavePath)) != 0)
        return 0;
    // Raw from the start: no echo or line editing before the client sets its modes.
    relay->slaveHold = open(relay->slavePath, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (relay->slaveHold < 0)
        return 0;
    termios t;
    tcgetattr(relay->slaveHold, &t);
    cfmakeraw(&t);
    tcsetattr(relay->slaveHold, TCSANOW, &t);
    signal(SIGPIPE, SIG_IGN);
    return 1;
}

int StartRelayPeer(PtyRelay* relay, char* const argv[], const char* folder)
{
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
        return 0;
    pid_t pid = fork();
    if (pid < 0)
        return 0;
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        if (folder && chdir(folder) != 0)
            _exit(127);
        execvp(argv[0], argv);
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    relay->peer = pid;
    relay->toPeer = in[1];
    relay->fromPeer = out[0];
    return 1;
}

static double MonotonicSeconds()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

static void NoteMarks(PtyRelay* relay)
{
    for (int i = 0; i < 2; i++)
        if (relay->marks[i] && !relay->markSeconds[i] && relay->bytesToPeer >= relay->marks[i])
            relay->markSeconds[i] = MonotonicSeconds();
}

static int WriteAll(int fd, const unsigned char* bytes, size_t count)
{
    while (count) {
        ssize_t n = write(fd, bytes, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 0;
        bytes += n;
        count -= static_cast<size_t>(n);
    }
    return 1;
}

// Peer output to the terminal, each 'C' doubled when asked.
static int PassPeerOutput(PtyRelay* relay, const unsigned char* bytes, ssize_t count)
{
    unsigned char out[2 * 4096];
    size_t n = 0;
    for (ssize_t i = 0; i < count; i++) {
        out[n++] = bytes[i];
        if (relay->doubleC && bytes[i] == 'C')
            out[n++] = 'C';
    }
    return WriteAll(relay->master, out, n);
}

int RunPtyRelay(PtyRelay* relay, char* const argv[], const char* folder, int startAfterUpload)
{
    if (!startAfterUpload && !relay->peer && !StartRelayPeer(relay, argv, folder))
        return -1;
    unsigned char seen[2] = {0, 0};
    unsigned char buffer[4096];
    // A peer that hangs is given up after two minutes.
    time_t giveUp = time(nullptr) + 120;
    for (;;) {
        if (time(nullptr) > giveUp)
            return -1;
        pollfd fds[2] = {{relay->master, POLLIN, 0}, {relay->fromPeer, POLLIN, 0}};
        int count = relay->fromPeer >= 0 ? 2 : 1;
        if (poll(fds, count, 200) < 0 && errno != EINTR)
            return -1;
        if (fds[0].revents & POLLIN) {
            ssize_t n = read(relay->master, buffer, sizeof(buffer));
            if (n > 0 && !relay->peer) {
                // Bytes before the receiver runs are its start command.
                for (ssize_t i = 0; i < n; i++) {
                    seen[0] = seen[1];
                    seen[1] = buffer[i];
                }
                if (seen[0] == 'u' && seen[1] == '\r' && !StartRelayPeer(relay, argv, folder))
                    return -1;
            } else if (n > 0) {
                relay->bytesToPeer += static_cast<unsigned long long>(n);
                WriteAll(relay->toPeer, buffer, static_cast<size_t>(n));
                NoteMarks(relay);
            }
        }
        if (count == 2 && (fds[1].revents & (POLLIN | POLLHUP))) {
            ssize_t n = read(relay->fromPeer, buffer, sizeof(buffer));
            if (n > 0) {
                PassPeerOutput(relay, buffer, n);
            } else {
                int status = 0;
                waitpid(relay->peer, &status, 0);
                relay->peer = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
        }
    }
}

void ClosePtyRelay(PtyRelay* relay)
{
    if (relay->peer > 0) {
        kill(relay->peer, SIGTERM);
        waitpid(relay->peer, nullptr, 0);
    }
    for (int fd : {relay->master, relay->slaveHold, relay->toPeer, relay->fromPeer})
        if (fd >= 0)
            close(fd);
}
