// Pseudo-terminals and child processes for the tests that talk over a line:
// the simulated controller on its own terminal, and a relay whose far end is
// a file-transfer program on pipes. The relay may send every 'C' of the
// program twice, so that one that repeats its start request only every few
// seconds still gives two in a row.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// Starts argv in folder (when given) with stdin and stdout on the descriptors
// (-1: inherited) and stderr on /dev/null; the child's pid.
pid_t SpawnChild(char* const argv[], const char* folder, int in, int out);

struct PtyRelay {
    int master;             // our side of the terminal
    int slaveHold;          // keeps the terminal raw and open between clients
    char slavePath[128];    // what the client opens
    int doubleC;            // send each 'C' of the peer twice
    pid_t peer;             // the program on the pipes, 0 before it started
    int toPeer, fromPeer;   // its stdin and stdout
    unsigned long long bytesToPeer;
    // When the bytes passed to the peer first reached each mark (monotonic
    // seconds, 0 while not reached), for timing a data phase.
    unsigned long long marks[2];
    double markSeconds[2];
};

int OpenPtyRelay(PtyRelay* relay, int doubleC);
int StartRelayPeer(PtyRelay* relay, char* const argv[], const char* folder);
// Copies until the peer has exited and its output is passed on; with
// startAfterUpload the peer starts once "u\r" came, as the controller starts
// its receiver. The peer's exit status, or -1.
int RunPtyRelay(PtyRelay* relay, char* const argv[], const char* folder, int startAfterUpload);
void ClosePtyRelay(PtyRelay* relay);

// The simulator on a temporary copy of a controller folder.
struct SimProcess {
    int pid = -1;
    int port = -1;          // our raw open of its terminal
    std::string root;       // the controller folder
    std::string slave;      // path of the terminal
};

std::string MakeFolder(const char* copyFrom);   // copyFrom may be null
// argv: the simulator and its options; "--root" is added. 1 on success.
int StartSim(SimProcess* sim, std::vector<std::string> argv);
// SIGTERM, wait, close, remove the folder; the exit code (-1: not normal).
int StopSim(SimProcess* sim, bool keepFolder = false);
int WaitSimExit(SimProcess* sim, unsigned ms);   // its exit code or -1

int OpenPortRaw(const std::string& path);
void WriteBytes(int port, const std::string& bytes);
// What arrives until the line was quiet for quietMs, waiting firstMs for the first byte.
std::string ReadAnswer(int port, unsigned firstMs, unsigned quietMs = 150);
// Purges, writes, reads the answer.
std::string Command(int port, const std::string& text, unsigned firstMs = 700);
std::string ReadHostFile(const std::string& path);
void WriteHostFile(const std::string& path, const std::string& bytes);
int HiddenUploads(const std::string& folder);   // files of uploads under way
