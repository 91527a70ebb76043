// Fetches the controller's listing over the connected port, with a fixed
// number of attempts, into the one DeviceTree.
#include "lib/zem_ui.h"
#include "res/resource_ids.h"
#include "serial/answer_read.h"
#include "serial/line_talk.h"
#include "serial/serial_port.h"
#include "tree/device_tree.h"
#include "tree/listing_end.h"

uint32_t ListingAttemptsOverride;
const char* (*ReadOutcomeText)(int outcome);
uint32_t ListingGeneration;

static int lastOutcome = READ_NOT_CONNECTED;

int LastReadOutcome()
{
    return lastOutcome;
}

static uint32_t ListingAttempts()
{
    return ListingAttemptsOverride ? ListingAttemptsOverride : 2;
}

// A listing is read up to its end; one that went quiet right behind the
// free-space lines that a controller sends last is whole as well. A pause
// in the middle, a full buffer or a line that would not stop leaves it cut,
// and the owner of the line keeps its rest from passing for the next answer.
static int ReadListingOnce(DeviceTree* tree, SerialPort* port, char* buffer, uint32_t bufferSize)
{
    if (bufferSize < 2)
        return ZemSerComSendCmd(port, "l\r\n", 0) == SERCOM_DONE ? READ_NO_ANSWER : READ_SEND_FAILED;
    ListingEndScan scan = {};
    const AnswerEndTest end = {ListingEndArrived, &scan, ListingEndsOnFreeSpace, ListingEndCarry, 0};
    TalkAnswer answer;
    int talk = TalkCommand(port, "l\r\n", buffer, bufferSize - 1, AnswerReader{1, 0}, &end, &answer);
    if (talk == TALK_NOT_SENT)
        return READ_SEND_FAILED;
    if (talk == TALK_ABANDONED)
        return READ_ABANDONED;
    if (talk == TALK_SILENT)
        return READ_NO_ANSWER;
    if (talk == TALK_ANSWERED && ParseListing(tree, buffer + answer.start))
        return READ_OK;
    ResetDeviceTree(tree);
    // What a wrong answer says may not be over: the next "l" waits for quiet.
    MarkLineUnsettled(port);
    return READ_BAD_ANSWER;
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
        outcome = ReadListingOnce(tree, port, buffer, bufferSize);
        if (outcome == READ_OK || outcome == READ_ABANDONED)
            break;
    }
    lastOutcome = outcome;
    if (outcome == READ_OK)
        ZemUiPostCommand(CMD_AFTER_CONNECT, 0);
    else if (outcome != READ_ABANDONED)
        ZemUiProblem(ReadOutcomeText ? ReadOutcomeText(outcome) : nullptr);
    ZemUiRestoreCursor(savedCursor);
    return 1;
}
