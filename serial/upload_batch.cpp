// The batch sender: "u\r", then for every file a header block, its data
// blocks (stop and wait) and EOT, and finally an empty header.
#include <cstring>

#include "lib/zem_lib.h"
#include "lib/zem_shared.h"
#include "lib/zem_time.h"
#include "serial/answer_read.h"
#include "serial/line_talk.h"
#include "serial/serial_port.h"
#include "serial/upload_file_list.h"
#include "serial/upload_job.h"
#include "serial/upload_notice.h"
#include "serial/upload_protocol.h"
#include "serial/upload_steps.h"

constexpr uint32_t HEADER_START_MS = 10000;
constexpr uint32_t HEADER_ANSWER_MS = 3000;
constexpr uint32_t DATA_START_MS = 10000;
constexpr uint32_t BLOCK_ANSWER_MS = 1000;
constexpr uint32_t EOT_ANSWER_MS = 3000;
constexpr uint32_t CANCEL_PAUSE_MS = 9000;
constexpr int MOST_SENDS = 9;

// The one frame buffer, reused for every frame of the batch.
static UploadFrame frame;

static uint32_t BlockSize(int mode)
{
    return mode == START_CRC ? 1024 : 128;
}

// Records in the job where the batch stopped and what came there; returns the result.
static int StopAt(UploadJob* job, int result, int stage, int came, uint32_t waited)
{
    job->failure.stage = stage;
    job->failure.came = came;
    job->failure.waited = waited;
    return result;
}

// The file now in hand: its base name and its place in the batch.
static void NoteFile(UploadJob* job, const char* path, size_t length)
{
    UploadFailure* failure = &job->failure;
    const char* base = path;
    for (size_t i = 0; i < length; i++)
        if (path[i] == '/' || path[i] == '\\')
            base = path + i + 1;
    size_t baseLength = static_cast<size_t>(path + length - base);
    if (baseLength >= sizeof(failure->file))
        baseLength = sizeof(failure->file) - 1;
    memcpy(failure->file, base, baseLength);
    failure->file[baseLength] = 0;
    failure->fileNumber++;
    failure->size = 0;
    failure->block = 0;
}

static void SendOneCan(UploadJob* job)
{
    unsigned char can = UPL_CAN;
    ZemSerComWrite(job->port, &can, 1, 1);
    ZemStoreByte(&job->cancelSent, 1);
}

// A full block of CAN stops the receiver in its data phase; the pause and
// the drain let it settle before the line is used again.
static void AbortDataPhase(UploadJob* job, int mode, int showCanceling)
{
    SerialPort* port = job->port;
    unsigned char* bytes = reinterpret_cast<unsigned char*>(&frame);
    memset(bytes, UPL_CAN, BlockSize(mode));
    ZemSerComWrite(port, bytes, BlockSize(mode), 1);
    ZemStoreByte(&job->cancelSent, 1);
    if (showCanceling) {
        UploadPublishText(UploadStatusText, "Canceling, this may take 10-15 Seconds");
        UploadPostNotice(job, UM_SET_STATUS_TEXT, 0);
    }
    if (ZemLoadByte(&port->gone))
        return;   // nobody is there to settle
    ZemSleep(CANCEL_PAUSE_MS);
    ZemSerComRead(port, AnswerBuffer, ANSWER_READ_MAX, 1);
}

// Progress in 256ths of the file; the product is formed in 64 bits.
static intptr_t ProgressPosition(uint64_t part, uint32_t size)
{
    if (size == 0)
        return 256;
    return static_cast<intptr_t>(part * 256 / size);
}

