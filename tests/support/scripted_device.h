// A serial device played by the test: it records what the program writes,
// lets a scripted peer answer, and times reads out on a virtual clock.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "tests/support/virtual_clock.h"

struct ScriptedLine {
    VirtualClock clock;
    std::vector<unsigned char> written;        // every byte the program wrote, in order
    std::deque<unsigned char> pending;         // bytes waiting for the program to read
    // Called after each write with the bytes just written; may queue answers.
    std::function<void(ScriptedLine&, const unsigned char*, uint32_t)> onWrite;

    int failOpen = 0;               // open reports failure
    int failGetState = 0;           // reading the line settings fails
    int failGetTimeouts = 0;        // reading the time-outs fails
    int failConfigure = 0;          // configure reports failure
    int failSetTimeouts = 0;        // setting the time-outs fails
    int failReads = 0;              // this many reads fail, still handing over what they got
    int failWrites = 0;             // this many writes fail at the platform level
    int shortWrites = 0;            // this many writes end one byte short
    uint32_t bytesPerRead = 0;      // a slow line: what arrives during one read (0: all that waits)
    int opens = 0, closes = 0, purges = 0, reads = 0, writes = 0;
    int stateRestored = 0, timeoutsRestored = 0;
    uint32_t baud = 0;

    void Queue(const std::vector<unsigned char>& bytes) { pending.insert(pending.end(), bytes.begin(), bytes.end()); }
    void Queue(const char* text);
    void Queue(unsigned char byte) { pending.push_back(byte); }
};

// Installs the line as the serial device and its clock as the time source;
// null restores the platform device and clock.
void InstallScriptedLine(ScriptedLine* line);
