#include "tests/support/scripted_device.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "lib/zem_time.h"
#include "serial/answer_read.h"
#include "serial/serial_device.h"

static ScriptedLine* line;
static const ZemClock virtualClock = {[](void*) { return line->clock.now; },
                                      [](void*, uint32_t ms) { line->clock.now += ms, line->clock.slept += ms; }, nullptr};

// Saved state and time-outs are filled with a pattern, as a platform would.
static int Open(const char*, SerialHandle* handle) { return line->opens++, !line->failOpen && (*handle = 7); }
static int GetState(SerialHandle, SerialSavedState* s) { return memset(s, 0xAB, sizeof(*s)), !line->failGetState; }
static int GetTimeouts(SerialHandle, SerialSavedTimeouts* t) { return memset(t, 0xCD, sizeof(*t)), !line->failGetTimeouts; }
static int Configure(SerialHandle, uint32_t baud) { return line->baud = baud, !line->failConfigure; }
static int SetTimeouts(SerialHandle) { return !line->failSetTimeouts; }
static void RestoreState(SerialHandle, const SerialSavedState*) { line->stateRestored++; }
static void RestoreTimeouts(SerialHandle, const SerialSavedTimeouts*) { line->timeoutsRestored++; }
// Moves what has arrived by now from the way into the driver.
static void TakeArrived()
{
    for (; !line->arriving.empty() && line->arriving.front().first <= line->clock.now; line->arriving.pop_front())
        line->pending.push_back(line->arriving.front().second);
}

static void Purge(SerialHandle) { TakeArrived(), line->purges++, line->pending.clear(); }
static void Close(SerialHandle) { line->closes++; }

static int Write(SerialHandle, const void* bytes, uint32_t length, uint32_t* written)
{
    line->writes++;
    *written = 0;
    if (line->gone)
        return 0;
    if (line->failWrites > 0)
        return line->failWrites--, 0;
    uint32_t count = length - (line->shortWrites > 0 && length > 0 ? (line->shortWrites--, 1) : 0);
    auto* p = static_cast<const unsigned char*>(bytes);
    line->written.insert(line->written.end(), p, p + count);
    *written = count;
    if (line->onWrite)
        line->onWrite(*line, p, count);
    return 1;
}

// A read waits its read time for the first byte; a byte on its way within that time ends the wait.
static int Read(SerialHandle, void* buffer, uint32_t max, uint32_t* got)
{
    line->reads++;
    *got = 0;
    if (line->gone)
        return 0;   // at once, as a driver whose device has gone
    TakeArrived();
    if (line->pending.empty() && !line->arriving.empty() && line->arriving.front().first - line->clock.now < 990)
        line->clock.now = line->arriving.front().first, TakeArrived();
    uint32_t n = 0, most = line->bytesPerRead && line->bytesPerRead < max ? line->bytesPerRead : max;
    for (auto* out = static_cast<unsigned char*>(buffer); n < most && !line->pending.empty(); line->pending.pop_front())
        out[n++] = line->pending.front();
    line->clock.now += n ? 1 : 990;   // an empty read waits out the line's read time-out
    *got = n;
    return line->failReads > 0 ? (line->failReads--, 0) : 1;
}

static uint32_t Waiting(SerialHandle) { return TakeArrived(), static_cast<uint32_t>(line->pending.size()); }

static const SerialDevice scriptedDevice = {
    Open, GetState, GetTimeouts, Configure, SetTimeouts, RestoreState, RestoreTimeouts, Purge, Write, Read, Close, Read,
    Waiting,
    [](SerialHandle) { return line->gone; },
};

void ScriptedLine::QueueAt(uint32_t at, const unsigned char* bytes, size_t count)
{
    at = std::max(at, LastArrival());
    for (size_t i = 0; i < count; i++) {
        if (arriving.empty() && at <= clock.now)
            pending.push_back(bytes[i]);
        else
            arriving.emplace_back(at, bytes[i]);
    }
}

void QueueScript(ScriptedLine& scripted, const ByteText& script)
{
    uint32_t at = scripted.LastArrival();
    size_t from = 0;
    for (const auto& [before, ms] : script.pauses) {
        scripted.QueueAt(at, reinterpret_cast<const unsigned char*>(script.bytes.data() + from), before - from);
        at += ms, from = before;
    }
    scripted.QueueAt(at, reinterpret_cast<const unsigned char*>(script.bytes.data() + from), script.bytes.size() - from);
}

void QueueScript(ScriptedLine& scripted, const std::string& script)
{
    ByteText read;
    std::string problem = ReadByteText(script, &read);
    if (!problem.empty())
        ADD_FAILURE() << problem << " in the script '" << script << "'";
    QueueScript(scripted, read);
}

static std::string hookAnswers;
static int AnswerFromScript(int, uint32_t)
{
    int goOn = hookAnswers.empty() || hookAnswers[0] == '1';
    hookAnswers.erase(0, hookAnswers.empty() ? 0 : 1);
    return goOn;
}

void ScriptAnswerHook(const std::string& answers)
{
    hookAnswers = answers;
    AnswerReadHook.betweenReads = answers.empty() ? nullptr : AnswerFromScript;
}

void InstallScriptedLine(ScriptedLine* scripted)
{
    line = scripted;
    ScriptAnswerHook("");
    SerialSetDevice(scripted ? &scriptedDevice : nullptr);
    ZemSetClock(scripted ? &virtualClock : nullptr);
}
