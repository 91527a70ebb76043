// Reading one controller answer whole: piece by piece while bytes keep
// coming, until the line has been quiet for a whole read time, the buffer is
// full, the caller's test finds the answer's end, or the line has talked
// for longer than a full buffer takes. The reader knows no answer's format.
#pragma once

#include <cstdint>

struct SerialPort;

// Every controller answer is read into this buffer; a read takes at most
// ANSWER_READ_MAX bytes and stores a 0 byte behind them.
constexpr uint32_t ANSWER_BUFFER_SIZE = 262144;
constexpr uint32_t ANSWER_READ_MAX = ANSWER_BUFFER_SIZE - 1;
extern char AnswerBuffer[ANSWER_BUFFER_SIZE];

// Called between two reads of an answer, or of the wait for a quiet line,
// that has gone on past one read time, with the bytes read so far, so that a
// long read can keep a window alive; 1 reads on, 0 ends the read at once.
// None by default.
struct AnswerReadHooks {
    int (*betweenReads)(int listing, uint32_t bytesSoFar);
};
extern AnswerReadHooks AnswerReadHook;

// The caller's test for the end of an answer whose format it knows: 1 once
// the length bytes read so far hold that end. state is the caller's own.
struct AnswerEndTest {
    int (*arrived)(const char* text, uint32_t length, void* state);
    void* state;
};

// How a read ended.
enum {
    ANSWER_QUIET = 0,       // a read time went by without a byte (with no byte at all: no answer)
    ANSWER_ENDED = 1,       // the end test found the answer's end
    ANSWER_FULL = 2,        // the buffer filled before either
    ANSWER_ENDLESS = 3,     // the line kept talking past AnswerTimeLimit
    ANSWER_ABANDONED = 4,   // the between-reads hook ended the read
};

// Reads an answer into buffer, at most max bytes (max >= 1), with a NUL
// stored behind them; *count gets the bytes read. end may be null. listing
// is handed to the hook as it is. Returns how the read ended.
int ReadWholeAnswer(SerialPort* port, char* buffer, uint32_t max, int listing, const AnswerEndTest* end,
                    uint32_t* count);

// Reads and throws away, max bytes at a time into buffer, until the line has
// been quiet for one read time, so that the rest of a broken answer is not
// taken for the next one: ANSWER_QUIET, or ANSWER_ENDLESS or
// ANSWER_ABANDONED as for a read of max bytes.
int AwaitQuietLine(SerialPort* port, char* buffer, uint32_t max, int listing);

// After a read that the hook ended, the rest of its answer may still be on
// its way and would pass for the start of the next answer: waits for a quiet
// line as AwaitQuietLine does. ANSWER_QUIET at once when no read was cut.
int SettleCutAnswer(SerialPort* port, char* buffer, uint32_t max);

// How long a read of max bytes may go on: the line time of max bytes at the
// port's speed plus one read time, in milliseconds.
uint32_t AnswerTimeLimit(const SerialPort* port, uint32_t max);
