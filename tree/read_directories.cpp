// Fetches the controller's listing over the connected port, with a fixed
// number of attempts, into the one DeviceTree.
#include "app/command_line.h"
#include "app/message_texts.h"
#include "lib/zem_ui.h"
#include "res/resource_ids.h"
#include "serial/answer_read.h"
#include "serial/serial_port.h"
#include "tree/device_tree.h"
#include "tree/listing_end.h"

uint32_t ListingAttemptsOverride;
uint32_t ListingGeneration;

static int lastOutcome = READ_NOT_CONNECTED;

// One sentence per failed outcome; the message follows the last attempt only.
// -1: no message.
static const int outcomeMessages[] = {
    -1, MSG_CANT_SEND, MSG_NO_ANSWER, MSG_ANSWER_NOT_CORRECT, -1, -1,
};

const char* ReadOutcomeMessage(int outcome)
{
    if (outcome < 0 || outcome >= static_cast<int>(sizeof(outcomeMessages) / sizeof(outcomeMessages[0])) ||
        outcomeMessages[outcome] < 0)
        return nullptr;
    return MessageText(outcomeMessages[outcome]);
}

int LastReadOutcome()
{
    return lastOutcome;
}

// A program started for an unattended upload waits for a controller that may
// still be busy, so it tries twice as often.
static uint32_t ListingAttempts()
{
    if (ListingAttemptsOverride)
        return ListingAttemptsOverride;
    return AutoConnect ? 4 : 2;
}

// A listing counts only when it is whole: its end came, or it went quiet
// right behind the free-space lines that a controller sends last. A pause in
// the middle, a full buffer or a line that would not stop leaves it cut.
static int ListingComplete(int ending, const char* text, uint32_t count)
{
    if (ending == ANSWER_ENDED)
        return 1;
    return ending == ANSWER_QUIET && ListingEndsOnFreeSpace(text, count);
}

// How an attempt went, for the one after it.
struct AttemptTrace {
    int heard;        // some byte came back
    int endedOnSilence;   // it came, then the line fell silent without a whole listing
};

// The text to parse: the listing read up to its end, or, after a listing
// that a pause cut short, the last whole listing of what came until the line
// went quiet. The rest of the cut listing may then still be on its way, and
// the end of that rest would otherwise pass for the end of the answer.
static const char* ListingToParse(int takeLast, int ending, const char* text, uint32_t count)
{
    if (!takeLast)
        return ListingComplete(ending, text, count) ? text : nullptr;
    uint32_t start = 0;
    if (ending != ANSWER_QUIET || !FindLastWholeListing(text, count, &start))
        return nullptr;
    return text + start;
}

static int ReadListingOnce(DeviceTree* tree, SerialPort* port, char* buffer, uint32_t bufferSize, int takeLast,
                           AttemptTrace* trace)
{
    *trace = AttemptTrace{};
    if (ZemSerComSendCmd(port, "l\r\n", 0) != SERCOM_DONE)
        return READ_SEND_FAILED;
    if (bufferSize < 2)
        return READ_NO_ANSWER;
    ListingEndScan scan = {};
    const AnswerEndTest end = {ListingEndArrived, &scan};
    uint32_t got = 0;
    int ending = ReadWholeAnswer(port, buffer, bufferSize - 1, 1, takeLast ? nullptr : &end, &got);
    trace->heard = got != 0;
    if (ending == ANSWER_ABANDONED)
        return READ_ABANDONED;
    if (got == 0)
        return READ_NO_ANSWER;
    const char* listing = ListingToParse(takeLast, ending, buffer, got);
    if (listing && ParseListing(tree, listing))
        return READ_OK;
    ResetDeviceTree(tree);
    trace->endedOnSilence = ending == ANSWER_QUIET;
    return READ_BAD_ANSWER;
}

// Before the next attempt: after an answer that kept talking, wait until the
// line is quiet; after one that ended on the silence of the line, it is.
// ANSWER_ABANDONED when the hook ended the wait.
static int SettleLine(SerialPort* port, char* buffer, uint32_t bufferSize, const AttemptTrace* trace)
{
    if (!trace->heard || trace->endedOnSilence)
        return ANSWER_QUIET;
    return AwaitQuietLine(port, buffer, bufferSize - 1, 1);
}

int ReadDirectories(DeviceTree* tree, SerialPort* port, char* buffer, uint32_t bufferSize)
{
    ListingGeneration++;
    ResetDeviceTree(tree);
    lastOutcome = READ_NOT_CONNECTED;
    if (!port)
        return 1;

    void* savedCursor = ZemUiSetWaitCursor();
    uint32_t attempts = ListingAttempts();
    int outcome = READ_NO_ANSWER;
    int takeLast = 0;
    for (uint32_t attempt = 0; attempt < attempts; attempt++) {
        AttemptTrace trace;
        outcome = ReadListingOnce(tree, port, buffer, bufferSize, takeLast, &trace);
        if (outcome == READ_OK || outcome == READ_ABANDONED)
            break;
        takeLast = takeLast || trace.endedOnSilence;
        if (attempt + 1 < attempts && SettleLine(port, buffer, bufferSize, &trace) == ANSWER_ABANDONED) {
            outcome = READ_ABANDONED;
            break;
        }
    }
    lastOutcome = outcome;
    if (outcome == READ_OK)
        ZemUiPostCommand(CMD_AFTER_CONNECT, 0);
    else if (outcome != READ_ABANDONED)
        ZemUiProblem(ReadOutcomeMessage(outcome));
    ZemUiRestoreCursor(savedCursor);
    return 1;
}