// Start handshake, header block 0 and its answer. The frame's data area
// already holds the header text of headerLength bytes (0 for the closing
// header, closing 1). progressSize is the file size the position after the
// handshake is taken from. On success *mode is the mode the receiver asked for.
static int ExchangeHeader(UploadJob* job, uint32_t headerLength, uint32_t progressSize, int closing, int* mode)
{
    int startStage = closing ? UPLOAD_STAGE_CLOSE_START : UPLOAD_STAGE_HEADER_START;
    int stage = closing ? UPLOAD_STAGE_CLOSE : UPLOAD_STAGE_HEADER;
    int start = UploadWaitStart(job->port, HEADER_START_MS, 2);
    if (start == START_CAN)
        return StopAt(job, UPL_REMOTE_CANCEL, startStage, UPLOAD_CAME_CAN, HEADER_START_MS);
    if (start == START_NONE)
        return StopAt(job, UPL_NO_ANSWER, startStage, UPLOAD_CAME_NOTHING, HEADER_START_MS);
    *mode = start;
    uint32_t blockSize = BlockSize(start);
    // A header cut by the block would give the receiver a wrong name or no
    // size: such a file is refused (a name this long fits only in CRC mode).
    if (headerLength >= blockSize) {
        SendOneCan(job);
        job->failure.limit = blockSize;
        return StopAt(job, UPL_FILE_ERROR, UPLOAD_STAGE_NAME, UPLOAD_CAME_NOTHING, 0);
    }
    UploadPostNotice(job, UM_PROGRESS_SET, ProgressPosition(blockSize, progressSize));
    // Behind the text the data area is zero up to its end.
    if (!UploadSendBlock(job->port, &frame, start, 0))
        return StopAt(job, UPL_WRITE_FAILED, stage, UPLOAD_CAME_NOTHING, 0);
    // A NAK here would ask for a repeat; the header is sent only once.
    int reply = UploadWaitReply(job->port, HEADER_ANSWER_MS, 1);
    if (reply != REPLY_ACK)
        return StopAt(job, UPL_NO_ANSWER, stage, reply == REPLY_CAN ? UPLOAD_CAME_CAN : UPLOAD_CAME_NOTHING,
                      HEADER_ANSWER_MS);
    return UPL_OK;
}

// Sends the filled data area up to nine times until the receiver accepts it.
static int SendDataBlock(UploadJob* job, int mode, uint32_t counter)
{
    for (int sends = 1;; sends++) {
        if (!UploadSendBlock(job->port, &frame, mode, counter))
            return StopAt(job, UPL_WRITE_FAILED, UPLOAD_STAGE_DATA, UPLOAD_CAME_NOTHING, 0);
        int reply = UploadWaitReply(job->port, BLOCK_ANSWER_MS, 0);
        // The cancel request is looked at here only, whatever the reply was.
        if (ZemLoadByte(&job->cancelRequested)) {
            AbortDataPhase(job, mode, 1);
            return StopAt(job, UPL_CANCELLED, UPLOAD_STAGE_CANCEL, UPLOAD_CAME_NOTHING, 0);
        }
        if (reply == REPLY_ACK)
            return UPL_OK;
        if (reply == REPLY_NONE)
            return StopAt(job, UPL_NO_ANSWER, UPLOAD_STAGE_DATA, UPLOAD_CAME_NOTHING, BLOCK_ANSWER_MS);
        if (reply == REPLY_CAN)
            return StopAt(job, UPL_REMOTE_CANCEL, UPLOAD_STAGE_DATA, UPLOAD_CAME_CAN, BLOCK_ANSWER_MS);
        if (sends >= MOST_SENDS) {
            job->failure.limit = static_cast<uint32_t>(sends);
            return StopAt(job, UPL_TOO_MANY_RETRIES, UPLOAD_STAGE_DATA, UPLOAD_CAME_NAK, BLOCK_ANSWER_MS);
        }
    }
}

static int SameFileVersion(const ZemFileInfo& a, const ZemFileInfo& b)
{
    return a.identity == b.identity && a.writeTime == b.writeTime && a.sizeLow == b.sizeLow && a.sizeHigh == b.sizeHigh;
}

// Data blocks of one file from offset 0 to the size announced in its header.
static int SendFileData(UploadJob* job, const char* path, uint32_t size, int mode)
{
    uint32_t blockSize = BlockSize(mode);
    uint32_t offset = 0;
    uint32_t counter = 0;
    UploadPublishText(UploadStatusText, "");
    ZemFileInfo first{}, now{};
    while (offset != size) {
        job->failure.block = counter + 1;
        long got = ZemFileRead(path, frame.data, blockSize, offset, offset ? &now : &first);
        // A file that vanished, became unreadable, shrank, grew, or was
        // rewritten or replaced since its first block cannot arrive as one
        // version: the receiver is told, and drops it.
        uint32_t expected = size - offset < blockSize ? size - offset : blockSize;
        if (got < 0 || static_cast<uint32_t>(got) != expected || (offset && !SameFileVersion(first, now))) {
            AbortDataPhase(job, mode, 0);
            return StopAt(job, UPL_FILE_ERROR, UPLOAD_STAGE_READ, UPLOAD_CAME_NOTHING, 0);
        }
        memset(frame.data + got, 0, blockSize - got);
        int result = SendDataBlock(job, mode, ++counter);
        if (result != UPL_OK)
            return result;
        offset += expected;
        SetUploadStatusText(offset, size);
        UploadPostNotice(job, UM_SET_STATUS_TEXT, 0);
        UploadPostNotice(job, UM_PROGRESS_SET, ProgressPosition(offset, size));
    }
    // A file still being written when its header went out is not the file to
    // run on the machine: a change after the last read is refused as well.
    if (ZemFileRead(path, frame.data, 0, 0, &now) < 0 || !SameFileVersion(first, now) || now.sizeLow != size ||
        now.sizeHigh != 0) {
        AbortDataPhase(job, mode, 0);
        return StopAt(job, UPL_FILE_ERROR, UPLOAD_STAGE_READ, UPLOAD_CAME_NOTHING, 0);
    }
    return UPL_OK;
}

