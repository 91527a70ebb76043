// Fetches the controller's listing over the connected port, with a fixed
// number of attempts, into the one DeviceTree.
#include "app/command_line.h"
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
static const char* const outcomeMessages[] = {
    nullptr,
    "Can't send Command. Please check if Vantorix is connected.",
    "No answer from Vantorix. Please check if it is connected.",
    "The Vantorix-answer was not correct. Please try to update again.",
    nullptr,
    nullptr,
};

const char* ReadOutcomeMessage(int outcome)
{
    if (outcome < 0 || outcome >= static_cast<int>(sizeof(outcomeMessages) / sizeof(outcomeMessages[0])))
        return nullptr;
    return outcomeMessages[outcome];
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

// One attempt; *heard tells whether any byte came back.
static int ReadListingOnce(DeviceTree* tree, SerialPort* port, char* buffer, uint32_t bufferSize, int* heard)
{
    *heard = 0;
    if (ZemSerComSendCmd(port, "l\r\n", 0) != SERCOM_DONE)
        return READ_SEND_FAILED;
    if (bufferSize < 2)
        return READ_NO_ANSWER;
    ListingEndScan scan = {};
    const AnswerEndTest end = {ListingEndArrived, &scan};
    uint32_t got = 0;
    int ending = ReadWholeAnswer(port, buffer, bufferSize - 1, 1, &end, &got);
    *heard = got != 0;
    if (ending == ANSWER_ABANDONED)
        return READ_ABANDONED;
    if (got == 0)
        return READ_NO_ANSWER;
    if (!ListingComplete(ending, buffer, got))
        return READ_BAD_ANSWER;
    if (!ParseListing(tree, buffer)) {
        ResetDeviceTree(tree);
        return READ_BAD_ANSWER;
    }
    return READ_OK;
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
    for (uint32_t attempt = 0; attempt < attempts; attempt++) {
        int heard = 0;
        outcome = ReadListingOnce(tree, port, buffer, bufferSize, &heard);
        if (outcome == READ_OK || outcome == READ_ABANDONED)
            break;
        // The rest of a broken answer would be read as the next one.
        if (heard && attempt + 1 < attempts && AwaitQuietLine(port, buffer, bufferSize - 1, 1) == ANSWER_ABANDONED) {
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
