// The one table from a result code to its name and to the message the
// browser shows for it.
#include "app/message_texts.h"
#include "app/upload_report.h"
#include "serial/upload_protocol.h"

struct UploadResultRow {
    const char* name;
    int message;   // a MessageId; -1: the outcome is shown by no message
};

static const UploadResultRow uploadResults[] = {
    {"UPL_OK", -1},
    {"UPL_PORT_BUSY", -1},
    {"UPL_CANCELLED", -1},
    {"UPL_COMMAND_FAILED", MSG_UPLOAD_FAILED},
    {"UPL_NO_ANSWER", MSG_UPLOAD_FAILED},
    {"UPL_WRITE_FAILED", MSG_UPLOAD_FAILED},
    {"UPL_FILE_ERROR", MSG_UPLOAD_CANT_READ},
    {"UPL_REMOTE_CANCEL", MSG_UPLOAD_FAILED},
    {"UPL_TOO_MANY_RETRIES", MSG_UPLOAD_FAILED},
    {"UPL_NO_SPACE", MSG_UPLOAD_NO_SPACE},
};

constexpr int UPLOAD_RESULT_COUNT = sizeof(uploadResults) / sizeof(uploadResults[0]);

const char* UploadResultMessage(int result)
{
    if (result < 0 || result >= UPLOAD_RESULT_COUNT)
        return MessageText(MSG_UPLOAD_FAILED);
    int message = uploadResults[result].message;
    return message < 0 ? nullptr : MessageText(message);
}

const char* UploadResultName(int result)
{
    if (result < 0 || result >= UPLOAD_RESULT_COUNT)
        return "UPL_UNKNOWN";
    return uploadResults[result].name;
}
