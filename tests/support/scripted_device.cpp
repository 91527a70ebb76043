#include "tests/support/scripted_device.h"

#include <cstring>

#include "serial/serial_device.h"

static ScriptedLine* line;

void ScriptedLine::Queue(const char* text)
{
    pending.insert(pending.end(), text, text + strlen(text));
}

static int Open(const char*, SerialHandle* handle)
{
    line->opens++;
    if (line->failOpen)
        return 0;
    *handle = 7;
    return 1;
}

static int GetState(SerialHandle, SerialSavedState* state)
{
    memset(state, 0xAB, sizeof(*state));
    return !line->failGetState;
}

static int GetTimeouts(SerialHandle, SerialSavedTimeouts* timeouts)
{
    memset(timeouts, 0xCD, sizeof(*timeouts));
    return !line->failGetTimeouts;
}

static int Configure(SerialHandle, uint32_t baud)
{
    line->baud = baud;
    return !line->failConfigure;
}

static int SetTimeouts(SerialHandle)
{
    return !line->failSetTimeouts;
}

static void RestoreState(SerialHandle, const SerialSavedState*)
{
    line->stateRestored++;
}

static void RestoreTimeouts(SerialHandle, const SerialSavedTimeouts*)
{
    line->timeoutsRestored++;
}

static void Purge(SerialHandle)
{
    line->purges++;
    line->pending.clear();
}

static int Write(SerialHandle, const void* bytes, uint32_t length, uint32_t* written)
{
    line->writes++;
    if (line->failWrites > 0) {
        line->failWrites--;
        *written = 0;
        return 0;
    }
    uint32_t count = length;
    if (line->shortWrites > 0 && count > 0) {
        line->shortWrites--;
        count--;
    }
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
    uint32_t n = 0;
    auto* out = static_cast<unsigned char*>(buffer);
    uint32_t most = line->bytesPerRead && line->bytesPerRead < max ? line->bytesPerRead : max;
    while (n < most && !line->pending.empty()) {
        out[n++] = line->pending.front();
        line->pending.pop_front();
    }
    line->clock.now += n ? 1 : 990;   // an empty read waits out the line's read time-out
    *got = n;
    if (line->failReads > 0) {
        line->failReads--;
        return 0;
    }
    return 1;
}

static void Close(SerialHandle)
{
    line->closes++;
}

static const SerialDevice scriptedDevice = {
    Open, GetState, GetTimeouts, Configure, SetTimeouts, RestoreState, RestoreTimeouts, Purge, Write, Read, Close, Read,
};

void InstallScriptedLine(ScriptedLine* scripted)
{
    line = scripted;
    if (!scripted) {
        SerialSetDevice(nullptr);
        InstallVirtualClock(nullptr);
        return;
    }
    SerialSetDevice(&scriptedDevice);
    InstallVirtualClock(&scripted->clock);
}
