// Pseudo-terminals and child processes for the tests that talk over a line: a relay
// to a file-transfer program on pipes. The relay may double each 'C' of the program, which repeats its start
// request only every few seconds, so that the sender still sees two in a row.
#pragma once

#include <cstdlib>
#include <string>
#include <sys/types.h>

struct PtyRelay {
    int master, slaveHold;   // our side; the client's side held raw and open between clients
    char slavePath[128];
    int doubleC;
    pid_t peer;              // the program on the pipes, 0 before it started
    int toPeer, fromPeer;
    unsigned long long bytesToPeer, marks[2];   // when the bytes to the peer first reached each mark
    double markSeconds[2];                      // (monotonic seconds, 0 while not reached)
};

int OpenPtyRelay(PtyRelay* relay, int doubleC);
// Copies until the peer exited; with startAfterUpload the peer starts once "u\r" came. Its exit status or -1.
int RunPtyRelay(PtyRelay* relay, char* const argv[], const char* folder, int startAfterUpload);
void ClosePtyRelay(PtyRelay* relay);

// argv in folder (when given), stdin and stdout on the descriptors (-1: inherited), stderr on /dev/null.
pid_t SpawnChild(char* const argv[], const char* folder, int in, int out);
int OpenPortRaw(const std::string& path);
void WriteBytes(int port, const std::string& bytes);
void WriteHostFile(const std::string& path, const std::string& bytes);
double Seconds();   // monotonic

// Whether CI=true: there a test this machine can run fails instead of skipping.
inline int InCi()
{
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string(ci) == "true";
}
// A test that needs a tool this machine lacks says why it is skipped, and fails where CI=true.
#define SKIP_UNLESS_CI(why)   \
    do {                      \
        if (InCi())           \
            FAIL() << why;    \
        GTEST_SKIP() << why;  \
    } while (0)
