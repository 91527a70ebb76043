// Pseudo-terminals and child processes for the tests that talk over a line: the
// simulated controller on its own terminal, and a relay to a file-transfer program
// on pipes. The relay may double each 'C' of the program, which repeats its start
// request only every few seconds, so that the sender still sees two in a row.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

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

struct SimProcess {   // the simulator on a temporary copy of a controller folder
    int pid = -1, port = -1;
    std::string root, slave;
};

std::string MakeFolder(const char* copyFrom);   // copyFrom may be null
int StartSim(SimProcess* sim, std::vector<std::string> argv);   // "--root" is added; 1 on success
int StopSim(SimProcess* sim);                                   // exit code (-1: not normal); removes the folder
int WaitSimExit(SimProcess* sim, unsigned ms);
int OpenPortRaw(const std::string& path);
void WriteBytes(int port, const std::string& bytes);
// What arrives until the line was quiet for quietMs, waiting firstMs for the first byte, and at most for maxMs
// in all (a line that never goes quiet).
std::string ReadAnswer(int port, unsigned firstMs, unsigned quietMs = 150, unsigned maxMs = 60000);
std::string Command(int port, const std::string& text, unsigned firstMs = 700);   // purge, write, read
std::string ReadHostFile(const std::string& path);
void WriteHostFile(const std::string& path, const std::string& bytes);
int HiddenUploads(const std::string& folder);   // files of uploads under way