// One file from its check to the acknowledged EOT.
static int SendOneFile(UploadJob* job, const char* path, uint32_t* lastSize)
{
    NoteFile(job, path, strlen(path));
    ZemFindData found;
    uint32_t size = UploadFileSize(path, &found);
    if (size == 0) {
        SendOneCan(job);
        return StopAt(job, UPL_FILE_ERROR, UPLOAD_STAGE_FILE, UPLOAD_CAME_NOTHING, 0);
    }
    job->failure.size = size;
    job->failure.flashDisk = IsFlashTarget(job->targetDir);
    uint32_t left = job->failure.flashDisk ? job->flashBudget : job->ramBudget;
    // The budget is taken before the header goes out and is not given back.
    if (!TakeUploadBudget(job, size)) {
        SendOneCan(job);
        job->failure.limit = left;
        return StopAt(job, UPL_NO_SPACE, UPLOAD_STAGE_SPACE, UPLOAD_CAME_NOTHING, 0);
    }
    *lastSize = size;

    uint32_t headerLength = BuildHeaderText(frame.data, job->targetDir, found.fileName, size);
    RecordSentFile(job, found.fileName, size);
    SetUploadFileText(found.fileName);
    UploadPostNotice(job, UM_SET_FILE_TEXT, 0);
    UploadPostNotice(job, UM_PROGRESS_INIT, 0);

    int mode = START_NONE;
    int result = ExchangeHeader(job, headerLength, size, 0, &mode);
    if (result != UPL_OK)
        return result;
    // The data start request does not change the mode of the header's handshake.
    int start = UploadWaitStart(job->port, DATA_START_MS, 1);
    if (start != START_CRC && start != START_CHECKSUM)
        return StopAt(job, UPL_NO_ANSWER, UPLOAD_STAGE_DATA_START,
                      start == START_CAN ? UPLOAD_CAME_CAN : UPLOAD_CAME_NOTHING, DATA_START_MS);
    result = SendFileData(job, path, size, mode);
    if (result != UPL_OK)
        return result;

    unsigned char eot = UPL_EOT;
    ZemSerComWrite(job->port, &eot, 1, 1);
    // The EOT is sent once; a NAK is not answered with a second one.
    int reply = UploadWaitReply(job->port, EOT_ANSWER_MS, 1);
    if (reply != REPLY_ACK)
        return StopAt(job, UPL_NO_ANSWER, UPLOAD_STAGE_EOT, reply == REPLY_CAN ? UPLOAD_CAME_CAN : UPLOAD_CAME_NOTHING,
                      EOT_ANSWER_MS);
    return UPL_OK;
}

int UploadBatch(UploadJob* job)
{
    memset(&job->failure, 0, sizeof(job->failure));
    job->sent.count = job->sent.namesUsed = 0;
    job->sent.incomplete = 0;
    // The receiver's start request must not be looked for in the rest of an
    // earlier answer or in talk that nobody asked for.
    if (SettleLine(job->port, AnswerBuffer, ANSWER_READ_MAX, AnswerReader{0, 1}) != ANSWER_QUIET ||
        ZemSerComSendCmd(job->port, "u\r", 1) != SERCOM_DONE)
        return StopAt(job, UPL_COMMAND_FAILED, UPLOAD_STAGE_COMMAND, UPLOAD_CAME_NOTHING, 0);

    // A list that no empty name closes inside its field holds no path to trust.
    if (!FileListIsClosed(job->fileList)) {
        SendOneCan(job);
        return StopAt(job, UPL_FILE_ERROR, UPLOAD_STAGE_FILE, UPLOAD_CAME_NOTHING, 0);
    }
    uint32_t lastSize = 0;   // stays 0 for an empty list: the closing header then shows full
    for (const char* name = job->fileList; *name; name = NextFileName(name)) {
        int result = SendOneFile(job, name, &lastSize);
        if (result != UPL_OK)
            return result;
    }

    memset(&frame, 0, sizeof(frame));
    int mode = START_NONE;
    return ExchangeHeader(job, 0, lastSize, 1, &mode);
}
