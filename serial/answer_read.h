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

// The caller's test for the end of an answer whose format it knows.
struct AnswerEndTest {
    // 0 until the length bytes read so far hold the answer's end, then how
    // many bytes reach up to and including that end. state is the caller's.
    uint32_t (*arrived)(const char* text, uint32_t length, void* state);
    void* state;
    // 1 when an answer that went quiet before that end is whole all the
    // same; null: it never is.
    int (*wholeOnQuiet)(const char* text, uint32_t length);
    // Turns the state of a read cut before its end into one that finds that
    // end in a new text, where the rest of the answer would begin (at most
    // 32 bytes, written to rest). Null: rest is zeroed.
    void (*carry)(const void* state, void* rest);
    // 1 when an answer that did not come at all may still come late and
    // must not be taken for the next one (the answer to a delete).
    int owedWhenSilent;
};

// How a read ended.
enum {
    ANSWER_QUIET = 0,       // a read time went by without a byte (with no byte at all: no answer)
    ANSWER_ENDED = 1,       // the end test found the answer's end
    ANSWER_FULL = 2,        // the buffer filled before either
    ANSWER_ENDLESS = 3,     // the line kept talking past AnswerTimeLimit
    ANSWER_ABANDONED = 4,   // the between-reads hook ended the read
};

// Who reads: the user interface (listing handed to the hook as it is) or
// the upload worker, which owns a busy port and has no window to keep alive.
struct AnswerReader {
    int listing;
    int worker;
};

// Reads an answer into buffer, at most max bytes (max >= 1), with a NUL
// stored behind them; *count gets the bytes read. end may be null. Returns
// how the read ended. The line's talk goes through serial/line_talk.h,
// which alone calls this.
int ReadWholeAnswer(SerialPort* port, char* buffer, uint32_t max, AnswerReader reader, const AnswerEndTest* end,
                    uint32_t* count);

// Reads and throws away, max bytes at a time into buffer, until the line has
// been quiet for one read time: ANSWER_QUIET, or ANSWER_ENDLESS or
// ANSWER_ABANDONED as for a read of max bytes.
int AwaitQuietLine(SerialPort* port, char* buffer, uint32_t max, AnswerReader reader);

// How long a read of max bytes may go on: the line time of max bytes at the
// port's speed plus one read time, in milliseconds.
uint32_t AnswerTimeLimit(const SerialPort* port, uint32_t max);
