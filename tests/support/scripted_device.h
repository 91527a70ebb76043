// A serial device played by the test: records what the program writes, lets a scripted peer answer.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

// Moves only when the code sleeps or a read times out, so protocol limits cost no real time.
struct VirtualClock {
    uint32_t now = 0;
    uint64_t slept = 0;   // total ms passed to ZemSleep
};

struct ScriptedLine {
    VirtualClock clock;
    std::vector<unsigned char> written;        // every byte the program wrote, in order
    std::deque<unsigned char> pending;         // bytes waiting for the program to read
    // Called after each write with the bytes just written; may queue answers.
    std::function<void(ScriptedLine&, const unsigned char*, uint32_t)> onWrite;

    int failOpen = 0, failGetState = 0, failGetTimeouts = 0, failConfigure = 0, failSetTimeouts = 0;   // that step fails
    int failReads = 0;              // this many reads fail, still handing over what they got
    int failWrites = 0, shortWrites = 0;   // this many writes fail, or end one byte short
    uint32_t bytesPerRead = 0;      // a slow line: what arrives during one read (0: all that waits)
    int opens = 0, closes = 0, purges = 0, reads = 0, writes = 0;
    int stateRestored = 0, timeoutsRestored = 0;
    uint32_t baud = 0;

    void Queue(const std::vector<unsigned char>& bytes) { pending.insert(pending.end(), bytes.begin(), bytes.end()); }
    void Queue(const char* text) { pending.insert(pending.end(), text, text + strlen(text)); }
    void Queue(unsigned char byte) { pending.push_back(byte); }
    std::string Written() const { return {written.begin(), written.end()}; }
};

// Installs the line as the serial device and its clock as the time source;
// null restores the platform device and clock.
void InstallScriptedLine(ScriptedLine* line);
