// The one table from a result code to its name and to the message the
// browser shows for it.
#include "serial/upload_protocol.h"

struct UploadResultRow {
    const char* name;
    const char* message;   // null: the outcome is shown by no message
};

static const char ERROR_TRYING_TO_UPLOAD[] = "There was an error trying to upload.";

static const UploadResultRow uploadResults[] = {
    {"UPL_OK", nullptr},
    {"UPL_PORT_BUSY", nullptr},
    {"UPL_CANCELLED", nullptr},
    {"UPL_COMMAND_FAILED", ERROR_TRYING_TO_UPLOAD},
    {"UPL_NO_ANSWER", ERROR_TRYING_TO_UPLOAD},
    {"UPL_WRITE_FAILED", ERROR_TRYING_TO_UPLOAD},
    {"UPL_FILE_ERROR", "Upload-Error: Can't read file."},
    {"UPL_REMOTE_CANCEL", ERROR_TRYING_TO_UPLOAD},
    {"UPL_TOO_MANY_RETRIES", ERROR_TRYING_TO_UPLOAD},
    {"UPL_NO_SPACE", "Upload-Error: Not enough space."},
};

constexpr int UPLOAD_RESULT_COUNT = sizeof(uploadResults) / sizeof(uploadResults[0]);

const char* UploadResultMessage(int result)
{
    if (result < 0 || result >= UPLOAD_RESULT_COUNT)
        return ERROR_TRYING_TO_UPLOAD;
    return uploadResults[result].message;
}

const char* UploadResultName(int result)
{
    if (result < 0 || result >= UPLOAD_RESULT_COUNT)
        return "UPL_UNKNOWN";
    return uploadResults[result].name;
}
