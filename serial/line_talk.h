// The one owner of the talk on the line. Every command whose answer counts
// ("l", "p", "t", "d", "u") goes out through here, and its answer comes back
// from here. It knows whether the line is settled (an answer was cut, or did
// not come and may still come late), drains what arrives unasked before a
// command, and hands back an answer only with the command that asked for it:
// the rest of an earlier answer is never taken for a later one.
#pragma once

#include <cstdint>

#include "serial/answer_read.h"

struct SerialPort;

// How one command and its answer went.
enum {
    TALK_ANSWERED = 0,    // the answer came whole: its end, or quiet behind a whole answer
    TALK_NOT_SENT = 1,    // refused (port busy) or the write failed: TalkAnswer::sent says which
    TALK_TALKING = 2,     // the line did not go quiet before the command: it was not sent
    TALK_SILENT = 3,      // nothing of the answer came within a read time
    TALK_CUT = 4,         // some of it came, then the line went quiet before its end
    TALK_FULL = 5,        // the buffer filled before its end
    TALK_ENDLESS = 6,     // the line kept talking past the read's time limit
    TALK_ABANDONED = 7,   // the between-reads hook ended the wait or the read
};

struct TalkAnswer {
    int sent;          // SERCOM_DONE once the command went out, else the write's result
    uint32_t start;    // where this command's answer begins in the buffer
    uint32_t length;   // its bytes from there to the end of the read
};

// Settles the line, sends the command and reads its answer into buffer (at
// most max bytes, a NUL behind them). end tells the answer's end (null: only
// the silence of the line ends it). Anything in front of the answer that
// belongs to an earlier one (its late rest) lies before answer->start.
int TalkCommand(SerialPort* port, const char* command, char* buffer, uint32_t max, AnswerReader reader,
                const AnswerEndTest* end, TalkAnswer* answer);

// Before a command: waits for the rest that a cut or late answer still owes,
// and reads and drops whatever arrived unasked, until the line is quiet.
// Costs nothing when the line is settled and nothing is waiting.
// ANSWER_QUIET, ANSWER_ENDLESS (the line never went quiet) or
// ANSWER_ABANDONED.
int SettleLine(SerialPort* port, char* buffer, uint32_t max, AnswerReader reader);

// 1 while an answer may still send its rest.
int LineUnsettled(const SerialPort* port);

// The caller found the answer wrong: what it said may not be over, so the
// next command first waits for a quiet line.
void MarkLineUnsettled(SerialPort* port);
