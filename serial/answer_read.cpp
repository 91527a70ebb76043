// One loop reads every answer that is a text of unknown length: the listing,
// the parameter list and the tool list.
#include "serial/answer_read.h"

#include "lib/zem_time.h"
#include "serial/serial_device.h"
#include "serial/serial_port.h"

char AnswerBuffer[ANSWER_BUFFER_SIZE];
AnswerReadHooks AnswerReadHook;

// Not an ending: the read goes on.
constexpr int READ_ON = -1;

// A byte on the line is a start bit, eight data bits and a stop bit.
constexpr uint64_t BITS_PER_BYTE = 10;
// Keeps the tick arithmetic of a limit far from its wrap.
constexpr uint64_t LONGEST_LIMIT_MS = 0x7FFFFFFF;

uint32_t AnswerTimeLimit(const SerialPort* port, uint32_t max)
{
    // A port opened at 0 bit/s takes no time limit from it, so it gets the slowest one.
    uint64_t baud = port->baud ? port->baud : 1;
    uint64_t limit = static_cast<uint64_t>(max) * BITS_PER_BYTE * 1000 / baud + SERIAL_READ_TIME_MS;
    return static_cast<uint32_t>(limit < LONGEST_LIMIT_MS ? limit : LONGEST_LIMIT_MS);
}

// Between two reads of one answer: ANSWER_ENDLESS past the limit,
// ANSWER_ABANDONED when the hook says so, else READ_ON.
static int CheckBetweenReads(uint32_t began, uint32_t limit, AnswerReader reader, uint32_t bytesSoFar)
{
    uint32_t spent = ZemTickCount() - began;
    if (spent >= limit)
        return ANSWER_ENDLESS;
    // An answer within one read time is over before anyone would notice.
    if (spent >= SERIAL_READ_TIME_MS && !reader.worker && AnswerReadHook.betweenReads &&
        !AnswerReadHook.betweenReads(reader.listing, bytesSoFar))
        return ANSWER_ABANDONED;
    return READ_ON;
}

int ReadWholeAnswer(SerialPort* port, char* buffer, uint32_t max, AnswerReader reader, const AnswerEndTest* end,
                    uint32_t* count)
{
    const uint32_t began = ZemTickCount();
    const uint32_t limit = AnswerTimeLimit(port, max);
    uint32_t total = 0;
    *count = 0;
    for (;;) {
        uint32_t got = ZemSerComReadArrived(port, buffer + total, max - total, reader.worker);
        total += got;
        *count = total;
        if (got == 0)
            return ANSWER_QUIET;   // a whole read time without a byte (or the port is busy)
        if (end && end->arrived(buffer, total, end->state))
            return ANSWER_ENDED;
        if (total == max)
            return ANSWER_FULL;
        int ending = CheckBetweenReads(began, limit, reader, total);
        if (ending != READ_ON)
            return ending;
    }
}

int AwaitQuietLine(SerialPort* port, char* buffer, uint32_t max, AnswerReader reader)
{
    const uint32_t began = ZemTickCount();
    const uint32_t limit = AnswerTimeLimit(port, max);
    uint32_t thrown = 0;
    for (;;) {
        uint32_t got = ZemSerComReadArrived(port, buffer, max, reader.worker);
        if (got == 0)
            return ANSWER_QUIET;
        thrown += got;
        int ending = CheckBetweenReads(began, limit, reader, thrown);
        if (ending != READ_ON)
            return ending;
    }
}
