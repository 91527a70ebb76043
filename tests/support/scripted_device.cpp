#include "tests/support/scripted_device.h"

#include "lib/zem_time.h"
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
static void Purge(SerialHandle) { line->purges++, line->pending.clear(); }
static void Close(SerialHandle) { line->closes++; }

static int Write(SerialHandle, const void* bytes, uint32_t length, uint32_t* written)
{
    line->writes++;
    *written = 0;
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

static int Read(SerialHandle, void* buffer, uint32_t max, uint32_t* got)
{
    line->reads++;
    uint32_t n = 0, most = line->bytesPerRead && line->bytesPerRead < max ? line->bytesPerRead : max;
    for (auto* out = static_cast<unsigned char*>(buffer); n < most && !line->pending.empty(); line->pending.pop_front())
        out[n++] = line->pending.front();
    line->clock.now += n ? 1 : 990;   // an empty read waits out the line's read time-out
    *got = n;
    return line->failReads > 0 ? (line->failReads--, 0) : 1;
}

static const SerialDevice scriptedDevice = {
    Open, GetState, GetTimeouts, Configure, SetTimeouts, RestoreState, RestoreTimeouts, Purge, Write, Read, Close, Read,
};

void InstallScriptedLine(ScriptedLine* scripted)
{
    line = scripted;
    SerialSetDevice(scripted ? &scriptedDevice : nullptr);
    ZemSetClock(scripted ? &virtualClock : nullptr);
}
