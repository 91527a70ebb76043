// The sender's reason for a failed batch in words: the one place that turns
// the record of where it stopped into a sentence, for vtx and the browser.
#include <cstdio>

#include "serial/upload_job.h"
#include "serial/upload_protocol.h"

// "10 seconds", "1 second".
static void FormatWait(uint32_t ms, char* out, size_t size)
{
    if (ms % 1000 != 0)
        snprintf(out, size, "%lu ms", static_cast<unsigned long>(ms));
    else
        snprintf(out, size, "%lu second%s", static_cast<unsigned long>(ms / 1000), ms == 1000 ? "" : "s");
}

// What did not come in time, or the CAN that came instead: the acknowledgement
// of a header, a data block or an EOT, or the start request for something.
enum { MISSING_ACK, MISSING_START };

static void DescribeMissing(const UploadFailure* failure, int missing, const char* what, char* out, uint32_t size)
{
    char wait[32];
    FormatWait(failure->waited, wait, sizeof(wait));
    if (failure->came == UPLOAD_CAME_CAN)
        snprintf(out, size,
                 missing == MISSING_ACK ? "The controller answered %s with CAN."
                                        : "The controller cancelled (CAN) instead of asking for %s.",
                 what);
    else
        snprintf(out, size,
                 missing == MISSING_ACK ? "The controller did not acknowledge %s within %s."
                                        : "The controller did not ask for %s within %s.",
                 what, wait);
}

static void DescribeDataBlock(int result, const UploadFailure* failure, char* out, uint32_t size)
{
    unsigned long block = failure->block;
    const char* name = failure->file;
    char wait[32];
    FormatWait(failure->waited, wait, sizeof(wait));
    if (result == UPL_WRITE_FAILED)
        snprintf(out, size, "Data block %lu of %s could not be written to the port.", block, name);
    else if (result == UPL_REMOTE_CANCEL)
        snprintf(out, size, "The controller cancelled at data block %lu of %s (CAN).", block, name);
    else if (result == UPL_TOO_MANY_RETRIES)
        snprintf(out, size, "The controller refused data block %lu of %s %lu times (NAK).", block, name,
                 static_cast<unsigned long>(failure->limit));
    else
        snprintf(out, size, "The controller did not answer data block %lu of %s within %s.", block, name, wait);
}

const char* UploadFailureWords(int result, const UploadFailure* failure, char* out, uint32_t size)
{
    if (size == 0)
        return out;
    out[0] = 0;
    const char* name = failure->file;
    char what[UPLOAD_FAILURE_NAME_SIZE + 64];
    switch (result == UPL_OK ? UPLOAD_STAGE_NONE : failure->stage) {
    case UPLOAD_STAGE_NONE:
        if (result == UPL_PORT_BUSY)
            snprintf(out, size, "The port was busy with another upload.");
        break;
    case UPLOAD_STAGE_COMMAND:
        snprintf(out, size, "The upload command could not be written to the port.");
        break;
    case UPLOAD_STAGE_FILE:
        snprintf(out, size, "The PC file %s is missing, empty, a folder or 4 GiB or more; the controller was told (CAN).",
                 name);
        break;
    case UPLOAD_STAGE_SPACE:
        snprintf(out, size, "The PC file %s needs %lu bytes, but only %lu are left on the %s; the controller was told (CAN).",
                 name, static_cast<unsigned long>(failure->size), static_cast<unsigned long>(failure->limit),
                 failure->flashDisk ? "flash disk" : "RAM disk");
        break;
    case UPLOAD_STAGE_NAME:
        snprintf(out, size,
                 "The directory and name of %s do not fit the %lu-byte header block the controller asked for; the "
                 "controller was told (CAN).",
                 name, static_cast<unsigned long>(failure->limit));
        break;
    case UPLOAD_STAGE_HEADER_START:
        snprintf(what, sizeof(what), "the header of %s", name);
        if (failure->fileNumber == 1 && failure->came != UPLOAD_CAME_CAN) {
            char wait[32];
            FormatWait(failure->waited, wait, sizeof(wait));
            snprintf(out, size, "The controller did not answer the upload command within %s.", wait);
        } else {
            DescribeMissing(failure, MISSING_START, what, out, size);
        }
        break;
    case UPLOAD_STAGE_HEADER:
        snprintf(what, sizeof(what), "the header of %s", name);
        if (result == UPL_WRITE_FAILED)
            snprintf(out, size, "The header block of %s could not be written to the port.", name);
        else
            DescribeMissing(failure, MISSING_ACK, what, out, size);
        break;
    case UPLOAD_STAGE_DATA_START:
        if (failure->came == UPLOAD_CAME_CAN) {
            snprintf(out, size,
                     "The controller acknowledged the header of %s but then cancelled (CAN) instead of asking for its data.",
                     name);
        } else {
            char wait[32];
            FormatWait(failure->waited, wait, sizeof(wait));
            snprintf(out, size, "The controller acknowledged the header of %s but did not ask for its data within %s.",
                     name, wait);
        }
        break;
    case UPLOAD_STAGE_READ:
        snprintf(out, size,
                 "The PC file %s changed or became unreadable while it was sent (data block %lu); the controller was "
                 "told (CAN).",
                 name, static_cast<unsigned long>(failure->block));
        break;
    case UPLOAD_STAGE_DATA:
        DescribeDataBlock(result, failure, out, size);
        break;
    case UPLOAD_STAGE_EOT:
        snprintf(what, sizeof(what), "the end of %s (EOT)", name);
        DescribeMissing(failure, MISSING_ACK, what, out, size);
        break;
    case UPLOAD_STAGE_CLOSE_START:
        snprintf(what, sizeof(what), "the closing header%s%s", name[0] ? " after " : "", name);
        DescribeMissing(failure, MISSING_START, what, out, size);
        break;
    case UPLOAD_STAGE_CLOSE:
        if (result == UPL_WRITE_FAILED)
            snprintf(out, size, "The closing header could not be written to the port.");
        else
            DescribeMissing(failure, MISSING_ACK, "the closing header", out, size);
        break;
    case UPLOAD_STAGE_CANCEL:
        snprintf(out, size, "Upload cancelled; the controller was told (CAN).");
        break;
    }
    return out;
}
