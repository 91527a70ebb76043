// Commands and their answers on the one line, each answer tied to its own
// command.
#include "serial/line_talk.h"

#include <cstring>

#include "serial/serial_port.h"

// The rest of an answer that was cut, or that did not come, may still be on
// its way: the first end of that answer to arrive closes it.
static void OweRest(SerialPort* port, const AnswerEndTest* end)
{
    port->lineUnsettled = 1;
    port->restEnd = end ? end->arrived : nullptr;
    memset(port->restState, 0, sizeof(port->restState));
    if (end && end->carry)
        end->carry(end->state, port->restState);
}

static void Settled(SerialPort* port)
{
    port->lineUnsettled = 0;
    port->restEnd = nullptr;
}

int LineUnsettled(const SerialPort* port)
{
    return port->lineUnsettled;
}

void MarkLineUnsettled(SerialPort* port)
{
    if (!port->lineUnsettled)
        OweRest(port, nullptr);
}

// Talk that nobody asked for is read (so the traffic log shows it) and
// dropped until the line is quiet; with nothing waiting this costs nothing.
static int DropUnasked(SerialPort* port, char* buffer, uint32_t max, AnswerReader reader)
{
    return ZemSerComWaiting(port) ? AwaitQuietLine(port, buffer, max, reader) : ANSWER_QUIET;
}

int SettleLine(SerialPort* port, char* buffer, uint32_t max, AnswerReader reader)
{
    // A port that an upload holds is not the caller's to read.
    if (!reader.worker && ZemSerComIsBusy(port))
        return ANSWER_QUIET;
    if (!port->lineUnsettled)
        return DropUnasked(port, buffer, max, reader);
    int ending;
    if (port->restEnd) {
        const AnswerEndTest rest = {port->restEnd, port->restState, nullptr, nullptr, 0};
        uint32_t count = 0;
        ending = ReadWholeAnswer(port, buffer, max, reader, &rest, &count);
        // Nothing in a read time: the rest may come later still, and the
        // next answer's read looks for its end first.
        if (ending == ANSWER_QUIET && count == 0)
            return ANSWER_QUIET;
        if (ending == ANSWER_ENDED)
            ending = DropUnasked(port, buffer, max, reader);
        else if (ending == ANSWER_FULL)
            ending = AwaitQuietLine(port, buffer, max, reader);
    } else {
        ending = AwaitQuietLine(port, buffer, max, reader);
    }
    // The line spoke and then kept quiet for a read time: whatever was owed is over.
    if (ending == ANSWER_QUIET)
        Settled(port);
    return ending;
}

// The end test of a read that may begin with the rest of an earlier answer:
// that rest's end comes first, and only behind it does the command's own
// answer begin.
struct JoinedEnd {
    SerialPort* port;
    const AnswerEndTest* own;
    uint32_t start;   // where the command's own answer begins
    int restOpen;     // the earlier answer's end has not come yet
};

static uint32_t JoinedEndArrived(const char* text, uint32_t length, void* state)
{
    JoinedEnd* joined = static_cast<JoinedEnd*>(state);
    if (joined->restOpen) {
        uint32_t restEnd = joined->port->restEnd(text, length, joined->port->restState);
        if (!restEnd)
            return 0;
        joined->start = restEnd;
        joined->restOpen = 0;
    }
    if (!joined->own)
        return 0;
    uint32_t end = joined->own->arrived(text + joined->start, length - joined->start, joined->own->state);
    return end ? joined->start + end : 0;
}

// What a read that ended on the quiet line gave the command.
static int QuietOutcome(SerialPort* port, const AnswerEndTest* end, const JoinedEnd* joined, const char* text,
                        uint32_t length, uint32_t count)
{
    if (joined->restOpen) {
        // All that came may be the earlier answer's rest: none of it is this
        // command's answer. Once the line has spoken and gone quiet, the
        // next command starts on a quiet line.
        if (count == 0)
            return TALK_SILENT;
        Settled(port);
        return TALK_CUT;
    }
    if (length == 0) {
        if (end && end->owedWhenSilent)
            OweRest(port, end);
        else
            Settled(port);
        // Only the earlier answer's rest came: the controller spoke, but
        // not to this command.
        return count ? TALK_CUT : TALK_SILENT;
    }
    if (!end || (end->wholeOnQuiet && end->wholeOnQuiet(text, length))) {
        Settled(port);
        return TALK_ANSWERED;
    }
    OweRest(port, end);
    return TALK_CUT;
}

int TalkCommand(SerialPort* port, const char* command, char* buffer, uint32_t max, AnswerReader reader,
                const AnswerEndTest* end, TalkAnswer* answer)
{
    *answer = TalkAnswer{SERCOM_BUSY, 0, 0};
    if (!reader.worker && ZemSerComIsBusy(port))
        return TALK_NOT_SENT;
    int settled = SettleLine(port, buffer, max, reader);
    if (settled == ANSWER_ABANDONED)
        return TALK_ABANDONED;
    if (settled != ANSWER_QUIET)
        return TALK_TALKING;
    answer->sent = ZemSerComSendCmd(port, command, reader.worker);
    if (answer->sent != SERCOM_DONE)
        return TALK_NOT_SENT;

    JoinedEnd joined = {port, end, 0, port->lineUnsettled && port->restEnd != nullptr};
    const AnswerEndTest test = {JoinedEndArrived, &joined, nullptr, nullptr, 0};
    uint32_t count = 0;
    int ending = ReadWholeAnswer(port, buffer, max, reader, joined.restOpen || end ? &test : nullptr, &count);
    if (joined.restOpen)
        joined.start = count;
    answer->start = joined.start;
    answer->length = count - joined.start;
    switch (ending) {
    case ANSWER_ENDED:
        Settled(port);
        return TALK_ANSWERED;
    case ANSWER_QUIET:
        return QuietOutcome(port, end, &joined, buffer + joined.start, answer->length, count);
    default:
        // The answer's rest is still to come; an earlier answer's rest that
        // has not ended yet stays the one owed.
        if (!joined.restOpen)
            OweRest(port, end);
        return ending == ANSWER_FULL ? TALK_FULL : ending == ANSWER_ENDLESS ? TALK_ENDLESS : TALK_ABANDONED;
    }
}
