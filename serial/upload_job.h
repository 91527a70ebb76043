// The one parameter block through which an upload goes from the user
// interface to the upload worker.
#pragma once

#include <cstdint>

struct SerialPort;

constexpr uint32_t UPLOAD_FILE_LIST_SIZE = 8192;
constexpr uint32_t UPLOAD_TARGET_DIR_SIZE = 256;
constexpr uint32_t UPLOAD_FAILURE_NAME_SIZE = 256;

// The step at which a batch stopped short of its closing header.
enum {
    UPLOAD_STAGE_NONE = 0,       // the batch did not stop
    UPLOAD_STAGE_COMMAND,        // "u\r" could not be written
    UPLOAD_STAGE_FILE,           // the PC file is missing, empty, a folder or too large
    UPLOAD_STAGE_SPACE,          // the file does not fit what is left of its disk
    UPLOAD_STAGE_NAME,           // directory and name do not fit the header block
    UPLOAD_STAGE_HEADER_START,   // the start request for a file's header
    UPLOAD_STAGE_HEADER,         // a file's header block and its answer
    UPLOAD_STAGE_DATA_START,     // the start request for a file's data
    UPLOAD_STAGE_READ,           // the PC file changed or became unreadable while sent
    UPLOAD_STAGE_DATA,           // a data block and its answer
    UPLOAD_STAGE_EOT,            // the end of a file and its answer
    UPLOAD_STAGE_CLOSE_START,    // the start request for the closing header
    UPLOAD_STAGE_CLOSE,          // the closing header and its answer
    UPLOAD_STAGE_CANCEL,         // the user cancelled
};

// What the controller sent where an answer was awaited.
enum {
    UPLOAD_CAME_NOTHING = 0,   // nothing, or nothing that counted, within the wait
    UPLOAD_CAME_CAN,           // CAN
    UPLOAD_CAME_NAK,           // NAK, as often as a block may go out
};

// Where and why a batch stopped, recorded by the sender for the words of
// UploadFailureWords; every field is 0 for a batch that ended well.
struct UploadFailure {
    int stage;                               // UPLOAD_STAGE_
    char file[UPLOAD_FAILURE_NAME_SIZE];     // base name of the file in hand ("" before the first)
    uint32_t fileNumber;                     // its place in the batch, from 1
    uint32_t size;                           // its size
    int flashDisk;                           // 1: it goes to the flash disk, 0: the RAM disk
    uint32_t block;                          // the data block in hand, from 1 (0: none yet)
    uint32_t limit;                          // the budget left (SPACE), the block size (NAME) or
                                             // the sends of a refused data block (DATA)
    uint32_t waited;                         // how long the answer was awaited, in ms
    int came;                                // UPLOAD_CAME_
};

// The most files a batch can hold: names of one character and their NULs.
constexpr uint32_t UPLOAD_MOST_FILES = UPLOAD_FILE_LIST_SIZE / 2;

// What the sender announced for each file it began to send, in list order:
// the check after the batch compares the listing with this, not with the
// PC files as they are by then.
struct UploadSentFiles {
    uint32_t count;                          // files recorded
    uint32_t size[UPLOAD_MOST_FILES];        // the size in the header
    char names[UPLOAD_FILE_LIST_SIZE * 2];   // their base names as sent, each ended by a NUL
    uint32_t namesUsed;
    unsigned char incomplete;                // 1: a name did not fit, and the record stops there
};

struct UploadJob {
    SerialPort* port;                           // the port of the transfer
    char fileList[UPLOAD_FILE_LIST_SIZE];       // NUL-ended PC paths, closed by an empty name
    char targetDir[UPLOAD_TARGET_DIR_SIZE];     // put directly in front of every base name
    unsigned char cancelRequested;              // 1: the user asked for a cancel (ZemLoadByte)
    unsigned char cancelSent;                   // 1: the receiver was told with CAN to stop (ZemLoadByte)
    void* dialog;                               // the progress dialog that receives the notices
    int32_t result;                             // UPL_ code (ZemLoadResult / ZemStoreResult)
    uint32_t ramBudget;                         // free RAM-disk bytes left to this batch
    uint32_t flashBudget;                       // free flash-disk bytes left to this batch
    UploadFailure failure;                      // where the batch stopped (written by the worker)
    UploadSentFiles sent;                       // what each file was sent as (written by the worker)
};

extern UploadJob TheUploadJob;

void ClearUploadJob(UploadJob* job);
// Records a file as its header announces it, before it goes out.
void RecordSentFile(UploadJob* job, const char* baseName, uint32_t size);
