// A serial device played by the test: records what the program writes, lets a scripted peer answer.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/byte_text.h"

// Moves only when the code sleeps or a read times out, so protocol limits cost no real time.
struct VirtualClock {
    uint32_t now = 0;
    uint64_t slept = 0;   // total ms passed to ZemSleep
};

struct ScriptedLine {
    VirtualClock clock;
    std::vector<unsigned char> written;        // every byte the program wrote, in order
    std::deque<unsigned char> pending;         // bytes that have arrived, waiting for the program to read
    // Bytes still on their way, each with the virtual time it arrives at, in order; a purge leaves them.
    std::deque<std::pair<uint32_t, unsigned char>> arriving;
    // Called after each write with the bytes just written; may queue answers.
    std::function<void(ScriptedLine&, const unsigned char*, uint32_t)> onWrite;

    int failOpen = 0, failGetState = 0, failGetTimeouts = 0, failConfigure = 0, failSetTimeouts = 0;   // that step fails
    int failReads = 0;              // this many reads fail, still handing over what they got
    int failWrites = 0, shortWrites = 0;   // this many writes fail, or end one byte short
    int gone = 0;                   // the device has gone: every read and write fails at once
    uint32_t bytesPerRead = 0;      // a slow line: what a read takes of what has arrived (0: all of it)
    int opens = 0, closes = 0, purges = 0, reads = 0, writes = 0;
    int stateRestored = 0, timeoutsRestored = 0;
    uint32_t baud = 0;

    // Bytes that arrive now, or behind the bytes still on their way, as on a real line.
    void Queue(const std::vector<unsigned char>& bytes) { QueueAt(clock.now, bytes.data(), bytes.size()); }
    void Queue(const char* text) { QueueAt(clock.now, reinterpret_cast<const unsigned char*>(text), strlen(text)); }
    void Queue(unsigned char byte) { QueueAt(clock.now, &byte, 1); }
    // Bytes that arrive at the virtual time at, or behind the bytes queued before them.
    void QueueAt(uint32_t at, const unsigned char* bytes, size_t count);
    // The time the last byte queued arrives; now when none is on its way.
    uint32_t LastArrival() const { return arriving.empty() ? clock.now : arriving.back().first; }
    std::string Written() const { return {written.begin(), written.end()}; }
};

// Queues a controller's answer: its bytes, each pause making the bytes behind it arrive that many ms after
// those before it. The first byte arrives now, or behind the bytes still on their way.
void QueueScript(ScriptedLine& line, const ByteText& script);
// The same for an answer written in the byte syntax of the test data ("{N}" a pause, "{K*}UNIT{*}" a repeat).
void QueueScript(ScriptedLine& line, const std::string& script);

// Plays the between-reads hook of whole-answer reads from a table's field: "" no hook, else its answers call by
// call ('1' reads on, any other stops the read), reading on once they are used up.
void ScriptAnswerHook(const std::string& answers);

// Installs the line as the serial device and its clock as the time source, with no hook;
// null restores the platform device and clock.
void InstallScriptedLine(ScriptedLine* line);
