// Fetches the controller's listing over the connected port, with a fixed
// number of attempts, into the one DeviceTree.
#include "app/command_line.h"
#include "lib/zem_ui.h"
#include "res/resource_ids.h"
#include "serial/serial_port.h"
#include "tree/answer_read.h"
#include "tree/device_tree.h"

char AnswerBuffer[ANSWER_BUFFER_SIZE];
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

static int ReadListingOnce(DeviceTree* tree, SerialPort* port, char* buffer, uint32_t bufferSize)
{
    if (ZemSerComSendCmd(port, "l\r\n", 0) != SERCOM_DONE)
        return READ_SEND_FAILED;
    int ended = 0;
    uint32_t got = bufferSize < 2 ? 0 : ReadWholeAnswer(port, buffer, bufferSize - 1, 1, &ended);
    if (got == 0)
        return READ_NO_ANSWER;
    // A listing that filled the buffer before its end came is cut short.
    if (!ended && got == bufferSize - 1)
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
        outcome = ReadListingOnce(tree, port, buffer, bufferSize);
        if (outcome == READ_OK)
            break;
    }
    lastOutcome = outcome;
    if (outcome == READ_OK)
        ZemUiPostCommand(CMD_AFTER_CONNECT, 0);
    else
        ZemUiProblem(ReadOutcomeMessage(outcome));
    ZemUiRestoreCursor(savedCursor);
    return 1;
}
