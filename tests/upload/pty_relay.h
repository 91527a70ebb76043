// A pseudo-terminal whose far end is a file-transfer program on pipes. The
// sender under test (or another program) opens the terminal; the relay
// copies the bytes both ways and may send every 'C' of the program twice, so
// that a program that repeats its start request only every few seconds still
// gives two 'C' in a row.
#pragma once

#include <sys/types.h>

struct PtyRelay {
    int master;             // our side of the terminal
    int slaveHold;          // keeps the terminal raw and open between clients
    char slavePath[128];    // what the client opens
    int doubleC;            // send each 'C' of the peer twice
    pid_t peer;             // the program on the pipes, 0 before it started
    int toPeer;             // its stdin
    int fromPeer;           // its stdout
    unsigned long long bytesToPeer;
    // When the bytes passed to the peer first reached each mark (seconds on
    // the monotonic clock; 0 while not reached), for timing a data phase.
    unsigned long long marks[2];
    double markSeconds[2];
};

// Makes the terminal; 1 on success.
int OpenPtyRelay(PtyRelay* relay, int doubleC);
// Starts argv in folder with stdin and stdout on pipes; stderr to /dev/null.
int StartRelayPeer(PtyRelay* relay, char* const argv[], const char* folder);
// Copies until the peer has exited and its output is passed on. With
// startAfterUpload the peer is started only once "u\r" came from the
// terminal, as the controller starts its receiver. Returns the peer's exit
// status, or -1.
int RunPtyRelay(PtyRelay* relay, char* const argv[], const char* folder, int startAfterUpload);
void ClosePtyRelay(PtyRelay* relay);
